// The Win32 Task Scheduler window bound to the ScheduleForm, registering through a scheduler of the
// test's own (the window never names one); run under Wine.
#include "win32gui/ScheduleWindow.h"
#include "DemoPlatform.h"
#include "FakeScheduler.h"
#include "forms/ScheduleForm.h"
#include "win32gui/ControlText.h"
#include "win32gui/ResourceIds.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

using win32gui::controlText;

struct Schedule {
    DemoPlatform p;
    MainForm main{p.platform};
    FakeScheduler scheduler;
    ScheduleForm form{main, ScheduleContext{scheduler,
                                            p.programFolder,
                                            "C:\\Quire\\quiremail.exe",
                                            "C:\\Users\\ann\\AppData\\Local\\Quire Outlook Backup",
                                            nullptr,
                                            {}}};
    win32gui::ScheduleWindow window{form};
    HWND hwnd = nullptr;

    Schedule() {
        main.formLoad();
        hwnd = window.create(nullptr);
    }
    bool checked(int id) const { return IsDlgButtonChecked(hwnd, id) == BST_CHECKED; }
    void click(int id) { SendMessageW(GetDlgItem(hwnd, id), BM_CLICK, 0, 0); }
};

TEST(Win32ScheduleWindow, ControlsReachTheFormAndAddTaskRegistersWhatTheyShow) {
    Schedule s;
    ASSERT_NE(s.hwnd, nullptr);
    EXPECT_EQ(win32gui::windowText(s.hwnd), kScheduleWindowTitle);
    EXPECT_EQ(controlText(s.hwnd, IDC_SCHEDULE_PROFILE), "Outlook");
    EXPECT_EQ(controlText(s.hwnd, IDC_START_TIME), "9:00");
    EXPECT_EQ(SendDlgItemMessageW(s.hwnd, IDC_START_TIME, CB_GETCOUNT, 0, 0), 48);
    EXPECT_EQ(controlText(s.hwnd, IDC_SCHEDULE_FILE), s.form.txtTargetFile);
    EXPECT_EQ(controlText(s.hwnd, IDC_REGISTERED), "No backup is scheduled.");
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        const int id = IDC_SCHEDULE_ITEM0 + static_cast<int>(i);
        EXPECT_EQ(controlText(s.hwnd, id), s.form.backupItem[i].caption);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(s.hwnd, id)) != FALSE, s.form.backupItem[i].enabled) << i;
    }
    EXPECT_EQ(controlText(s.hwnd, IDC_DAY0), "Monday");

    // "Run daily" ticks every day through the form, and takes them back.
    s.click(IDC_DAILY);
    for (int d = 0; d < 7; ++d) {
        EXPECT_TRUE(s.checked(IDC_DAY0 + d)) << d;
    }
    s.click(IDC_DAILY);
    EXPECT_FALSE(s.checked(IDC_DAY0));

    // Refused with the form's message while nothing is ticked: the window stays, nothing registered.
    s.click(IDC_ADD_TASK);
    EXPECT_TRUE(IsWindow(s.hwnd));
    EXPECT_EQ(s.p.dialogs.texts().back(), "Please select at least one item.");
    EXPECT_EQ(s.scheduler.registrations, 0);

    s.p.dialogs.fileAnswers.push_back(std::string("C:\\Backups\\weekly.qob"));
    s.click(IDC_SCHEDULE_BROWSE);
    EXPECT_EQ(controlText(s.hwnd, IDC_SCHEDULE_FILE), "C:\\Backups\\weekly.qob");
    s.click(IDC_SCHEDULE_ITEM0 + 2);
    s.click(IDC_DAY0 + 0);
    s.click(IDC_DAY0 + 4);
    SendDlgItemMessageW(s.hwnd, IDC_START_TIME, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(L"21:30"));
    s.click(IDC_ADD_TASK);
    ASSERT_EQ(s.scheduler.registrations, 1)
        << (s.p.dialogs.messages.empty() ? "" : s.p.dialogs.texts().back());
    const ScheduledTask& task = *s.scheduler.task;
    EXPECT_EQ(task.days, (std::array<bool, 7>{true, false, false, false, true, false, false}));
    EXPECT_EQ(task.hour, 21);
    EXPECT_EQ(task.minute, 30);
    EXPECT_NE(task.arguments.find("xm=001000000"), std::string::npos) << task.arguments;
    EXPECT_NE(task.arguments.find("weekly.qob"), std::string::npos) << task.arguments;
    EXPECT_FALSE(IsWindow(s.hwnd)) << "a registered task closes the window";
}

} // namespace
} // namespace qob::test
