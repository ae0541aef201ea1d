// The interactive backup run against a demo target system: checks, the written file, the log, and
// what happens when writing fails.
#include "forms/BackupRun.h"
#include "archive/Archive.h"
#include "backup/Processes.h"
#include "platform/RunLock.h"
#include "settings/ArchiveInfoFile.h"
#include "settings/InfoFile.h"
#include "settings/Settings.h"

#include "DemoPlatform.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <unistd.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#endif

namespace qob {
namespace {

namespace fs = std::filesystem;

struct RunFixture {
    test::DemoPlatform p;
    MainForm form{p.platform};
    BackupRun run;
    fs::path target;

    RunFixture() {
        form.formLoad();
        target = p.dir / "out" / "b.qob";
        fs::create_directories(target.parent_path());
        form.state().targetPath = target;
        form.txtTargetFile = target.string();
        p.dialogs.messages.clear();
    }
    std::string log() const { return test::readBytes(p.programFolder / "brlog.dat"); }
    // Lines of the information file inside the backup.
    std::vector<std::string> infoLines(const std::string& password = "") {
        Archive a;
        a.setReadPassword(password);
        EXPECT_TRUE(a.openArchive(target));
        auto entries = a.entries();
        EXPECT_EQ(entries.back().name, "quirebox.dat");
        fs::path info = p.dir / "info.dat";
        EXPECT_TRUE(a.extractToFile(entries.back(), info));
        std::string text = test::readBytes(info);
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
            lines.push_back(text.substr(start, at - start));
            start = at + 2;
        }
        EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
        return lines;
    }
    std::set<std::string> programFolderFiles() const { return test::listFolder(p.programFolder); }
};

TEST(BackupRun, ChecksRefuseWithTheirMessagesAndWriteNothing) {
    RunFixture f;
    f.form.state().targetPath.clear();
    f.form.txtTargetFile.clear();
    f.form.backupItem[2].checked = true;
    EXPECT_FALSE(f.run.runBackup(f.form).ran);
    f.form.state().targetPath = f.target;
    f.form.backupItem[2].checked = false;
    f.run.runBackup(f.form);
    f.form.backupItem[2].checked = true;
    f.form.ifProtect = true;
    f.run.runBackup(f.form);
    f.form.txtPassword = "abc";
    f.run.runBackup(f.form); // confirmation empty: differs, not "enter"
    ASSERT_EQ(f.p.dialogs.messages.size(), 4u);
    EXPECT_EQ(f.p.dialogs.texts(),
              (std::vector<std::string>{"Invalid backup file.", "Please select at least one item.",
                                        "Please enter Password!", "Incorect Password!"}));
    EXPECT_EQ(f.p.dialogs.messages[0].icon, MsgIcon::Warning);
    EXPECT_EQ(f.p.dialogs.messages[1].icon, MsgIcon::Warning);
    EXPECT_EQ(f.p.dialogs.messages[2].icon, MsgIcon::Critical);
    EXPECT_EQ(f.p.dialogs.messages[3].icon, MsgIcon::Critical);
    EXPECT_EQ(f.p.dialogs.messages[3].title, kApplicationTitle);
    EXPECT_FALSE(fs::exists(f.target));
    EXPECT_EQ(f.log(), "");
}

TEST(BackupRun, ProtectedBackupOfFoldersAndAccountsHoldsWhatTheInfoFileNames) {
    RunFixture f;
    f.form.backupItem[0].checked = true;
    f.form.backupItem[1].checked = true;
    f.form.txtAttachInfo = "a\r\nb=c";
    f.form.ifProtect = true;
    f.form.txtPassword = f.form.txtPassword2 = "pässwörd 1";
    BackupOutcome out = f.run.runBackup(f.form);
    ASSERT_TRUE(out.succeeded) << out.message;
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(out.message, "The Backup was Completed!\t\t\t\r\n\r\nBackup Personal Folders\tSucceeded!\t"
                           "\r\nBackup Accounts Settings\tSucceeded!\t\r\nCheck Backup File\tSucceeded!\t");

    auto lines = f.infoLines("pässwörd 1");
    ASSERT_GE(lines.size(), 11u);
    EXPECT_EQ(lines[0], "BackupComputer=QUIREDEMO");
    EXPECT_EQ(lines[2], "BackupIdentity=Outlook");
    EXPECT_EQ(lines[4], "Outlookversion=Outlook 2013");
    EXPECT_EQ(lines[5], "BackupInformation=aPS$QBXb=c");
    EXPECT_EQ(getINI("BackupInformation", f.p.dir / "info.dat").value(), "aPS$QBXb=c");
    EXPECT_EQ(lines[6].rfind("BackupConfig=qbc", 0), 0u);
    EXPECT_EQ(lines[7], "BackupDatas=Outlook.pst;Archiv \xC3\x9C"
                        "bersicht.pst;quire@example.com.ost");
    EXPECT_EQ(
        lines[8].rfind("BackupDatasPaths=Outlook.pst<" + f.p.demo.localDataFolder + "\\Outlook.pst|", 0), 0u)
        << lines[8];
    EXPECT_EQ(lines[9], "BackupRules=Outlook.RWZ");
    EXPECT_EQ(lines[10].rfind("BackupAccounts=qba", 0), 0u);
    EXPECT_EQ(lines.back(), "BackupItem=11110000000");

    // Wrong password: nothing readable.
    Archive wrong;
    wrong.setReadPassword("wrong");
    ASSERT_TRUE(wrong.openArchive(f.target));
    EXPECT_FALSE(wrong.verifyPassword());

    // Scratch files (info file, registry exports) are gone; the password is in no log line.
    EXPECT_EQ(f.programFolderFiles(), (std::set<std::string>{"brlog.dat"}));
    const std::string log = f.log();
    EXPECT_EQ(log.find("pässwörd"), std::string::npos);
    std::string expectedStart = std::string(84, '.') + "\r\r\n";
    EXPECT_EQ(log.rfind(expectedStart, 0), 0u);
    EXPECT_NE(log.find(" Start Backup Profile Outlook Data...\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup File is " + f.target.string() + "\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup Personal Folders Succeeded!\n\r\n"), std::string::npos);
    EXPECT_NE(log.find(" Backup Profile Outlook Data was Completed!\r\r\n"), std::string::npos);

    if (std::system("command -v 7z >/dev/null 2>&1") == 0) {
        std::string cmd = "7z t -p'pässwörd 1' '" + f.target.string() + "' >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << "7z accepts the protected backup";
    }
}

TEST(BackupRun, NothingStoredStillWritesSixLinesAndElevenZeros) {
    RunFixture f;
    fs::remove_all(f.p.demo.hostPath(f.p.demo.signaturesFolder));
    fs::create_directories(f.p.demo.hostPath(f.p.demo.signaturesFolder));
    f.form.backupItem[2].checked = true;
    BackupOutcome out = f.run.runBackup(f.form);
    ASSERT_TRUE(out.succeeded) << out.message;
    EXPECT_NE(out.message.find("Backup Signatures\tFail!\t"), std::string::npos);
    auto lines = f.infoLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[5], "BackupInformation=");
    EXPECT_EQ(lines[6], "BackupItem=00000000000");
    if (std::system("command -v 7z >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("7z t '" + f.target.string() + "' >/dev/null 2>&1").c_str()), 0);
    }
}

TEST(BackupRun, ABackupThatStoredNothingDoesNotReplaceAnEarlierOne) {
    RunFixture f;
    f.form.backupItem[2].checked = true;
    ASSERT_TRUE(f.run.runBackup(f.form).succeeded);
    const std::string before = test::readBytes(f.target);

    // The signatures are gone by the next run: the run stores nothing at all.
    fs::remove_all(f.p.demo.hostPath(f.p.demo.signaturesFolder));
    f.p.dialogs.messages.clear();
    BackupOutcome out = f.run.runBackup(f.form);
    EXPECT_TRUE(out.ran);
    EXPECT_FALSE(out.succeeded);
    EXPECT_EQ(out.message.rfind("The Backup Failed!", 0), 0u);
    EXPECT_NE(out.message.find("Nothing could be backed up"), std::string::npos) << out.message;
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(test::readBytes(f.target), before) << "the earlier backup is intact";
    EXPECT_EQ(test::listFolder(f.target.parent_path()), (std::set<std::string>{"b.qob"}));
    const std::string log = f.log();
    EXPECT_NE(log.find("Data was not backed up!", log.rfind("Start Backup")), std::string::npos);
    EXPECT_EQ(f.programFolderFiles(), (std::set<std::string>{"brlog.dat"}));
}

TEST(BackupRun, ADataFileTheProfileNamesButThatIsMissingIsReportedAndLogged) {
    RunFixture f;
    const std::string missing = f.p.demo.stores[1].targetPath;
    fs::remove(f.p.demo.hostPath(missing));
    f.form.backupItem[0].checked = true;
    BackupOutcome out = f.run.runBackup(f.form);
    ASSERT_TRUE(out.succeeded) << out.message; // the other data files are in it
    ASSERT_EQ(out.notStored.size(), 1u);
    EXPECT_EQ(out.notStored[0].rfind(missing + ":", 0), 0u) << out.notStored[0];
    EXPECT_NE(out.message.find("\r\nNot stored: " + missing + ":"), std::string::npos) << out.message;
    EXPECT_NE(f.log().find(" Not stored: " + missing + ":"), std::string::npos) << f.log();
}

TEST(BackupRun, FailedWritesAreReportedAndKeepTheEarlierBackup) {
    RunFixture f;
    f.form.backupItem[2].checked = true;
    ASSERT_TRUE(f.run.runBackup(f.form).succeeded);
    const std::string before = test::readBytes(f.target);

    // A source file vanishes while the archive is being built: the write fails.
    fs::path victim = f.p.demo.hostPath(f.p.demo.signaturesFolder + "\\Work.txt");
    f.form.setListener([&](FormChange) {
        if (f.form.skinLabel9 == "Adding File Work.txt") {
            fs::remove(victim);
        }
    });
    f.p.dialogs.messages.clear();
    BackupOutcome out = f.run.runBackup(f.form);
    EXPECT_TRUE(out.ran);
    EXPECT_FALSE(out.succeeded);
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].icon, MsgIcon::Critical);
    EXPECT_EQ(out.message.rfind("The Backup Failed!", 0), 0u);
    EXPECT_EQ(test::readBytes(f.target), before) << "the earlier backup is intact";
    EXPECT_EQ(test::listFolder(f.target.parent_path()), (std::set<std::string>{"b.qob"}));
    EXPECT_NE(f.log().find("Data was not backed up!"), std::string::npos);
    EXPECT_EQ(f.programFolderFiles(), (std::set<std::string>{"brlog.dat"}));
    // Nothing was written, so nothing "Succeeded!".
    EXPECT_NE(out.message.find("Backup Signatures\tFail!\t"), std::string::npos) << out.message;
    EXPECT_EQ(out.message.find("Succeeded!"), std::string::npos) << out.message;
    EXPECT_EQ(f.log().find("Succeeded!", f.log().rfind("Start Backup")), std::string::npos) << f.log();

    // Target folder missing: failure, no file, the log says so.
    f.form.setListener(nullptr);
    f.form.state().targetPath = f.p.dir / "missing" / "x.qob";
    out = f.run.runBackup(f.form);
    EXPECT_FALSE(out.succeeded);
    EXPECT_NE(out.message.find("does not exist"), std::string::npos);
    EXPECT_FALSE(fs::exists(f.p.dir / "missing"));
    const std::string log = f.log();
    EXPECT_EQ(log.find("Completed!", log.rfind("Start Backup")), std::string::npos);
}

