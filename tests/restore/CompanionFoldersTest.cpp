// The companion folders of signatures ("Work_files" beside "Work.htm") restored from a backup: the
// listed files land in their folder beside the signature, and a name that would leave that layout
// is refused by itself while the rest of the item is restored.
#include "RestoreFixture.h"
#include "forms/OpenBackup.h"
#include "restore/RestoreCompanions.h"
#include "restore/RestoreItems.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

TEST(CompanionFolders, ListedFilesComeBackBesideTheirSignatureAndHostileNamesAreRefused) {
    const std::vector<std::string> hostile = {
        "Signatures/../evil.png",           "Signatures/Work_files/../../evil.png",
        "Signatures/Work_files/..",         "Signatures/Work_files/sub/evil.png",
        "Signatures/Work/evil.png",         "Signatures/_files/evil.png",
        "Stationery/Work_files/evil.png",   "/Signatures/Work_files/evil.png",
        "Signatures\\Work_files\\evil.png", "Signatures/Work_files/C:evil.png",
        "Signatures/C:_files/evil.png",     "Signatures/Work_files/CON.png",
        "Signatures/Work_files/",           "Work_files/evil.png",
        "Signatures//Work_files/evil.png",  "Signatures/Work_files/evil.png:ads"};
    RestoreWorld w;
    const std::string sig = w.demo.signaturesFolder;
    const fs::path hostSig = w.host(sig);
    // What this machine already has: a file in the companion folder that the backup does not hold.
    fs::create_directories(hostSig / "Work_files");
    { std::ofstream(hostSig / "Work_files" / "kept.png") << "kept"; }

    BackupSpec spec = minimalSpec("00001000000");
    spec.entries.push_back({"Work.htm", "<img src=\"Work_files/image001.png\">"});
    spec.entries.push_back({"Work.txt", "Regards"});
    spec.entries.push_back({"Signatures/Work_files/image001.png", "picture"});
    spec.entries.push_back({"Signatures/Work_files/filelist.xml", "<xml/>"});
    spec.entries.push_back({"Signatures/Fresh_files/a.png", "fresh picture"});
    std::string companions = "Signatures/Work_files/image001.png|Signatures/WORK_FILES/image001.png";
    for (const std::string& name : hostile) {
        if (!name.ends_with('/')) { // a name ending in "/" is a folder to zip tools
            spec.entries.push_back({name, "evil"});
        }
        companions += "|" + name;
    }
    companions +=
        "|Signatures/Work_files/filelist.xml|Signatures/Fresh_files/a.png|Signatures/Gone_files/x.png";
    addItemLine(spec, "BackupSignatures", "Work.htm;Work.txt");
    addItemLine(spec, "BackupSignaturesCompanions", companions);
    const fs::path qob = w.dir / "companions.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    const auto before = snapshotFiles(w.dir.path());

    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreSignatures(ctx)) << "refused names fail the item";
    // Every hostile name and the missing entry are named, each once.
    ASSERT_EQ(ctx.problems.size(), hostile.size() + 1) << joined(ctx.problems);
    for (std::size_t i = 0; i < hostile.size(); ++i) {
        EXPECT_NE(ctx.problems[i].find(hostile[i]), std::string::npos) << ctx.problems[i];
    }
    EXPECT_NE(ctx.problems.back().find("Gone_files/x.png"), std::string::npos) << ctx.problems.back();

    auto expected = before;
    const std::string folder = fs::relative(hostSig, w.dir.path()).generic_string();
    expected[folder + "/Work.htm"] = "<img src=\"Work_files/image001.png\">";
    expected[folder + "/Work.txt"] = "Regards";
    expected[folder + "/Work_files/image001.png"] = "picture";
    expected[folder + "/Work_files/filelist.xml"] = "<xml/>";
    expected[folder + "/Fresh_files/a.png"] = "fresh picture";
    EXPECT_EQ(snapshotFiles(w.dir.path()), expected);

    // The layout itself: only "<kind folder>/<name>_files/<file>" of the item's own kind.
    EXPECT_TRUE(parseCompanionEntry(ItemKind::Stationery, "Stationery/Ribbon_files/bg.jpg"));
    EXPECT_FALSE(parseCompanionEntry(ItemKind::Stationery, "Signatures/Ribbon_files/bg.jpg"));
    EXPECT_FALSE(parseCompanionEntry(ItemKind::Templates, "Signatures/Work_files/a.png"));
}

// A file standing where the companion folder goes is left alone; the signature's own files are
// still restored and the failure says why.
TEST(CompanionFolders, AFileWhereTheFolderGoesIsLeftAsItIs) {
    RestoreWorld w;
    const std::string sig = w.demo.signaturesFolder;
    const fs::path hostSig = w.host(sig);
    fs::remove_all(hostSig / "Work_files");
    { std::ofstream(hostSig / "Work_files") << "a file, not a folder"; }
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries.push_back({"Work.htm", "new signature"});
    spec.entries.push_back({"Signatures/Work_files/image001.png", "picture"});
    addItemLine(spec, "BackupSignatures", "Work.htm");
    addItemLine(spec, "BackupSignaturesCompanions", "Signatures/Work_files/image001.png");
    const fs::path qob = w.dir / "blocked.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreSignatures(ctx));
    ASSERT_EQ(ctx.problems.size(), 1u) << joined(ctx.problems);
    EXPECT_NE(ctx.problems[0].find("Work_files"), std::string::npos) << ctx.problems[0];
    EXPECT_EQ(readFile(hostSig / "Work_files"), "a file, not a folder");
    EXPECT_EQ(readFile(hostSig / "Work.htm"), "new signature");

    // A backup made before companions were carried opens and restores as it always did.
    BackupSpec old = minimalSpec("00001000000");
    old.entries.push_back({"Work.htm", "old signature"});
    addItemLine(old, "BackupSignatures", "Work.htm");
    writeBackup(w.dir / "old.qob", old);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, w.dir / "old.qob"), OpenResult::Opened);
    RestoreContext again(*w.platform, w.form->state(), w.archive);
    EXPECT_TRUE(restoreSignatures(again)) << joined(again.problems);
    EXPECT_EQ(readFile(hostSig / "Work.htm"), "old signature");
}

} // namespace
} // namespace qob::test
