// The Windows task scheduler backend against a scripted schtasks.exe: the exact command lines it
// gives the tool, how it reads the tool's exit codes and output (UTF-16, UTF-8, the console's
// code page), the task read back from its XML, and the password file of a task that names none.
#include "schedule/SchtasksScheduler.h"
#include "schedule/AutoCommandLine.h"
#include "schedule/CatchUp.h"
#include "schedule/PasswordFile.h"
#include "schedule/SchtasksTaskXml.h"
#include "schedule/WeeklyBackup.h"

#include "FakeScheduler.h"
#include "FakeSchtasks.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;
using test::FakeSchtasks;

const std::string kTool = "C:\\Windows\\system32\\schtasks.exe";
const std::string kEnd = "schtasks /end  /tn \"Quire Outlook AutoBackup\"";
const std::string kDelete = "schtasks /delete /f  /tn \"Quire Outlook AutoBackup\"";
const std::string kQuery = "schtasks /query /tn \"Quire Outlook AutoBackup\" /xml";
const std::string kList = "schtasks /query /fo CSV /nh";
const std::string kListed = "\"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag\",\"N/A\",\"Ready\"\r\n"
                            "\"\\Quire Outlook AutoBackup\",\"12/14/2026 9:00:00 AM\",\"Ready\"\r\n";
const std::string kListedOthers = "\"\\Microsoft\\Windows\\Defrag\\ScheduledDefrag\",\"N/A\",\"Ready\"\r\n"
                                  "\"\\Quire Outlook AutoBackup 2\",\"N/A\",\"Ready\"\r\n";

