// The restore job driven from another thread, as a window will drive it: the phases come in order,
// the extraction counts bytes up to its total, the result is the form's, and a stop before the
// commit leaves the target exactly as it was.
#include "restore/RestoreJob.h"
#include "RestoreFixture.h"
#include "forms/OpenBackup.h"
#include "forms/RestoreRun.h"
#include "restore/RestoreTransaction.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

struct Recorder : JobObserver {
    std::mutex mutex;
    std::vector<JobPhase> phases;
    std::vector<JobProgress> progresses;
    std::vector<std::string> statuses;
    std::vector<std::string> lines;
    std::thread::id thread;
    // Called with each progress event after it was recorded; a test stops the job from here.
    std::function<void(const JobProgress&)> onProgress;
    std::function<void(const std::string&)> onStatus;

    void phaseStarted(JobPhase phase) override {
        std::lock_guard<std::mutex> lock(mutex);
        phases.push_back(phase);
        thread = std::this_thread::get_id();
    }
    void progress(const JobProgress& p) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            progresses.push_back(p);
        }
        if (onProgress) {
            onProgress(p);
        }
    }
    void status(const std::string& text) override {
        statuses.push_back(text);
        if (onStatus) {
            onStatus(text);
        }
    }
    void logLine(const std::string& line) override { lines.push_back(line); }
};

// A world with Outlook's backup opened and every box ticked, restoring into `profile`.
struct Prepared {
    RestoreWorld w;
    fs::path qob;
    std::vector<std::string> log; // what went to the run log

    explicit Prepared(const std::string& profile, std::size_t pstBytes = 0) {
        BackupSpec spec = backupOfProfile(w, "Outlook");
        if (pstBytes) {
            // Data that does not compress, so the entry is many blocks in the archive too.
            std::mt19937 random(7);
            std::string big(pstBytes, '\0');
            for (char& c : big) {
                c = static_cast<char>(random());
            }
            for (BackupEntry& e : spec.entries) {
                if (e.name == "Outlook.pst") {
                    e.data = big;
                }
            }
        }
        qob = w.dir / "outlook.qob";
        writeBackup(qob, spec);
        if (openBackupFile(*w.form, w.archive, qob) != OpenResult::Opened) {
            throw std::runtime_error("backup did not open");
        }
        w.target(profile);
        w.tickRestore({0, 1, 2, 3, 4, 5, 6, 7, 8});
    }
    RestoreRequest request() {
        RestoreRequest r = restoreRequestOf(*w.form);
        r.timeText = [] { return std::string("T"); };
        r.appendLog = [this](const std::string& text) { log.push_back(text); };
        return r;
    }
    RestoreSummary runOnAnotherThread(Recorder& recorder, const StopToken& stop) {
        const RestoreRequest r = request();
        RestoreSummary summary;
        std::thread job([&] { summary = runRestoreJob(*w.platform, w.archive, r, recorder, stop); });
        job.join();
        EXPECT_NE(recorder.thread, std::this_thread::get_id());
        return summary;
    }
};

