// The weekly task from the command line and the automatic run it starts: the run backs up the
// prefix the task's line names, `qob schedule show` says which and what files the runs write,
// `remove` works without that prefix, and what the task could never carry out is refused at once.
#include "DemoCli.h"
#include "FakeDialogs.h"
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "archive/Archive.h"
#include "platform/ProcessRunner.h"
#include "schedule/CrontabScheduler.h"
#include "schedule/WeeklyBackup.h"
#include "settings/Settings.h"
#include "settings/TargetSystemSetting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// Sets a variable for the length of a test.
struct ScopedEnv {
    std::string name;
    std::optional<std::string> old;
    ScopedEnv(std::string n, const std::optional<std::string>& value) : name(std::move(n)) {
        if (const char* v = std::getenv(name.c_str())) {
            old = v;
        }
        value ? (void)::setenv(name.c_str(), value->c_str(), 1) : (void)::unsetenv(name.c_str());
    }
    ~ScopedEnv() { old ? (void)::setenv(name.c_str(), old->c_str(), 1) : (void)::unsetenv(name.c_str()); }
};

// A crontab program that keeps the table in one file, so no user's real crontab is touched.
fs::path fakeCrontab(const fs::path& dir) {
    fs::create_directories(dir / "bin");
    const fs::path script = dir / "bin" / "crontab";
    std::ofstream(script)
        << "#!/bin/sh\n"
           "t=\"$FAKE_CRONTAB_FILE\"\n"
           "case \"$1\" in\n"
           "  -l) [ -f \"$t\" ] || { echo \"no crontab for quire\" >&2; exit 1; }; cat \"$t\" ;;\n"
           "  -) cat > \"$t\" ;;\n"
           "  -r) rm -f \"$t\" ;;\n"
           "esac\n";
    ::chmod(script.c_str(), 0755);
    return dir / "table";
}

TEST(WeeklyTaskCommand, TheTasksPrefixWinsAndShowRemoveAndAddSayWhatTheRunsDo) {
    test::DemoCli demo; // prefix A, QUIRE_HOME
    const fs::path home = demo.dir / "home";
    const fs::path table = fakeCrontab(demo.dir.path());
    ScopedEnv path("PATH", (demo.dir / "bin").string() + ":" + std::getenv("PATH"));
    ScopedEnv tableFile("FAKE_CRONTAB_FILE", table.string());
    ScopedEnv xdg("XDG_CONFIG_HOME", (demo.dir / "config").string());
    auto qob = [&](std::vector<std::string> args) {
        demo.out.str("");
        demo.err.str("");
        return cli::runCli(args, demo.out, demo.err);
    };

    // The window was pointed at prefix B after the task was registered for A: the run backs up A.
    const fs::path b = demo.dir / "pfx-b";
    ASSERT_EQ(qob({"demo-prefix", b.string()}), 0) << demo.err.str();
    ASSERT_TRUE(rememberTargetSystem(home, b));
    {
        test::FakeDialogs dialogs;
        std::string error;
        ScopedEnv line("WINEPREFIX", demo.prefix.string());
        auto target = cli::Target::openForAutomaticRun(dialogs, error);
        ASSERT_TRUE(target) << error;
        EXPECT_EQ(target->prefix(), demo.prefix);
    }
    {
        test::FakeDialogs dialogs;
        std::string error;
        ScopedEnv byHand("WINEPREFIX", std::nullopt); // started by hand: the window's choice
        auto target = cli::Target::openForAutomaticRun(dialogs, error);
        ASSERT_TRUE(target) << error;
        EXPECT_EQ(target->prefix(), fs::canonical(b));
    }

    // A task registered for A; show names A and the files its runs write.
    PosixProcessRunner runner;
    CrontabScheduler scheduler(runner);
    WeeklyBackup task;
    task.profile = "Outlook";
    task.items = "100000000";
    task.backupFile = (demo.dir / "q.qob").string();
    ScheduleContext context{scheduler,   home,    "/opt/q/quiremail",
                            demo.prefix, nullptr, std::chrono::system_clock::now()};
    ASSERT_TRUE(scheduleWeeklyBackup(context, task));
    ASSERT_EQ(qob({"schedule", "show"}), 0) << demo.err.str();
    EXPECT_NE(demo.out.str().find("Wine prefix: " + demo.prefix.string() + "\n"), std::string::npos)
        << demo.out.str();
    // No settings.dat: the runs write new files, stamped.
    EXPECT_NE(
        demo.out.str().find("Each run writes a new file: " + (demo.dir / "q-MM-DD-YYYY-HH-MM.qob").string()),
        std::string::npos)
        << demo.out.str();
    ASSERT_TRUE(writeSetting(settingsPath(home), "autobackup", "autobackupfile", "0"));
    ASSERT_EQ(qob({"schedule", "show"}), 0) << demo.err.str();
    EXPECT_NE(demo.out.str().find("Each run replaces: " + task.backupFile), std::string::npos)
        << demo.out.str();

    // Removing needs no prefix: A is gone, no other is given.
    fs::remove_all(demo.prefix);
    fs::remove_all(b);
    {
        ScopedEnv none("WINEPREFIX", std::nullopt);
        EXPECT_EQ(qob({"schedule", "remove"}), 0) << demo.err.str();
    }
    std::optional<ScheduledTask> left;
    ASSERT_TRUE(scheduler.readTask(left));
    EXPECT_FALSE(left) << "the task is still registered";
}

