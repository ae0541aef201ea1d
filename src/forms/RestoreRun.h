#pragma once
// "Restore Now" on the form side: the confirmation and the checks come first, with their messages;
// then the restore job runs on what the form holds (the opened backup, the ticked boxes, the
// profile chosen in cbTarget) while the form follows its progress; afterwards the form shows the
// one summary message and starts Outlook when the settings say so. Free functions on the Qt-free
// main form: the form lives in frame/, below this subsystem, so it cannot call up.
#include "archive/Archive.h"
#include "forms/MainForm.h"
#include "forms/OutlookAfterRun.h"
#include "restore/RestoreJob.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kRestoreConfirmation[] =
    "Your current Email and News messages will be replaced with the messages from the selected backup "
    "file.\r\n\r\nDo you want to countinue?";

struct RestoreRunOptions {
    // Starts Outlook after the run (command line: its folder + "\OUTLOOK.EXE"); not set: Outlook
    // is not started (the command-line tool).
    StartOutlook startOutlook;
    // Free space of a host folder; empty: the real one.
    std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace;
    // Appends one entry to the run log (the text before the CR LF); empty: brlog.dat in the program
    // folder.
    std::function<void(const std::string& text)> appendLog;
    // The time text of log entries; empty: the current local time of the form's clock.
    std::function<std::string()> timeText;
    // Asked by the run between items and blocks; the window's Cancel sets it. Empty: never stopped.
    const StopToken* stop = nullptr;
};

using RestoreOutcome = RestoreSummary;

// The headlines are the job's own (RestoreJob.h), so the box, qob and the log say the same.
inline constexpr const char* kRestoreCompletedHeadline = kRestoreCompleted;
inline constexpr const char* kRestoreIncompleteHeadline = kRestoreIncomplete;
inline constexpr const char* kRestoreFailedHeadline = kRestoreFailed;

// The box after a run that ran: its icon and first line follow what the run did (whole,
// incomplete, failed or cancelled), never "Completed" for a run that was not.
struct RestoreHeadline {
    MsgIcon icon;
    std::string text;
};
RestoreHeadline restoreHeadline(const RestoreOutcome& outcome);

// What the form holds for a restore, copied: the target profile, the ticked boxes, the opened
// backup and the program-wide values.
RestoreRequest restoreRequestOf(const MainForm& form);

// RunRestore on the caller's thread.
RestoreOutcome runRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options = {});
// RunRestore in three steps, for a window that runs the job on a worker thread (as BackupRun):
// beginRestore() checks (its messages shown) and marks the form busy, nullopt when refused; the
// window runs runRestoreJob(form.platform(), archive, request, observer, stop) on its worker and
// hands each event to restoreProgressObserver()'s observer on its own thread; endRestore() frees
// the form, shows the summary and starts Outlook when asked. The form, its platform and the
// archive belong to the job in between.
std::optional<RestoreRequest> beginRestore(MainForm& form, Archive& archive,
                                           const RestoreRunOptions& options);
std::unique_ptr<JobObserver> restoreProgressObserver(MainForm& form, bool pumpEvents = false);
// `quitting`: the user stopped the run to quit the program: the form is freed, no box shows and
// Outlook is not started.
RestoreOutcome endRestore(MainForm& form, const RestoreOutcome& outcome, const RestoreRunOptions& options,
                          bool quitting = false);

// The question of the action button on the "Restore" tab; true on OK.
bool confirmRestore(MainForm& form);
// The action button on the "Restore" tab: asks first, then runs.
RestoreOutcome cmdApplyRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options = {});

} // namespace qob