TEST(RestoreJob, OnAnotherThreadItReportsInOrderAndRestoresAsTheFormDoes) {
    // The form's run on its own thread, the reference.
    Prepared byForm("Second");
    RestoreRunOptions options;
    options.timeText = [] { return std::string("T"); };
    options.appendLog = [&](const std::string& text) { byForm.log.push_back(text); };
    const RestoreOutcome expected = runRestore(*byForm.w.form, byForm.w.archive, options);
    ASSERT_TRUE(expected.allSucceeded());

    Prepared p("Second");
    Recorder recorder;
    const StopToken stop;
    const RestoreSummary summary = p.runOnAnotherThread(recorder, stop);

    EXPECT_TRUE(summary.committed);
    EXPECT_FALSE(summary.failed || summary.cancelled);
    EXPECT_TRUE(summary.allSucceeded());
    EXPECT_EQ(summary.summary,
              "\r\nRestore Accounts Settings\tSucceeded!\t\r\nRestore Signatures\t\tSucceeded!\t"
              "\r\nRestore Stationeries\tSucceeded!\t\r\nRestore Personal Address Book\tSucceeded!\t"
              "\r\nRestore Options Settings\tSucceeded!\t\r\nRestore Templates\t\tSucceeded!\t"
              "\r\nRestore Preferences\tSucceeded!\t\r\nRestore Contacts Folder\tSucceeded!\t"
              "\r\nRestore Personal Folders\tSucceeded!\t");
    EXPECT_EQ(summary.summary, expected.summary);
    ASSERT_EQ(summary.items.size(), expected.items.size());
    for (std::size_t i = 0; i < summary.items.size(); ++i) {
        EXPECT_EQ(summary.items[i].name, expected.items[i].name);
        EXPECT_TRUE(summary.items[i].ok && summary.items[i].reason.empty()) << summary.items[i].reason;
    }
    EXPECT_EQ(dumpTree(p.w.store, "HKEY_CURRENT_USER"), dumpTree(byForm.w.store, "HKEY_CURRENT_USER"));
    EXPECT_EQ(snapshotFiles(p.w.demo.driveFolder()), snapshotFiles(byForm.w.demo.driveFolder()));

    // The run log is the form's, and the observer hears each entry without its line ends.
    ASSERT_EQ(p.log.size(), byForm.log.size());
    ASSERT_EQ(recorder.lines.size(), p.log.size());
    for (std::size_t i = 0; i < p.log.size(); ++i) {
        if (i != 2) { // "Restore File is" names each world's own file
            EXPECT_EQ(p.log[i], byForm.log[i]) << i;
        }
        std::string bare = p.log[i];
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) {
            bare.pop_back();
        }
        EXPECT_EQ(recorder.lines[i], bare);
    }
    EXPECT_EQ(p.log[2], "T Restore File is " + p.qob.string() + "\n");

    EXPECT_EQ(recorder.phases, (std::vector<JobPhase>{JobPhase::Preparing, JobPhase::Extracting,
                                                      JobPhase::Committing, JobPhase::Finished}));
    EXPECT_EQ(recorder.statuses.front(), "Copying Config...");
    EXPECT_EQ(recorder.statuses.back(), "Copying Data Files (PST/OST Files)...");
    // Bytes of the whole extraction, never going back, ending at the total announced at its start:
    // the sum of the entries the items extract (the data files and every folder's files).
    ASSERT_GT(recorder.progresses.size(), 2u);
    const std::uint64_t total = recorder.progresses.front().total;
    EXPECT_EQ(recorder.progresses.front().done, 0u);
    std::uint64_t last = 0;
    for (const JobProgress& progress : recorder.progresses) {
        EXPECT_EQ(progress.phase, JobPhase::Extracting);
        EXPECT_GE(progress.done, last);
        EXPECT_EQ(progress.total, total);
        last = progress.done;
    }
    EXPECT_EQ(last, total);
    std::uint64_t pst = 0;
    for (const DemoStore& s : p.w.demo.storesOf("Outlook")) {
        pst += fs::file_size(p.w.host(s.targetPath));
    }
    EXPECT_GT(total, pst);
}

