#include "settings/Settings.h"
#include "settings/ProgramFolder.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace qob {
namespace {

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

TEST(Settings, MissingFileSectionOrKeyReadsEmptyAndCountsAsOn) {
    test::TempDir dir;
    auto file = settingsPath(dir.path());
    EXPECT_EQ(file, dir / "settings.dat");
    EXPECT_EQ(readSetting(file, "General", "burndvd"), "");
    spit(file, "[General]\r\nrunoutlookafterbackup=0\r\n");
    EXPECT_EQ(readSetting(file, "General", "burndvd"), "");
    EXPECT_EQ(readSetting(file, "backup", "burndvd"), "");
    EXPECT_TRUE(settingMatches(readSetting(file, "General", "burndvd"), 1));
    EXPECT_FALSE(settingMatches(readSetting(file, "General", "runoutlookafterbackup"), 1));
}

TEST(Settings, ReadsAsThePrivateProfileReaderDoes) {
    test::TempDir dir;
    auto file = dir / "settings.dat";
    spit(file, "; comment\r\n[ Backup ]\r\n  BackupFolder  =  /data/backups  \r\nautocloseoutlook=1\r\n"
               "autocloseoutlook=0\r\n[General]\nquoted=\"  x y \"\nsingle='z'\nlone=\"\nempty=\n"
               "[backup]\nopenfolderbackup=0\n");
    // One section whatever the case of its name; the first occurrence of a key wins.
    EXPECT_EQ(readSetting(file, "backup", "backupfolder"), "/data/backups");
    EXPECT_EQ(readSetting(file, "BACKUP", "AutoCloseOutlook"), "1");
    // A repeated section is searched too.
    EXPECT_EQ(readSetting(file, "Backup", "openfolderbackup"), "0");
    // Quotes stripped, then blanks trimmed.
    EXPECT_EQ(readSetting(file, "general", "quoted"), "x y");
    EXPECT_EQ(readSetting(file, "general", "single"), "z");
    EXPECT_EQ(readSetting(file, "general", "lone"), "\"");
    EXPECT_EQ(readSetting(file, "general", "empty"), "");
    // The read-only probe file Wine wrote keeps its quotes on disk.
    EXPECT_EQ(readSetting(test::fixture("probe.ini"), "section one", "QUOTED"), "quoted value");
    EXPECT_EQ(readSetting(test::fixture("probe.ini"), "Section Two", "Path"), "C:\\Users\\me\\a.pst");
}

TEST(Settings, LongValuesKeep127CharactersBothWays) {
    test::TempDir dir;
    auto file = dir / "settings.dat";
    const std::string value130(130, 'v');
    ASSERT_TRUE(writeSetting(file, "Backup", "backupfolder", value130));
    EXPECT_EQ(readSetting(file, "Backup", "backupfolder"), value130.substr(0, 127));
    EXPECT_EQ(slurp(file), "[Backup]\r\nbackupfolder=" + value130.substr(0, 127) + "\r\n");

    // Characters, not bytes: a multi-byte character is never cut in half.
    std::string accented;
    for (int i = 0; i < 130; ++i)
        accented += "\xc3\xa9";
    spit(file, "[Backup]\r\nbackupfolder=" + accented + "\r\n");
    EXPECT_EQ(readSetting(file, "Backup", "backupfolder"), accented.substr(0, 254));
    // A NUL ends the value, as it ends the C string the API passes.
    ASSERT_TRUE(writeSetting(file, "Backup", "backupfolder", std::string("abc\0def", 7)));
    EXPECT_EQ(readSetting(file, "Backup", "backupfolder"), "abc");
}

TEST(Settings, WriteEditsInPlaceAndKeepsEveryOtherLine) {
    test::TempDir dir;
    auto file = dir / "settings.dat";
    const std::string before = "; keep me\n[backup]\nBackupFolder=/old\nautocloseoutlook=1\n\n"
                               "[General]\r\nburndvd=1\r\n[Backup]\r\nbackupfolder=/second";
    spit(file, before);
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(writeSetting(file, "Backup", "backupfolder", "/new"));
    ASSERT_TRUE(writeSetting(file, "backup", "openfolderbackup", "0"));
    ASSERT_TRUE(writeSetting(file, "autobackup", "autobackupfile", "1"));
    EXPECT_EQ(slurp(file),
              "; keep me\n[backup]\nBackupFolder=/new\nautocloseoutlook=1\nopenfolderbackup=0\r\n\n"
              "[General]\r\nburndvd=1\r\n[Backup]\r\nbackupfolder=/second\r\n"
              "[autobackup]\r\nautobackupfile=1\r\n");
    EXPECT_EQ(readSetting(file, "BACKUP", "backupfolder"), "/new");
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Only settings.dat remains: the scratch file was renamed into place.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(Settings, RefusesWhatCouldNotBeReadBackAndLosesNothing) {
    test::TempDir dir;
    auto file = dir / "settings.dat";
    ASSERT_TRUE(writeSetting(file, "General", "burndvd", "1"));
    const std::string before = slurp(file);
    for (auto [section, key, value] :
         {std::tuple{"Gen]eral", "k", "v"}, std::tuple{"", "k", "v"}, std::tuple{"General", "a=b", "v"},
          std::tuple{"General", " ", "v"}, std::tuple{"General", "k", "line\r\nbreak"},
          std::tuple{"Gen\neral", "k", "v"}}) {
        Status s = writeSetting(file, section, key, value);
        EXPECT_FALSE(s) << section << "/" << key;
        EXPECT_NE(s.message.find("settings.dat"), std::string::npos) << s.message;
    }
    EXPECT_EQ(slurp(file), before);
    // A folder that does not exist: a message, no file.
    Status missing = writeSetting(dir / "nowhere" / "settings.dat", "General", "burndvd", "1");
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.message.empty());
}

TEST(Settings, ConcurrentWritersKeepEachOthersChanges) {
    test::TempDir dir;
    auto file = dir / "settings.dat";
    auto writer = [&](const std::string& section) {
        for (int i = 0; i < 40; ++i)
            writeSetting(file, section, "k" + std::to_string(i), std::to_string(i));
    };
    std::thread a(writer, "One"), b(writer, "Two");
    a.join();
    b.join();
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(readSetting(file, "one", "k" + std::to_string(i)), std::to_string(i));
        EXPECT_EQ(readSetting(file, "two", "k" + std::to_string(i)), std::to_string(i));
    }
}

