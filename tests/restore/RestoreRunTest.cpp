// The restore run: its refusals, the order of the steps, the log entries, the summary and the
// start of Outlook afterwards.
#include "forms/RestoreRun.h"
#include "RestoreFixture.h"
#include "ZipTools.h"
#include "forms/OpenBackup.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

fs::path signaturesOnlyBackup(RestoreWorld& w) {
    BackupSpec spec = minimalSpec("00001000000");
    spec.entries.push_back({"New.txt", "new signature"});
    addItemLine(spec, "BackupSignatures", "New.txt");
    // A new file each time: the restore side may still hold the last one open, which Windows
    // does not let anyone replace.
    static int made = 0;
    const fs::path qob = w.dir / ("signatures-" + std::to_string(++made) + ".qob");
    writeBackup(qob, spec);
    return qob;
}

TEST(RestoreRun, RefusalsWriteNothing) {
    RestoreWorld w;
    const fs::path log = w.programFolder() / "brlog.dat";
    const RegistryDump before = dumpTree(w.store, w.demo.profilesRootKey);
    w.target("Second");
    w.tickRestore({2});
    EXPECT_FALSE(runRestore(*w.form, w.archive).ran);
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{"Invalid backup file."});
    EXPECT_EQ(w.dialogs.messages.back().icon, MsgIcon::Critical);

    ASSERT_EQ(openBackupFile(*w.form, w.archive, signaturesOnlyBackup(w)), OpenResult::Opened);
    w.dialogs.messages.clear();
    w.tickRestore({});
    EXPECT_FALSE(runRestore(*w.form, w.archive).ran);
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{"Please select at least one item."});
    EXPECT_EQ(w.dialogs.messages.back().icon, MsgIcon::Warning);

    // No target profile: never run on the profiles root key.
    w.tickRestore({0, 1, 2});
    w.target("");
    w.dialogs.messages.clear();
    EXPECT_FALSE(runRestore(*w.form, w.archive).ran);
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{kSelectTargetMessage});

    // The confirmation's Cancel runs nothing.
    w.target("Second");
    w.dialogs.answers = {MsgAnswer::Cancel};
    w.dialogs.messages.clear();
    EXPECT_FALSE(cmdApplyRestore(*w.form, w.archive).ran);
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{kRestoreConfirmation});

    // While another job runs (a backup), a restore and an opening are refused: the opening would
    // close the archive a running restore reads.
    w.form->jobRunning = true;
    w.dialogs.messages.clear();
    EXPECT_FALSE(cmdApplyRestore(*w.form, w.archive).ran);
    EXPECT_FALSE(runRestore(*w.form, w.archive).ran);
    EXPECT_EQ(openBackupFile(*w.form, w.archive, signaturesOnlyBackup(w)), OpenResult::Cancelled);
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>(3, kJobRunningMessage));
    EXPECT_TRUE(w.archive.isOpen());
    w.form->jobRunning = false;

    EXPECT_EQ(readFile(log), "");
    EXPECT_EQ(dumpTree(w.store, w.demo.profilesRootKey), before);
    EXPECT_FALSE(fs::exists(w.host(w.demo.signaturesFolder + "\\New.txt")));
}

