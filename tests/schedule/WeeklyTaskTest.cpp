// The weekly task around the scheduler: the schtasks texts, registration with the password kept
// in a file, and the catch-up of runs the machine was off for.
#include "schedule/AutoRunState.h"
#include "schedule/CatchUp.h"
#include "schedule/PasswordFile.h"
#include "schedule/SchtasksCommands.h"
#include "schedule/WeeklyBackup.h"

#include "FakeScheduler.h"
#include "FakeStartupEntry.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sstream>
#include <sys/stat.h>

namespace qob {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

Clock::time_point localTime(int y, int mo, int d, int h, int mi) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&t));
}

TEST(Schtasks, CommandTextsAsWritten) {
    EXPECT_EQ(schtasksEndCommand(), "schtasks /end  /tn \"Quire Outlook AutoBackup\"");
    EXPECT_EQ(schtasksDeleteCommand(), "schtasks /delete /f  /tn \"Quire Outlook AutoBackup\"");
    EXPECT_EQ(schtasksDayList({}), "*");
    EXPECT_EQ(schtasksDayList({false, false, false, false, false, false, true}), "Sun");
    EXPECT_EQ(schtasksDayList({true, false, false, false, true, false, false}), "Mon,Fri");
    EXPECT_EQ(schtasksDayList({false, false, false, false, false, true, false}), "Sat");
    EXPECT_EQ(schtasksDayList({true, true, true, true, true, true, true}), "Mon,Tue,Wed,Thu,Fri,Sat,Sun");
    for (auto [typed, text] : std::vector<std::pair<std::string, std::string>>{
             {"9:00", "09:00"}, {"23:30", "23:30"}, {"0:00", "00:00"}, {"07:05", "07:05"}}) {
        ASSERT_TRUE(parseStartTime(typed)) << typed;
        EXPECT_EQ(startTimeText(*parseStartTime(typed)), text);
    }
    for (const char* bad : {"", "9", "24:00", "9:60", "9:0", "9.00", "a:00", ":30", "123:00", "9:00 "}) {
        EXPECT_FALSE(parseStartTime(bad)) << bad;
    }
    EXPECT_EQ(schtasksCreateCommand("Mon,Fri", "09:00", "C:\\Program Files\\Quire",
                                    autoArgumentText("Outlook", "110000000", "", "C:\\B\\qarch-Outlook.qob")),
              "schtasks /create /sc WEEKLY /d Mon,Fri /st 09:00:00 /tn \"Quire Outlook AutoBackup\" /tr "
              "\"\\\"C:\\Program Files\\Quire\\quiremail.exe\\\" "
              "sf=Outlookxm=110000000ps=bf=C:\\B\\qarch-Outlook.qob\"");
}

struct Registration {
    test::TempDir dir;
    test::FakeScheduler scheduler;
    test::FakeStartupEntry entry;
    ScheduleContext context{scheduler,   dir / "program", "/opt/q/quiremail",
                            dir / "pfx", &entry,          localTime(2026, 12, 7, 10, 0)};
    WeeklyBackup backup;
    Registration() {
        fs::create_directories(context.programFolder);
        backup.days[0] = true;
        backup.profile = "Outlook";
        backup.items = "110000000";
        backup.backupFile = (dir / "q.qob").string();
    }
    std::vector<std::string> passwordFiles() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(context.programFolder)) {
            if (e.path().filename().string().rfind(kPasswordFilePrefix, 0) == 0) {
                names.push_back(e.path().string());
            }
        }
        return names;
    }
};

