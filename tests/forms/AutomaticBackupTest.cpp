// The automatic run: its command line, the new-file name and the handlers its flags select.
#include "forms/AutomaticBackup.h"
#include "archive/Archive.h"
#include "backup/EarlierBackup.h"
#include "outlook/NoProfileMessage.h"
#include "settings/InfoFile.h"
#include "settings/Settings.h"

#include "DemoPlatform.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <ctime>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::chrono::system_clock::time_point localTime(int y, int mo, int d, int h, int mi) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&t));
}

TEST(AutomaticBackup, CommandLineIsReadByPosition) {
    auto line = parseAutoCommandLine(" sf=Outlookxm=110000000ps=bf=C:\\B\\q.qob");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->profile, "Outlook");
    EXPECT_EQ(line->flags, "110000000");
    EXPECT_EQ(line->password, "");
    EXPECT_EQ(line->backupFile, "C:\\B\\q.qob");
    EXPECT_EQ(parseAutoCommandLine(" sf=Axm=1ps=secretbf=/x.qob")->password, "secret");
    EXPECT_FALSE(parseAutoCommandLine("   "));
    EXPECT_FALSE(parseAutoCommandLine(" sf=Outlookxm=110000000ps=")); // three "="
    EXPECT_FALSE(parseAutoCommandLine(" sf=xm=1ps=bf=/x.qob"));       // no profile
    EXPECT_FALSE(parseAutoCommandLine(" sf=Axm=ps=bf=/x.qob"));       // no flags
    EXPECT_FALSE(parseAutoCommandLine(" sf=Axm=1ps=bf="));            // no file
    // A password holding "=" would move the file path to the wrong piece: refused.
    EXPECT_FALSE(parseAutoCommandLine(" sf=Axm=1ps=a=bbf=/x.qob"));

    EXPECT_EQ(newFileTarget("C:\\Backup\\qarch.qob", localTime(2026, 12, 6, 19, 5)),
              "C:\\Backup\\qarch-12-06-2026-19-05.qob");
}

struct AutoFixture {
    test::DemoPlatform p;
    MainForm form{p.platform};
    fs::path target;
    AutoFixture() {
        form.setClock([] { return localTime(2026, 12, 6, 19, 5); });
        form.formLoad();
        target = p.dir / "q.qob";
    }
    std::string run(const std::string& flags, const std::string& password = "") {
        return runAutoBackup(form, " sf=Outlookxm=" + flags + "ps=" + password + "bf=" + target.string())
            .flags;
    }
    std::string log() const { return test::readBytes(p.programFolder / "brlog.dat"); }
};

TEST(AutomaticBackup, FlagsSelectHandlersAndModesNameTheFile) {
    AutoFixture f;
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "autobackupfile", "0"));
    EXPECT_EQ(f.run("110000000"), "11110000000");
    ASSERT_TRUE(fs::exists(f.target));
    EXPECT_NE(f.log().find(" Start Auto Backup Profile Outlook Data...\n"), std::string::npos);
    EXPECT_NE(f.log().find("Data was Completed!\r"), std::string::npos);
    // Only the config and address book handlers for box 5.
    std::string flags = f.run("000010000");
    EXPECT_EQ(flags.substr(1, 5), "00000");
    EXPECT_EQ(flags.substr(7), "0000");
    // A short flags text: every position beyond its end holds.
    EXPECT_EQ(f.run("0"), "10011111111"); // flag 5 (beyond the end) also runs the config
    EXPECT_TRUE(f.p.dialogs.messages.empty()) << "the automatic run shows nothing";

    // Missing "autobackupfile": new-file mode, named by the clock.
    fs::remove(settingsPath(f.p.programFolder));
    fs::remove(f.target);
    f.run("001000000", "pw");
    EXPECT_FALSE(fs::exists(f.target));
    fs::path stamped = f.p.dir / "q-12-06-2026-19-05.qob";
    ASSERT_TRUE(fs::exists(stamped));
    Archive a;
    EXPECT_TRUE(a.isPasswordProtected(stamped));
    EXPECT_EQ(f.log().find("pw\n"), std::string::npos);
}

