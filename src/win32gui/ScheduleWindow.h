#pragma once
// The Task Scheduler window on Windows (IDD_SCHEDULE): binds its controls to the Qt-free
// ScheduleForm, as the Qt window does. The form registers the weekly task with whatever Scheduler
// its context holds; the window never names one.
#include "forms/ScheduleForm.h"
#include "win32gui/DialogWindow.h"
#include "win32gui/ResourceIds.h"

#include <windows.h>

namespace qob::win32gui {

class ScheduleWindow : public DialogWindow<ScheduleWindow> {
public:
    explicit ScheduleWindow(ScheduleForm& form) : DialogWindow(IDD_SCHEDULE), form_(form) {}
    ~ScheduleWindow();
    ScheduleWindow(const ScheduleWindow&) = delete;
    ScheduleWindow& operator=(const ScheduleWindow&) = delete;

    // Modal over `owner`.
    void run(HWND owner);
    // The same window modeless (tests); it destroys itself when the form closes it or on Cancel.
    HWND create(HWND owner);

private:
    friend class DialogWindow<ScheduleWindow>;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void storeControls();
    void showChange(ScheduleChange change);
    void close();

    ScheduleForm& form_;
};

} // namespace qob::win32gui
