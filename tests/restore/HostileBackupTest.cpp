// Damaged and hostile backup files: each is refused with its message, nothing is written outside
// the target folders, and no existing file is damaged.
#include "RestoreFixture.h"
#include "ZipTools.h"
#include "forms/OpenBackup.h"
#include "forms/RestoreRun.h"
#include "restore/RestoreItems.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#endif

namespace qob::test {
namespace {

namespace fs = std::filesystem;

TEST(HostileBackup, NamesThatLeaveTheTargetFolderAreRefused) {
    // Each name is both the archive entry and the item value; then the value alone.
    const std::vector<std::string> hostile = {
        "../evil.htm", "..\\evil.htm", "..",        "C:evil.htm", "C:\\evil.htm", "/tmp/evil.htm",
        "\\evil.htm",  "Work.htm:ads", "CON",       "con.txt",    "NUL.htm",      "COM1.txt",
        "lpt9",        "a..b.htm",     "trailing.", "sub/x.htm",  "Work.htm.",    "pipe|x.htm"};
    for (bool entryToo : {true, false}) {
        for (const std::string& name : hostile) {
            SCOPED_TRACE(name + (entryToo ? " (entry and value)" : " (value only)"));
            RestoreWorld w;
            const auto before = snapshotFiles(w.dir.path());
            BackupSpec spec = minimalSpec("00001000000");
            spec.entries.push_back({entryToo ? name : "safe.htm", "evil"});
            addItemLine(spec, "BackupSignatures", name);
            const fs::path qob = w.dir / "hostile.qob";
            writeBackup(qob, spec);
            ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
            const auto opened = snapshotFiles(w.dir.path());
            RestoreContext ctx(*w.platform, w.form->state(), w.archive);
            EXPECT_FALSE(restoreSignatures(ctx));
            ASSERT_FALSE(ctx.problems.empty());
            EXPECT_EQ(snapshotFiles(w.dir.path()), opened);
            EXPECT_EQ(opened.size(), before.size() + 1); // only the backup file itself
        }
    }
}

TEST(HostileBackup, ARefusedNameFailsTheItemButTheOtherFilesAreRestored) {
    RestoreWorld w;
    const std::string sig = w.demo.signaturesFolder;
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries.push_back({"Fresh.htm", "fresh signature"});
    spec.entries.push_back({"Later.txt", "later signature"});
    addItemLine(spec, "BackupSignatures", "Fresh.htm;..\\evil.htm;Later.txt");
    const fs::path qob = w.dir / "mixed.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    const auto before = snapshotFiles(w.dir.path());
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreSignatures(ctx));
    ASSERT_EQ(ctx.problems.size(), 1u);
    EXPECT_NE(ctx.problems[0].find("evil.htm"), std::string::npos) << ctx.problems[0];
    EXPECT_EQ(readFile(w.host(sig + "\\Fresh.htm")), "fresh signature");
    EXPECT_EQ(readFile(w.host(sig + "\\Later.txt")), "later signature");
    auto expected = before;
    const std::string folder = fs::relative(*w.files->toHostPath(sig), w.dir.path()).generic_string();
    expected[folder + "/Fresh.htm"] = "fresh signature";
    expected[folder + "/Later.txt"] = "later signature";
    EXPECT_EQ(snapshotFiles(w.dir.path()), expected);
}

TEST(HostileBackup, RegistryAndRulesValuesWithPathsAreRefused) {
    RestoreWorld w;
    BackupSpec spec = minimalSpec("10110000000");
    spec.entries.push_back({"safe.tmp", "Windows Registry Editor Version 5.00\r\n"});
    addItemLine(spec, "BackupConfig", "..\\..\\safe.tmp");
    addItemLine(spec, "BackupRules", "../Outlook.rwz");
    addItemLine(spec, "BackupAccounts", "C:safe.tmp");
    const fs::path qob = w.dir / "hostile.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    const auto before = snapshotFiles(w.dir.path());
    const RegistryDump registryBefore = dumpTree(w.store, "HKEY_CURRENT_USER\\Software");
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreConfig(ctx, "Second"));
    EXPECT_FALSE(restoreAccounts(ctx, "Second"));
    EXPECT_FALSE(restoreRules(ctx, "Second"));
    EXPECT_EQ(snapshotFiles(w.dir.path()), before);
    EXPECT_EQ(dumpTree(w.store, "HKEY_CURRENT_USER\\Software"), registryBefore);
}

