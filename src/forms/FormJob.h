#pragma once
// The toolkit-free steps around a backup or restore started from the main window: begin the run on
// the form, make the form's progress observer, and hand back the work for the worker and the steps
// that end the run on the window's thread. Each window keeps only its own part: the job runner that
// carries events across threads, the focus and the refresh of its controls.
#include "archive/Archive.h"
#include "forms/BackupRun.h"
#include "forms/MainForm.h"
#include "forms/RestoreRun.h"
#include "platform/Job.h"

#include <functional>
#include <memory>
#include <optional>

namespace qob {

struct FormJob {
    // The form's side of the progress: fed on the window's thread while the work runs.
    std::unique_ptr<JobObserver> formObserver;
    // Runs on the worker.
    std::function<void(JobObserver& observer, const StopToken& stop)> work;
    // Runs on the window's thread once the work has ended, after the window's own clean-up.
    std::function<void()> finish;
};

// The summary slot, the run, the form and `quitting` must outlive the job: the worker writes the
// summary, and `finish` reads it with `quitting` as it is when the run ends. nullopt: refused.
std::optional<FormJob> prepareBackupJob(MainForm& form, BackupRun& run, BackupSummary& summary,
                                        std::function<AfterBackupActions()> afterActions,
                                        const bool& quitting);

// `confirm`: the user is asked first (the action button; the menu entry starts at once). Lifetimes as
// above; the archive is read by the worker.
std::optional<FormJob> prepareRestoreJob(MainForm& form, Archive& archive, const RestoreRunOptions& options,
                                         bool confirm, RestoreOutcome& outcome, const bool& quitting);

} // namespace qob
