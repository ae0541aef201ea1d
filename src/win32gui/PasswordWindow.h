#pragma once
// The password prompt (IDD_PASSWORD): binds its edit box and buttons to the Qt-free PasswordForm,
// as the Qt prompt does.
#include "forms/PasswordForm.h"
#include "win32gui/DialogWindow.h"
#include "win32gui/ResourceIds.h"

#include <windows.h>

#include <optional>
#include <string>

namespace qob::win32gui {

class PasswordWindow : public DialogWindow<PasswordWindow> {
public:
    // `prompt`: the label's text; empty keeps the template's "Please enter password:".
    explicit PasswordWindow(std::string prompt = {})
        : DialogWindow(IDD_PASSWORD), prompt_(std::move(prompt)) {}

    // Modal over `owner`: the confirmed text, or nullopt when cancelled.
    static std::optional<std::string> ask(HWND owner, const std::string& prompt);
    // The same window modeless (tests drive it); it destroys itself on OK or Cancel.
    HWND create(HWND owner);

    PasswordForm& form() { return form_; }

private:
    friend class DialogWindow<PasswordWindow>;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    std::string prompt_;
    PasswordForm form_;
};

} // namespace qob::win32gui
