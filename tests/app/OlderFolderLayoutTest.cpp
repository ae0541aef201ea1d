// Prefixes of Wine 9 and later report Windows 10, for which the program names the user's folders
// the older way ("Application Data", "Local Settings\Application Data"). A Wine prefix holds no such
// folders, only AppData: backup and restore must still read and write where Outlook does.
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "archive/Archive.h"
#include "demo/DemoTargetSystem.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

DemoTargetSystem demoReporting(const fs::path& folder, const std::string& windowsVersion) {
    DemoTargetSystem demo = DemoTargetSystem::createFiles(folder);
    demo.windowsVersion = windowsVersion;
    WinePrefixRegistry registry(demo.prefix);
    demo.writeRegistry(registry);
    return demo;
}

TEST(OlderFolderLayout, BackupAndRestoreUseTheAppDataFoldersWhicheverWindowsThePrefixReports) {
    for (const std::string version : {"6.1", "10.0"}) {
        SCOPED_TRACE("Windows " + version);
        test::TempDir dir;
        fs::create_directories(dir / "home");
        setenv("QUIRE_HOME", (dir / "home").c_str(), 1);
        const DemoTargetSystem a = demoReporting(dir / "a", version);
        // Restored on a machine that reports the other version.
        const DemoTargetSystem b = demoReporting(dir / "b", version == "6.1" ? "10.0" : "6.1");
        std::ostringstream out, err;
        auto qob = [&](const DemoTargetSystem& demo, std::vector<std::string> args) {
            out.str("");
            err.str("");
            args.insert(args.begin(), {"--prefix", demo.prefix.string()});
            return cli::runCli(args, out, err);
        };
        ASSERT_EQ(qob(a, {"sysinfo"}), 0) << err.str();
        ASSERT_NE(out.str().find("Windows version:  " + version + " "), std::string::npos) << out.str();

        // Data files and rules, signatures, templates and preferences.
        const fs::path backup = dir / "a.qob";
        ASSERT_EQ(qob(a, {"backup", "--profile", "Outlook", "--items", "101000110", backup.string()}), 0)
            << out.str() << err.str();
        Archive archive;
        ASSERT_TRUE(archive.openArchive(backup));
        std::set<std::string> names;
        for (const ArchiveEntryInfo& entry : archive.entries()) {
            names.insert(entry.name);
        }
        archive.closeArchive();
        for (const char* name : {"Work.htm", "Work.rtf", "Work.txt", "NormalEmail.dotm", "Outlook.xml",
                                 "OutlPrnt", "Outlook.pst"}) {
            EXPECT_EQ(names.count(name), 1u) << name;
        }

        // Into the other machine, whose roaming folders are still empty.
        const fs::path bRoaming = b.hostPath(b.userProfileFolder + "\\AppData\\Roaming\\Microsoft");
        const fs::path aRoaming = a.hostPath(a.userProfileFolder + "\\AppData\\Roaming\\Microsoft");
        fs::remove_all(bRoaming);
        fs::create_directories(bRoaming);
        // The mail file b's profile "Outlook" uses has the name of one in the backup; it stays b's.
        const fs::path bOutlookPst = b.hostPath(b.stores[0].targetPath);
        std::ofstream(bOutlookPst, std::ios::binary | std::ios::trunc) << "b's own mail";
        ASSERT_EQ(qob(b, {"restore", backup.string(), "--profile", "Second", "--items", "101000110"}), 0)
            << out.str() << err.str();
        for (const std::string name :
             {"Signatures/Work.htm", "Signatures/Work.txt", "Templates/NormalEmail.dotm",
              "Outlook/Outlook.xml", "Outlook/OutlPrnt"}) {
            EXPECT_TRUE(fs::is_regular_file(bRoaming / name)) << name;
            EXPECT_EQ(contentOf(bRoaming / name), contentOf(aRoaming / name)) << name;
        }
        EXPECT_EQ(contentOf(bRoaming / "Outlook" / "Second.RWZ"),
                  contentOf(aRoaming / "Outlook" / "Outlook.rwz"));
        const std::string archiv = "Archiv \xC3\x9C"
                                   "bersicht.pst";
        EXPECT_EQ(contentOf(b.hostPath(b.localDataFolder + "\\" + archiv)),
                  contentOf(a.hostPath(a.userProfileFolder + "\\Documents\\Outlook Files\\" + archiv)));
        EXPECT_TRUE(contentOf(bOutlookPst) == "b's own mail") << "b's mail file was replaced";
        // Outlook, running in Wine, is given paths Wine can open: the folders as they are on disk.
        ASSERT_EQ(qob(b, {"profiles", "--verbose"}), 0) << err.str();
        const std::string listing = out.str();
        const std::string marker = "  data file ";
        std::size_t at = listing.find(marker, listing.find("\nSecond\n"));
        ASSERT_NE(at, std::string::npos) << listing;
        for (; at != std::string::npos; at = listing.find(marker, at + 1)) {
            const std::size_t start = at + marker.size();
            const std::string path = listing.substr(start, listing.find('\n', start) - start);
            EXPECT_TRUE(fs::is_regular_file(b.hostPath(path))) << path;
        }
        for (const char* older : {"Application Data", "Local Settings"}) {
            EXPECT_FALSE(fs::exists(b.hostPath(b.userProfileFolder + "\\" + older))) << older;
        }
        unsetenv("QUIRE_HOME");
    }
}

} // namespace
} // namespace qob
