// The crontab backend: the line it writes is read back whole, runs through cron and sh with every
// value intact, and the user's other crontab lines stay as they were.
#include "schedule/CrontabScheduler.h"

#include "CronCommand.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Crontab, EveryValueSurvivesTheLineCronAndSh) {
    test::TempDir dir;
    // The program itself lives under a path cron and sh would both mangle unquoted.
    const fs::path folder = dir / "it's 100% \xC3\x9Cnic\xC3\xB6"
                                  "de $HOME `x` #";
    fs::create_directories(folder);
    const fs::path program = folder / "print args";
    std::ofstream(program)
        << "#!/bin/sh\nprintf '%s\\n%s\\n%s\\n' \"$#\" \"$1\" \"$QUIRE_HOME\" > \"$OUT\"\n";
    fs::permissions(program, fs::perms::owner_all);
    const std::vector<std::string> texts = {
        " sf=Outlookxm=110000000ps=bf=/b/qarch-Outlook.qob",
        " sf=My Profilexm=111111111ps=bf=/home/ann/Backups/it's 50%.qob",
        " sf=a\\%b\\\\%%xm=1ps=bf=C:\\B\\q.qob",
        " sf=\xE9\x83\xB5\xE4\xBE\xBF \"q\"xm=1ps=bf=/x/$(id);`id`|&>.qob",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        ScheduledTask task;
        task.days = {true, false, false, false, true, false, false};
        task.hour = 21;
        task.minute = 5;
        task.program = program.string();
        task.arguments = text;
        task.environment = {{"QUIRE_HOME", text}, {"OUT", (dir / "out").string()}};
        std::string line;
        ASSERT_TRUE(cronLine(task, line));
        EXPECT_EQ(line.rfind("5 21 * * 1,5 ", 0), 0u) << line;
        EXPECT_EQ(parseCronLine(line), task) << line;
        const std::string command = test::asCronRunsIt(test::cronCommand(line), dir.path().string());
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(readAll(dir / "out"), "1\n" + text + "\n" + text + "\n");
    }

    // Days: none or all is every day; cron counts Sunday as 0.
    ScheduledTask task;
    task.program = "/usr/bin/quiremail";
    std::string line;
    for (auto [days, field] : std::vector<std::pair<std::array<bool, 7>, std::string>>{
             {{}, "*"},
             {{true, true, true, true, true, true, true}, "*"},
             {{false, false, false, false, false, false, true}, "0"},
             {{false, true, false, true, false, true, false}, "2,4,6"}}) {
        task.days = days;
        ASSERT_TRUE(cronLine(task, line));
        EXPECT_EQ(line.substr(0, 9 + field.size()), "0 9 * * " + field + " ") << line;
        EXPECT_EQ(parseCronLine(line)->everyDay(), field == "*");
    }
    // What a line cannot hold, or what would start another program, is refused.
    for (auto change : std::vector<std::function<void(ScheduledTask&)>>{
             [](ScheduledTask& t) { t.program = "quiremail"; },
             [](ScheduledTask& t) { t.arguments = " sf=a\nrm -rf ~"; },
             [](ScheduledTask& t) { t.environment["A B"] = "x"; },
             [](ScheduledTask& t) { t.environment["X"] = "a\rb"; }, [](ScheduledTask& t) { t.hour = 24; }}) {
        ScheduledTask bad = task;
        change(bad);
        EXPECT_FALSE(cronLine(bad, line));
    }
    // Lines that are not the program's are never taken for it.
    EXPECT_FALSE(isTaskLine("#0 9 * * * x # Quire Outlook AutoBackup"));
    EXPECT_FALSE(isTaskLine("0 9 * * * backup.sh # Quire Outlook AutoBackup later"));
    EXPECT_FALSE(parseCronLine("0 9 1 * * '/q' 'a' # Quire Outlook AutoBackup"));
}

// A crontab program that keeps the table in memory and answers as cron's does.
struct FakeCrontab : ProcessRunner {
    std::optional<std::string> table;
    std::string refusal; // non-empty: "crontab -" fails with it
    std::vector<std::vector<std::string>> calls;
    ProcessResult run(const std::vector<std::string>& argv, const std::string& input,
                      const std::map<std::string, std::string>&) override {
        calls.push_back(argv);
        ProcessResult r;
        r.started = true;
        r.exitCode = 0;
        if (argv.back() == "-l") {
            if (!table) {
                r.exitCode = 1;
                r.err = "no crontab for ann\n";
            } else {
                r.out = *table;
            }
        } else if (!refusal.empty()) {
            r.exitCode = 1;
            r.err = refusal;
        } else {
            table = input;
        }
        return r;
    }
};