// A prefix without Outlook: no backup at all (it used to write an empty one and call it a success),
// and the run log says why, as for its other failures.
TEST(AutomaticBackup, APrefixWithoutProfilesWritesNoBackupAndLogsTheFailure) {
    test::DemoPlatform p(false);
    MainForm form{p.platform};
    EXPECT_FALSE(form.formLoad());
    const AutoBackupResult r =
        runAutoBackup(form, " sf=Outlookxm=111111111ps=bf=" + (p.dir / "q.qob").string());
    EXPECT_TRUE(r.ran);
    EXPECT_FALSE(r.succeeded);
    EXPECT_EQ(r.reason, noProfileMessage(p.demo.prefix));
    for (const auto& entry : fs::recursive_directory_iterator(p.dir.path()))
        EXPECT_NE(entry.path().extension(), ".qob") << entry.path();
    const std::string log = test::readBytes(p.programFolder / "brlog.dat");
    EXPECT_NE(log.find("Backup Profile Outlook Data was not backed up! " + noProfileMessage(p.demo.prefix)),
              std::string::npos)
        << log;
}

TEST(AutomaticBackup, ADataFileThatCannotBeStoredIsLoggedAndReported) {
    AutoFixture f;
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "autobackupfile", "0"));
    const std::string missing = f.p.demo.stores[0].targetPath;
    fs::remove(f.p.demo.hostPath(missing));
    AutoBackupResult r = runAutoBackup(f.form, " sf=Outlookxm=100000000ps=bf=" + f.target.string());
    EXPECT_TRUE(r.succeeded) << r.reason;
    ASSERT_EQ(r.notStored.size(), 1u);
    EXPECT_EQ(r.notStored[0].rfind(missing + ":", 0), 0u) << r.notStored[0];
    EXPECT_NE(f.log().find(" Not stored: " + missing + ":"), std::string::npos) << f.log();
}

TEST(AutomaticBackup, UnusableCommandLineWritesNothingAndFailureKeepsTheOldFile) {
    AutoFixture f;
    AutoBackupResult r = runAutoBackup(f.form, " sf=Outlookxm=1ps=");
    EXPECT_FALSE(r.ran);
    EXPECT_FALSE(fs::exists(f.p.programFolder / "brlog.dat") && !f.log().empty());

    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "autobackupfile", "0"));
    test::writeBytes(f.target, "earlier backup");
    // The target is a folder-less path: the write fails, the log says so.
    r = runAutoBackup(f.form, " sf=Outlookxm=001000000ps=bf=" + (f.p.dir / "none" / "q.qob").string());
    EXPECT_TRUE(r.ran);
    EXPECT_FALSE(r.succeeded);
    EXPECT_NE(f.log().find("Data was not backed up!"), std::string::npos);
    EXPECT_EQ(test::readBytes(f.target), "earlier backup");
    EXPECT_EQ(test::listFolder(f.p.programFolder),
              (std::set<std::string>{"autorun.dat", "brlog.dat", "settings.dat"}));
}

TEST(AutomaticBackup, TheFileStaysInTheFolderTheCommandLineNames) {
    const auto when = localTime(2026, 12, 6, 19, 5);
    // Only ".qob" is cut; a folder (or a path ending in a separator) gets a named file inside it.
    const struct {
        std::string bf;
        bool newFile;
        std::string expected;
    } cases[] = {
        {"/b/Q.QOB", true, "/b/Q-12-06-2026-19-05.qob"},
        {"/b/backup", true, "/b/backup-12-06-2026-19-05.qob"},
        {"/tmp/x/", true, "/tmp/x/qarch-Outlook-12-06-2026-19-05.qob"},
        {"/tmp/x\\", true, "/tmp/x/qarch-Outlook-12-06-2026-19-05.qob"},
        {"/tmp/x/", false, "/tmp/x/qarch-Outlook-12-06-2026-19-05.qob"},
        {"/b/q.qob", false, "/b/q.qob"},
    };
    for (const auto& c : cases) {
        AutoCommandLine line{"Outlook", "1", "", c.bf};
        EXPECT_EQ(autoBackupTarget(line, c.newFile, when), c.expected) << c.bf;
    }

    // An existing folder without a final separator, in a real run.
    AutoFixture f;
    fs::create_directories(f.p.dir / "x");
    AutoBackupResult r = runAutoBackup(f.form, " sf=Outlookxm=001000000ps=bf=" + (f.p.dir / "x").string());
    EXPECT_TRUE(r.complete) << r.reason;
    EXPECT_EQ(test::listFolder(f.p.dir / "x"), (std::set<std::string>{"qarch-Outlook-12-06-2026-19-05.qob"}));
}

