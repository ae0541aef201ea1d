// The backup job driven from another thread, as a window's worker will drive it: the events it
// reports, the summary it returns, and what a cancel at each stage leaves behind.
#include "backup/BackupJob.h"
#include "forms/BackupRun.h"
#include "platform/RestoreJournalPlace.h"
#include "settings/Settings.h"

#include "DemoPlatform.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <thread>

namespace qob {
namespace {

namespace fs = std::filesystem;

// Every event, in order; optionally asks the job to stop at the first progress of one phase, or at
// one status text.
class RecordingObserver : public JobObserver {
public:
    struct Event {
        char kind = 0; // 'p' phase, 'b' bytes, 's' status, 'l' log line
        JobProgress progress;
        std::string text;
    };
    std::vector<Event> events;
    StopToken stop;
    std::optional<JobPhase> stopAtBytesOf;
    std::string stopAtStatus;

    // Each event is built in place: a braced temporary of it, moved into the vector, makes GCC 12
    // at -O3 warn that its string may be used uninitialised.
    void record(char kind, const JobProgress& progress, const std::string& text) {
        Event& event = events.emplace_back();
        event.kind = kind;
        event.progress = progress;
        event.text = text;
    }
    void phaseStarted(JobPhase phase) override {
        JobProgress progress;
        progress.phase = phase;
        record('p', progress, "");
    }
    void progress(const JobProgress& p) override {
        record('b', p, "");
        if (stopAtBytesOf == p.phase && p.total > 0) {
            stop.requestStop();
        }
    }
    void status(const std::string& text) override {
        record('s', {}, text);
        if (!stopAtStatus.empty() && text == stopAtStatus) {
            stop.requestStop();
        }
    }
    void logLine(const std::string& line) override { record('l', {}, line); }

    std::vector<JobPhase> phases() const {
        std::vector<JobPhase> out;
        for (const Event& e : events) {
            if (e.kind == 'p') {
                out.push_back(e.progress.phase);
            }
        }
        return out;
    }
};

struct JobFixture {
    test::DemoPlatform p;
    MainForm form{p.platform};
    fs::path target;

