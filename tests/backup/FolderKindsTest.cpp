// The folder kinds and the availability of their boxes on a Wine file system: a hidden file (a
// leading "." under Wine) is neither backed up nor counted, so a box is never offered for a folder
// whose backup would then fail.
#include "backup/BackupItems.h"
#include "forms/MainForm.h"
#include "platform/wine/WineTargetFileSystem.h"

#include "DemoPlatform.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

TEST(FolderKinds, HiddenFilesAreNeitherBackedUpNorCounted) {
    test::DemoPlatform p;
    WineTargetFileSystem files(p.demo.prefix);
    TargetContext platform{{p.store, files, p.system, p.dialogs, p.programFolder, p.demo.prefix}, p.registry};
    MainForm form(platform);
    ASSERT_TRUE(form.formLoad());
    const fs::path signatures = p.demo.hostPath(p.demo.signaturesFolder);

    const struct {
        std::vector<std::string> names;
        bool offered;
    } cases[] = {
        {{".hidden.htm"}, false},
        {{".hidden.htm", "Work.txt"}, true},
    };
    for (const auto& c : cases) {
        fs::remove_all(signatures);
        fs::create_directories(signatures);
        for (const std::string& name : c.names) {
            std::ofstream(signatures / name) << "x";
        }
        form.selectSource(0);
        EXPECT_EQ(form.backupItem[2].enabled, c.offered) << c.names.size();

        std::vector<fs::path> scratch;
        Archive archive;
        ASSERT_TRUE(archive.createArchive(p.dir / "s.qob"));
        BackupItems items(platform, form.state(), archive, p.programFolder / "info.dat", scratch);
        EXPECT_EQ(items.backupSignatures(), c.offered);
        for (const auto& [file, name] : archive.queuedFiles()) {
            EXPECT_NE(name.front(), '.') << name;
        }
        archive.closeArchive();
    }
}

} // namespace
} // namespace qob
