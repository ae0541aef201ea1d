#include "forms/FailedRunNotice.h"

#include "schedule/AutoRunState.h"

#include "DemoPlatform.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

struct RecordingNotifier : DesktopNotifier {
    std::vector<std::pair<std::string, std::string>> shown;
    Status answer = Status::success();
    Status notify(const std::string& summary, const std::string& body) override {
        shown.emplace_back(summary, body);
        return answer;
    }
};

AutoBackupResult ended(bool ran, bool succeeded, bool complete, std::string reason = {},
                       std::vector<std::string> failedItems = {}) {
    AutoBackupResult r;
    r.ran = ran;
    r.succeeded = succeeded;
    r.complete = complete;
    r.reason = std::move(reason);
    r.failedItems = std::move(failedItems);
    r.file = "/b/q-incomplete.qob";
    return r;
}

TEST(FailedRunNotice, EveryEndThatIsNotWholeIsAProblemThatNamesItsCause) {
    struct Case {
        AutoBackupResult result;
        std::vector<std::string> said; // empty: no problem
    };
    AutoBackupResult cancelled = ended(true, false, false, "stopped");
    cancelled.cancelled = true;
    const Case cases[] = {
        {ended(true, true, true), {}},
        {ended(false, false, false, "bad line"), {"did not run", "bad line"}},
        {ended(true, false, false, "disk full"), {"failed", "disk full"}},
        {ended(true, false, false), {"failed", "log"}},
        {cancelled, {"stopped"}},
        {ended(true, true, false, "", {"Rules", "Signatures"}),
         {"incomplete", "q-incomplete.qob", "Rules, Signatures"}},
        {ended(true, true, false, "a data file is missing"), {"incomplete", "a data file is missing"}},
    };
    for (const Case& c : cases) {
        const std::string problem = automaticRunProblem(c.result);
        EXPECT_EQ(problem.empty(), c.said.empty()) << problem;
        for (const std::string& part : c.said) {
            EXPECT_NE(problem.find(part), std::string::npos) << problem << " lacks " << part;
        }
    }
    for (const auto& [address, available] : {std::pair<std::optional<std::string>, bool>{std::nullopt, false},
                                             {"", false},
                                             {"unix:path=/run/user/1000/bus", true}}) {
        EXPECT_EQ(sessionBusAvailable(address), available) << address.value_or("(unset)");
    }
}

TEST(FailedRunNotice, AFailureIsAnnouncedAtOnceAndShownOnceAtTheNextStart) {
    test::TempDir dir;
    RecordingNotifier notifier;
    EXPECT_FALSE(unseenFailedRun(dir.path())); // never ran

    // A whole run announces nothing and leaves nothing to show.
    ASSERT_TRUE(reportAutomaticRun(dir.path(), ended(true, true, true), &notifier));
    EXPECT_TRUE(notifier.shown.empty());
    EXPECT_FALSE(unseenFailedRun(dir.path()));

    // A failure with a line break in its reason (a system message) is kept on one line.
    ASSERT_TRUE(recordAutomaticRun(dir.path(), std::chrono::system_clock::now()));
    ASSERT_TRUE(
        reportAutomaticRun(dir.path(), ended(true, false, false, "cannot write\nthe file"), &notifier));
    ASSERT_EQ(notifier.shown.size(), 1u);
    EXPECT_EQ(notifier.shown[0].first, kFailedRunTitle);
    EXPECT_NE(notifier.shown[0].second.find("cannot write"), std::string::npos);
    std::optional<FailedRunNotice> notice = unseenFailedRun(dir.path());
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->title, kFailedRunTitle);
    EXPECT_NE(notice->text.find("cannot write the file"), std::string::npos) << notice->text;

    // Seen once, not shown again; the next failure is.
    ASSERT_TRUE(markFailedRunSeen(dir.path()));
    EXPECT_FALSE(unseenFailedRun(dir.path()));
    ASSERT_TRUE(reportAutomaticRun(dir.path(), ended(false, false, false, "no profile"), nullptr));
    ASSERT_TRUE(unseenFailedRun(dir.path()));
    EXPECT_NE(unseenFailedRun(dir.path())->text.find("no profile"), std::string::npos);

    // A whole run afterwards clears it; the schedule's own times stay.
    ASSERT_TRUE(reportAutomaticRun(dir.path(), ended(true, true, true), nullptr));
    EXPECT_FALSE(unseenFailedRun(dir.path()));
    EXPECT_TRUE(readAutoRunState(dir.path()).lastRun);

    // A notification that cannot be shown is said, yet the failure is still kept for the window.
    notifier.answer = Status::failure("no notification service");
    Status reported = reportAutomaticRun(dir.path(), ended(true, false, false, "disk full"), &notifier);
    EXPECT_FALSE(reported);
    EXPECT_EQ(reported.message, "no notification service");
    EXPECT_TRUE(unseenFailedRun(dir.path()));
}

TEST(FailedRunNotice, ARealFailedRunLeavesItsReasonForTheWindow) {
    test::DemoPlatform p;
    MainForm form(p.platform);
    form.formLoad();
    const AutoBackupResult result =
        runAutoBackup(form, " sf=Outlookxm=001000000ps=bf=" + (p.dir / "none" / "q.qob").string());
    ASSERT_TRUE(result.ran);
    ASSERT_FALSE(result.succeeded);
    ASSERT_TRUE(reportAutomaticRun(p.platform.programFolder, result, nullptr));
    const std::optional<FailedRunNotice> notice = unseenFailedRun(p.platform.programFolder);
    ASSERT_TRUE(notice);
    EXPECT_NE(notice->text.find("failed"), std::string::npos) << notice->text;
}

} // namespace
} // namespace qob