TEST(HostileBackup, SymbolicLinkEntriesAndDuplicateNames) {
    RestoreWorld w;
    const std::string sig = w.demo.signaturesFolder;
    const std::string oldWork = readFile(w.host(sig + "\\Work.htm"));
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries = {{"Work.htm", "/etc/passwd", true}, {"dup.txt", "first"}, {"dup.txu", "second"}};
    addItemLine(spec, "BackupSignatures", "Work.htm");
    const fs::path qob = w.dir / "link.qob";
    writeBackup(qob, spec);
    patchBytes(qob, "dup.txu", "dup.txt"); // libzip will not write one name twice
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreSignatures(ctx));
    EXPECT_FALSE(fs::is_symlink(w.host(sig + "\\Work.htm")));
    EXPECT_EQ(readFile(w.host(sig + "\\Work.htm")), oldWork);

    // A backup of the earlier program may hold one name twice: the first entry is restored.
    w.form->state().restore.itemValues[index(ItemKind::Signatures)] = "dup.txt;dup.txt";
    EXPECT_TRUE(restoreSignatures(ctx));
    EXPECT_EQ(readFile(w.host(sig + "\\dup.txt")), "first");
}

TEST(HostileBackup, DamagedFilesAreInvalidAndDamagedEntriesLeaveOldFilesIntact) {
    RestoreWorld w;
    const std::string sig = w.demo.signaturesFolder;
    const std::string oldWork = readFile(w.host(sig + "\\Work.htm"));
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries.push_back({"Work.htm", mixedBytes(64 * 1024, 9)});
    addItemLine(spec, "BackupSignatures", "Work.htm");
    const fs::path good = w.dir / "good.qob";
    writeBackup(good, spec);

    // A flipped byte inside the entry: the extraction fails its check, the old file stays.
    const fs::path flipped = w.dir / "flipped.qob";
    fs::copy_file(good, flipped);
    flipByteInEntry(flipped, "Work.htm");
    ASSERT_EQ(openBackupFile(*w.form, w.archive, flipped), OpenResult::Opened);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreSignatures(ctx));
    EXPECT_EQ(readFile(w.host(sig + "\\Work.htm")), oldWork);
    EXPECT_EQ(listFolder(w.host(sig)),
              (std::set<std::string>{"Work.htm", "Work.rtf", "Work.txt", "Work_files"}));

    // A truncated file is not a backup at all.
    const fs::path truncated = w.dir / "truncated.qob";
    fs::copy_file(good, truncated);
    fs::resize_file(truncated, fs::file_size(good) / 2);
    w.dialogs.messages.clear();
    EXPECT_EQ(openBackupFile(*w.form, w.archive, truncated), OpenResult::Invalid);
    ASSERT_EQ(w.dialogs.messages.size(), 1u);
    EXPECT_EQ(w.dialogs.messages[0].text, "Invalid backup file");
    EXPECT_EQ(w.dialogs.messages[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(w.form->state().restore.invalidFile);
    for (const auto& box : w.form->restoreItem) {
        EXPECT_FALSE(box.enabled);
    }
    EXPECT_EQ(readFile(w.host(sig + "\\Work.htm")), oldWork);
}

TEST(HostileBackup, FlagsOfTheWrongLengthOrNoInformationFileMakeTheFileInvalid) {
    RestoreWorld w;
    struct Case {
        std::string what;
        BackupSpec spec;
    };
    BackupSpec noInfo = minimalSpec("11111111111");
    noInfo.withInfo = false;
    noInfo.entries.push_back({"Work.htm", "x"});
    BackupSpec hugeInfo = minimalSpec("11111111111");
    hugeInfo.infoLines.insert(hugeInfo.infoLines.begin(), {"Padding", std::string(2 * 1024 * 1024, 'x')});
    const std::vector<Case> cases = {{"10 flags", minimalSpec("1111111111")},
                                     {"12 flags", minimalSpec("111111111111")},
                                     {"no information file", noInfo},
                                     {"oversized information file", hugeInfo}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A valid file first, so the invalid one must undo its state.
        const fs::path valid = w.dir / "valid.qob";
        writeBackup(valid, minimalSpec("00001000000"));
        ASSERT_EQ(openBackupFile(*w.form, w.archive, valid), OpenResult::Opened);
        const fs::path qob = w.dir / "bad.qob";
        writeBackup(qob, c.spec);
        w.dialogs.messages.clear();
        EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Invalid);
        EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{"Invalid backup file"});
        EXPECT_TRUE(w.form->state().restore.invalidFile);
        EXPECT_FALSE(w.form->restoreItem[2].enabled);
        // No scratch copy of the information file is left behind.
        EXPECT_EQ(listFolder(w.programFolder()), std::set<std::string>{"brlog.dat"});
        // The run then refuses.
        w.tickRestore({2});
        w.target("Second");
        w.dialogs.messages.clear();
        EXPECT_FALSE(runRestore(*w.form, w.archive).ran);
        EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{"Invalid backup file."});
    }
}