// The program itself, started as the task's line starts it: WINEPREFIX names A, the window last
// chose B; the backup holds A's signatures.
TEST(WeeklyTaskCommand, TheProgramBacksUpThePrefixTheLineNames) {
    const fs::path quiremail = fs::path(QOB_BINARY_DIR) / "quiremail";
    if (!fs::exists(quiremail)) {
        GTEST_SKIP() << "the quiremail binary is not built (build target quiremail first)";
    }
    test::DemoCli demo;
    const fs::path home = demo.dir / "home";
    const fs::path b = demo.dir / "pfx-b";
    ASSERT_EQ(cli::runCli({"demo-prefix", b.string()}, demo.out, demo.err), 0) << demo.err.str();
    ASSERT_TRUE(rememberTargetSystem(home, b));
    const fs::path signatures = demo.prefix / "drive_c/users/quire/AppData/Roaming/Microsoft/Signatures";
    ASSERT_TRUE(fs::is_directory(signatures));
    std::ofstream(signatures / "Only in A.txt") << "A";
    const fs::path backup = demo.dir / "weekly.qob";
    ASSERT_TRUE(writeSetting(settingsPath(home), "autobackup", "autobackupfile", "0")); // this very file
    const std::string command = "QUIRE_HOME='" + home.string() + "' WINEPREFIX='" + demo.prefix.string() +
                                "' '" + quiremail.string() +
                                "' ' sf=Outlookxm=001000000ps=bf=" + backup.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    Archive archive;
    ASSERT_TRUE(archive.openArchive(backup));
    EXPECT_TRUE(archive.findEntry("Only in A.txt")) << "the backup is not of the line's prefix";
}

TEST(WeeklyTaskCommand, WhatARunCouldNeverDoIsRefusedBeforeAnythingIsMade) {
    test::DemoCli demo;
    const fs::path table = fakeCrontab(demo.dir.path());
    ScopedEnv path("PATH", (demo.dir / "bin").string() + ":" + std::getenv("PATH"));
    ScopedEnv tableFile("FAKE_CRONTAB_FILE", table.string());
    ScopedEnv xdg("XDG_CONFIG_HOME", (demo.dir / "config").string());
    auto qob = [&](std::vector<std::string> args) {
        demo.out.str("");
        demo.err.str("");
        args.insert(args.begin(), {"--prefix", demo.prefix.string()});
        return cli::runCli(args, demo.out, demo.err);
    };
    auto passwordFile = [&](const std::string& password) {
        const fs::path file = demo.dir / "pw";
        std::ofstream(file, std::ios::trunc) << password << "\n";
        return file.string();
    };
    const std::string longest = "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                                "0123456789abcde"; // 20 characters
    const std::vector<std::string> add = {"schedule",  "add",    "--profile", "Outlook", "--items",
                                          "100000000", "--days", "Mon",       "--time",  "9:00"};
    struct Case {
        std::string file;
        std::string password; // "" = none
        std::string why;      // "" = not refused for these
    };
    const std::vector<Case> cases = {
        {(demo.dir / "missing" / "q.qob").string(), "",
         "the backup folder " + (demo.dir / "missing").string() + " does not exist"},
        {(demo.dir / "missing").string() + "/", "", "does not exist"},
        {(demo.dir / "q.qob").string(), longest + "x", "longer than 20 characters"},
        {(demo.dir / "q.qob").string(), longest, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + " / " + c.password);
        std::vector<std::string> args = add;
        if (!c.password.empty()) {
            args.insert(args.end(), {"--password-file", passwordFile(c.password)});
        }
        args.push_back(c.file);
        const int rc = qob(args);
        if (c.why.empty()) {
            EXPECT_EQ(demo.err.str().find("longer than"), std::string::npos) << demo.err.str();
        } else {
            EXPECT_EQ(rc, 2);
            EXPECT_NE(demo.err.str().find(c.why), std::string::npos) << demo.err.str();
        }
        EXPECT_FALSE(fs::exists(table)) << "nothing registered";
    }

    // qob backup keeps the same rule: no backup the window could not open.
    const fs::path out = demo.dir / "long.qob";
    EXPECT_EQ(qob({"backup", "--profile", "Outlook", "--items", "010000000", "--password-file",
                   passwordFile(longest + "x"), out.string()}),
              2);
    EXPECT_NE(demo.err.str().find("longer than 20 characters"), std::string::npos) << demo.err.str();
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(qob({"backup", "--profile", "Outlook", "--items", "010000000", "--password-file",
                   passwordFile(longest), out.string()}),
              0)
        << demo.err.str();
}