// Stopped during the extraction of a large data file, or between two items: nothing is restored,
// the data file it would have replaced keeps its bytes, the registry its values, and neither a
// temporary file nor a journal is left.
TEST(RestoreJob, AStopBeforeTheCommitLeavesTheTargetAsItWas) {
    struct Case {
        const char* name;
        bool atStatus; // stop when this status is shown, else at the first block of this entry
    };
    for (const Case& c : {Case{"Outlook.pst", false}, Case{"Copying Signatures...", true}}) {
        SCOPED_TRACE(c.name);
        Prepared p("Outlook", std::size_t{6} << 20);
        const fs::path pstHost = p.w.host(p.w.demo.storesOf("Outlook").front().targetPath);
        ASSERT_EQ(pstHost.filename(), "Outlook.pst");
        // The target moved on since the backup: a commit would take its rules and a value back.
        std::ofstream(p.w.host(p.w.demo.roamingDataFolder + "\\Outlook.rwz"),
                      std::ios::binary | std::ios::trunc)
            << "newer rules";
        ASSERT_EQ(p.w.registry.setStringValue(p.w.demo.profilesRootKey + "\\Outlook", "AfterTheBackup", "x"),
                  kRegSuccess);
        const std::string pstBefore = readFile(pstHost);
        const RegistryDump registryBefore = dumpTree(p.w.store, "HKEY_CURRENT_USER");
        const auto filesBefore = snapshotFiles(p.w.demo.driveFolder());
        const auto programBefore = snapshotFiles(p.w.programFolder());

        Recorder recorder;
        StopToken stop;
        std::size_t pstBlocks = 0;
        recorder.onProgress = [&](const JobProgress& progress) {
            if (!c.atStatus && progress.file == c.name) {
                ++pstBlocks;
                stop.requestStop();
            }
        };
        recorder.onStatus = [&](const std::string& text) {
            if (c.atStatus && text == c.name) {
                stop.requestStop();
            }
        };
        const RestoreSummary summary = p.runOnAnotherThread(recorder, stop);

        EXPECT_TRUE(summary.ran);
        EXPECT_TRUE(summary.cancelled);
        EXPECT_FALSE(summary.committed || summary.allSucceeded());
        for (const RestoreItemResult& item : summary.items) {
            EXPECT_FALSE(item.ok) << item.name;
        }
        EXPECT_EQ(summary.problems.back(), kRestoreCancelledText);
        if (!c.atStatus) {
            EXPECT_EQ(pstBlocks, 1u); // the extraction stopped at the next block
        } else {
            // The items after the one stopped did not run.
            EXPECT_EQ(recorder.statuses.back(), c.name);
        }
        EXPECT_EQ(recorder.phases,
                  (std::vector<JobPhase>{JobPhase::Preparing, JobPhase::Extracting, JobPhase::Finished}));
        EXPECT_EQ(summary.result, RestoreResult::Cancelled);
        EXPECT_EQ(summary.icon, MsgIcon::Warning);
        EXPECT_EQ(summary.text.rfind(kRestoreCancelled, 0), 0u) << summary.text;
        EXPECT_EQ(p.log.back(), "T Restore Data to Profile Outlook was Cancelled!\r");
        EXPECT_EQ(p.log[p.log.size() - 2], std::string("T ") + kRestoreCancelledText + "\n");

        EXPECT_EQ(readFile(pstHost), pstBefore);
        EXPECT_EQ(dumpTree(p.w.store, "HKEY_CURRENT_USER"), registryBefore);
        EXPECT_EQ(snapshotFiles(p.w.demo.driveFolder()), filesBefore);
        EXPECT_TRUE(leftovers(p.w.demo.prefix).empty());
        EXPECT_FALSE(fs::exists(restoreJournalPath(*p.w.platform)));
        EXPECT_FALSE(fs::exists(restoreStagingPath(*p.w.platform)));
        EXPECT_FALSE(p.w.registry.holdingChanges());
        // Not even the registry texts' scratch files stay in the program folder.
        EXPECT_EQ(snapshotFiles(p.w.programFolder()), programBefore);
    }
}

// The window's Cancel reaches the job through the form: the form says that nothing was restored
// and does not start Outlook on a restore that did not happen.
TEST(RestoreJob, TheFormReportsACancelledRestore) {
    Prepared p("Second");
    StopToken stop;
    stop.requestStop();
    RestoreRunOptions options;
    options.stop = &stop;
    int started = 0;
    options.startOutlook = [&](const std::string&) { return ++started > 0; };
    const RegistryDump before = dumpTree(p.w.store, "HKEY_CURRENT_USER");
    const RestoreOutcome outcome = runRestore(*p.w.form, p.w.archive, options);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(outcome.items.empty());
    EXPECT_EQ(p.w.dialogs.texts().back(),
              std::string(kRestoreCancelled) + "\t\t\t\r\n\r\n" + kRestoreCancelledText);
    EXPECT_EQ(started, 0);
    EXPECT_FALSE(p.w.form->picCon3Visible);
    EXPECT_EQ(dumpTree(p.w.store, "HKEY_CURRENT_USER"), before);
}

} // namespace
} // namespace qob::test