TEST(HostileBackup, ARegistryTextLargerThanAnyProfilesIsNotExtractedOrRead) {
    // A few megabytes of zip that unpack to a registry text no profile has: refused before it is
    // written to the program folder and read whole into memory.
    RestoreWorld w;
    BackupSpec spec = minimalSpec("10000001000");
    spec.entries.push_back({"qbc1.tmp", std::string(kMaxRegistryTextBytes + 1, '\\')});
    addItemLine(spec, "BackupConfig", "qbc1.tmp");
    addItemLine(spec, "BackupConfigsetting", "qbc1.tmp");
    const fs::path qob = w.dir / "bomb.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    w.target("Second");
    const RegistryDump before = dumpTree(w.store, w.demo.profilesRootKey);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreConfig(ctx, "Second"));
    EXPECT_FALSE(restoreConfigsetting(ctx));
    ASSERT_EQ(ctx.problems.size(), 2u);
    EXPECT_NE(ctx.problems[0].find("larger than"), std::string::npos) << ctx.problems[0];
    EXPECT_EQ(dumpTree(w.store, w.demo.profilesRootKey), before);
    EXPECT_EQ(listFolder(w.programFolder()), std::set<std::string>{"brlog.dat"});
}

TEST(HostileBackup, PasswordsFollowTheCurrentPasswordRule) {
    RestoreWorld w;
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries.push_back({"Work.htm", "x"});
    addItemLine(spec, "BackupSignatures", "Work.htm");
    spec.password = "s3cret";
    const fs::path qob = w.dir / "protected.qob";
    writeBackup(qob, spec);
    RestoreState& restore = w.form->state().restore;

    w.dialogs.passwordAnswers = {std::string("wrong")};
    EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::WrongPassword);
    ASSERT_EQ(w.dialogs.messages.size(), 1u);
    EXPECT_EQ(w.dialogs.messages[0].text, "Incorect Password or Invalid backup file!");
    EXPECT_EQ(w.dialogs.messages[0].icon, MsgIcon::Information);
    EXPECT_TRUE(restore.invalidFile);
    EXPECT_FALSE(w.form->restoreItem[2].enabled);

    w.dialogs.passwordAnswers = {std::string("s3cret")};
    EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    EXPECT_EQ(restore.currentPassword, "s3cret");
    EXPECT_TRUE(w.form->restoreItem[2].enabled);

    // Cancelling the prompt cancels the opening quietly.
    const std::size_t shown = w.dialogs.messages.size();
    w.dialogs.passwordAnswers = {std::nullopt};
    EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Cancelled);
    EXPECT_EQ(w.dialogs.messages.size(), shown);
    EXPECT_FALSE(w.form->restoreItem[2].enabled);
    // A wrong password is said and asked again, for the same file; a third wrong one gives up.
    w.dialogs.passwordAnswers = {std::string("wrong"), std::string("s3cret")};
    EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    EXPECT_EQ(w.dialogs.messages.size(), shown + 1);
    EXPECT_TRUE(w.form->restoreItem[2].enabled);
    w.dialogs.passwordAnswers = {std::string("a"), std::string("b"), std::string("c"), std::string("s3cret")};
    EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::WrongPassword);
    EXPECT_EQ(w.dialogs.messages.size(), shown + 4);
    EXPECT_EQ(w.dialogs.passwordAnswers.size(), 1u);
    // A wrong password after a good open leaves nothing to restore from.
    w.dialogs.passwordAnswers = {std::string("")};
    EXPECT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::WrongPassword);
    EXPECT_EQ(restore.currentPassword, "");
    w.tickRestore({2});
    w.target("Second");
    EXPECT_FALSE(runRestore(*w.form, w.archive).ran);
}