    JobFixture() {
        form.formLoad();
        target = p.dir / "out" / "b.qob";
        fs::create_directories(target.parent_path());
        // A data file of several megabytes: the write and the check report bytes more than once.
        std::ofstream pst(p.demo.hostPath(p.demo.stores[0].targetPath), std::ios::binary | std::ios::trunc);
        std::mt19937 random(7);
        for (int i = 0; i < 3 * 1024 * 1024 / 4; ++i) {
            const auto word = random();
            pst.write(reinterpret_cast<const char*>(&word), 4);
        }
    }
    BackupRequest request(std::array<bool, kItemBoxCount> items) {
        BackupRequest r;
        r.profile = "Outlook";
        r.items = items;
        r.target = target;
        r.description = "weekly";
        readBackupSettings(p.programFolder, r);
        r.state = form.state();
        return r;
    }
    // The job on a thread of its own, as the window will run it.
    BackupSummary runOnThread(const BackupRequest& r, RecordingObserver& observer) {
        BackupSummary summary;
        std::thread worker([&] { summary = runBackupJob(p.platform, r, observer, observer.stop); });
        worker.join();
        return summary;
    }
    std::string log() const { return test::readBytes(p.programFolder / "brlog.dat"); }
};

constexpr std::array<bool, kItemBoxCount> kFoldersAndSignatures = {true, false, true};

TEST(BackupJob, OnAWorkerThreadItReportsPhasesBytesAndLogLinesAndSummarisesAsBackupNowDoes) {
    JobFixture f;
    RecordingObserver observer;
    const BackupSummary summary = f.runOnThread(f.request(kFoldersAndSignatures), observer);
    ASSERT_TRUE(summary.complete()) << summary.text;

    EXPECT_EQ(observer.phases(), (std::vector<JobPhase>{JobPhase::Preparing, JobPhase::Writing,
                                                        JobPhase::Checking, JobPhase::Finished}));
    // Bytes only within their phase, never going back, and each phase reaching its total.
    JobPhase current = JobPhase::Preparing;
    std::map<JobPhase, JobProgress> last;
    std::map<JobPhase, int> count;
    for (const auto& e : observer.events) {
        if (e.kind == 'p') {
            current = e.progress.phase;
        } else if (e.kind == 'b' && e.progress.phase != JobPhase::Preparing) {
            EXPECT_EQ(e.progress.phase, current);
            EXPECT_GE(e.progress.done, last[current].done);
            EXPECT_LE(e.progress.done, e.progress.total);
            last[current] = e.progress;
            ++count[current];
        }
    }
    for (JobPhase phase : {JobPhase::Writing, JobPhase::Checking}) {
        SCOPED_TRACE(phaseName(phase));
        EXPECT_GE(count[phase], 3);
        EXPECT_GT(last[phase].total, 3u * 1024 * 1024);
        EXPECT_EQ(last[phase].done, last[phase].total);
        // About one event a megabyte, not one per block the archive reads.
        EXPECT_LT(count[phase], 40);
    }
    // The log lines reported are the lines of the run log.
    std::string logged;
    for (const auto& e : observer.events) {
        if (e.kind == 'l') {
            logged += e.text + "\r\n";
        }
    }
    EXPECT_EQ(logged, f.log());

    // Backup Now on the same system, with the same choices, ends with the same summary.

    f.form.state().targetPath = f.p.dir / "out" / "form.qob";
    f.form.backupItem[0].checked = true;
    f.form.backupItem[2].checked = true;
    f.form.txtAttachInfo = "weekly";
    BackupRun run;
    const BackupOutcome outcome = run.runBackup(f.form);
    EXPECT_EQ(outcome.message, summary.text);
    EXPECT_EQ(outcome.summary.flags, summary.flags);
    EXPECT_EQ(summary.flags, "11101000000");
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].icon, summary.icon);
    ASSERT_EQ(summary.items.size(), 3u);
    EXPECT_EQ(summary.items[0].name, "Backup Personal Folders");
    EXPECT_EQ(summary.items[2].name, "Check Backup File");
    EXPECT_FALSE(f.form.jobRunning);
}

TEST(BackupJob, ACancelLeavesTheEarlierBackupAsItWasAndNothingBehind) {
    struct Case {
        const char* name;
        std::optional<JobPhase> atBytesOf;
        const char* atStatus;
        bool earlier;
    };
    const Case cases[] = {
        {"between items", std::nullopt, "Copying Signatures...", true},
        {"while writing", JobPhase::Writing, "", true},
        {"while checking", JobPhase::Checking, "", true},
        {"while checking, no earlier backup", JobPhase::Checking, "", false},
        {"while writing, no earlier backup", JobPhase::Writing, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobFixture f;
        std::string before;
        if (c.earlier) {
            RecordingObserver first;
            ASSERT_TRUE(f.runOnThread(f.request({false, false, true}), first).complete());
            before = test::readBytes(f.target);
        }
        // What a run killed during its check leaves: the earlier backup's second name.
        { std::ofstream(f.target.parent_path() / ".b.qob.qobkeep-Zz0123") << "killed"; }
        RecordingObserver observer;
        observer.stopAtBytesOf = c.atBytesOf;
        observer.stopAtStatus = c.atStatus;
        const std::size_t logBefore = f.log().size();
        const BackupSummary summary = f.runOnThread(f.request(kFoldersAndSignatures), observer);

        EXPECT_TRUE(summary.cancelled()) << summary.text;
        EXPECT_EQ(summary.text.rfind(kBackupCancelled, 0), 0u) << summary.text;
        EXPECT_EQ(summary.icon, MsgIcon::Warning);
        EXPECT_EQ(summary.text.find("Succeeded!"), std::string::npos) << summary.text;
        EXPECT_EQ(observer.phases().back(), JobPhase::Finished);
        if (c.earlier) {
            EXPECT_TRUE(test::readBytes(f.target) == before)
                << "the earlier backup is byte for byte as it was";
            EXPECT_EQ(test::listFolder(f.target.parent_path()), (std::set<std::string>{"b.qob"}));
        } else {
            EXPECT_EQ(test::listFolder(f.target.parent_path()), (std::set<std::string>{}));
        }
        EXPECT_EQ(test::listFolder(f.p.programFolder), (std::set<std::string>{"brlog.dat"}));
        const std::string log = f.log().substr(logBefore);
        EXPECT_NE(log.find(" Data was not backed up! The backup was cancelled"), std::string::npos) << log;
        EXPECT_EQ(log.find("Completed!"), std::string::npos) << log;
    }
}

TEST(BackupJob, BackupNowReportsACancelAndSkipTheAfterBackupActions) {
    JobFixture f;
    f.form.state().targetPath = f.target;
    f.form.backupItem[2].checked = true;
    ASSERT_TRUE(writeSetting(settingsPath(f.p.programFolder), "backup", "openfolderbackup", "1"));
    StopToken stop;
    stop.requestStop();
    bool opened = false;
    AfterBackupActions after;
    after.openFolder = [&](const fs::path&) { return opened = true; };
    BackupRun run;
    const BackupOutcome outcome = run.runBackup(f.form, stop, after);
    EXPECT_TRUE(outcome.ran);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_FALSE(opened);
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].text.rfind(kBackupCancelled, 0), 0u);
    EXPECT_FALSE(fs::exists(f.target));
    EXPECT_FALSE(f.form.jobRunning);
}