// What the run would refuse to write over is refused when the task is added, with the run's own
// words; what the run would write (into a folder, over an earlier backup, a new stamped file
// beside any name) passes every check. The tests' qob has no quiremail beside it: its absence, said
// last, shows that every other check passed.
TEST(WeeklyTaskCommand, AFileTheRunWouldRefuseIsRefusedWhenTheTaskIsAdded) {
    test::DemoCli demo;
    const fs::path home = demo.dir / "home";
    const fs::path table = fakeCrontab(demo.dir.path());
    ScopedEnv path("PATH", (demo.dir / "bin").string() + ":" + std::getenv("PATH"));
    ScopedEnv tableFile("FAKE_CRONTAB_FILE", table.string());
    ScopedEnv xdg("XDG_CONFIG_HOME", (demo.dir / "config").string());
    auto qob = [&](std::vector<std::string> args) {
        demo.out.str("");
        demo.err.str("");
        args.insert(args.begin(), {"--prefix", demo.prefix.string()});
        return cli::runCli(args, demo.out, demo.err);
    };
    const fs::path earlier = demo.dir / "earlier.qob";
    ASSERT_EQ(qob({"backup", "--profile", "Outlook", "--items", "001000000", earlier.string()}), 0)
        << demo.err.str();
    const fs::path notes = demo.dir / "notes.txt";
    std::ofstream(notes) << "the user's notes";
    fs::path pst;
    for (const auto& entry : fs::recursive_directory_iterator(demo.prefix / "drive_c")) {
        if (entry.path().filename() == "Outlook.pst") {
            pst = entry.path();
        }
    }
    ASSERT_FALSE(pst.empty());
    const std::string userReg = (demo.prefix / "user.reg").string();
    const std::string pstBefore = [&] {
        std::ifstream in(pst, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();

    struct Case {
        bool newFiles; // the settings' mode: each run writes a new stamped file
        std::string profile;
        std::string file;
        int rc;
        std::string why;
    };
    const std::string passed = "which is not there";
    const std::vector<Case> cases = {
        {false, "Outlook", notes.string(), 2, "exists and is not a readable backup of this program"},
        {false, "Outlook", pst.string(), 2, "is the data file"},
        {false, "Second", pst.string(), 2, "of the mail profile \"Outlook\""},
        {false, "Outlook", userReg, 2, "is a registry file of the target system"},
        {false, "Nobody", earlier.string(), 1, "no mail profile named \"Nobody\""},
        {false, "Outlook", earlier.string(), 1, passed},
        {false, "Outlook", demo.dir.path().string(), 1, passed}, // the runs write into the folder
        {true, "Outlook", notes.string(), 1, passed},            // notes.txt-<stamp>.qob
        {true, "Outlook", earlier.string(), 1, passed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file + (c.newFiles ? " (new files)" : " (replaced)") + " for " + c.profile);
        ASSERT_TRUE(writeSetting(settingsPath(home), "autobackup", "autobackupfile", c.newFiles ? "1" : "0"));
        EXPECT_EQ(qob({"schedule", "add", "--profile", c.profile, "--items", "001000000", "--days", "Mon",
                       "--time", "9:00", c.file}),
                  c.rc);
        EXPECT_NE(demo.err.str().find(c.why), std::string::npos) << demo.err.str();
        EXPECT_FALSE(fs::exists(table)) << "nothing registered";
    }
    std::ifstream in(notes);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's notes");
    std::ifstream data(pst, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(data), {}), pstBefore);
}

} // namespace
} // namespace qob
