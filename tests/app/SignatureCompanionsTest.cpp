// An HTML signature's pictures live in "<name>_files" beside it, and stationery's the same way. A
// backup carries those folders and a restore puts them back, while the item lists keep naming the
// top-level files alone, as readers of the older lists expect.
#include "DemoCli.h"
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "archive/Archive.h"
#include "demo/DemoTargetSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
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

std::string infoValue(const std::string& info, const std::string& key) {
    const std::size_t at = info.find("\r\n" + key + "=");
    if (at == std::string::npos) {
        return "<none>";
    }
    const std::size_t start = at + key.size() + 3;
    return info.substr(start, info.find("\r\n", start) - start);
}

TEST(SignatureCompanions, TravelInTheBackupAndComeBackBesideTheirFiles) {
    test::DemoCli cli;
    const test::TempDir& dir = cli.dir;
    const DemoTargetSystem demo = DemoTargetSystem::layout(cli.prefix, "15.0");
    const fs::path sig = demo.hostPath(demo.signaturesFolder);
    const fs::path stat = demo.hostPath(demo.stationeryFolder);
    std::ofstream(sig / "Work_files" / "filelist.xml") << "<xml>image001.png</xml>";
    fs::create_directories(stat / "Ribbon_files");
    std::ofstream(stat / "Ribbon_files" / "bg.jpg") << "ribbon background";
    // A folder that belongs to no HTML file of the folder is not a companion.
    fs::create_directories(sig / "Stray");
    std::ofstream(sig / "Stray" / "x.png") << "stray";
    const std::string picture = contentOf(sig / "Work_files" / "image001.png");
    ASSERT_FALSE(picture.empty());

    std::ostringstream out, err;
    auto qob = [&](std::vector<std::string> args) {
        out.str("");
        err.str("");
        return cli::runCli(cli.withTarget(args), out, err);
    };
    const fs::path backup = dir / "sig.qob";
    ASSERT_EQ(qob({"backup", "--profile", "Outlook", "--items", "001100000", backup.string()}), 0)
        << out.str() << err.str();

    Archive archive;
    ASSERT_TRUE(archive.openArchive(backup));
    for (const char* name : {"Signatures/Work_files/image001.png", "Signatures/Work_files/filelist.xml",
                             "Stationery/Ribbon_files/bg.jpg"}) {
        EXPECT_TRUE(archive.findEntry(name)) << name;
    }
    EXPECT_FALSE(archive.findEntry("Signatures/Stray/x.png"));
    auto infoEntry = archive.findEntry("quirebox.dat");
    ASSERT_TRUE(infoEntry);
    ASSERT_TRUE(infoEntry->extractToFile(dir / "info.txt"));
    archive.closeArchive();
    const std::string info = contentOf(dir / "info.txt");
    EXPECT_EQ(infoValue(info, "BackupSignatures").find('/'), std::string::npos) << info;
    EXPECT_EQ(infoValue(info, "BackupStationery").find('/'), std::string::npos) << info;
    EXPECT_EQ(infoValue(info, "BackupSignaturesCompanions"),
              "Signatures/Work_files/filelist.xml|Signatures/Work_files/image001.png");
    EXPECT_EQ(infoValue(info, "BackupStationeryCompanions"), "Stationery/Ribbon_files/bg.jpg");

    // A machine whose signatures are gone, and whose stationery folder lost its pictures.
    fs::remove_all(sig);
    fs::remove_all(stat / "Ribbon_files");
    ASSERT_EQ(qob({"restore", backup.string(), "--profile", "Outlook", "--items", "001100000"}), 0)
        << out.str() << err.str();
    EXPECT_EQ(contentOf(sig / "Work_files" / "image001.png"), picture);
    EXPECT_EQ(contentOf(sig / "Work_files" / "filelist.xml"), "<xml>image001.png</xml>");
    EXPECT_TRUE(fs::is_regular_file(sig / "Work.htm"));
    EXPECT_EQ(contentOf(stat / "Ribbon_files" / "bg.jpg"), "ribbon background");
    EXPECT_FALSE(fs::exists(sig / "Stray"));

    // Again over what is there now: the folder exists and its files are replaced, nothing more.
    std::ofstream(sig / "Work_files" / "image001.png", std::ios::trunc) << "edited since";
    ASSERT_EQ(qob({"restore", backup.string(), "--profile", "Outlook", "--items", "001000000"}), 0)
        << out.str() << err.str();
    EXPECT_EQ(contentOf(sig / "Work_files" / "image001.png"), picture);
}

} // namespace
} // namespace qob
