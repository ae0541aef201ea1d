// A profile that still carries a PST from the ANSI era (its store entry ID keeps the path as
// single-byte text at byte 53) is backed up and restored by the command-line tool like any other.
#include "DemoCli.h"
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "archive/Archive.h"
#include "outlook/PathReaders.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

const std::string kService = "Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\Second\\"
                             "a0000000000000000000000000000097";

// The 53-byte head of a PST store entry ID, then the single-byte path and its NUL.
std::vector<std::uint8_t> ansiEntryId(const std::string& path) {
    std::vector<std::uint8_t> id(kStorePathOffset, 0);
    const std::string dll = "mspst.dll";
    std::copy(dll.begin(), dll.end(), id.begin() + 22);
    for (char c : path) {
        id.push_back(static_cast<std::uint8_t>(c));
    }
    id.push_back(0);
    return id;
}

std::vector<std::uint8_t> entryIdIn(const fs::path& prefix) {
    WinePrefixRegistry registry(prefix);
    RegHandle key = 0;
    EXPECT_EQ(registry.openKey(RegRoot::CurrentUser, kService, false, key), kRegSuccess);
    RegValue value;
    EXPECT_EQ(registry.queryValue(key, "01020fff", value), kRegSuccess);
    registry.closeKey(key);
    return value.data;
}

TEST(AnsiEraStore, IsBackedUpAndRestoredInItsOwnForm) {
    test::DemoCli demo;
    const test::TempDir& dir = demo.dir;
    const fs::path& prefix = demo.prefix;
    std::ostringstream &out = demo.out, &err = demo.err;

    const std::string oldPath = "C:\\users\\quire\\Documents\\Outlook Files\\Mail 97.pst";
    const fs::path oldHost = prefix / "drive_c/users/quire/Documents/Outlook Files/Mail 97.pst";
    std::ofstream(oldHost, std::ios::binary) << "ansi era mail";
    {
        WinePrefixRegistry registry(prefix);
        RegHandle key = 0;
        ASSERT_EQ(registry.createKey(RegRoot::CurrentUser, kService, key), kRegSuccess);
        ASSERT_EQ(registry.setValue(key, "01020fff", kRegBinary, ansiEntryId(oldPath)), kRegSuccess);
        registry.closeKey(key);
        ASSERT_EQ(registry.flush(), kRegSuccess);
    }

    const fs::path backup = dir.path() / "second.qob";
    ASSERT_EQ(cli::runCli({"--prefix", prefix.string(), "backup", "--profile", "Second", "--items",
                           "100000000", backup.string()},
                          out, err),
              0)
        << err.str();
    Archive archive;
    ASSERT_TRUE(archive.openArchive(backup));
    ASSERT_TRUE(archive.findEntry("Mail 97.pst"));

    fs::remove(oldHost);
    ASSERT_EQ(cli::runCli({"--prefix", prefix.string(), "restore", backup.string(), "--profile", "Second",
                           "--items", "100000000"},
                          out, err),
              0)
        << err.str();
    const std::string newPath = "C:\\users\\quire\\AppData\\Local\\Microsoft\\Outlook\\Mail 97.pst";
    EXPECT_EQ(entryIdIn(prefix), ansiEntryId(newPath));
    std::ifstream restored(prefix / "drive_c/users/quire/AppData/Local/Microsoft/Outlook/Mail 97.pst");
    std::stringstream text;
    text << restored.rdbuf();
    EXPECT_EQ(text.str(), "ansi era mail");
}

} // namespace
} // namespace qob
