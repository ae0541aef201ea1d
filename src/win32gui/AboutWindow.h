#pragma once
// The about window (IDD_ABOUT): the texts of the Qt-free AboutForm, and Exit.
#include "forms/AboutForm.h"

#include <windows.h>

namespace qob::win32gui {

class AboutWindow {
public:
    explicit AboutWindow(AboutForm form) : form_(std::move(form)) {}
    // Modal over `owner`.
    void run(HWND owner);
    // The same window modeless (tests and screenshots); it destroys itself on Exit.
    HWND create(HWND owner);

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    AboutForm form_;
    HWND window_ = nullptr;
    bool modal_ = true;
};

} // namespace qob::win32gui
