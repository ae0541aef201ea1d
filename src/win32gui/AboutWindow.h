#pragma once
// The about window (IDD_ABOUT): the texts of the Qt-free AboutForm, and Exit.
#include "forms/AboutForm.h"
#include "win32gui/DialogWindow.h"
#include "win32gui/ResourceIds.h"

#include <windows.h>

namespace qob::win32gui {

class AboutWindow : public DialogWindow<AboutWindow> {
public:
    explicit AboutWindow(AboutForm form) : DialogWindow(IDD_ABOUT), form_(std::move(form)) {}
    // Modal over `owner`.
    void run(HWND owner);
    // The same window modeless (tests and screenshots); it destroys itself on Exit.
    HWND create(HWND owner);

private:
    friend class DialogWindow<AboutWindow>;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);

    AboutForm form_;
};

} // namespace qob::win32gui
