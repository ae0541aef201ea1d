#include "platform/wine/WineTargetFileSystem.h"
#include "platform/wine/WinePrefix.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// A prefix shaped as Wine makes it: dosdevices/c: -> ../drive_c, z: -> /, and a UNC share.
struct Prefix {
    test::TempDir dir;
    fs::path root = dir.path();
    fs::path c = root / "drive_c";
    Prefix() {
        fs::create_directories(root / "dosdevices");
        fs::create_directories(c / "users" / "Root" / "AppData" / "Local" / "Microsoft" / "Outlook");
        fs::create_symlink("../drive_c", root / "dosdevices" / "c:");
        fs::create_symlink("/", root / "dosdevices" / "z:");
        fs::create_directories(root / "share-target" / "Docs");
        fs::create_directories(root / "dosdevices" / "unc" / "Server");
        fs::create_symlink(root / "share-target", root / "dosdevices" / "unc" / "Server" / "Public");
    }
    void file(const fs::path& p, const std::string& text = "x") const {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
    }
};

TEST(WineTargetFileSystem, MapsDrivesComponentsAndUncPaths) {
    Prefix prefix;
    WineTargetFileSystem files(prefix.root);
    const fs::path c = prefix.root / "dosdevices" / "c:";
    // Existing components take the case they have on disk; missing ones keep the given case.
    EXPECT_EQ(files.toHostPath("c:\\USERS\\root\\appdata\\local\\Microsoft\\Outlook\\a.ost"),
              c / "users" / "Root" / "AppData" / "Local" / "Microsoft" / "Outlook" / "a.ost");
    EXPECT_EQ(files.toHostPath("C:/users/ROOT/New Folder/Sub"), c / "users" / "Root" / "New Folder" / "Sub");
    EXPECT_EQ(files.toHostPath("C:\\"), c);
    EXPECT_EQ(files.toHostPath("C:"), c);
    EXPECT_EQ(files.toHostPath("C:\\users\\\\root\\.\\x\\..\\AppData"), c / "users" / "Root" / "AppData");
    EXPECT_EQ(files.toHostPath("C:\\..\\..\\etc"), c / "etc"); // never above the drive
    EXPECT_EQ(files.toHostPath("Z:\\tmp"), prefix.root / "dosdevices" / "z:" / "tmp");
    EXPECT_TRUE(fs::is_directory(*files.toHostPath("z:\\tmp")));
    EXPECT_EQ(files.toHostPath("\\\\server\\PUBLIC\\docs\\a.pst"),
              prefix.root / "dosdevices" / "unc" / "Server" / "Public" / "Docs" / "a.pst");
    EXPECT_EQ(files.toHostPath("\\\\?\\C:\\Users"), c / "users");
    EXPECT_EQ(files.toHostPath("\\\\?\\UNC\\server\\public\\docs"),
              prefix.root / "dosdevices" / "unc" / "Server" / "Public" / "Docs");
    EXPECT_EQ(files.toHostPath("//Server/Public"), prefix.root / "dosdevices" / "unc" / "Server" / "Public");
    // When a folder exists in two spellings, the exact one wins.
    fs::create_directories(prefix.c / "Data");
    fs::create_directories(prefix.c / "data");
    EXPECT_EQ(files.toHostPath("C:\\data"), c / "data");
    EXPECT_EQ(files.toHostPath("C:\\DATA"), c / "Data"); // the first in name order
    // Non-ASCII names fold too.
    fs::create_directories(prefix.c / "users" / "Root" / "Документы");
    EXPECT_EQ(files.toHostPath("C:\\users\\root\\ДОКУМЕНТЫ"), c / "users" / "Root" / "Документы");

    // What cannot be mapped.
    for (const char* bad : {"", "relative\\path", "\\rooted\\without\\drive", "C:relative",
                            "Q:\\no\\such\\drive", "\\\\nosuch\\share\\x", "\\\\Server\\NoShare",
                            "\\\\server", "\\\\\\x", "C:\\a:b", "C:\\what?", "C:\\a\x01", "1:\\x"})
        EXPECT_EQ(files.toHostPath(bad), std::nullopt) << bad;
    EXPECT_EQ(files.toHostPath(std::string("C:\\a\0b", 6)), std::nullopt);
}

