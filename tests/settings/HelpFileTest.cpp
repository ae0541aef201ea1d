#include "settings/HelpFile.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

TEST(HelpFile, ThePortableCopyWinsAndNoneIsNoError) {
    TempDir dir;
    const fs::path program = dir / "program", exe = dir / "prefix" / "bin";
    const fs::path inProgram = program / "help" / "index.html", besideExe = exe / "help" / "index.html",
                   movedInstall = dir / "prefix" / "share" / "quire-outlook-backup" / "help" / "index.html",
                   installed = dir / "usr" / "share" / "index.html";
    const HelpFileSources sources{program, exe, installed};
    struct Case {
        std::vector<fs::path> present;
        fs::path found;
    };
    const Case cases[] = {
        {{inProgram, besideExe, movedInstall, installed}, inProgram},
        {{besideExe, movedInstall, installed}, besideExe},
        {{movedInstall, installed}, movedInstall},
        {{installed}, installed},
        {{}, {}},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir.path());
        fs::create_directories(dir.path());
        for (const fs::path& file : c.present) {
            fs::create_directories(file.parent_path());
            std::ofstream(file) << "<html></html>";
        }
        EXPECT_EQ(findHelpFile(sources), c.found) << c.present.size() << " present";
    }
    // A folder where the page should be is not a page.
    fs::create_directories(inProgram);
    EXPECT_EQ(findHelpFile(sources), fs::path());
}

TEST(HelpFile, TheBuildFolderHasThePage) {
    // A program run from the build folder shows the help of its source tree.
    TempDir dir;
    EXPECT_EQ(findHelpFile({dir.path(), QOB_BINARY_DIR, {}}),
              fs::path(QOB_BINARY_DIR) / "help" / "index.html");
}

} // namespace
} // namespace qob::test
