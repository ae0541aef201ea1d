#include "win32gui/PasswordWindow.h"

#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

namespace qob::win32gui {

std::optional<std::string> PasswordWindow::ask(HWND owner, const std::string& prompt) {
    PasswordWindow window(prompt);
    window.showModal(owner);
    return window.form().answer();
}

HWND PasswordWindow::create(HWND owner) {
    return createModeless(owner);
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
            closeWith(IDOK);
            return TRUE;
        case IDCANCEL: // Cancel, Escape and the close box
            form_.cancelClick();
            closeWith(IDCANCEL);
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

} // namespace qob::win32gui