// Linux only: Windows has no per-process limit of file sizes to make writes fail with.
#ifndef _WIN32
// Writes into the program folder fail while `on` (RLIMIT_FSIZE of one byte: EFBIG, as on a full
// disk), so the registry exports, which are written there, fail; reading the data files does not.
class ScratchWritesFail {
public:
    ScratchWritesFail() {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~ScratchWritesFail() {
        set(false);
        std::signal(SIGXFSZ, handler_);
    }
    void set(bool on) {
        rlimit limit = saved_;
        if (on) {
            limit.rlim_cur = 1;
        }
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    rlimit saved_{};
    void (*handler_)(int) = nullptr;
};

TEST(BackupRun, RegistryExportsThatFailMakeAnIncompleteBackupThatNeverReplacesAWholeOne) {
    RunFixture f;
    for (std::size_t box : {0, 1, 2}) {
        f.form.backupItem[box].checked = true;
    }
    ASSERT_TRUE(f.run.runBackup(f.form).complete);
    const std::string whole = test::readBytes(f.target);

    ScratchWritesFail full;
    f.form.setListener([&](FormChange) {
        const std::string& step = f.form.label1;
        full.set(step == "Copying Config..." || step == "Copying Accounts...");
    });
    f.p.dialogs.messages.clear();
    BackupOutcome out = f.run.runBackup(f.form);
    full.set(false);
    const fs::path beside = f.target.parent_path() / "b-incomplete.qob";
    EXPECT_TRUE(out.succeeded) << out.message;
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(out.file, beside);
    EXPECT_TRUE(test::readBytes(f.target) == whole) << "the whole backup is kept";
    ASSERT_TRUE(fs::exists(beside));
    f.target = beside;
    EXPECT_EQ(f.infoLines().back(), "BackupItem=01101000000");
    EXPECT_EQ(out.failedItems,
              (std::vector<std::string>{"Backup Profile Configuration", "Backup Accounts Settings"}));
    EXPECT_EQ(out.message.rfind("The Backup is Incomplete!", 0), 0u) << out.message;
    for (const char* line :
         {"\r\nBackup Profile Configuration\tFail!\t", "\r\nBackup Accounts Settings\tFail!\t",
          "\r\nBackup Personal Folders\tSucceeded!\t", "b-incomplete.qob"}) {
        EXPECT_NE(out.message.find(line), std::string::npos) << line << " in " << out.message;
    }
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].icon, MsgIcon::Warning);
    const std::string log = f.log().substr(f.log().rfind("Start Backup"));
    for (const char* entry : {" Backup Profile Configuration Fail!\n", " Backup Accounts Settings Fail!\n",
                              " Incomplete backup written as ", " Data is Incomplete!\r"}) {
        EXPECT_NE(log.find(entry), std::string::npos) << entry << " in " << log;
    }
    EXPECT_EQ(log.find("Completed!"), std::string::npos) << log;
    EXPECT_EQ(f.programFolderFiles(), (std::set<std::string>{"brlog.dat"}));

