#pragma once
// RunBackup, what "Backup Now" does, as the form sees it: checks the choices on the main form,
// builds the backup job's request from them, runs the job (which closes Outlook when asked, builds,
// writes and checks the backup and logs every step to brlog.dat), drives the progress panel from
// the job's events, shows the job's summary message and then runs the after-backup actions. The
// window owns one BackupRun next to its MainForm and calls runBackup(form) for the button and the
// menu entry.
#include "backup/BackupJob.h"
#include "forms/MainForm.h"
#include "forms/OutlookAfterRun.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// The after-backup actions belong to windows and processes above this layer; the window fills
// them in. An empty one is skipped. Outlook and the folder come before the summary, so that it
// says when either could not be done (one box, not a box after the box); the disc window after.
struct AfterBackupActions {
    // "burndvd": the disc-writing window with the new file (bare name, full path), modal.
    std::function<void(const std::string& name, const std::filesystem::path& file)> burnDisc;
    // "runoutlookafterbackup": start Outlook (target path of OUTLOOK.EXE), minimized, no wait;
    // true when started.
    StartOutlook startOutlook;
    // "openfolderbackup": show the backup file's folder; false when nothing could show it.
    std::function<bool(const std::filesystem::path& folder)> openFolder;
};

struct BackupOutcome {
    bool ran = false;       // false: refused by a check (the message said why)
    bool cancelled = false; // stopped as asked; the earlier backup is as it was
    bool succeeded = false; // the file was written (and, when asked for, checked)
    // Written, and every chosen item is in it whole: only then is the run "Completed".
    bool complete = false;
    std::filesystem::path file; // where the backup was written (beside the target when incomplete)
    std::string message;        // the summary message as shown
    // Files the profile uses that are not in the backup, with the reason; also in the log.
    std::vector<std::string> notStored;
    // Chosen items that are not in the backup ("Backup Templates" ...); also in the log.
    std::vector<std::string> failedItems;
    BackupSummary summary; // the job's whole summary (empty when refused)
};

class BackupRun {
public:
    BackupRun();

    // RunBackup on the caller's thread. Refused with kBackupRunningMessage while any job of the
    // form runs (a call made from the job's own events, or from the window while a worker runs
    // it). `stop` cancels the job.
    BackupOutcome runBackup(MainForm& form, const AfterBackupActions& after = {});
    BackupOutcome runBackup(MainForm& form, const StopToken& stop, const AfterBackupActions& after = {});

    // The same run in three steps, for a window that keeps its event loop free by running the job
    // on a worker thread:
    //  1. begin() checks the choices (its messages shown), marks the form busy and shows the
    //     progress panel; nullopt when refused (nothing else to do).
    //  2. The window runs runBackupJob(form.platform(), request, worker-side observer, stop) on the
    //     worker and hands every event to progressObserver()'s observer on its own thread. The form
    //     and its platform belong to the job until step 3.
    //  3. end() takes the job's summary on the window's thread: shows it, runs the after-backup
    //     actions and frees the form.
    std::optional<BackupRequest> begin(MainForm& form);
    // Drives the progress panel from the job's events. `pumpEvents`: let the window's events run
    // at each (the job on the window's own thread).
    std::unique_ptr<JobObserver> progressObserver(MainForm& form, bool pumpEvents = false) const;
    // `quitting`: the user stopped the run to quit the program; the form is freed, but no summary
    // shows and no after-backup action runs (the log has the run).
    BackupOutcome end(MainForm& form, const BackupSummary& summary, const AfterBackupActions& after = {},
                      bool quitting = false);

    bool running() const { return running_; }

private:
    bool running_ = false;
};

// Escape while a backup or restore runs: asked before the run is stopped.
inline constexpr char kStopRunQuestion[] = "Do you want to stop the running backup or restore?";
// Closing the window while one runs: quitting must never cut a write off, so the job is stopped
// and waited for.
inline constexpr char kQuitWhileRunning[] =
    "A backup or restore is running.\n\nDo you want to stop it and quit? Nothing half-written is kept.";

inline constexpr char kBackupRunningMessage[] =
    "A backup is already running. Please wait until it has finished.";

} // namespace qob