TEST(WeeklyBackup, ThePasswordTravelsInAFileOnlyItsOwnerReads) {
    Registration r;
    r.backup.password = "s3cret pass";
    ASSERT_TRUE(scheduleWeeklyBackup(r.context, r.backup));
    const ScheduledTask& task = *r.scheduler.task;
    EXPECT_EQ(task.arguments, " sf=Outlookxm=110000000ps=bf=" + r.backup.backupFile);
    EXPECT_EQ(task.environment.at("WINEPREFIX"), (r.dir / "pfx").string());
    EXPECT_EQ(task.environment.at("QUIRE_HOME"), r.context.programFolder.string());
    const fs::path first = task.environment.at(kPasswordFileVariable);
    struct stat st {};
    ASSERT_EQ(::stat(first.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::string password;
    ASSERT_TRUE(readPasswordFile(first, password));
    EXPECT_EQ(password, "s3cret pass");
    EXPECT_EQ(r.entry.calls, std::vector<bool>{true});
    EXPECT_EQ(readAutoRunState(r.context.programFolder).registered, r.context.now);

    std::optional<WeeklyBackup> read;
    ASSERT_TRUE(readWeeklyBackup(r.scheduler, read));
    EXPECT_TRUE(read->passwordInFile);
    EXPECT_EQ(describeWeeklyBackup(*read),
              "Mon at 9:00, profile Outlook, items 110000000, to " + r.backup.backupFile + " (protected)");

    // A refused registration keeps the task the scheduler holds, and its password file.
    r.scheduler.refusal = Status::failure("ERROR: Access is denied.");
    r.backup.password = "other";
    EXPECT_EQ(scheduleWeeklyBackup(r.context, r.backup).message, "ERROR: Access is denied.");
    EXPECT_EQ(r.passwordFiles(), std::vector<std::string>{first.string()});
    // A new registration replaces the file; removing the task removes it and the entry.
    r.scheduler.refusal = Status::success();
    ASSERT_TRUE(scheduleWeeklyBackup(r.context, r.backup));
    EXPECT_EQ(r.passwordFiles(),
              std::vector<std::string>{r.scheduler.task->environment.at(kPasswordFileVariable)});
    r.backup.password.reset();
    ASSERT_TRUE(scheduleWeeklyBackup(r.context, r.backup));
    EXPECT_EQ(r.scheduler.task->environment.count(kPasswordFileVariable), 0u);
    EXPECT_TRUE(r.passwordFiles().empty());
    ASSERT_TRUE(unscheduleWeeklyBackup(r.context));
    EXPECT_FALSE(r.scheduler.task);
    EXPECT_FALSE(r.entry.on);

    // "=" would shift the fields the run reads by position: refused, nothing registered.
    for (auto change : std::vector<std::function<void(WeeklyBackup&)>>{
             [](WeeklyBackup& b) { b.password = "a=b"; }, [](WeeklyBackup& b) { b.profile = "x=y"; },
             [](WeeklyBackup& b) { b.backupFile = "/b/a=b.qob"; },
             [](WeeklyBackup& b) { b.password = "a\nb"; }}) {
        WeeklyBackup bad = r.backup;
        change(bad);
        EXPECT_TRUE(refuseWeeklyBackup(bad));
        EXPECT_FALSE(scheduleWeeklyBackup(r.context, bad));
    }
    EXPECT_FALSE(r.scheduler.task);
    EXPECT_TRUE(r.passwordFiles().empty());

    // What the run reads: missing, empty or a folder all fail.
    for (const fs::path& bad : {r.dir / "none", r.dir.path()}) {
        EXPECT_FALSE(readPasswordFile(bad, password));
    }
}

TEST(CatchUp, AMissedTimeRunsTheTaskOnce) {
    ScheduledTask task;
    task.days = {true, false, false, false, true, false, false}; // Mon, Fri
    task.hour = 9;
    // 7 December 2026 is a Monday.
    const Clock::time_point mon9 = localTime(2026, 12, 7, 9, 0), fri9 = localTime(2026, 12, 4, 9, 0);
    EXPECT_EQ(lastDueTime(task, localTime(2026, 12, 7, 10, 0)), mon9);
    EXPECT_EQ(lastDueTime(task, mon9), mon9);
    EXPECT_EQ(lastDueTime(task, localTime(2026, 12, 7, 8, 59)), fri9);
    EXPECT_EQ(lastDueTime(task, localTime(2026, 12, 10, 23, 0)), mon9);
    ScheduledTask daily = task;
    daily.days = {};
    EXPECT_EQ(lastDueTime(daily, localTime(2026, 12, 10, 8, 0)), localTime(2026, 12, 9, 9, 0));

    const Clock::time_point now = localTime(2026, 12, 8, 8, 0);
    struct Case {
        std::optional<Clock::time_point> registered, lastRun;
        bool due;
    };
    for (const Case& c :
         std::vector<Case>{{{}, {}, true},
                           {fri9, {}, true},
                           {{}, localTime(2026, 12, 7, 9, 1), false},
                           {{}, localTime(2026, 12, 5, 9, 0), true},
                           {localTime(2026, 12, 7, 12, 0), {}, false},
                           {localTime(2026, 12, 7, 12, 0), localTime(2026, 12, 1, 9, 0), false}}) {
        EXPECT_EQ(catchUpDue(task, {c.registered, c.lastRun}, now), c.due);
    }

    // It starts the registered program with its argument text and environment, as cron would.
    test::TempDir dir;
    test::FakeScheduler scheduler;
    struct Recorder : ProcessRunner {
        std::vector<std::vector<std::string>> runs;
        std::map<std::string, std::string> environment;
        ProcessResult run(const std::vector<std::string>& argv, const std::string&,
                          const std::map<std::string, std::string>& env) override {
            runs.push_back(argv);
            environment = env;
            return {true, 1, "", "quiremail: automatic backup failed\n", ""};
        }
    } runner;
    std::ostringstream err;
    EXPECT_EQ(catchUp(scheduler, runner, now, err), 0); // no task
    task.program = "/opt/q/quiremail";
    task.arguments = " sf=Outlookxm=1ps=bf=/b/q.qob";
    task.environment = {{"QUIRE_HOME", dir.path().string()}};
    scheduler.task = task;
    ASSERT_TRUE(recordAutomaticRun(dir.path(), localTime(2026, 12, 7, 9, 0)));
    EXPECT_EQ(catchUp(scheduler, runner, now, err), 0);
    EXPECT_TRUE(runner.runs.empty());
    ASSERT_TRUE(recordAutomaticRun(dir.path(), localTime(2026, 12, 4, 9, 0)));
    EXPECT_EQ(catchUp(scheduler, runner, now, err), 1);
    ASSERT_EQ(runner.runs.size(), 1u);
    EXPECT_EQ(runner.runs[0], (std::vector<std::string>{task.program, task.arguments}));
    EXPECT_EQ(runner.environment, task.environment);
    EXPECT_NE(err.str().find("automatic backup failed"), std::string::npos);
}

} // namespace
} // namespace qob