    // With no backup at the path, there is nothing to keep: the partial one is written there.
    f.target = f.p.dir / "out" / "fresh.qob";
    f.form.state().targetPath = f.target;
    out = f.run.runBackup(f.form);
    EXPECT_FALSE(out.complete);
    EXPECT_EQ(out.file, f.target);
    EXPECT_TRUE(fs::exists(f.target));
}
#endif

TEST(BackupRun, ASecondRunDuringARunIsRefused) {
    RunFixture f;
    f.form.backupItem[2].checked = true;
    bool tried = false;
    BackupOutcome inner;
    f.form.setListener([&](FormChange) {
        if (!tried && f.run.running()) {
            tried = true;
            inner = f.run.runBackup(f.form);
        }
    });
    EXPECT_TRUE(f.run.runBackup(f.form).succeeded);
    EXPECT_TRUE(tried);
    EXPECT_FALSE(inner.ran);
    EXPECT_EQ(f.p.dialogs.texts().front(), kBackupRunningMessage);
}

TEST(BackupRun, CheckSettingOffSkipsTheReadBack) {
    RunFixture f;
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "General", "checkbackupfile", "0"));
    f.form.backupItem[7].checked = true;
    BackupOutcome out = f.run.runBackup(f.form);
    ASSERT_TRUE(out.succeeded);
    EXPECT_EQ(out.message, "The Backup was Completed!\t\t\t\r\n\r\nBackup Preferences\tSucceeded!\t");
    // The rules file is also a preferences file: one entry, named once.
    EXPECT_EQ(f.infoLines()[6], "BackupSetting=OutlPrnt;Outlook.rwz;Outlook.xml");
}

