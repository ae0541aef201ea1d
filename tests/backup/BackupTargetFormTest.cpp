// "Backup Now" on a path that names a file which is not a backup: the window's summary says why,
// and the file is as it was.
#include "backup/BackupTarget.h"
#include "forms/BackupRun.h"

#include "DemoPlatform.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

TEST(BackupTargetForm, TheWindowRefusesAFileThatIsNotABackup) {
    test::DemoPlatform p;
    MainForm form{p.platform};
    ASSERT_TRUE(form.formLoad());
    form.backupItem[2].checked = true; // signatures
    const fs::path mail = p.demo.hostPath(p.demo.stores[0].targetPath);
    const fs::path notes = p.dir / "notes.qob";
    test::writeBytes(notes, "PK\x03\x04 not really a zip");
    for (const fs::path& target : {mail, notes, p.demo.prefix / "userdef.reg"}) {
        const std::string before = fs::exists(target) ? test::readBytes(target) : "";
        form.state().targetPath = target;
        form.txtTargetFile = target.string();
        p.dialogs.messages.clear();
        BackupRun run;
        const BackupOutcome out = run.runBackup(form);
        EXPECT_TRUE(out.ran);
        EXPECT_FALSE(out.succeeded);
        EXPECT_EQ(out.summary.end, BackupEnd::Failed);
        ASSERT_FALSE(p.dialogs.messages.empty());
        EXPECT_EQ(p.dialogs.messages.back().icon, MsgIcon::Critical);
        EXPECT_EQ(p.dialogs.messages.back().text.rfind("The Backup Failed!", 0), 0u);
        EXPECT_NE(p.dialogs.messages.back().text.find("a backup is never written over it"), std::string::npos)
            << p.dialogs.messages.back().text;
        EXPECT_TRUE(test::readBytes(target) == before) << target;
    }
    EXPECT_TRUE(isBackupFile(p.dir / "none.qob") == false);
}

} // namespace
} // namespace qob