TEST(WineTargetFileSystem, ListsExistsAndChangesFiles) {
    Prefix prefix;
    WineTargetFileSystem files(prefix.root);
    const fs::path sig = prefix.c / "users" / "Root" / "AppData" / "Roaming" / "Microsoft" / "Signatures";
    prefix.file(sig / "b.htm");
    prefix.file(sig / "A.txt");
    prefix.file(sig / ".hidden");
    prefix.file(prefix.root / "elsewhere.rtf");
    fs::create_symlink(prefix.root / "elsewhere.rtf", sig / "linked.rtf");
    fs::create_symlink(prefix.root / "missing", sig / "dangling.txt");
    fs::create_directories(sig / "b_files");
    fs::create_directories(sig / "A_files");
    const std::string folder = "C:\\users\\root\\appdata\\roaming\\microsoft\\signatures";

    EXPECT_EQ(files.listFiles(folder, false), (std::vector<std::string>{"A.txt", "b.htm", "linked.rtf"}));
    EXPECT_EQ(files.listFiles(folder, true),
              (std::vector<std::string>{".hidden", "A.txt", "b.htm", "linked.rtf"}));
    EXPECT_EQ(files.listFolders(folder), (std::vector<std::string>{"A_files", "b_files"}));
    EXPECT_TRUE(files.listFiles(folder + "\\nothing", true).empty());
    EXPECT_TRUE(files.listFiles("not a path", true).empty());
    EXPECT_TRUE(files.fileExists(folder + "\\B.HTM"));
    EXPECT_FALSE(files.fileExists(folder + "\\b_files"));
    EXPECT_TRUE(files.folderExists(folder + "\\B_FILES"));
    EXPECT_FALSE(files.folderExists(folder + "\\b.htm"));

    // createFolder: parent must exist; an existing folder is fine; a file in the way is not.
    EXPECT_TRUE(files.createFolder("C:\\users\\root\\AppData\\Local\\Microsoft\\Outlook\\Backup"));
    EXPECT_TRUE(fs::is_directory(prefix.c / "users" / "Root" / "AppData" / "Local" / "Microsoft" / "Outlook" /
                                 "Backup"));
    EXPECT_TRUE(files.createFolder("c:\\USERS"));
    Status noParent = files.createFolder("C:\\no\\parent");
    EXPECT_FALSE(noParent);
    EXPECT_NE(noParent.message.find("C:\\no\\parent"), std::string::npos);
    EXPECT_FALSE(files.createFolder(folder + "\\b.htm"));
    EXPECT_FALSE(files.createFolder("bad path"));

    // rename never overwrites; delete refuses folders and missing files.
    Status clash = files.renameFile(folder + "\\a.txt", folder + "\\B.htm");
    EXPECT_FALSE(clash);
    EXPECT_NE(clash.message.find("already exists"), std::string::npos);
    EXPECT_TRUE(fs::exists(sig / "A.txt"));
    ASSERT_TRUE(files.renameFile(folder + "\\a.txt", folder + "\\c.txt"));
    EXPECT_TRUE(fs::exists(sig / "c.txt"));
    EXPECT_FALSE(fs::exists(sig / "A.txt"));
    EXPECT_FALSE(files.renameFile(folder + "\\gone.txt", folder + "\\d.txt"));
    EXPECT_FALSE(files.renameFile(folder + "\\c.txt", "C:relative"));

    EXPECT_TRUE(files.deleteFile(folder + "\\C.TXT"));
    EXPECT_FALSE(fs::exists(sig / "c.txt"));
    Status missing = files.deleteFile(folder + "\\c.txt");
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message.find("c.txt"), std::string::npos);
    EXPECT_FALSE(files.deleteFile(folder + "\\b_files"));
    EXPECT_TRUE(fs::is_directory(sig / "b_files"));
    // Deleting a link removes the link, not what it points to.
    EXPECT_TRUE(files.deleteFile(folder + "\\linked.rtf"));
    EXPECT_TRUE(fs::exists(prefix.root / "elsewhere.rtf"));
}