// What the after-backup actions could not do is said in the one summary box, not in boxes after
// it; Outlook is started only when its program is there; the disc window comes after the box.
TEST(BackupJob, AfterBackupActionsThatFailAreSaidInTheSummary) {
    JobFixture f;
    f.form.state().targetPath = f.target;
    f.form.backupItem[2].checked = true;
    const fs::path settings = settingsPath(f.p.programFolder);
    for (const auto& [section, key] : {std::pair{"backup", "openfolderbackup"},
                                       {"General", "runoutlookafterbackup"},
                                       {"General", "burndvd"}}) {
        ASSERT_TRUE(writeSetting(settings, section, key, "1"));
    }
    const std::string exe = f.p.demo.installFolder() + "OUTLOOK.EXE";
    fs::remove(f.p.demo.hostPath(exe));
    int outlookStarts = 0;
    std::size_t boxesAtBurn = 0;
    AfterBackupActions after;
    after.startOutlook = [&](const std::string&) { return ++outlookStarts > 0; };
    after.openFolder = [](const fs::path&) { return false; };
    after.burnDisc = [&](const std::string&, const fs::path&) { boxesAtBurn = f.p.dialogs.messages.size(); };
    BackupRun run;
    const BackupOutcome outcome = run.runBackup(f.form, after);
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_EQ(outlookStarts, 0);
    ASSERT_EQ(f.p.dialogs.messages.size(), 1u);
    EXPECT_EQ(boxesAtBurn, 1u);
    EXPECT_EQ(f.p.dialogs.messages[0].text, outcome.message);
    EXPECT_TRUE(
        outcome.message.ends_with("\r\n\r\nOutlook was not started: " + exe +
                                  " is not in the target system.\r\n\r\nThe backup's folder could not "
                                  "be shown: no program of the desktop opens folders."))
        << outcome.message;
}

// A restore left half committed (its journal waits, another run held the lock at this one's start)
// is not worth a backup: the run refuses, says why, and writes nothing.
TEST(BackupJob, AHalfCommittedRestoreIsNotBackedUp) {
    JobFixture f;
    const fs::path journal = restoreJournalPath(f.p.platform);
    { std::ofstream(journal) << "QOB-RESTORE-JOURNAL 2\nEND\n"; }
    RecordingObserver observer;
    const BackupSummary refused = f.runOnThread(f.request(kFoldersAndSignatures), observer);
    EXPECT_FALSE(refused.complete());
    EXPECT_NE(refused.text.find("A restore on this target system was interrupted"), std::string::npos)
        << refused.text;
    EXPECT_FALSE(fs::exists(f.target));
    fs::remove(journal);
    RecordingObserver again;
    EXPECT_TRUE(f.runOnThread(f.request(kFoldersAndSignatures), again).complete());
}

} // namespace
} // namespace qob