TEST(Settings, ComparisonRule) {
    // Missing, empty or not a number: matches any number.
    for (const char* loose : {"", "x", "yes", "1x", "-", ".", "1e", "0x1", "inf", "nan"}) {
        EXPECT_TRUE(settingMatches(loose, 1)) << loose;
        EXPECT_TRUE(settingMatches(loose, 0)) << loose;
    }
    // A number matches only itself.
    EXPECT_TRUE(settingMatches("1", 1));
    EXPECT_FALSE(settingMatches("1", 0));
    EXPECT_TRUE(settingMatches("0", 0));
    EXPECT_FALSE(settingMatches("0", 1));
    EXPECT_TRUE(settingMatches(" 1 ", 1));
    EXPECT_FALSE(settingMatches(" 1", 0));
    EXPECT_TRUE(settingMatches("+1", 1));
    EXPECT_TRUE(settingMatches("1.0", 1));
    EXPECT_FALSE(settingMatches("1.5", 1));
    EXPECT_TRUE(settingMatches("-1", -1));
    EXPECT_FALSE(settingMatches("2", 1));
    EXPECT_TRUE(settingMatches("1e0", 1));
}

TEST(ProgramFolder, ChoosesInOrderAndCreatesTheFolder) {
    test::TempDir dir;
    std::filesystem::path folder;
    ProgramFolderSources s;
    s.quireHome = (dir / "home-override").string();
    s.executableFolder = dir.path();
    s.xdgDataHome = (dir / "xdg").string();
    s.home = (dir / "h").string();
    ASSERT_TRUE(resolveProgramFolder(s, folder));
    EXPECT_EQ(folder, dir / "home-override");
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    s.quireHome = "";
    ASSERT_TRUE(resolveProgramFolder(s, folder));
    EXPECT_EQ(folder, dir.path());

    // A writable bin folder: a portable copy keeps its files there, an installed tree (with its
    // data folder beside bin) in the user's data folder.
    std::filesystem::create_directories(dir / "portable" / "bin");
    std::filesystem::create_directories(dir / "usr" / "bin");
    std::filesystem::create_directories(dir / "usr" / "share" / "quire-outlook-backup");
    for (const auto& [exe, expected] :
         {std::pair{dir / "portable" / "bin", dir / "portable" / "bin"},
          std::pair{dir / "usr" / "bin", dir / "xdg" / "quire-outlook-backup"},
          std::pair{dir / "missing-exe-folder", dir / "xdg" / "quire-outlook-backup"}}) {
        s.executableFolder = exe;
        ASSERT_TRUE(resolveProgramFolder(s, folder));
        EXPECT_EQ(folder, expected) << exe;
    }

    s.xdgDataHome = "relative/xdg";
    ASSERT_TRUE(resolveProgramFolder(s, folder));
    EXPECT_EQ(folder, dir / "h" / ".local" / "share" / "quire-outlook-backup");
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    s.xdgDataHome.reset();
    s.home.reset();
    Status none = resolveProgramFolder(s, folder);
    EXPECT_FALSE(none);
    EXPECT_NE(none.message.find("QUIRE_HOME"), std::string::npos);

    // A file where the folder should be: a message naming it.
    test::TempDir other;
    spit(other / "blocker", "x");
    s.quireHome = (other / "blocker").string();
    Status blocked = resolveProgramFolder(s, folder);
    EXPECT_FALSE(blocked);
    EXPECT_NE(blocked.message.find("blocker"), std::string::npos);
}

} // namespace
} // namespace qob
