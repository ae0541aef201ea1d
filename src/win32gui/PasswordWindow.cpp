#include "win32gui/PasswordWindow.h"

#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

namespace qob::win32gui {

std::optional<std::string> PasswordWindow::ask(HWND owner, const std::string& prompt) {
    PasswordWindow window(prompt);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PASSWORD), owner, dialogProc,
                    reinterpret_cast<LPARAM>(&window));
    return window.form().answer();
}

HWND PasswordWindow::create(HWND owner) {
    modal_ = false;
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PASSWORD), owner,
                                     dialogProc, reinterpret_cast<LPARAM>(this));
    if (window != nullptr) {
        registerDialog(window);
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

INT_PTR CALLBACK PasswordWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<PasswordWindow*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<PasswordWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR PasswordWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handleCall(message, lParam)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        // A longer password could not be typed back to open the backup.
        SendDlgItemMessageW(window_, IDC_PASSWORD_EDIT, EM_LIMITTEXT, kPasswordMaxLength, 0);
        if (!prompt_.empty()) {
            setControlText(window_, IDC_PASSWORD_PROMPT, prompt_);
        }
        return TRUE; // the first Tab stop, the password box, takes the focus
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PASSWORD_EDIT:
            if (HIWORD(wParam) == EN_CHANGE) {
                form_.setTyped(controlText(window_, IDC_PASSWORD_EDIT));
            }
            return TRUE;
        case IDOK: // the OK button, and Enter anywhere in the prompt
            form_.okClick();
            close(IDOK);
            return TRUE;
        case IDCANCEL: // Cancel, Escape and the close box
            form_.cancelClick();
            close(IDCANCEL);
            return TRUE;
        default:
            break;
        }
        break;
    case WM_DESTROY:
        unregisterDialog(window_);
        break;
    default:
        break;
    }
    return FALSE;
}

void PasswordWindow::close(INT_PTR result) {
    if (modal_) {
        EndDialog(window_, result);
    } else {
        DestroyWindow(window_);
    }
}

} // namespace qob::win32gui
