// A restore is one step: what the boxes name arrives whole, nothing else of the target changes, a
// failure leaves the target as it was, and repeated restores replace their own copies.
#include "restore/RestoreTransaction.h"
#include "RestoreFixture.h"
#include "forms/OpenBackup.h"
#include "forms/RestoreRun.h"
#include "outlook/PathReaders.h"
#include "restore/RestoreItems.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

// Every data file and address book a profile names, as the profile spells them.
std::set<std::string> referencesOf(RestoreWorld& w, const std::string& profile) {
    std::set<std::string> out;
    const std::string key = w.demo.profilesRootKey + "\\" + profile;
    for (const std::string& sub : w.registry.getSubKeys(key)) {
        if (const std::string p = getDataFilePath(w.registry, key + "\\" + sub); p != "Error") {
            out.insert(p);
        }
        std::string pab = w.registry.getStringValue(key + "\\" + sub, "001e6600");
        if (pab != "Error") {
            out.insert(pab.substr(0, pab.find('\0')));
        }
    }
    return out;
}

struct Opened {
    RestoreWorld w;
    fs::path qob;
    Opened() {
        qob = w.dir / "outlook.qob";
        writeBackup(qob, backupOfProfile(w, "Outlook"));
        if (openBackupFile(*w.form, w.archive, qob) != OpenResult::Opened) {
            throw std::runtime_error("backup did not open");
        }
        w.target("Second");
    }
    RestoreOutcome restore(std::initializer_list<int> boxes, const RestoreRunOptions& options = {}) {
        for (auto& box : w.form->restoreItem) {
            box.checked = false;
        }
        w.tickRestore(boxes);
        return runRestore(*w.form, w.archive, options);
    }
};

// Restoring A's accounts or address book into B must not point B at A's live data files or drop
// B's own: the configuration then only adds the branches B lacks, without data-file services.
TEST(RestoreTransaction, AccountsOrAddressBookAloneKeepTheTargetsOwnDataFiles) {
    struct Case {
        std::initializer_list<int> boxes;
        bool addressBook;
    };
    for (const Case& c : {Case{{1}, false}, Case{{4}, true}, Case{{1, 4}, true}}) {
        Opened o;
        RestoreWorld& w = o.w;
        const std::string second = w.demo.profilesRootKey + "\\Second";
        const auto storeOfSecond = w.demo.storesOf("Second").front().serviceKey;
        const RegistryDump storeBefore = dumpTree(w.store, storeOfSecond);
        const RestoreOutcome outcome = o.restore(c.boxes);
        ASSERT_TRUE(outcome.ran);
        EXPECT_TRUE(outcome.allSucceeded()) << joined(outcome.problems);

        // Second names its own data file, and no file of Outlook's.
        std::set<std::string> expected = {w.demo.storesOf("Second").front().targetPath};
        if (c.addressBook) {
            expected.insert(w.demo.localDataFolder + "\\mailbox~2.pab"); // Outlook's is in use
        }
        EXPECT_EQ(referencesOf(w, "Second"), expected);
        EXPECT_EQ(dumpTree(w.store, storeOfSecond), storeBefore);
        // The accounts came across (Outlook's address), minus the delivery store naming Outlook's
        // PST; without box 1 Second keeps its own accounts and delivery store.
        const RegistryDump accounts = dumpTree(w.store, second + "\\9375CFF0413111d3B88A00104B2A6676");
        const bool withAccounts = std::find(c.boxes.begin(), c.boxes.end(), 1) != c.boxes.end();
        EXPECT_EQ(accounts.at("\\00000002|Email").second[0], withAccounts ? 'q' : 's');
        EXPECT_EQ(accounts.count("\\00000005|Delivery Store EntryID"), withAccounts ? 0u : 1u);
        EXPECT_TRUE(leftovers(w.demo.prefix).empty()) << joined(leftovers(w.demo.prefix));
    }
}

