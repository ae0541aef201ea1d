// Where each handler puts its files on this machine, and what it does when a folder or key is
// missing.
#include "restore/RestoreItems.h"
#include "RestoreFixture.h"
#include "ZipTools.h"
#include "forms/OpenBackup.h"

#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

// A backup holding one file per folder kind, opened in `w`.
void openFolderKinds(RestoreWorld& w) {
    BackupSpec spec = minimalSpec("00011110111");
    spec.entries = {{"acc.tmp", "not used"}, {"Sig.txt", "sig"}, {"Paper.htm", "paper"},
                    {"book.pab", "pab"},     {"T.dotm", "tpl"},  {"Prefs.xml", "prefs"},
                    {"Ann.contact", "ann"}};
    addItemLine(spec, "BackupAccounts", "acc.tmp");
    addItemLine(spec, "BackupSignatures", "Sig.txt");
    addItemLine(spec, "BackupStationery", "Paper.htm");
    addItemLine(spec, "BackupPab", "book.pab");
    addItemLine(spec, "BackupTemplates", "T.dotm");
    addItemLine(spec, "BackupSetting", "Prefs.xml");
    addItemLine(spec, "BackupContacts", "Ann.contact");
    writeBackup(w.dir / "kinds.qob", spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, w.dir / "kinds.qob"), OpenResult::Opened);
}

TEST(RestoreItems, FolderKindsFindTheirFoldersOnThisMachine) {
    RestoreWorld w;
    openFolderKinds(w);
    const DemoTargetSystem& d = w.demo;
    fs::remove_all(w.host(d.signaturesFolder));
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_TRUE(restoreSignatures(ctx)); // a missing folder is created
    EXPECT_TRUE(restoreStationery(ctx));
    EXPECT_TRUE(restoreTemplates(ctx));
    EXPECT_TRUE(restoreSetting(ctx, "Second"));
    EXPECT_TRUE(restoreContacts(ctx));
    EXPECT_EQ(readFile(w.host(d.signaturesFolder + "\\Sig.txt")), "sig");
    // Office 15.0: the stationery goes into the shared-files folder.
    EXPECT_EQ(readFile(w.host(d.stationeryFolder + "\\Paper.htm")), "paper");
    EXPECT_EQ(readFile(w.host(d.templatesFolder + "\\T.dotm")), "tpl");
    EXPECT_EQ(readFile(w.host(d.roamingDataFolder + "\\Prefs.xml")), "prefs");
    EXPECT_EQ(readFile(w.host(d.contactsFolder + "\\Ann.contact")), "ann");

    // Older Office: the user's own stationery folder.
    w.form->state().officeVersion = "11.0";
    EXPECT_TRUE(restoreStationery(ctx));
    EXPECT_EQ(readFile(w.host(d.userProfileFolder + "\\AppData\\Roaming\\Microsoft\\Stationery\\Paper.htm")),
              "paper");

    // A missing parent folder is an error; so is an unreadable shared-files folder.
    fs::remove_all(w.host(d.userProfileFolder + "\\Contacts"));
    w.form->state().userProfileFolder = d.userProfileFolder + "\\Nobody";
    EXPECT_FALSE(restoreContacts(ctx));
    EXPECT_FALSE(fs::exists(w.host(d.userProfileFolder + "\\Nobody")));
    w.form->state().officeVersion = "15.0";
    w.store.put("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools", "SharedFilesDir", kRegDword,
                {1, 0, 0, 0});
    const auto before = snapshotFiles(d.prefix);
    EXPECT_FALSE(restoreStationery(ctx));
    EXPECT_EQ(snapshotFiles(d.prefix), before);
}

TEST(RestoreItems, MissingTargetKeysAreSkippedAndAddressBooksRepointed) {
    RestoreWorld w;
    openFolderKinds(w);
    const DemoTargetSystem& d = w.demo;
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    // No accounts key under a profile without one, no options key for an Office never started:
    // nothing is made, and the item says it was not restored.
    w.store.put(d.profilesRootKey + "\\Bare\\aaaa", "x", kRegDword, {0, 0, 0, 0});
    EXPECT_FALSE(restoreAccounts(ctx, "Bare"));
    EXPECT_FALSE(w.registry.keyExists(d.profilesRootKey + "\\Bare\\9375CFF0413111d3B88A00104B2A6676"));
    w.form->state().officeVersion = "14.0";
    w.form->state().restore.itemValues[index(ItemKind::Configsetting)] = "absent.tmp";
    EXPECT_FALSE(restoreConfigsetting(ctx));
    EXPECT_FALSE(
        w.registry.keyExists("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\14.0\\Outlook\\Options"));
    ASSERT_EQ(ctx.problems.size(), 2u);
    EXPECT_NE(ctx.problems[1].find("Office\\14.0\\Outlook\\Options does not exist on this machine"),
              std::string::npos)
        << ctx.problems[1];
    ctx.problems.clear();
    w.form->state().officeVersion = "15.0";
    // An empty profile never reaches the profiles root key.
    EXPECT_FALSE(restoreConfig(ctx, ""));
    EXPECT_FALSE(restorePab(ctx, " "));

    // The address book reference follows the restored file; others stay.
    const std::string pabKey = d.profilesRootKey + "\\Outlook\\6c2fa05dbe714badf8f6071829304b56";
    w.store.putString(pabKey, "001e6600", "D:\\old\\book.pab");
    w.store.putString(d.profilesRootKey + "\\Outlook\\bbbb", "001e6600", "D:\\old\\other.pab");
    EXPECT_TRUE(restorePab(ctx, "Outlook"));
    EXPECT_EQ(w.registry.getStringValue(pabKey, "001e6600"), d.localDataFolder + "\\book.pab");
    EXPECT_EQ(w.registry.getStringValue(d.profilesRootKey + "\\Outlook\\bbbb", "001e6600"),
              "D:\\old\\other.pab");
    EXPECT_EQ(readFile(w.host(d.localDataFolder + "\\book.pab")), "pab");
    // A profile without subkeys: the files are there, the result is False.
    w.store.put(d.profilesRootKey + "\\Empty", "", kRegNone, {});
    EXPECT_FALSE(restorePab(ctx, "Empty"));
}