TEST(CrontabScheduler, AddShowReplaceRemoveKeepEveryOtherLine) {
    const std::string others = "MAILTO=ann\r\n# m h dom mon dow command\n\n*/5 * * * * fetchmail  # mail\n"
                               "@reboot /usr/bin/true";
    ScheduledTask task;
    task.program = "/opt/quire/quiremail";
    task.arguments = " sf=Outlookxm=110000000ps=bf=/b/q.qob";
    for (const std::optional<std::string>& start : {std::optional<std::string>(), std::optional(others)}) {
        FakeCrontab cron;
        cron.table = start;
        CrontabScheduler scheduler(cron, std::string("ann"));
        std::optional<ScheduledTask> read;
        ASSERT_TRUE(scheduler.readTask(read));
        EXPECT_FALSE(read);
        ASSERT_TRUE(scheduler.registerTask(task));
        ASSERT_TRUE(scheduler.readTask(read));
        EXPECT_EQ(read, task);
        task.hour = 18;
        ASSERT_TRUE(scheduler.registerTask(task));
        std::string line;
        ASSERT_TRUE(cronLine(task, line));
        const std::string kept = start ? *start + "\n" : "";
        EXPECT_EQ(*cron.table, kept + line + "\n");
        EXPECT_EQ(cron.calls[0], (std::vector<std::string>{"crontab", "-u", "ann", "-l"}));
        ASSERT_TRUE(scheduler.removeTask());
        EXPECT_EQ(*cron.table, kept);
        // Removing what is not there writes nothing.
        const std::size_t calls = cron.calls.size();
        ASSERT_TRUE(scheduler.removeTask());
        EXPECT_EQ(cron.calls.size(), calls + 1);

        // The scheduler's refusal comes back in its own words; the table is untouched.
        cron.refusal = "\"-\":1: bad minute\nerrors in crontab file, can't install.\n";
        Status refused = scheduler.registerTask(task);
        EXPECT_FALSE(refused);
        EXPECT_NE(refused.message.find("errors in crontab file, can't install."), std::string::npos);
        EXPECT_EQ(*cron.table, kept);
    }
    struct NoCron : ProcessRunner {
        ProcessResult run(const std::vector<std::string>&, const std::string&,
                          const std::map<std::string, std::string>&) override {
            return {false, -1, "", "", "crontab: No such file or directory"};
        }
    } none;
    CrontabScheduler missing(none);
    EXPECT_NE(missing.registerTask(task).message.find("cron package"), std::string::npos);
}

// The real crontab program on the crontab of a user of its own (as root) or of the caller.
TEST(CrontabScheduler, TheRealCrontabProgram) {
    PosixProcessRunner runner;
    if (runner.run({"sh", "-c", "command -v crontab"}, "").exitCode != 0) {
        GTEST_SKIP() << "no crontab program (the cron package)";
    }
    std::optional<std::string> user;
    if (::geteuid() == 0) {
        user = "quire-crontab-test";
        if (::getpwnam(user->c_str()) == nullptr &&
            runner.run({"useradd", "--no-create-home", "--shell", "/usr/sbin/nologin", *user}, "").exitCode !=
                0) {
            GTEST_SKIP() << "cannot create the user " << *user;
        }
    } else if (std::getenv("CI") == nullptr) {
        GTEST_SKIP() << "would change the caller's own crontab; runs as root (CI) on a user of its own";
    }
    std::vector<std::string> list{"crontab"};
    if (user) {
        list.insert(list.end(), {"-u", *user});
    }
    auto crontab = [&](const std::string& last, const std::string& input = "") {
        std::vector<std::string> argv = list;
        argv.push_back(last);
        return runner.run(argv, input);
    };
    const std::string others = "# kept as it is\nSHELL=/bin/sh\n17 3 * * 0 /usr/bin/true  # weekly\n";
    ASSERT_EQ(crontab("-", others).exitCode, 0);
    CrontabScheduler scheduler(runner, user);
    ScheduledTask task;
    task.days[6] = true;
    task.program = "/opt/quire outlook/quiremail";
    task.arguments = " sf=Outlook 100%xm=111111111ps=bf=/home/it's/q.qob";
    task.environment = {{"WINEPREFIX", "/home/ann/.wine"}, {"QUIRE_HOME", "/home/ann/Quire \xC3\x9C"}};
    std::optional<ScheduledTask> read;
    ASSERT_TRUE(scheduler.registerTask(task));
    ASSERT_TRUE(scheduler.readTask(read));
    EXPECT_EQ(read, task);
    task.minute = 30;
    ASSERT_TRUE(scheduler.registerTask(task));
    ASSERT_TRUE(scheduler.readTask(read));
    EXPECT_EQ(read, task);
    std::string line;
    ASSERT_TRUE(cronLine(task, line));
    EXPECT_EQ(crontab("-l").out, others + line + "\n");
    ASSERT_TRUE(scheduler.removeTask());
    EXPECT_EQ(crontab("-l").out, others);
    ASSERT_TRUE(scheduler.readTask(read));
    EXPECT_FALSE(read);
    crontab("-r");
}

} // namespace
} // namespace qob