// Restoring A's backup into B again and again replaces B's own copy instead of piling up
// Outlook~3.pst, Outlook~4.pst ... beside it.
TEST(RestoreTransaction, RepeatedRestoresReplaceTheTargetsOwnCopy) {
    Opened o;
    RestoreWorld& w = o.w;
    for (int run = 0; run < 3; ++run) {
        const RestoreOutcome outcome = o.restore({0});
        ASSERT_TRUE(outcome.allSucceeded()) << run << ": " << joined(outcome.problems);
    }
    std::set<std::string> local;
    for (const auto& e : fs::directory_iterator(w.host(w.demo.localDataFolder))) {
        local.insert(e.path().filename().string());
    }
    EXPECT_EQ(local, (std::set<std::string>{"Outlook.pst", "Outlook~2.pst", "quire@example.com.ost",
                                            "quire@example.com~2.ost", "Second.pst", "mailbox.pab",
                                            "Archiv \xC3\x9C"
                                            "bersicht.pst"}));
    EXPECT_TRUE(referencesOf(w, "Second").count(w.demo.localDataFolder + "\\Outlook~2.pst"));
}

// A data file that cannot be written (no room in the local data folder) must not leave the target
// pointing at the source profile's live files: nothing at all is changed, and the run says why.
TEST(RestoreTransaction, AFailureBeforeTheCommitLeavesTheTargetAsItWas) {
    Opened o;
    RestoreWorld& w = o.w;
    const RegistryDump registryBefore = dumpTree(w.store, "HKEY_CURRENT_USER");
    const auto filesBefore = snapshotFiles(w.demo.prefix);
    const fs::path localHost = w.host(w.demo.localDataFolder);
    RestoreRunOptions options;
    options.freeSpace = [&](const fs::path& folder) -> std::optional<std::uint64_t> {
        std::error_code ec;
        return fs::equivalent(folder, localHost, ec) ? std::optional<std::uint64_t>(0) : std::nullopt;
    };
    const RestoreOutcome outcome = o.restore({0, 1, 2, 6, 7}, options);
    ASSERT_TRUE(outcome.ran);
    for (const auto& item : outcome.items) {
        EXPECT_FALSE(item.ok) << item.name;
    }
    EXPECT_NE(outcome.summary.find("Nothing was restored, because \"Restore Personal Folders\" could not be "
                                   "restored: Not enough free space"),
              std::string::npos)
        << outcome.summary;
    EXPECT_EQ(outcome.failedItem, "Restore Personal Folders");
    EXPECT_EQ(dumpTree(w.store, "HKEY_CURRENT_USER"), registryBefore);
    EXPECT_EQ(snapshotFiles(w.demo.prefix), filesBefore);
    EXPECT_TRUE(leftovers(w.demo.prefix).empty()) << joined(leftovers(w.demo.prefix));
}

// Every folder below `root`, relative to it.
std::set<std::string> foldersBelow(const fs::path& root) {
    std::set<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_directory() && !entry.is_symlink()) {
            out.insert(fs::relative(entry.path(), root).string());
        }
    }
    return out;
}

