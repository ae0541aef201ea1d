/* A Windows program with one window, for the close test: it writes READY once its window exists,
   and on WM_CLOSE writes "closed" to MARKER and exits with 0, as a program that saves its files on
   the way out. Killed instead, it writes nothing. After two minutes unasked it exits with 9. */
#include <stdio.h>
#include <windows.h>

static const char* marker;

static void writeFile(const char* path, const char* text) {
    FILE* f = fopen(path, "wb");
    if (f) {
        fputs(text, f);
        fclose(f);
    }
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        writeFile(marker, "closed");
        DestroyWindow(window);
        return 0;
    case WM_TIMER:
        PostQuitMessage(9);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    marker = argv[1];
    WNDCLASSA windowClass = {0};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "QobCloseProbe";
    if (!RegisterClassA(&windowClass))
        return 3;
    HWND window = CreateWindowA("QobCloseProbe", "Close probe", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL,
                                NULL, windowClass.hInstance, NULL);
    if (!window)
        return 4;
    SetTimer(window, 1, 120000, NULL);
    writeFile(argv[2], "ready");
    MSG message;
    int got;
    while ((got = GetMessageA(&message, NULL, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got < 0 ? 5 : (int)message.wParam;
}