TEST(AutomaticBackup, AnIncompleteRunNeverReplacesABackupHoldingWhatItLacks) {
    AutoFixture f;
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "autobackupfile", "0"));
    const std::string line = " sf=Outlookxm=001000100ps=bf=" + f.target.string();
    ASSERT_TRUE(runAutoBackup(f.form, line).complete);
    const std::string whole = test::readBytes(f.target);
    const fs::path beside = f.p.dir / "q-incomplete.qob";

    // The templates are gone by the next run.
    for (const auto& e : fs::directory_iterator(f.p.demo.hostPath(f.p.demo.templatesFolder))) {
        fs::remove(e.path());
    }
    AutoBackupResult r = runAutoBackup(f.form, line);
    EXPECT_TRUE(r.succeeded) << r.reason;
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.failedItems, (std::vector<std::string>{"Backup Templates"}));
    EXPECT_EQ(r.file, beside.string());
    EXPECT_TRUE(test::readBytes(f.target) == whole) << "the whole backup is kept";
    EXPECT_TRUE(fs::exists(beside));
    std::string log = f.log().substr(f.log().rfind("Start Auto Backup"));
    EXPECT_NE(log.find(" Backup Templates Fail!\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" Incomplete backup written as " + beside.string()), std::string::npos) << log;
    EXPECT_EQ(log.find("Completed!"), std::string::npos) << log;

    // A file at the path that is no backup is never replaced, whole or not, and nothing is
    // written beside it.
    fs::remove(beside);
    test::writeBytes(f.target, "earlier backup");
    for (const char* flags : {"001000100", "001000000"}) {
        r = runAutoBackup(f.form, std::string(" sf=Outlookxm=") + flags + "ps=bf=" + f.target.string());
        EXPECT_FALSE(r.succeeded);
        EXPECT_NE(r.reason.find("is not a readable backup of this program"), std::string::npos) << r.reason;
        EXPECT_EQ(test::readBytes(f.target), "earlier backup");
        EXPECT_FALSE(fs::exists(beside));
    }
    fs::remove(f.target);

    // An earlier backup without templates loses nothing: it is replaced.
    ASSERT_TRUE(runAutoBackup(f.form, " sf=Outlookxm=001000000ps=bf=" + f.target.string()).complete);
    r = runAutoBackup(f.form, line);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.file, f.target.string());

    // The configuration step is logged under its own name; the accounts only when chosen.
    ASSERT_TRUE(runAutoBackup(f.form, " sf=Outlookxm=000010000ps=bf=" + f.target.string()).ran);
    log = f.log().substr(f.log().rfind("Start Auto Backup"));
    EXPECT_NE(log.find(" Backup Profile Configuration Succeeded!\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Backup Accounts Settings"), std::string::npos) << log;

    // Unknown profile: no file at all (the options alone would have made one), and it says so.
    for (const std::string flags : {"110000000", "000001000"}) {
        r = runAutoBackup(f.form, " sf=Nobodyxm=" + flags + "ps=bf=" + (f.p.dir / "n.qob").string());
        EXPECT_TRUE(r.ran);
        EXPECT_FALSE(r.succeeded);
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.reason, "no mail profile named \"Nobody\" in " + f.p.demo.prefix.string());
        EXPECT_FALSE(fs::exists(f.p.dir / "n.qob"));
        log = f.log().substr(f.log().rfind("Start Auto Backup"));
        EXPECT_NE(log.find("Profile Nobody Data...\n"), std::string::npos) << log;
        EXPECT_NE(log.find("Data was not backed up! no mail profile named \"Nobody\""), std::string::npos)
            << log;
    }
    // A profile's name is matched as the registry matches keys: without regard to case.
    EXPECT_TRUE(
        runAutoBackup(f.form, " sf=outlookxm=000001000ps=bf=" + (f.p.dir / "o.qob").string()).complete);
}

