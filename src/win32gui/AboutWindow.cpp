#include "win32gui/AboutWindow.h"

#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

namespace qob::win32gui {

void AboutWindow::run(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, dialogProc,
                    reinterpret_cast<LPARAM>(this));
}

HWND AboutWindow::create(HWND owner) {
    modal_ = false;
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner,
                                     dialogProc, reinterpret_cast<LPARAM>(this));
    if (window != nullptr) {
        registerDialog(window);
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

INT_PTR CALLBACK AboutWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
    }
    auto* self = reinterpret_cast<AboutWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG: {
        self->window_ = window;
        setWindowText(window, self->form_.caption);
        setControlText(window, IDC_ABOUT_PRODUCT, self->form_.productLine);
        setControlText(window, IDC_ABOUT_THANKS, self->form_.thanks);
        setControlText(window, IDC_ABOUT_NOTICE, self->form_.notice);
        // The product line in bold, as the Qt window has it; the font lives as long as the window.
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
        font.lfWeight = FW_BOLD;
        HFONT bold = CreateFontIndirectW(&font);
        SetPropW(window, L"QuireBoldFont", bold);
        SendDlgItemMessageW(window, IDC_ABOUT_PRODUCT, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            if (self->modal_) {
                EndDialog(window, IDOK);
            } else {
                DestroyWindow(window);
            }
            return TRUE;
        }
        break;
    case WM_DESTROY:
        unregisterDialog(window);
        if (HANDLE bold = RemovePropW(window, L"QuireBoldFont"); bold != nullptr) {
            DeleteObject(bold);
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace qob::win32gui
