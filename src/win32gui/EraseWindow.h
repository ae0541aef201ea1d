#pragma once
// The erase window on Windows (IDD_ERASE), bound to EraseForm as the Qt window is: the erase runs on
// a worker through DiscCall, its reports posted to this window, and the window refuses to close
// while it runs.
#include "forms/DiscCall.h"
#include "forms/EraseForm.h"
#include "win32gui/WindowQueue.h"

#include <windows.h>

namespace qob::win32gui {

class Win32Dialogs;

class EraseWindow {
public:
    // `form` and `engine` must outlive the window; `owned`, when given, is the Win32Dialogs behind
    // the form: its boxes belong to this window while it is open.
    EraseWindow(EraseForm& form, disc::DiscEngine& engine, Win32Dialogs* owned = nullptr);
    ~EraseWindow();
    EraseWindow(const EraseWindow&) = delete;
    EraseWindow& operator=(const EraseWindow&) = delete;

    // Modal over `owner`.
    void run(HWND owner);
    // The same window modeless (tests); it destroys itself when it closes.
    HWND create(HWND owner);
    HWND window() const { return window_; }
    bool erasing() const { return call_.running(); }
    // Runs the window's messages until the running erase has ended and its end is shown.
    void waitForErase();

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void refresh();
    void eraseClicked();
    bool closable() const { return form_.queryClose() && !call_.running(); }
    void close();

    EraseForm& form_;
    disc::DiscEngine& engine_;
    Win32Dialogs* owned_;
    HWND earlierOwner_ = nullptr;
    // Before the call: a worker still running posts into it until it has been waited for.
    WindowQueue queue_;
    DiscCall call_;
    HWND window_ = nullptr;
    bool modal_ = true;
};

} // namespace qob::win32gui
