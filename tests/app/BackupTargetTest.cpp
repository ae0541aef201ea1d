// qob backup OUT never replaces a file that is not a backup: a mail file of any profile, the
// prefix's registry, or anything else; an earlier backup is replaced as before.
#include "DemoCli.h"
#include "ZipTools.h"
#include "app/cli/Cli.h"
#include "archive/Archive.h"
#include "demo/DemoTargetSystem.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

TEST(BackupTarget, QobRefusesEveryFileThatIsNotABackupAndTouchesNothing) {
    test::DemoCli demo;
    const fs::path& prefix = demo.prefix;
    auto backup = [&](const fs::path& out, const std::string& items = "signatures") {
        demo.out.str("");
        demo.err.str("");
        return cli::runCli(
            {"--prefix", prefix.string(), "backup", "--profile", "Outlook", "--items", items, out.string()},
            demo.out, demo.err);
    };
    const DemoTargetSystem layout = DemoTargetSystem::createFiles(demo.dir / "layout");
    auto inPrefix = [&](const std::string& targetPath) {
        return prefix / layout.hostPath(targetPath).lexically_relative(layout.prefix);
    };
    const fs::path secondPst = inPrefix(layout.storesOf("Second").front().targetPath);
    const fs::path notes = demo.dir / "notes.txt";
    test::writeBytes(notes, "my notes");
    const fs::path empty = demo.dir / "empty.qob";
    test::writeBytes(empty, "");
    fs::create_directories(demo.dir / "folder.qob");
    const fs::path link = demo.dir / "link.qob";
    fs::create_symlink(secondPst, link);
    // A zip of someone else's (its last entry is not the information file), and a backup whose end
    // is cut off.
    const fs::path otherZip = demo.dir / "other.qob";
    {
        test::writeBytes(demo.dir / "a.txt", "text");
        Archive zip;
        ASSERT_TRUE(zip.createArchive(otherZip));
        ASSERT_TRUE(zip.addFiles(demo.dir / "a.txt"));
        ASSERT_TRUE(zip.writeArchive());
    }
    const fs::path cut = demo.dir / "cut.qob";
    ASSERT_EQ(backup(cut), 0) << demo.err.str();
    fs::resize_file(cut, fs::file_size(cut) - 30);

    struct Case {
        fs::path out;
        const char* why;
    };
    const Case cases[] = {
        {secondPst,
         "is the data file C:\\users\\quire\\AppData\\Local\\Microsoft\\Outlook\\Second.pst of the "
         "mail profile \"Second\""},
        {link, "is the data file"},
        {prefix / "user.reg", "is a registry file of the target system"},
        {prefix / "system.reg", "is a registry file of the target system"},
        {inPrefix(layout.addressBook), "is the data file"},
        {notes, "exists and is not a readable backup of this program"},
        {empty, "exists and is not a readable backup of this program"},
        {otherZip, "exists and is not a readable backup of this program"},
        {cut, "exists and is not a readable backup of this program"},
        {demo.dir / "folder.qob", "is a folder"},
    };
    for (const Case& c : cases) {
        const bool existed = fs::exists(c.out);
        const std::string before = existed && fs::is_regular_file(c.out) ? test::readBytes(c.out) : "";
        EXPECT_EQ(backup(c.out), 1) << c.out;
        EXPECT_NE(demo.err.str().find(c.why), std::string::npos) << demo.err.str();
        EXPECT_NE(demo.err.str().find("a backup is never written over it"), std::string::npos)
            << demo.err.str();
        EXPECT_EQ(demo.err.str().find("Succeeded"), std::string::npos) << demo.err.str();
        if (existed && fs::is_regular_file(c.out)) {
            EXPECT_TRUE(test::readBytes(c.out) == before) << c.out;
        }
        for (const auto& e : fs::directory_iterator(c.out.parent_path())) {
            EXPECT_EQ(e.path().filename().string().find("qobtmp"), std::string::npos) << e.path();
        }
    }
    EXPECT_TRUE(fs::is_symlink(link));

    // A data file a profile names that is missing now (the user may put it back): not created.
    const fs::path gone = inPrefix(layout.storesOf("Outlook")[1].targetPath);
    fs::remove(gone);
    EXPECT_EQ(backup(gone), 1);
    EXPECT_FALSE(fs::exists(gone));

    // An earlier backup, even one protected with another password, is replaced.
    const fs::path earlier = demo.dir / "earlier.qob";
    ASSERT_EQ(backup(earlier, "templates"), 0) << demo.err.str();
    const std::string first = test::readBytes(earlier);
    ASSERT_EQ(backup(earlier), 0) << demo.err.str();
    EXPECT_FALSE(test::readBytes(earlier) == first);
    test::writeBytes(demo.dir / "pw", "secret\n");
    ASSERT_EQ(cli::runCli({"--prefix", prefix.string(), "backup", "--profile", "Outlook", "--items",
                           "templates", "--password-file", (demo.dir / "pw").string(), earlier.string()},
                          demo.out, demo.err),
              0)
        << demo.err.str();
    EXPECT_EQ(backup(earlier), 0) << demo.err.str();
}

} // namespace
} // namespace qob
