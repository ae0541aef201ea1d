#pragma once
// The password prompt (IDD_PASSWORD): binds its edit box and buttons to the Qt-free PasswordForm,
// as the Qt prompt does.
#include "forms/PasswordForm.h"

#include <windows.h>

#include <optional>
#include <string>

namespace qob::win32gui {

class PasswordWindow {
public:
    // `prompt`: the label's text; empty keeps the template's "Please enter password:".
    explicit PasswordWindow(std::string prompt = {}) : prompt_(std::move(prompt)) {}

    // Modal over `owner`: the confirmed text, or nullopt when cancelled.
    static std::optional<std::string> ask(HWND owner, const std::string& prompt);
    // The same window modeless (tests drive it); it destroys itself on OK or Cancel.
    HWND create(HWND owner);

    PasswordForm& form() { return form_; }
    HWND window() const { return window_; }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void close(INT_PTR result);

    std::string prompt_;
    PasswordForm form_;
    HWND window_ = nullptr;
    bool modal_ = true;
};

} // namespace qob::win32gui
