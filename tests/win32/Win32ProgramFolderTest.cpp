// The program folder on Windows: the executable's folder only when a file can really be made there.
// Windows' access() reports every folder writable (Program Files included), so an installation for
// all users would have kept settings.dat where no user may write.
#include "TestPaths.h"
#include "settings/ProgramFolder.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

TEST(Win32ProgramFolder, TheExecutablesFolderServesOnlyWhenAFileCanBeMadeThere) {
    TempDir dir;
    std::filesystem::create_directories(dir / "portable");
    struct Case {
        std::filesystem::path executableFolder;
        std::filesystem::path expected;
    };
    // Z:\proc is the Linux /proc under Wine: a folder no one, root included, can make a file in,
    // as Program Files is for a user without administrator rights.
    const Case cases[] = {
        {dir / "portable", dir / "portable"},
        {std::filesystem::path(L"Z:\\proc"), dir / "local" / "quire-outlook-backup"},
        {dir / "missing", dir / "local" / "quire-outlook-backup"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executableFolder.string());
        ProgramFolderSources sources;
        sources.executableFolder = c.executableFolder;
        sources.xdgDataHome = (dir / "local").string();
        std::filesystem::path folder;
        ASSERT_TRUE(resolveProgramFolder(sources, folder));
        EXPECT_EQ(folder, c.expected);
    }
    // The probe leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(dir / "portable"));
}

} // namespace
} // namespace qob::test
