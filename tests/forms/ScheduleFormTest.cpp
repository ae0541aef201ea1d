// The schedule window's form: its controls, the checks in their order, registration with the
// scheduler's own answer, and the round trip from the window to a backup made by the registered
// line as cron runs it.
#include "forms/ScheduleForm.h"

#include "backup/EarlierBackup.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "schedule/CrontabScheduler.h"
#include "settings/Settings.h"

#include "CronCommand.h"
#include "DemoPlatform.h"
#include "FakeScheduler.h"
#include "FakeStartupEntry.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

struct ScheduleFixture {
    test::DemoPlatform p;
    MainForm main{p.platform};
    test::FakeScheduler scheduler;
    test::FakeStartupEntry entry;
    ScheduleForm form;
    explicit ScheduleFixture(fs::path program = "/opt/quire/quiremail", fs::path prefix = "/home/ann/.wine")
        : form(main, ScheduleContext{
                         scheduler, p.programFolder, std::move(program), std::move(prefix), &entry, {}}) {
        main.formLoad();
        form.formLoad();
    }
    const test::RecordedMessage& lastMessage() const { return p.dialogs.messages.back(); }
};

TEST(ScheduleForm, ControlsChecksAndMessagesInTheirOrder) {
    ScheduleFixture f;
    EXPECT_EQ(f.form.cbSource.items, f.p.demo.profiles);
    EXPECT_EQ(f.form.cbSource.text(), "Outlook");
    ASSERT_EQ(f.form.startTimes.size(), 48u);
    EXPECT_EQ(f.form.startTimes[0], "0:00");
    EXPECT_EQ(f.form.startTimes[19], "9:30");
    EXPECT_EQ(f.form.startTimes[47], "23:30");
    EXPECT_EQ(f.form.startTime, "9:00");
    EXPECT_EQ(f.form.txtTargetFile, (f.p.programFolder / "qarch-Outlook.qob").string());
    EXPECT_EQ(f.form.registeredTask, "No backup is scheduled.");
    f.form.chkDailyClick(true);
    EXPECT_EQ(f.form.days, (std::array<bool, 7>{true, true, true, true, true, true, true}));
    f.form.chkDailyClick(false);
    EXPECT_EQ(f.form.days, (std::array<bool, 7>{}));
    // Cancelling the browse dialog keeps the path; a pick replaces it.
    f.p.dialogs.fileAnswers = {std::nullopt, std::string("/b/weekly.qob")};
    f.form.cmdTargetFileClick();
    EXPECT_EQ(f.form.targetPath(), f.p.programFolder / "qarch-Outlook.qob");
    f.form.cmdTargetFileClick();
    EXPECT_EQ(f.form.targetPath(), "/b/weekly.qob");

    // The checks, in order; each stops the registration with its own message.
    struct Step {
        std::function<void(ScheduleForm&)> change;
        std::string text;
        MsgIcon icon;
    };
    const std::vector<Step> steps = {
        {[](ScheduleForm&) {}, "Please select at least one item.", MsgIcon::Warning},
        {[](ScheduleForm& s) { s.backupItem[0].checked = true, s.ifProtectClick(true); },
         "Please enter Password!", MsgIcon::Critical},
        {[](ScheduleForm& s) { s.txtPassword = "a=b"; }, "Incorect Password!", MsgIcon::Critical},
        {[](ScheduleForm& s) { s.txtPassword2 = "a=b"; },
         "The password cannot contain \"=\": the scheduled backup would read its fields wrongly.",
         MsgIcon::Warning},
        // The password prompt takes 20 characters: a longer one would protect backups nobody opens.
        {[](ScheduleForm& s) { s.txtPassword = s.txtPassword2 = std::string(21, 'p'); },
         "The password is longer than 20 characters; the password prompt takes no more when the backup is "
         "opened.",
         MsgIcon::Warning},
        {[](ScheduleForm& s) { s.txtPassword = s.txtPassword2 = "pw", s.startTime = "9h30"; },
         "Please enter the start time as hours and minutes, such as 9:00.", MsgIcon::Warning},
    };
    for (const Step& step : steps) {
        step.change(f.form);
        EXPECT_FALSE(f.form.addTask());
        EXPECT_EQ(f.lastMessage().text, step.text);
        EXPECT_EQ(f.lastMessage().icon, step.icon);
    }
    EXPECT_EQ(f.scheduler.registrations, 0);

    // The scheduler's refusal is shown in its words; nothing claims success.
    f.form.startTime = "21:30";
    f.form.days[0] = f.form.days[4] = true;
    f.scheduler.refusal = Status::failure("crontab: errors in crontab file, can't install.");
    EXPECT_FALSE(f.form.addTask());
    EXPECT_EQ(
        f.lastMessage().text,
        "Task Quire Outlook AutoBackup was not scheduled:\ncrontab: errors in crontab file, can't install.");
    EXPECT_EQ(f.lastMessage().icon, MsgIcon::Critical);

    f.scheduler.refusal = Status::success();
    EXPECT_TRUE(f.form.addTask());
    EXPECT_EQ(f.lastMessage().text, "Task Quire Outlook AutoBackup has been scheduled.");
    EXPECT_EQ(f.lastMessage().icon, MsgIcon::Information);
    // The items and days by their names, not as flags.
    EXPECT_EQ(f.form.registeredTask, "Scheduled: Monday, Friday at 21:30, profile Outlook: Personal Folders, "
                                     "to /b/weekly.qob (protected)");
    EXPECT_EQ(f.scheduler.task->arguments, " sf=Outlookxm=100000000ps=bf=/b/weekly.qob");

    // A new opening shows what the scheduler holds; "Disable Task" removes it, and says so even
    // when there is nothing left to remove.
    ScheduleForm again(f.main, ScheduleContext{f.scheduler, f.p.programFolder, "/q", "/p", &f.entry, {}});
    again.formLoad();
    EXPECT_EQ(again.registeredTask, f.form.registeredTask);
    // ... and opens on it, not on an empty form; the password is to be typed again.
    EXPECT_EQ(again.cbSource.text(), "Outlook");
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        EXPECT_EQ(again.backupItem[i].checked, i == 0) << i;
    }
    EXPECT_EQ(again.txtTargetFile, "/b/weekly.qob");
    EXPECT_EQ(again.targetPath(), fs::path("/b/weekly.qob"));
    EXPECT_EQ(again.days, (std::array<bool, 7>{true, false, false, false, true, false, false}));
    EXPECT_FALSE(again.chkDaily);
    EXPECT_EQ(again.startTime, "21:30");
    EXPECT_TRUE(again.ifProtect);
    EXPECT_TRUE(again.txtPassword.empty());
    for (int i = 0; i < 2; ++i) {
        again.disableTask();
        EXPECT_EQ(f.lastMessage().text, "Task Quire Outlook AutoBackup has been Delete.");
        EXPECT_EQ(again.registeredTask, "No backup is scheduled.");
    }
    EXPECT_FALSE(f.entry.on);
}