TEST(AutomaticBackup, APasswordFileThatCannotBeReadFailsTheRunAndWritesNothing) {
    AutoFixture f;
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "autobackupfile", "0"));
    const std::string line = " sf=Outlookxm=001000000ps=bf=" + f.target.string();
    test::writeBytes(f.p.dir / "empty", "");
    for (const fs::path& bad : {f.p.dir / "missing", f.p.dir / "empty", f.p.dir.path()}) {
        AutoBackupResult r = runAutoBackup(f.form, line, AutoRunOptions{bad.string()});
        EXPECT_TRUE(r.ran);
        EXPECT_FALSE(r.succeeded);
        EXPECT_NE(r.reason.find(bad.string()), std::string::npos) << r.reason;
        EXPECT_FALSE(fs::exists(f.target)) << "never an unprotected backup in its place";
        EXPECT_NE(f.log().find("Data was not backed up! The password file " + bad.string()),
                  std::string::npos);
    }
    test::writeBytes(f.p.dir / "pw", "from file\r\n");
    ASSERT_TRUE(runAutoBackup(f.form, line, AutoRunOptions{(f.p.dir / "pw").string()}).complete);
    EXPECT_FALSE(storedItemFlags(f.target, "", f.p.dir.path()));
    EXPECT_TRUE(storedItemFlags(f.target, "from file", f.p.dir.path()));
    // "ps=" on the command line is used as written.
    const std::string withPs = " sf=Outlookxm=001000000ps=typedbf=" + f.target.string();
    ASSERT_TRUE(runAutoBackup(f.form, withPs, AutoRunOptions{(f.p.dir / "missing").string()}).complete);
    EXPECT_TRUE(storedItemFlags(f.target, "typed", f.p.dir.path()));
}

TEST(AutomaticBackup, KeepAutoBackupsRemovesOnlyOlderAutomaticBackupsOfTheProfile) {
    AutoFixture f;
    auto runAt = [&](int day, const std::string& profile = "Outlook",
                     const std::string& flags = "001000000") {
        f.form.setClock([day] { return localTime(2026, 12, day, 19, 5); });
        return runAutoBackup(f.form, " sf=" + profile + "xm=" + flags + "ps=bf=" + f.target.string());
    };
    auto stamped = [&](int day) { return "q-12-0" + std::to_string(day) + "-2026-19-05.qob"; };
    for (int day : {1, 2, 3}) {
        ASSERT_TRUE(runAt(day).complete);
    }
    ASSERT_TRUE(runAt(4, "Second").complete); // another profile's
    test::writeBytes(f.p.dir / "q-11-30-2026-10-00.qob", "not a backup");
    fs::copy_file(f.p.dir / stamped(1), f.p.dir / "q-12-31-2026-10-00.qob"); // a later stamp
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "keepautobackups", "2"));
    AutoBackupResult r = runAt(6);
    ASSERT_TRUE(r.complete);
    EXPECT_EQ(r.removedOlder,
              (std::vector<std::string>{(f.p.dir / stamped(2)).string(), (f.p.dir / stamped(1)).string()}));
    EXPECT_EQ(test::listFolder(f.p.dir.path()),
              (std::set<std::string>{"prefix", "program", "q-11-30-2026-10-00.qob", "q-12-31-2026-10-00.qob",
                                     stamped(3), stamped(4), stamped(6)}));
    EXPECT_NE(f.log().find(" Removed older automatic backup " + (f.p.dir / stamped(1)).string()),
              std::string::npos);

    // A run that is not whole removes nothing.
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "autobackup", "keepautobackups", "1"));
    fs::remove(f.p.demo.hostPath(f.p.demo.stores[0].targetPath));
    r = runAt(7, "Outlook", "100000000");
    EXPECT_TRUE(r.succeeded && !r.complete);
    EXPECT_TRUE(r.removedOlder.empty());
    EXPECT_TRUE(fs::exists(f.p.dir / stamped(3)));
}

} // namespace
} // namespace qob