std::string utf16le(const std::string& ascii, bool bom) {
    std::string out = bom ? "\xFF\xFE" : "";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

// What Windows prints for a task made by /create /sc WEEKLY.
std::string taskXml(const std::string& daysOfWeek, const std::string& start, const std::string& command,
                    const std::string& arguments) {
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           "  <RegistrationInfo>\r\n    <URI>\\Quire Outlook AutoBackup</URI>\r\n  </RegistrationInfo>\r\n"
           "  <Triggers>\r\n    <CalendarTrigger>\r\n      <StartBoundary>" +
           start + "</StartBoundary>\r\n      <Enabled>true</Enabled>\r\n" +
           (daysOfWeek == "daily"
                ? "      <ScheduleByDay>\r\n        <DaysInterval>1</DaysInterval>\r\n"
                  "      </ScheduleByDay>\r\n"
                : "      <ScheduleByWeek>\r\n        <DaysOfWeek>\r\n" + daysOfWeek +
                      "        </DaysOfWeek>\r\n        <WeeksInterval>1</WeeksInterval>\r\n"
                      "      </ScheduleByWeek>\r\n") +
           "    </CalendarTrigger>\r\n  </Triggers>\r\n"
           "  <Actions Context=\"Author\">\r\n    <Exec>\r\n      <Command>" +
           command + "</Command>\r\n" +
           (arguments.empty() ? "" : "      <Arguments>" + arguments + "</Arguments>\r\n") +
           "    </Exec>\r\n  </Actions>\r\n</Task>\r\n";
}

ScheduledTask windowsTask(const std::string& program, const std::string& arguments) {
    ScheduledTask task;
    task.days = {true, false, false, false, true, false, false};
    task.hour = 9;
    task.program = program;
    task.arguments = arguments;
    return task;
}

TEST(SchtasksScheduler, RegistersWithTheWrittenCommandTextsExactly) {
    struct Case {
        std::array<bool, 7> days;
        int hour, minute;
        std::string program, arguments, create;
    };
    const std::vector<Case> cases = {
        {{true, false, false, false, true, false, false},
         9,
         0,
         "C:\\Program Files\\Quire\\quiremail.exe",
         " sf=Outlookxm=110000000ps=bf=C:\\B\\qarch-Outlook.qob",
         "schtasks /create /sc WEEKLY /d Mon,Fri /st 09:00:00 /tn \"Quire Outlook AutoBackup\" /tr "
         "\"\\\"C:\\Program Files\\Quire\\quiremail.exe\\\" "
         "sf=Outlookxm=110000000ps=bf=C:\\B\\qarch-Outlook.qob\""},
        // Sunday alone, half past eleven; blanks kept as they are, double ones too.
        {{false, false, false, false, false, false, true},
         23,
         30,
         "D:\\Q\\QUIREMAIL.EXE",
         " sf=My  Profile xm=111111111ps=bf=D:\\My Backups\\a b.qob",
         "schtasks /create /sc WEEKLY /d Sun /st 23:30:00 /tn \"Quire Outlook AutoBackup\" /tr "
         "\"\\\"D:\\Q\\quiremail.exe\\\" sf=My  Profile xm=111111111ps=bf=D:\\My Backups\\a b.qob\""},
        // No day: "*"; names and folders outside ASCII pass as UTF-8 (UTF-16 for CreateProcessW).
        {{},
         0,
         5,
         "C:\\Users\\Zo\xC3\xAB\\Quire\\quiremail.exe",
         " sf=B\xC3\xBCro \xE9\x83\xB5\xE4\xBE\xBFxm=100000000ps=bf=C:\\Users\\Zo\xC3\xAB\\q.qob",
         "schtasks /create /sc WEEKLY /d * /st 00:05:00 /tn \"Quire Outlook AutoBackup\" /tr "
         "\"\\\"C:\\Users\\Zo\xC3\xAB\\Quire\\quiremail.exe\\\" "
         "sf=B\xC3\xBCro \xE9\x83\xB5\xE4\xBE\xBFxm=100000000ps=bf=C:\\Users\\Zo\xC3\xAB\\q.qob\""},
        // A program on a network share; every day ticked.
        {{true, true, true, true, true, true, true},
         7,
         0,
         "\\\\server\\apps\\quire\\quiremail.exe",
         " sf=O'Brien & Co (100%)xm=000000001ps=bf=\\\\server\\b\\q.qob",
         "schtasks /create /sc WEEKLY /d Mon,Tue,Wed,Thu,Fri,Sat,Sun /st 07:00:00 /tn \"Quire Outlook "
         "AutoBackup\" "
         "/tr \"\\\"\\\\server\\apps\\quire\\quiremail.exe\\\" sf=O'Brien & Co "
         "(100%)xm=000000001ps=bf=\\\\server\\b\\q.qob\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        FakeSchtasks tool;
        SchtasksScheduler scheduler(tool, kTool, 850);
        ScheduledTask task = windowsTask(c.program, c.arguments);
        task.days = c.days;
        task.hour = c.hour;
        task.minute = c.minute;
        // Variables cannot travel in a Windows task: none reaches the command line.
        task.environment = {{"QUIRE_PASSWORD_FILE", "C:\\secret"}};
        ASSERT_TRUE(scheduler.registerTask(task));
        // The program folder as the task names it; the written text adds "\quiremail.exe".
        EXPECT_EQ(tool.commandLines(), (std::vector<std::string>{kEnd, kDelete, c.create}));
        for (const auto& call : tool.calls) {
            EXPECT_EQ(call.program, kTool);
        }
    }
    FakeSchtasks tool;
    EXPECT_FALSE(SchtasksScheduler(tool, kTool, 850).setsVariables());
}

TEST(SchtasksScheduler, RefusesWhatWouldBreakOutOfTheQuotedAction) {
    struct Case {
        std::string program, arguments, words;
    };
    const std::vector<Case> cases = {
        {"C:\\Q\\quiremail.exe", " sf=a\" /ru SYSTEM /tr \"calcxm=1ps=bf=C:\\q.qob", "double quote"},
        {"C:\\Q\\quiremail.exe", " sf=axm=1ps=bf=C:\\q\r\n.qob", "line break"},
        {"C:\\Q\\quiremail.exe", " sf=axm=1ps=bf=C:\\B\\", "backslash"},
        {"quiremail.exe", " sf=axm=1ps=bf=C:\\q.qob", "full path"},
        {"C:\\Q\\other.exe", " sf=axm=1ps=bf=C:\\q.qob", "full path"},
        {"/opt/q/quiremail", " sf=axm=1ps=bf=C:\\q.qob", "full path"},
        {"C:\\Q\\xquiremail.exe", " sf=axm=1ps=bf=C:\\q.qob", "full path"},
        {"C:\\Q\\quiremail.exe", " sf=a%USERNAME%xm=1ps=bf=C:\\q.qob", "percent"},
        {"C:\\Q\\quiremail.exe", " sf=100% sure%xm=1ps=bf=C:\\q.qob", "percent"},
        {"C:\\Q\\quiremail.exe", " sf=%%axm=1ps=bf=C:\\%TEMP%\\q.qob", "percent"},
        {"C:\\%APPDATA%\\quiremail.exe", " sf=axm=1ps=bf=C:\\q.qob", "percent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + c.arguments);
        FakeSchtasks tool;
        SchtasksScheduler scheduler(tool, kTool, 850);
        const Status refused = scheduler.registerTask(windowsTask(c.program, c.arguments));
        EXPECT_FALSE(refused);
        EXPECT_NE(refused.message.find(c.words), std::string::npos) << refused.message;
        // Refused before anything ran: the task the scheduler holds stays.
        EXPECT_TRUE(tool.calls.empty());
    }
    ScheduledTask late = windowsTask("C:\\Q\\quiremail.exe", " sf=axm=1ps=bf=C:\\q.qob");
    late.hour = 24;
    std::string command;
    EXPECT_FALSE(schtasksCreateCommandFor(late, command));
}

TEST(SchtasksScheduler, ExitCodesAndOutputBecomeClearErrors) {
    const ScheduledTask task = windowsTask("C:\\Q\\quiremail.exe", " sf=Outlookxm=1ps=bf=C:\\q.qob");
    const std::string create = "schtasks /create";
    const std::string notFound = "ERROR: The system cannot find the file specified.\r\n";
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, ProcessResult>> answers;
        bool registered;
        std::string message;     // part of the message when refused
        std::size_t createCalls; // how often /create ran
    };
    const std::vector<Case> cases = {
        {"no instance runs and no task exists",
         {{kEnd, FakeSchtasks::exits(1, "", notFound)},
          {kDelete, FakeSchtasks::exits(1, "", notFound)},
          {kList, FakeSchtasks::exits(0, kListedOthers)}},
         true,
         "",
         1},
        {"the earlier task cannot be removed",
         {{kDelete, FakeSchtasks::exits(1, "", "ERROR: Access is denied.\r\n")},
          {kList, FakeSchtasks::exits(0, kListed)}},
         false,
         "The earlier task could not be removed: ERROR: Access is denied.",
         0},
        {"removal refused and the list cannot be read",
         {{kDelete, FakeSchtasks::exits(1, "", "ERROR: Access is denied.\r\n")},
          {kList, FakeSchtasks::exits(1, "", "ERROR: The RPC server is unavailable.\r\n")}},
         false,
         "ERROR: Access is denied.",
         0},
        {"the new task is refused, in the tool's words (UTF-16 output)",
         {{create, FakeSchtasks::exits(1, "",
                                       utf16le("ERROR: Invalid syntax. Value for '/tr' option cannot be more "
                                               "than 261 character(s).\r\n",
                                               true))}},
         false,
         "ERROR: Invalid syntax. Value for '/tr' option cannot be more than 261 character(s).",
         1},
        {"the new task is refused on stdout in the console's code page (850)",
         {{create, FakeSchtasks::exits(1, "ERREUR : Acc\x8As refus\x82.\r\n")}},
         false,
         "ERREUR : Acc\xC3\xA8s refus\xC3\xA9.",
         1},
        {"the tool says nothing but fails", {{create, FakeSchtasks::exits(5)}}, false, "exit code 5", 1},
        {"the tool cannot be started",
         {{"", ProcessResult{false, -1, "", "", "cannot run (error 2)"}}},
         false,
         "The Windows task scheduler cannot be reached: cannot run (error 2)",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSchtasks tool;
        tool.answers = c.answers;
        SchtasksScheduler scheduler(tool, kTool, 850);
        const Status result = scheduler.registerTask(task);
        EXPECT_EQ(bool(result), c.registered) << result.message;
        if (!c.registered) {
            EXPECT_NE(result.message.find(c.message), std::string::npos) << result.message;
        }
        std::size_t creates = 0;
        for (const std::string& line : tool.commandLines()) {
            creates += line.rfind(create, 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(creates, c.createCalls);
    }
}

TEST(SchtasksScheduler, ReadsTheTaskBackAndRemovesIt) {
    const std::string program = "C:\\Users\\Zo\xC3\xAB\\Quire\\quiremail.exe";
    const std::string arguments = " sf=O'Brien & <Co> \xE9\x83\xB5xm=110000000ps=bf=C:\\B\\q.qob";
    ScheduledTask registered = windowsTask(program, arguments);
    const std::string escaped = "sf=O&apos;Brien &amp; &lt;Co&gt; &#x90F5;xm=110000000ps=bf=C:\\B\\q.qob";
    struct Case {
        std::string name, output;
        std::optional<ScheduledTask> task;
    };
    ScheduledTask daily = registered;
    daily.days = {};
    daily.hour = 23;
    daily.minute = 30;
    const std::string monFri = "          <Monday />\r\n          <Friday />\r\n";
    const std::vector<Case> cases = {
        {"UTF-8 with the program quoted",
         taskXml(monFri, "2026-12-08T09:00:00", "\"" + program + "\"", escaped), registered},
        {"UTF-16 with its mark, program unquoted, a time zone",
         [&] {
             // Only ASCII in this text: the converter's own test is below.
             std::string xml = taskXml(monFri, "2026-12-08T09:00:00+01:00", "C:\\Q\\quiremail.exe",
                                       "sf=Outlookxm=1ps=bf=C:\\q.qob");
             return utf16le(xml, true);
         }(),
         windowsTask("C:\\Q\\quiremail.exe", " sf=Outlookxm=1ps=bf=C:\\q.qob")},
        {"every day", taskXml("daily", "2026-12-08T23:30:00", program, escaped), daily},
        {"all seven days",
         taskXml("<Monday/><Tuesday/><Wednesday/><Thursday/><Friday/><Saturday/><Sunday/>",
                 "2026-12-08T23:30:00", program, escaped),
         [&] {
             ScheduledTask all = daily;
             all.days = {true, true, true, true, true, true, true};
             return all;
         }()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSchtasks tool;
        tool.answer(kQuery, FakeSchtasks::exits(0, c.output));
        SchtasksScheduler scheduler(tool, kTool, 850);
        std::optional<ScheduledTask> read;
        ASSERT_TRUE(scheduler.readTask(read));
        EXPECT_EQ(read, c.task);
        EXPECT_EQ(tool.commandLines(), std::vector<std::string>{kQuery});
    }

    // Not there: the query fails in the language of Windows, the list does not show it.
    struct Missing {
        std::string list;
        int listExit;
        bool ok;
        std::string message;
    };
    for (const Missing& m : std::vector<Missing>{{kListedOthers, 0, true, ""},
                                                 {"", 0, true, ""},
                                                 {kListed, 0, false, "ERROR: Access is denied."},
                                                 {"", 1, false, "ERROR: Access is denied."}}) {
        SCOPED_TRACE(m.list);
        FakeSchtasks tool;
        tool.answer(kQuery, FakeSchtasks::exits(1, "", "ERROR: Access is denied.\r\n"));
        tool.answer(kList, FakeSchtasks::exits(m.listExit, m.list));
        tool.answer(kDelete, FakeSchtasks::exits(1, "", "ERROR: Access is denied.\r\n"));
        SchtasksScheduler scheduler(tool, kTool, 850);
        std::optional<ScheduledTask> read = registered;
        const Status status = scheduler.readTask(read);
        EXPECT_EQ(bool(status), m.ok) << status.message;
        EXPECT_FALSE(read);
        EXPECT_NE(status.message.find(m.message), std::string::npos);
        // Removing a task that is not there is no error; one that stays is.
        const Status removed = scheduler.removeTask();
        EXPECT_EQ(bool(removed), m.ok) << removed.message;
    }

    // A task of that name this program cannot read is said to be so, not taken for none.
    for (const std::string& garbage :
         {std::string("<Task><Actions><Exec><Command>C:\\x.exe</Command></Exec></Actions></Task>"),
          taskXml(monFri, "2026-12-08", program, escaped),
          taskXml(monFri, "2026-12-08T25:00:00", program, escaped),
          taskXml(monFri, "2026-12-08T09:00:00", "", escaped), std::string("")}) {
        FakeSchtasks tool;
        tool.answer(kQuery, FakeSchtasks::exits(0, garbage));
        std::optional<ScheduledTask> read;
        const Status status = SchtasksScheduler(tool, kTool, 850).readTask(read);
        EXPECT_FALSE(status) << garbage;
        EXPECT_NE(status.message.find("cannot read"), std::string::npos);
    }

    // Removal: end, then delete, the written texts; a deleted task needs no list.
    FakeSchtasks tool;
    ASSERT_TRUE(SchtasksScheduler(tool, kTool, 850).removeTask());
    EXPECT_EQ(tool.commandLines(), (std::vector<std::string>{kEnd, kDelete}));
}

TEST(SchtasksScheduler, OutputTextInEveryEncodingTheToolWrites) {
    struct Case {
        std::string bytes, text;
    };
    for (const Case& c : std::vector<Case>{
             {utf16le("SUCCESS", true), "SUCCESS"},
             {utf16le("SUCCESS", false), "SUCCESS"},
             {std::string("\xFF\xFE\xE9\x00\x3D\xD8\x00\xDE", 8), "\xC3\xA9\xF0\x9F\x98\x80"},
             {std::string("\xFF\xFE\x00\xD8x\x00", 6), "\xEF\xBF\xBDx"},
             {"Zo\xC3\xAB", "Zo\xC3\xAB"},
             {"Zo\x89", "Zo\xC3\xAB"},
             {"", ""},
         }) {
        EXPECT_EQ(schtasksOutputText(c.bytes, 850), c.text);
    }
}

TEST(SchtasksScheduler, TheRunReadsTheTaskTextAsWritten) {
    struct Case {
        std::string commandLine, arguments;
    };
    for (const Case& c : std::vector<Case>{
             {"\"C:\\Program Files\\Q\\quiremail.exe\" sf=My  Profilexm=1ps=bf=C:\\a  b.qob",
              "sf=My  Profilexm=1ps=bf=C:\\a  b.qob"},
             {"C:\\Q\\quiremail.exe  \t sf=Axm=1ps=bf=C:\\q.qob ", "sf=Axm=1ps=bf=C:\\q.qob "},
             {"quiremail \" sf=Axm=1ps=bf=C:\\q.qob\"", " sf=Axm=1ps=bf=C:\\q.qob"},
             {"quiremail \"a\" \"b\"", "\"a\" \"b\""},
             {"\"C:\\Q\\quiremail.exe\"", ""},
             {"\"unclosed", ""},
             {"", ""},
         }) {
        EXPECT_EQ(argumentsOfCommandLine(c.commandLine), c.arguments) << c.commandLine;
    }
    const auto line = parseAutoCommandLine(argumentsOfCommandLine(
        "\"C:\\Q\\quiremail.exe\" sf=My  Profilexm=110000000ps=bf=C:\\My  Backups\\q.qob"));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->profile, "My  Profile");
    EXPECT_EQ(line->backupFile, "C:\\My  Backups\\q.qob");

    // The catch-up starts the action as the scheduler does: one command line, program quoted.
    FakeSchtasks runner;
    SchtasksScheduler scheduler(runner, kTool, 850);
    const ScheduledTask task = windowsTask("C:\\Program Files\\Q\\quiremail.exe", " sf=Axm=1ps=bf=C:\\q.qob");
    ProcessResult r = scheduler.runNow(runner, task);
    EXPECT_TRUE(r.started);
    EXPECT_EQ(runner.calls,
              (std::vector<FakeSchtasks::Call>{
                  {task.program, "\"C:\\Program Files\\Q\\quiremail.exe\" sf=Axm=1ps=bf=C:\\q.qob"}}));
}

struct WindowsRegistration {
    test::TempDir dir;
    test::FakeScheduler scheduler;
    ScheduleContext context{scheduler, dir / "program", "C:\\Q\\quiremail.exe",
                            {},        nullptr,         std::chrono::system_clock::now()};
    WeeklyBackup backup;
    WindowsRegistration() {
        scheduler.variables = false;
        fs::create_directories(context.programFolder);
        backup.profile = "Outlook";
        backup.items = "110000000";
        backup.backupFile = "C:\\B\\q.qob";
    }
    fs::path fixed() const { return taskPasswordFile(context.programFolder); }
    std::string password() const {
        std::string p;
        return readPasswordFile(fixed(), p) ? p : "(none)";
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(context.programFolder)) {
            if (e.path().filename().string().rfind(kPasswordFilePrefix, 0) == 0) {
                names.push_back(e.path().filename().string());
            }
        }
        return names;
    }
};

TEST(WeeklyBackupOnWindows, ThePasswordWaitsInTheOneFileTheRunLooksFor) {
    WindowsRegistration r;
    r.backup.password = "s3cret";
    ASSERT_TRUE(scheduleWeeklyBackup(r.context, r.backup));
    // Off the command line, no variables, the file in place and private.
    EXPECT_EQ(r.scheduler.task->arguments, " sf=Outlookxm=110000000ps=bf=C:\\B\\q.qob");
    EXPECT_TRUE(r.scheduler.task->environment.empty());
    EXPECT_EQ(r.password(), "s3cret");
    EXPECT_EQ(r.files(), std::vector<std::string>{kTaskPasswordFileName});
#ifndef _WIN32
    EXPECT_EQ(fs::status(r.fixed()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
#endif
    std::optional<WeeklyBackup> read;
    ASSERT_TRUE(readWeeklyBackup(r.scheduler, read, r.context.programFolder));
    EXPECT_TRUE(read->passwordInFile);
    // The run finds it without the task naming it; a named file goes first.
    EXPECT_EQ(runPasswordFile(std::nullopt, r.context.programFolder), r.fixed());
    EXPECT_EQ(runPasswordFile(std::string(""), r.context.programFolder), r.fixed());
    EXPECT_EQ(runPasswordFile(std::string("C:\\other"), r.context.programFolder), fs::path("C:\\other"));

    struct Step {
        std::string name;
        std::optional<std::string> password;
        Status refusal;
        bool keepsTask; // the refusing scheduler keeps the earlier task
        std::string fileAfter;
    };
    const std::vector<Step> steps = {
        {"refused, earlier task kept: earlier password kept", "new",
         Status::failure("ERROR: Access is denied."), true, "s3cret"},
        {"registered anew: the new password replaces it", "n\xC3\xA9w pass", Status::success(), true,
         "n\xC3\xA9w pass"},
        {"registered without a password: no file the run would find", std::nullopt, Status::success(), true,
         "(none)"},
        {"a password again", "again", Status::success(), true, "again"},
        {"refused after the earlier task was removed: its password goes too", "x",
         Status::failure("ERROR: Invalid syntax."), false, "(none)"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        r.scheduler.refusal = s.refusal;
        if (!s.keepsTask) {
            r.scheduler.task.reset();
        }
        r.backup.password = s.password;
        EXPECT_EQ(bool(scheduleWeeklyBackup(r.context, r.backup)), bool(s.refusal));
        EXPECT_EQ(r.password(), s.fileAfter);
        // Never a second file: the new one is written, then put in place or removed.
        EXPECT_LE(r.files().size(), 1u);
    }

    r.scheduler.refusal = Status::success();
    r.backup.password = "last";
    ASSERT_TRUE(scheduleWeeklyBackup(r.context, r.backup));
    ASSERT_TRUE(unscheduleWeeklyBackup(r.context));
    EXPECT_FALSE(r.scheduler.task);
    EXPECT_TRUE(r.files().empty());
    EXPECT_EQ(runPasswordFile(std::nullopt, r.context.programFolder), std::nullopt);
}

TEST(WeeklyBackupOnWindows, ATaskWhosePasswordCannotBePlacedIsNotKept) {
    WindowsRegistration r;
    // The fixed name is taken by a folder: the file cannot be put in place.
    fs::create_directories(r.fixed() / "x");
    r.backup.password = "s3cret";
    const Status result = scheduleWeeklyBackup(r.context, r.backup);
    EXPECT_FALSE(result);
    EXPECT_NE(result.message.find("The task was not kept"), std::string::npos) << result.message;
    EXPECT_FALSE(r.scheduler.task);
    EXPECT_EQ(r.files(), std::vector<std::string>{kTaskPasswordFileName}); // the folder alone
    r.backup.password.reset();
    EXPECT_FALSE(scheduleWeeklyBackup(r.context, r.backup));
    EXPECT_FALSE(r.scheduler.task);
}

} // namespace
} // namespace qob