TEST(ScheduleForm, TheRegisteredLineRunAsCronRunsItMakesTheProtectedBackup) {
    const fs::path quiremail = fs::path(QOB_BINARY_DIR) / "quiremail";
    if (!fs::exists(quiremail)) {
        GTEST_SKIP() << "the quiremail binary is not built";
    }
    test::TempDir dir;
    // A real prefix (registry files) with the demo's profiles, under names cron and sh would mangle.
    const fs::path prefix = dir / "pfx 100% it's";
    DemoTargetSystem demo = DemoTargetSystem::createFiles(prefix);
    {
        WinePrefixRegistry store(demo.prefix);
        demo.writeRegistry(store);
    }
    ScheduleFixture f(quiremail, prefix);
    const fs::path home = dir / "Quire's home \xC3\x9C 50%";
    fs::create_directories(home);
    ASSERT_TRUE(writeSetting(settingsPath(home), "autobackup", "autobackupfile", "0"));
    ScheduleForm form(f.main, ScheduleContext{f.scheduler, home, quiremail, prefix, &f.entry, {}});
    form.formLoad();
    const fs::path target = dir / "Backups of \"Outlook\"" / "weekly 100%.qob";
    fs::create_directories(target.parent_path());
    f.p.dialogs.fileAnswers = {target.string()};
    form.cmdTargetFileClick();
    form.backupItem[1].checked = form.backupItem[2].checked = true;
    form.ifProtectClick(true);
    form.txtPassword = form.txtPassword2 = "s3cret 100% 'x'";
    ASSERT_TRUE(form.addTask()) << f.lastMessage().text;

    std::string line;
    ASSERT_TRUE(cronLine(*f.scheduler.task, line));
    EXPECT_EQ(line.find("s3cret"), std::string::npos) << "the password stays off the command line";
    const std::string command = test::asCronRunsIt(test::cronCommand(line), dir.path().string());
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ASSERT_TRUE(fs::exists(target));
    EXPECT_FALSE(storedItemFlags(target, "", home)) << "protected";
    // Boxes 1 and 2: the configuration, the accounts and the signatures.
    EXPECT_EQ(storedItemFlags(target, "s3cret 100% 'x'", home), "10011000000");
}

} // namespace
} // namespace qob