TEST(RestoreRun, LogSummaryAndProgressOfASignaturesRestore) {
    RestoreWorld w;
    const fs::path qob = signaturesOnlyBackup(w);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    EXPECT_EQ(w.form->txtFileInfo, "line 1\r\nline 2");
    EXPECT_EQ(w.form->txtPOBinfo, "Computer: OLDPC\r\nUser: anna\r\nBackup Time: 12/7/2026 8:00:00 PM\r\n"
                                  "Profile: Outlook\r\nOutlook Version: Outlook 2013");
    w.target("Second");
    w.tickRestore({2});
    RestoreRunOptions options;
    options.timeText = [] { return std::string("T"); };
    std::vector<std::string> started;
    options.startOutlook = [&](const std::string& cmd) {
        started.push_back(cmd);
        return true;
    };
    const RestoreOutcome outcome = runRestore(*w.form, w.archive, options);
    EXPECT_TRUE(outcome.allSucceeded());
    EXPECT_EQ(readFile(w.programFolder() / "brlog.dat"),
              std::string(84, '.') + "\r\r\nT Start Retore Data to Profile Second\n\r\nT Restore File is " +
                  qob.string() + "\n\r\nT Restore Signatures Succeeded!\n\r\n" +
                  "T Restore Data to Profile Second was Completed!\r\r\n");
    EXPECT_EQ(w.dialogs.texts().back(),
              "The Restore was Completed!\t\t\t\r\n\r\nRestore Signatures\t\tSucceeded!\t");
    EXPECT_EQ(readFile(w.host(w.demo.signaturesFolder + "\\New.txt")), "new signature");
    EXPECT_FALSE(w.form->picCon3Visible);
    EXPECT_EQ(w.form->pbShow, 0);
    EXPECT_EQ(w.form->label1, "Operation complete!");
    // "runoutlookafterrestore" absent counts as on; "0" turns it off.
    EXPECT_EQ(started, std::vector<std::string>{w.demo.installFolder() + "OUTLOOK.EXE"});
    ASSERT_TRUE(writeSetting(settingsPath(w.programFolder()), "General", "runoutlookafterrestore", "0"));
    runRestore(*w.form, w.archive, options);
    EXPECT_EQ(started.size(), 1u);

    // Outlook only when its program is in the target system (Wine's first start would rewrite a
    // prefix it has not set up); when it is not, or cannot be started, the one box says so.
    ASSERT_TRUE(writeSetting(settingsPath(w.programFolder()), "General", "runoutlookafterrestore", "1"));
    const std::string exe = w.demo.installFolder() + "OUTLOOK.EXE";
    options.startOutlook = [&](const std::string& cmd) {
        started.push_back(cmd);
        return false;
    };
    const std::size_t boxes = w.dialogs.messages.size();
    runRestore(*w.form, w.archive, options);
    EXPECT_EQ(started.size(), 2u);
    ASSERT_EQ(w.dialogs.messages.size(), boxes + 1);
    EXPECT_TRUE(w.dialogs.texts().back().ends_with("\r\n\r\nOutlook could not be started (" + exe + ")."))
        << w.dialogs.texts().back();
    fs::remove(w.host(exe));
    runRestore(*w.form, w.archive, options);
    EXPECT_EQ(started.size(), 2u);
    ASSERT_EQ(w.dialogs.messages.size(), boxes + 2);
    EXPECT_TRUE(w.dialogs.texts().back().ends_with("\r\n\r\nOutlook was not started: " + exe +
                                                   " is not in the target system."))
        << w.dialogs.texts().back();
    EXPECT_EQ(w.dialogs.messages.back().icon, MsgIcon::Information);
}

// The progress label names the file being extracted as "Unzip File <name>"; the bar only goes on.
TEST(RestoreRun, ProgressNamesTheFileBeingUnzipped) {
    RestoreWorld w;
    const std::unique_ptr<JobObserver> observer = restoreProgressObserver(*w.form);
    observer->phaseStarted(JobPhase::Extracting);
    int bar = w.form->pbShow;
    for (std::uint64_t done : {0u, 50u, 100u}) {
        observer->progress({JobPhase::Extracting, "Outlook.pst", done, 100});
        EXPECT_EQ(w.form->skinLabel9, "Unzip File Outlook.pst");
        EXPECT_GE(w.form->pbShow, bar);
        bar = w.form->pbShow;
    }
    EXPECT_EQ(bar, 90);
}

// The box after a run: its icon and first line follow what the run did.
TEST(RestoreRun, TheBoxFollowsTheResult) {
    const auto item = [](bool ok) {
        RestoreItemResult r;
        r.ok = ok;
        return r;
    };
    struct Case {
        bool committed, failed, cancelled;
        std::vector<RestoreItemResult> items;
        MsgIcon icon;
        std::string headline;
    } cases[] = {
        {true, false, false, {item(true), item(true)}, MsgIcon::Information, kRestoreCompletedHeadline},
        {true, false, false, {item(true), item(false)}, MsgIcon::Warning, kRestoreIncompleteHeadline},
        {false, true, false, {item(true)}, MsgIcon::Critical, kRestoreFailedHeadline},
        {false, false, true, {}, MsgIcon::Warning, kRestoreCancelled},
    };
    for (const Case& c : cases) {
        RestoreOutcome outcome;
        outcome.ran = true;
        outcome.committed = c.committed;
        outcome.failed = c.failed;
        outcome.cancelled = c.cancelled;
        outcome.items = c.items;
        const RestoreHeadline headline = restoreHeadline(outcome);
        EXPECT_EQ(headline.icon, c.icon) << c.headline;
        EXPECT_EQ(headline.text, c.headline);
    }
}