TEST(HostileBackup, ADataFileThatDoesNotFitLeavesTheOldFileAndTheProfile) {
    RestoreWorld w;
    const std::string pst = w.demo.stores[0].targetPath; // Outlook.pst in the local data folder
    const std::string oldPst = readFile(w.host(pst));
    const RegistryDump before = dumpTree(w.store, w.demo.profilesRootKey + "\\Outlook");
    BackupSpec spec = minimalSpec("01000000000");
    spec.entries.push_back({"Outlook.pst", mixedBytes(200 * 1024, 4)});
    addItemLine(spec, "BackupDatas", "Outlook.pst");
    const fs::path qob = w.dir / "big.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);

    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    ctx.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(4096); };
    EXPECT_FALSE(restoreDatas(ctx, "Outlook"));
    EXPECT_EQ(readFile(w.host(pst)), oldPst);
    EXPECT_EQ(dumpTree(w.store, w.demo.profilesRootKey + "\\Outlook"), before);
    const auto localFiles = listFolder(w.host(w.demo.localDataFolder));
    for (const auto& name : localFiles) {
        EXPECT_EQ(name.find("qobtmp"), std::string::npos) << name;
    }
}

// Linux only: a full disk is a small tmpfs mounted in a namespace of this process.
#ifndef _WIN32
// A real write failure: a read-only folder for a normal user; as root, who may write anywhere, a
// full small tmpfs mounted over the data folder in a mount namespace of this process.
TEST(HostileBackup, AWriteFailureLeavesTheOldDataFile) {
    RestoreWorld w;
    const std::string pst = w.demo.stores[0].targetPath;
    const fs::path folder = w.host(w.demo.localDataFolder);
    const std::string oldPst = readFile(w.host(pst));
    BackupSpec spec = minimalSpec("01000000000");
    spec.entries.push_back({"Outlook.pst", mixedBytes(2 * 1024 * 1024, 4)});
    addItemLine(spec, "BackupDatas", "Outlook.pst");
    const fs::path qob = w.dir / "big.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);

    struct Unmount {
        fs::path folder;
        ~Unmount() {
            if (!folder.empty()) {
                ::umount(folder.c_str());
            }
        }
    } unmount;
    bool mounted = false;
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "running as root without the right to mount a small tmpfs";
        }
        mounted = true;
        unmount.folder = folder;
        writeBytes(folder / "Outlook.pst", oldPst); // the old file, on the small file system
    } else {
        ::chmod(folder.c_str(), 0555);
    }
    const auto filesBefore = listFolder(folder);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    // The real free space is used: only the write itself can fail.
    ctx.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(); };
    EXPECT_FALSE(restoreDatas(ctx, "Outlook"));
    EXPECT_EQ(readFile(w.host(pst)), oldPst);
    EXPECT_EQ(listFolder(folder), filesBefore);
    ASSERT_FALSE(ctx.problems.empty());
    if (mounted) {
        EXPECT_NE(ctx.problems.back().find("space"), std::string::npos) << ctx.problems.back();
    } else {
        ::chmod(folder.c_str(), 0755);
    }
}
#endif

TEST(HostileBackup, RefusedRegistryWritesMakeTheRegistryKindsFail) {
    RestoreWorld w;
    const fs::path qob = w.dir / "outlook.qob";
    writeBackup(qob, backupOfProfile(w, "Outlook"));
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    const RegistryDump before = dumpTree(w.store, "HKEY_CURRENT_USER\\Software");
    w.store.refuseWrites = true; // what the Wine backend does while the wineserver runs
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_FALSE(restoreConfig(ctx, "Second"));
    EXPECT_FALSE(restoreAccounts(ctx, "Second"));
    EXPECT_FALSE(restoreConfigsetting(ctx));
    EXPECT_FALSE(restoreDatas(ctx, "Outlook"));
    w.store.refuseWrites = false;
    EXPECT_EQ(dumpTree(w.store, "HKEY_CURRENT_USER\\Software"), before);
    EXPECT_EQ(listFolder(w.programFolder()), std::set<std::string>{"brlog.dat"});
}

} // namespace
} // namespace qob::test