class FakeProcesses : public SystemServices {
public:
    std::vector<ProcessInfo> list{{10, "OUTLOOK.EXE"}, {11, "winword.exe"}, {12, "Outlook.exe"}};
    std::vector<std::int64_t> killed;
    std::string computerName() const override { return ""; }
    std::string logonUser() const override { return ""; }
    std::string windowsFolder() const override { return ""; }
    std::string expandEnvironment(const std::string& t) const override { return t; }
    WindowsVersion windowsVersion() const override { return {}; }
    std::vector<ProcessInfo> processes() const override { return list; }
    bool terminateProcess(std::int64_t pid) override {
        killed.push_back(pid);
        return true;
    }
};

TEST(BackupRun, KillProcessByNameMatchesWithoutCase) {
    FakeProcesses system;
    EXPECT_EQ(killProcessByName(system, "outlook.exe"), 2);
    EXPECT_EQ(system.killed, (std::vector<std::int64_t>{10, 12}));
}

} // namespace
} // namespace qob

// Linux only: the other run is a forked process.
#ifndef _WIN32
namespace qob {
namespace {

// A backup started while another run holds the target system, or while another backup writes
// the same file, is refused with a message naming that run, and the earlier backup stays.
TEST(BackupRun, ARunningRestoreOrBackupKeepsASecondBackupOut) {
    RunFixture f;
    f.form.backupItem[2].checked = true;
    ASSERT_TRUE(f.run.runBackup(f.form).succeeded);
    const std::string before = test::readBytes(f.target);
    f.p.system.lockPlace = {f.p.dir / "system.lock", "the demo system", std::chrono::milliseconds(0)};

    const std::vector<std::pair<fs::path, std::string>> holders = {
        {f.p.dir / "system.lock", "restore"}, {RunLock::forBackupFile(f.target), "backup"}};
    for (const auto& [lockFile, kind] : holders) {
        SCOPED_TRACE(kind);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t holder = ::fork();
        if (holder == 0) {
            RunLock lock;
            char c = RunLock::acquire(lock, lockFile, kind, "it") ? 1 : 0;
            [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
            ::pause();
            ::_exit(0);
        }
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        f.p.dialogs.messages.clear();
        BackupOutcome out = f.run.runBackup(f.form);
        ::kill(holder, SIGKILL);
        ::waitpid(holder, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        EXPECT_FALSE(out.succeeded);
        ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
        EXPECT_NE(f.p.dialogs.messages[0].text.find("a " + kind + " (process " + std::to_string(holder)),
                  std::string::npos)
            << f.p.dialogs.messages[0].text;
        EXPECT_EQ(test::readBytes(f.target), before);
    }
    // With the other runs gone, the backup goes ahead and leaves no lock behind.
    EXPECT_TRUE(f.run.runBackup(f.form).succeeded);
    EXPECT_EQ(test::listFolder(f.target.parent_path()), (std::set<std::string>{"b.qob"}));
    EXPECT_FALSE(fs::exists(f.p.dir / "system.lock"));
}

} // namespace
} // namespace qob
#endif
