// The automatic run: its command line, the new-file name and the handlers its flags select.
#include "schedule/AutomaticBackup.h"
#include "backup/Archive.h"
#include "frame/InfoFile.h"
#include "frame/Settings.h"

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
    EXPECT_EQ(test::listFolder(f.p.programFolder), (std::set<std::string>{"brlog.dat", "settings.dat"}));
}

} // namespace
} // namespace qob
