// A restore says what happened: "Completed" only when every chosen item was restored; otherwise a
// headline, icon and last log entry of its own, with the reasons in the message itself.
#include "RestoreFixture.h"
#include "ZipTools.h"
#include "forms/OpenBackup.h"
#include "forms/RestoreRun.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

TEST(RestoreResult, HeadlineIconAndLastLogEntryFollowTheResult) {
    struct Case {
        bool cancelled, committed;
        std::vector<bool> items;
        std::vector<std::string> problems;
        std::string whyNotCommitted;
        RestoreResult result;
        std::string text;
        MsgIcon icon;
        std::string lastLog;
    };
    const std::string lines = "\r\nRestore Signatures\t\tSucceeded!\t";
    const Case cases[] = {
        {false,
         true,
         {true, true},
         {},
         "",
         RestoreResult::Whole,
         "The Restore was Completed!\t\t\t\r\n" + lines,
         MsgIcon::Information,
         " Restore Data to Profile P was Completed!\r"},
        {false,
         true,
         {true, false},
         {"The backup file holds no entry \"a.htm\".", "Cannot restore X: in use"},
         "",
         RestoreResult::Incomplete,
         "The Restore is Incomplete!\t\t\t\r\n" + lines +
             "\r\nThe backup file holds no entry \"a.htm\".\r\nCannot restore X: in use",
         MsgIcon::Warning,
         " Restore Data to Profile P is Incomplete!\r"},
        // The reason why nothing was committed is in the item lines already, and once only.
        {false,
         false,
         {false},
         {"item reason", "Disk full"},
         "Disk full",
         RestoreResult::Failed,
         "The Restore Failed!\t\t\t\r\n" + lines + "\r\nitem reason",
         MsgIcon::Critical,
         " Restore Data to Profile P Failed! Disk full\r"},
        {true,
         false,
         {false},
         {"stopped", kRestoreCancelledText},
         kRestoreCancelledText,
         RestoreResult::Cancelled,
         "The Restore was Cancelled!\t\t\t\r\n" + lines,
         MsgIcon::Warning,
         " Restore Data to Profile P was Cancelled!\r"},
        // A run with nothing to restore and nothing wrong, committed: whole.
        {false,
         true,
         {},
         {},
         "",
         RestoreResult::Whole,
         "The Restore was Completed!\t\t\t\r\n" + lines,
         MsgIcon::Information,
         " Restore Data to Profile P was Completed!\r"},
    };
    for (const Case& c : cases) {
        RestoreSummary s;
        s.ran = true;
        s.cancelled = c.cancelled;
        s.committed = c.committed;
        s.failed = !c.committed && !c.cancelled;
        for (bool ok : c.items) {
            s.items.push_back({"Restore Signatures", ok, ok ? "" : "why"});
        }
        s.summary = lines;
        s.problems = c.problems;
        settleRestoreResult(s, c.whyNotCommitted);
        EXPECT_EQ(s.result, c.result) << c.text;
        EXPECT_EQ(s.text, c.text);
        EXPECT_EQ(s.icon, c.icon) << c.text;
        EXPECT_EQ(restoreEndLogEntry(s, "P"), c.lastLog);
        EXPECT_EQ(s.allSucceeded(), c.result == RestoreResult::Whole) << c.text;
    }
    EXPECT_STREQ(restoreResultName(RestoreResult::Incomplete), "incomplete");
}

// Through the form, as the window runs it: a restore with an item that could not be restored is
// not called completed, neither in the box nor in the log, and the box says why.
TEST(RestoreResult, TheFormSaysWhichItemFailedAndWhy) {
    RestoreWorld w;
    BackupSpec spec = minimalSpec("00001000100");
    spec.entries.push_back({"New.txt", "new signature"});
    addItemLine(spec, "BackupSignatures", "New.txt;NotThere.htm");
    addItemLine(spec, "BackupTemplates", "NormalEmail.dotm");
    spec.entries.push_back({"NormalEmail.dotm", "template"});
    const fs::path qob = w.dir / "partly.qob";
    writeBackup(qob, spec);
    ASSERT_EQ(openBackupFile(*w.form, w.archive, qob), OpenResult::Opened);
    w.target("Second");
    w.tickRestore({2, 6});
    RestoreRunOptions options;
    options.timeText = [] { return std::string("T"); };
    const RestoreOutcome outcome = runRestore(*w.form, w.archive, options);

    EXPECT_NE(outcome.result, RestoreResult::Whole);
    EXPECT_FALSE(outcome.allSucceeded());
    ASSERT_FALSE(w.dialogs.messages.empty());
    const RecordedMessage& box = w.dialogs.messages.back();
    EXPECT_EQ(box.text, outcome.text);
    EXPECT_NE(box.icon, MsgIcon::Information);
    EXPECT_EQ(box.text.find(kRestoreCompleted), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("Restore Signatures\t\tFail!"), std::string::npos) << box.text;
    EXPECT_NE(box.text.find("NotThere.htm"), std::string::npos) << "the reason is in the box: " << box.text;
    const std::string log = readFile(w.programFolder() / "brlog.dat");
    const std::string last = log.substr(log.rfind("\r\nT ") + 2);
    EXPECT_EQ(last.find("was Completed!"), std::string::npos) << last;
    EXPECT_EQ(last.rfind("T Restore Data to Profile Second ", 0), 0u) << last;
}

} // namespace
} // namespace qob::test