TEST(RestoreRun, StepsFollowTheBoxesAndTheFlags) {
    RestoreWorld w;
    // Only the accounts: box 1 runs configuration (flag 0: skipped) and accounts.
    BackupSpec spec = minimalSpec("00010000000");
    const fs::path accounts = w.dir / "accounts.reg";
    w.registry.exportKey(w.demo.profilesRootKey + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676", "",
                         accounts);
    spec.entries.push_back({"qba1.tmp", readFile(accounts)});
    addItemLine(spec, "BackupAccounts", "qba1.tmp");
    const fs::path qob = w.dir / "accounts.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        EXPECT_EQ(w.form->restoreItem[i].enabled, i == 1) << i;
    }
    w.target("Second");
    w.tickRestore({1});
    RestoreOutcome outcome = runRestore(*w.form, w.archive);
    ASSERT_EQ(outcome.items.size(), 1u);
    EXPECT_EQ(outcome.summary, "\r\nRestore Accounts Settings\tSucceeded!\t");
    // Second's accounts are now Outlook's, except that they no longer deliver into Outlook's PST.
    RegistryDump outlookAccounts =
        dumpTree(w.store, w.demo.profilesRootKey + "\\Outlook\\9375CFF0413111d3B88A00104B2A6676");
    outlookAccounts.erase("\\00000005|Delivery Store EntryID");
    EXPECT_EQ(dumpTree(w.store, w.demo.profilesRootKey + "\\Second\\9375CFF0413111d3B88A00104B2A6676"),
              outlookAccounts);

    // Configuration and rules alone enable no box.
    w.archive.closeArchive();
    writeBackup(qob, minimalSpec("10100000000"));
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    for (const auto& box : w.form->restoreItem) {
        EXPECT_FALSE(box.enabled);
    }
    // A handler that fails is reported as "Fail!", and the run still completes.
    BackupSpec missing = minimalSpec("00001000000");
    addItemLine(missing, "BackupSignatures", "NotThere.htm");
    w.archive.closeArchive();
    writeBackup(qob, missing);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    w.tickRestore({2});
    outcome = runRestore(*w.form, w.archive);
    EXPECT_EQ(outcome.summary, "\r\nRestore Signatures\t\tFail!\t\r\nNothing was restored, because \"Restore "
                               "Signatures\" could not be restored: The backup file holds no entry "
                               "\"NotThere.htm\". Untick it and restore again to restore the other items.");
    EXPECT_FALSE(outcome.allSucceeded());
    EXPECT_FALSE(outcome.problems.empty());
}

TEST(RestoreRun, AFailingConfigurationOrRulesStepIsNotPassedOffAsSuccess) {
    RestoreWorld w;
    // The configuration and the rules name entries the file does not hold; the data file is fine.
    BackupSpec spec = minimalSpec("11100000000");
    spec.entries.push_back({"Outlook.pst", "restored mail"});
    addItemLine(spec, "BackupConfig", "qbc1.tmp");
    addItemLine(spec, "BackupDatas", "Outlook.pst");
    addItemLine(spec, "BackupRules", "Outlook.RWZ");
    const fs::path qob = w.dir / "broken.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    w.target("Second");
    w.tickRestore({0});
    RestoreRunOptions options;
    options.timeText = [] { return std::string("T"); };
    const RestoreOutcome outcome = runRestore(*w.form, w.archive, options);
    EXPECT_FALSE(outcome.allSucceeded());
    // One failed item keeps every item from being committed: the data file arrived, yet it is not
    // restored into a profile whose configuration was not.
    EXPECT_EQ(outcome.summary,
              "\r\nRestore Profile Configuration\tFail!\t\r\nRestore Rules\t\tFail!\t"
              "\r\nRestore Personal Folders\tFail!\t\r\nNothing was restored, because "
              "\"Restore Profile Configuration\" could not be restored: The backup file holds "
              "no entry \"qbc1.tmp\". Untick it and restore again to restore the other items.");
    const std::string log = readFile(w.programFolder() / "brlog.dat");
    EXPECT_NE(log.find("T Restore Profile Configuration Fail!\n\r\nT The backup file holds no entry "
                       "\"qbc1.tmp\".\n\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("T Restore Rules Fail!\n"), std::string::npos) << log;
    EXPECT_NE(log.find("T Restore Personal Folders Fail!\n"), std::string::npos) << log;
}

} // namespace
} // namespace qob::test