// The folders a rolled-back restore made for its files go with it ("Work_files" beside a
// signature, the signatures folder itself); a folder that was there before stays, empty or not.
TEST(RestoreTransaction, ARolledBackRestoreTakesAwayTheFoldersItMade) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& signatures)> before;
    };
    const std::vector<Case> cases = {
        {"companion folder missing", [](const fs::path& sig) { fs::remove_all(sig / "Work_files"); }},
        {"signatures folder missing", [](const fs::path& sig) { fs::remove_all(sig); }},
        {"the user's empty companion folder",
         [](const fs::path& sig) {
             fs::remove_all(sig / "Work_files");
             fs::create_directory(sig / "Work_files");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened o;
        RestoreWorld& w = o.w;
        BackupSpec spec = backupOfProfile(w, "Outlook");
        spec.entries.push_back({"Signatures/Work_files/image001.png", "picture"});
        addItemLine(spec, "BackupSignaturesCompanions", "Signatures/Work_files/image001.png");
        w.archive.closeArchive(); // Windows replaces no file that is open
        writeBackup(o.qob, spec);
        ASSERT_EQ(openBackupFile(*w.form, w.archive, o.qob), OpenResult::Opened);
        w.target("Second");
        c.before(w.host(w.demo.signaturesFolder));
        const auto foldersBefore = foldersBelow(w.demo.prefix);
        const auto filesBefore = snapshotFiles(w.demo.prefix);
        const fs::path localHost = w.host(w.demo.localDataFolder);
        RestoreRunOptions options;
        options.freeSpace = [&](const fs::path& folder) -> std::optional<std::uint64_t> {
            std::error_code ec;
            return fs::equivalent(folder, localHost, ec) ? std::optional<std::uint64_t>(0) : std::nullopt;
        };
        const RestoreOutcome outcome = o.restore({0, 2}, options);
        ASSERT_TRUE(outcome.ran);
        EXPECT_NE(outcome.summary.find("Nothing was restored"), std::string::npos) << outcome.summary;
        EXPECT_EQ(foldersBelow(w.demo.prefix), foldersBefore);
        EXPECT_EQ(snapshotFiles(w.demo.prefix), filesBefore);
        EXPECT_TRUE(leftovers(w.demo.prefix).empty()) << joined(leftovers(w.demo.prefix));

        // The same restore without the failing item makes them and keeps them.
        const RestoreOutcome done = o.restore({2});
        ASSERT_TRUE(done.allSucceeded()) << joined(done.problems);
        EXPECT_EQ(readFile(w.host(w.demo.signaturesFolder) / "Work_files" / "image001.png"), "picture");
    }
}

// A rename that cannot happen (a folder where the file goes: every HTML signature has a
// "<name>_files" folder) is found before the commit begins: nothing changes, no journal stays to
// lock the user out. A damaged journal is refused and kept, never half applied.
TEST(RestoreTransaction, AMoveThatCannotHappenIsRefusedBeforeTheCommit) {
    RestoreWorld w;
    const std::string key = w.demo.profilesRootKey + "\\Second\\JournalTest";
    const fs::path target = w.demo.driveFolder() / "Work_files";
    fs::create_directories(target / "inside");
    w.store.makeKey(key);
    {
        RestoreTransaction tx(*w.platform);
        const fs::path temp = w.demo.driveFolder() / ".Work_files.qobnew-abc123";
        std::ofstream(temp) << "restored";
        tx.stage(temp, target);
        tx.touchKey(key);
        w.registry.setStringValue(key, "Value", "after");
        const Status committed = tx.commit();
        ASSERT_FALSE(committed);
        EXPECT_NE(committed.message.find("is a folder"), std::string::npos) << committed.message;
        EXPECT_NE(committed.message.find("Nothing was restored."), std::string::npos) << committed.message;
    }
    EXPECT_FALSE(fs::exists(restoreJournalPath(*w.platform)));
    EXPECT_EQ(w.registry.getStringValue(key, "Value"), "Error");
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_TRUE(leftovers(w.demo.prefix).empty()) << joined(leftovers(w.demo.prefix));
    EXPECT_TRUE(completeInterruptedRestore(*w.platform)); // nothing left to do

    std::ofstream(restoreJournalPath(*w.platform)) << "QOB-RESTORE-JOURNAL 2\nF xzz\n";
    const Status damaged = completeInterruptedRestore(*w.platform);
    EXPECT_FALSE(damaged);
    EXPECT_NE(damaged.message.find("damaged"), std::string::npos);
    EXPECT_TRUE(fs::exists(restoreJournalPath(*w.platform)));
}

} // namespace
} // namespace qob::test