// A Wine prefix has no junctions for the folder names of Windows XP, which Windows Vista and later
// keep in every user folder; programs that use those names must still reach the AppData and
// Documents folders, for reading and for writing.
TEST(WineTargetFileSystem, OlderUserFolderNamesLeadWhereWindowsLeadsThem) {
    Prefix prefix;
    WineTargetFileSystem files(prefix.root);
    const fs::path c = prefix.root / "dosdevices" / "c:";
    const fs::path user = c / "users" / "Root";
    fs::create_directories(prefix.c / "users" / "Root" / "AppData" / "Roaming" / "Microsoft" / "Windows");
    fs::create_directories(prefix.c / "users" / "Root" / "Documents");
    fs::create_directories(prefix.c / "users" / "Public" / "Documents");
    // A profile made the old way holds real folders of those names; they stay what they are.
    fs::create_directories(prefix.c / "users" / "Old" / "Application Data");
    fs::create_directories(prefix.c / "users" / "Old" / "AppData" / "Roaming");
    // A folder without the newer folders has nothing the names could lead to.
    fs::create_directories(prefix.c / "users" / "Bare");

    const std::vector<std::pair<std::string, fs::path>> table = {
        {"C:\\users\\root\\Application Data\\Microsoft\\Signatures\\a.htm",
         user / "AppData" / "Roaming" / "Microsoft" / "Signatures" / "a.htm"},
        {"c:\\USERS\\ROOT\\application data", user / "AppData" / "Roaming"},
        {"C:\\users\\root\\Local Settings\\Application Data\\Microsoft\\Outlook\\a.ost",
         user / "AppData" / "Local" / "Microsoft" / "Outlook" / "a.ost"},
        {"C:\\users\\root\\Local Settings\\Application Data", user / "AppData" / "Local"},
        {"C:\\users\\root\\AppData\\Local\\Application Data\\Microsoft",
         user / "AppData" / "Local" / "Microsoft"},
        {"C:\\users\\root\\local settings\\Temp", user / "AppData" / "Local" / "Temp"},
        {"C:\\users\\root\\My Documents\\Outlook Files\\a.pst",
         user / "Documents" / "Outlook Files" / "a.pst"},
        {"C:\\users\\root\\Cookies", user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Cookies"},
        {"C:\\users\\root\\NetHood",
         user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Network Shortcuts"},
        {"C:\\users\\root\\PrintHood",
         user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Printer Shortcuts"},
        {"C:\\users\\root\\Recent\\x.lnk",
         user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Recent" / "x.lnk"},
        {"C:\\users\\root\\SendTo", user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "SendTo"},
        {"C:\\users\\root\\Start Menu\\Programs",
         user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs"},
        {"C:\\users\\root\\Templates", user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Templates"},
        // Only directly in a user folder, and only where no real folder has the name.
        {"C:\\users\\old\\Application Data\\Microsoft",
         c / "users" / "Old" / "Application Data" / "Microsoft"},
        {"C:\\users\\bare\\Application Data", c / "users" / "Bare" / "Application Data"},
        {"C:\\users\\Public\\My Documents", c / "users" / "Public" / "My Documents"},
        {"C:\\Application Data", c / "Application Data"},
        {"C:\\users\\Application Data", c / "users" / "Application Data"},
        {"C:\\users\\root\\Documents\\Application Data", user / "Documents" / "Application Data"},
        {"C:\\users\\root\\AppData\\Roaming\\Application Data",
         user / "AppData" / "Roaming" / "Application Data"},
        {"C:\\users\\root\\Application Data\\..\\Desktop", user / "Desktop"},
    };
    for (const auto& [target, host] : table)
        EXPECT_EQ(files.toHostPath(target), host) << target;
    // Outlook in Wine is given the names Wine can open.
    for (const auto& [given, canonical] : std::vector<std::pair<std::string, std::string>>{
             {"C:\\users\\root\\Local Settings\\Application Data\\Microsoft\\Outlook\\a.pst",
              "C:\\users\\root\\AppData\\Local\\Microsoft\\Outlook\\a.pst"},
             {"c:/users/root/my documents/x.pst", "c:\\users\\root\\Documents\\x.pst"},
             {"C:\\users\\old\\Application Data", "C:\\users\\old\\Application Data"},
             {"C:\\users\\root\\AppData\\.\\Local\\a.pst", "C:\\users\\root\\AppData\\.\\Local\\a.pst"},
             {"relative", "relative"}})
        EXPECT_EQ(files.canonicalPath(given), canonical) << given;

    // Writing through the older names lands in the newer folders, and reading finds it there.
    const std::string signatures = "C:\\users\\root\\Application Data\\Microsoft\\Signatures";
    EXPECT_TRUE(files.folderExists("C:\\users\\root\\Application Data"));
    ASSERT_TRUE(files.createFolder(signatures));
    EXPECT_TRUE(fs::is_directory(user / "AppData" / "Roaming" / "Microsoft" / "Signatures"));
    prefix.file(user / "AppData" / "Roaming" / "Microsoft" / "Signatures" / "Work.htm");
    EXPECT_EQ(files.listFiles(signatures, false), (std::vector<std::string>{"Work.htm"}));
    ASSERT_TRUE(files.renameFile(signatures + "\\Work.htm", signatures + "\\Home.htm"));
    EXPECT_TRUE(fs::exists(user / "AppData" / "Roaming" / "Microsoft" / "Signatures" / "Home.htm"));
    EXPECT_TRUE(files.fileExists("C:\\users\\root\\AppData\\Roaming\\Microsoft\\Signatures\\Home.htm"));
    EXPECT_TRUE(files.deleteFile(signatures + "\\home.htm"));
    EXPECT_TRUE(files.listFiles(signatures, true).empty());
    EXPECT_TRUE(files.createFolder("C:\\users\\root\\Local Settings\\Application Data"));
    // One older name can stand for several missing levels; they are made, and nothing else.
    ASSERT_TRUE(files.createFolder("C:\\users\\root\\Start Menu"));
    EXPECT_TRUE(fs::is_directory(user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu"));
    EXPECT_FALSE(files.createFolder("C:\\users\\root\\Start Menu\\a\\b"));
    EXPECT_FALSE(fs::exists(user / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "a"));
    for (const char* name : {"Application Data", "Local Settings", "Start Menu", "My Documents"})
        EXPECT_FALSE(fs::exists(user / name)) << name;
}

TEST(WineTargetFileSystem, AFolderRootCreatesBelongsToThePrefixsUser) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the prefix another owner";
    Prefix prefix;
    ASSERT_EQ(::chown(prefix.c.c_str(), 1, 1), 0);
    WineTargetFileSystem files(prefix.root);
    ASSERT_TRUE(files.createFolder("C:\\Mail"));
    struct stat st {};
    ASSERT_EQ(::stat((prefix.c / "Mail").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 1u);
}

TEST(WinePrefix, LocatesAndChecksThePrefix) {
    EXPECT_EQ(chooseWinePrefix("/opt/p", "/env/p", "/home/u"), fs::path("/opt/p"));
    EXPECT_EQ(chooseWinePrefix(std::nullopt, "/env/p/", "/home/u"), fs::path("/env/p/"));
    EXPECT_EQ(chooseWinePrefix("", "", "/home/u"), fs::path("/home/u/.wine"));
    EXPECT_EQ(chooseWinePrefix(std::nullopt, std::nullopt, std::nullopt), fs::path());
    EXPECT_TRUE(chooseWinePrefix("rel", std::nullopt, std::nullopt).is_absolute());

    std::vector<std::string> args{"--prefix", "/a", "backup", "--prefix=/b", "x"};
    std::string error;
    EXPECT_EQ(takePrefixOption(args, error), "/b");
    EXPECT_EQ(args, (std::vector<std::string>{"backup", "x"}));
    std::vector<std::string> dangling{"backup", "--prefix"};
    EXPECT_EQ(takePrefixOption(dangling, error), std::nullopt);
    EXPECT_NE(error.find("--prefix"), std::string::npos);

    Prefix prefix;
    EXPECT_TRUE(checkWinePrefix(prefix.root));
    test::TempDir regOnly;
    std::ofstream(regOnly / "user.reg") << "WINE REGISTRY Version 2\n";
    EXPECT_TRUE(checkWinePrefix(regOnly.path()));
    test::TempDir empty;
    Status notPrefix = checkWinePrefix(empty.path());
    EXPECT_FALSE(notPrefix);
    EXPECT_NE(notPrefix.message.find(empty.path().string()), std::string::npos);
    EXPECT_FALSE(checkWinePrefix(empty / "missing"));
    EXPECT_FALSE(checkWinePrefix(fs::path()));
}

} // namespace
} // namespace qob
