#include "win32gui/MessageLoop.h"

#include <algorithm>
#include <vector>

namespace qob::win32gui {

namespace {

struct RegisteredDialog {
    HWND dialog;
    HACCEL accelerators;
};

// The windows run on one thread; the list is only touched there.
std::vector<RegisteredDialog>& dialogs() {
    static std::vector<RegisteredDialog> list;
    return list;
}

} // namespace

void registerDialog(HWND dialog, HACCEL accelerators) {
    unregisterDialog(dialog);
    dialogs().push_back({dialog, accelerators});
}

void unregisterDialog(HWND dialog) {
    auto& list = dialogs();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [dialog](const RegisteredDialog& d) { return d.dialog == dialog; }),
               list.end());
}

bool preTranslate(MSG& msg) {
    for (const RegisteredDialog& d : dialogs()) {
        if (msg.hwnd != d.dialog && !IsChild(d.dialog, msg.hwnd)) {
            continue;
        }
        // A disabled window (a modal box is up over it) takes no keys.
        if (d.accelerators != nullptr && IsWindowEnabled(d.dialog) &&
            TranslateAcceleratorW(d.dialog, d.accelerators, &msg)) {
            return true;
        }
        return IsDialogMessageW(d.dialog, &msg) != FALSE;
    }
    return false;
}

int runMessageLoop() {
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            return got == 0 ? static_cast<int>(msg.wParam) : 1;
        }
        if (!preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

std::optional<int> pumpPending() {
    std::optional<int> quit;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = static_cast<int>(msg.wParam);
            continue;
        }
        if (!preTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return quit;
}

void pumpWhile(const std::function<bool()>& condition) {
    std::optional<int> quit;
    while (condition()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (std::optional<int> code = pumpPending(); code) {
            quit = code;
        }
    }
    if (quit) {
        PostQuitMessage(*quit);
    }
}

void runModal(HWND dialog, HWND owner) {
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);
    if (ownerWasEnabled) {
        EnableWindow(owner, FALSE);
    }
    ShowWindow(dialog, SW_SHOW);
    pumpWhile([dialog] { return IsWindow(dialog) != FALSE; });
    if (ownerWasEnabled) {
        EnableWindow(owner, TRUE);
        SetActiveWindow(owner);
    }
}

void callOnWindowThread(HWND window, const std::function<void()>& call) {
    if (window == nullptr || GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        call();
        return;
    }
    // SendMessageW waits until the window's thread has run it, as a blocking queued call does.
    SendMessageW(window, kCallMessage, 0, reinterpret_cast<LPARAM>(&call));
}

bool handleCall(UINT message, LPARAM lParam) {
    if (message != kCallMessage) {
        return false;
    }
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return true;
}

} // namespace qob::win32gui