TEST(RestoreItems, RulesGoStraightToTheTargetProfilesName) {
    RestoreWorld w;
    const DemoTargetSystem& d = w.demo;
    BackupSpec spec = minimalSpec("00100000000");
    spec.entries.push_back({"Outlook.rwz", "backed-up rules"});
    addItemLine(spec, "BackupRules", "Outlook.RWZ");
    writeBackup(w.dir / "rules.qob", spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, w.dir / "rules.qob"), OpenResult::Opened);
    const fs::path roaming = w.host(d.roamingDataFolder);
    const std::string outlookRules = readFile(roaming / "Outlook.rwz");
    writeBytes(roaming / "second.rwz", "Second's old rules");
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);

    // Into another profile: its file (of any case) is replaced, Outlook keeps its own.
    EXPECT_TRUE(restoreRules(ctx, "Second"));
    EXPECT_EQ(readFile(roaming / "second.rwz"), "backed-up rules");
    EXPECT_EQ(readFile(roaming / "Outlook.rwz"), outlookRules);
    // Into the same profile: replaced in place, no second file of another case.
    EXPECT_TRUE(restoreRules(ctx, "Outlook"));
    EXPECT_EQ(readFile(roaming / "Outlook.rwz"), "backed-up rules");
    EXPECT_EQ(listFolder(roaming),
              (std::set<std::string>{"OutlPrnt", "Outlook.rwz", "Outlook.xml", "second.rwz"}));
}

TEST(RestoreItems, DataRestoreDropsTheProfilesShortcutsFile) {
    RestoreWorld w;
    const DemoTargetSystem& d = w.demo;
    BackupSpec spec = minimalSpec("01000000000");
    spec.entries.push_back({"Second.pst", "restored"});
    addItemLine(spec, "BackupDatas", "Second.pst");
    writeBackup(w.dir / "d.qob", spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, w.dir / "d.qob"), OpenResult::Opened);
    const fs::path fav = w.host(d.userProfileFolder + "\\Application Data\\Microsoft\\Outlook\\Second.FAV");
    fs::create_directories(fav.parent_path());
    writeBytes(fav, "shortcuts");
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_TRUE(restoreDatas(ctx, "Second"));
    EXPECT_FALSE(fs::exists(fav));
    // A name that the archive does not hold fails the handler.
    w.form->state().restore.itemValues[index(ItemKind::Datas)] = "Second.pst;Gone.pst";
    EXPECT_FALSE(restoreDatas(ctx, "Second"));
}

} // namespace
} // namespace qob::test

namespace qob::test {
namespace {

// Extraction: each entry once however often the information file names it; a link planted at a
// restored file's name is replaced, not followed; a killed run's hidden copy is cleared but a live
// run's is not.
TEST(RestoreItems, ExtractionIsOncePerNameReplacesLinksAndSparesLiveCopies) {
    RestoreWorld w;
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries = {{"Sig.txt", "sig"}};
    addItemLine(spec, "BackupSignatures", "Sig.txt;sig.TXT;Sig.txt;Sig.txt");
    writeBackup(w.dir / "sig.qob", spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, w.dir / "sig.qob"), OpenResult::Opened);
    int extractions = 0;
    w.archive.events().fileExtracted = [&](const std::string&) { ++extractions; };

    const fs::path folder = w.host(w.demo.signaturesFolder);
    fs::create_directories(folder);
    const fs::path secret = w.dir / "secret";
    { std::ofstream(secret) << "keep"; }
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(secret, folder / "Sig.txt");
    // Hidden copies beside the file: one a killed run left, one a live run is writing.
    const fs::path killed = folder / ".Sig.txt.qobtmp-Abc123";
    const fs::path live = folder / ".Sig.txt.qobtmp-Live99";
    std::ofstream(killed) << "half";
    std::ofstream(live) << "busy";
    const int liveFd = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);

    const mode_t mask = ::umask(022);
    RestoreContext ctx(*w.platform, w.form->state(), w.archive);
    EXPECT_TRUE(restoreSignatures(ctx));
    ::umask(mask);
    ::close(liveFd);

    EXPECT_EQ(extractions, 1);
    EXPECT_FALSE(fs::is_symlink(folder / "Sig.txt"));
    EXPECT_EQ(readFile(folder / "Sig.txt"), "sig");
    EXPECT_EQ(fs::status(folder / "Sig.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(readFile(secret), "keep");
    EXPECT_EQ(fs::status(secret).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(live));
}

} // namespace
} // namespace qob::test
