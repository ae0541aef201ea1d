// The backup's progress bar as the job's events move it: the gathering steps take its start, the
// bytes written move it on (a large backup spends nearly all its time there), and it never goes
// back.
#include "DemoPlatform.h"
#include "forms/BackupRun.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

TEST(BackupProgress, BarFollowsTheBytesWritten) {
    DemoPlatform p;
    MainForm form(p.platform);
    BackupRun run;
    const std::unique_ptr<JobObserver> observer = run.progressObserver(form);
    std::vector<int> bars;
    form.setListener([&](FormChange change) {
        if (change == FormChange::Progress) {
            bars.push_back(form.pbShow);
        }
    });

    observer->phaseStarted(JobPhase::Preparing);
    for (ItemKind kind : {ItemKind::Datas, ItemKind::Accounts, ItemKind::Contacts}) {
        observer->status(backupStepStatus(kind));
    }
    const int gathered = form.pbShow;
    EXPECT_LE(gathered, 10);
    observer->phaseStarted(JobPhase::Writing);
    const std::uint64_t total = 40ull << 30;
    struct Step {
        std::uint64_t done;
        int low, high;
        const char* label;
    };
    for (const Step& step :
         {Step{0, 10, 10, "Write File 0%"}, Step{total / 4, 25, 35, "Write File 25%"},
          Step{total / 2, 45, 55, "Write File 50%"}, Step{total * 3 / 4, 60, 75, "Write File 75%"},
          Step{total, 85, 85, "Write File 100%"}}) {
        observer->progress({JobPhase::Writing, "Outlook.pst", step.done, total});
        EXPECT_GE(form.pbShow, step.low) << step.label;
        EXPECT_LE(form.pbShow, step.high) << step.label;
        EXPECT_EQ(form.label1, step.label);
    }
    observer->phaseStarted(JobPhase::Checking);
    EXPECT_EQ(form.pbShow, 85);
    for (std::size_t i = 1; i < bars.size(); ++i) {
        EXPECT_GE(bars[i], bars[i - 1]) << "the bar went back at redraw " << i;
    }
}

} // namespace
} // namespace qob::test
