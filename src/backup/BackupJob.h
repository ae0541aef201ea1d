#pragma once
// The backup as a job: what the main form, the automatic run and qob backup all start. A request
// value goes in (everything the form gathered and the settings the run reads, copied), events come
// out through a JobObserver, and a summary value comes back. The job asks nothing and shows
// nothing: the form's checks and questions come before it, its summary message after it. It logs
// to brlog.dat as it goes (and hands every entry to the observer), may close Outlook (asking it to
// close is no question to the user), and runs on any thread; a stop request ends it at the next
// item or block with the earlier backup untouched.
//
// Events, in order: phaseStarted(Preparing); status("Waiting for Outlook to close...") while it
// waits, then status(""); status(<step text>) per chosen item, and progress{Preparing, file, 0, 0}
// per file queued; phaseStarted(Writing) with progress{Writing, file being read, bytes of the
// whole archive}; phaseStarted(Checking) with progress{Checking, entry, bytes of all entries} when
// the read-back check is on; phaseStarted(Finished). Bytes come about once a megabyte and at the
// end of each file. logLine() gets every run-log entry as it is appended.
#include "outlook/AppState.h"
#include "platform/Dialogs.h"
#include "platform/Job.h"
#include "registry/TargetContext.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qob {

struct BackupRequest {
    std::string profile;
    // The nine item boxes (the automatic run's nine flags, in the same order).
    std::array<bool, kItemBoxCount> items{};
    // Set: the backup is protected with it.
    std::optional<std::string> password;
    std::filesystem::path target;
    std::string description; // "BackupInformation"
    // The scheduled run: its own log start entry, and the configuration step is always logged.
    bool automatic = false;
    // Settings the run reads: "autocloseoutlook" and "checkbackupfile".
    bool autocloseOutlook = false;
    bool checkAfter = false;
    // The program-wide values the handlers read (names, per-profile folders and keys), copied so
    // that the form may go on without the job seeing its changes.
    AppState state;
    // Sets the profile's values in that copy (setProfileValues) after Outlook has been closed,
    // instead of taking those the form's profile selection found.
    bool readProfileValues = false;
    // "Now" for the log and the information file; the system clock when empty.
    std::function<std::chrono::system_clock::time_point()> clock;
};

// Reads "autocloseoutlook" and "checkbackupfile" from the settings of `programFolder`.
void readBackupSettings(const std::filesystem::path& programFolder, BackupRequest& request);

enum class BackupEnd {
    Complete,   // written (and checked when asked), every chosen item whole in it
    Incomplete, // written, but some chosen item or file the profile uses is missing
    Failed,     // not written, or the check found it damaged
    Cancelled,  // stopped as asked: the earlier backup is as it was, nothing half-written is left
};

struct BackupItemResult {
    std::string name; // "Backup Signatures" ..., "Check Backup File"
    bool stored = false;
    std::string reason; // why it is not in the backup ("" when stored, or when nothing was found)
};

struct BackupSummary {
    BackupEnd end = BackupEnd::Failed;
    // The logged steps in run order, then the read-back check when it ran.
    std::vector<BackupItemResult> items;
    // The summary message as the form shows it, and its icon.
    std::string text;
    MsgIcon icon = MsgIcon::Critical;
    std::filesystem::path file; // where the backup was written (or was to be)
    bool besideEarlier = false; // incomplete, written beside the earlier backup at the target
    // Failed or cancelled: why; incomplete and written beside: which file holds what.
    std::string reason;
    std::string flags; // the eleven item flags
    // Files the profile uses that are not in the backup, with the reason; also in the log.
    std::vector<std::string> notStored;
    // Chosen items that are not in the backup ("Backup Templates" ...); also in the log.
    std::vector<std::string> failedItems;

    bool succeeded() const { return end == BackupEnd::Complete || end == BackupEnd::Incomplete; }
    bool complete() const { return end == BackupEnd::Complete; }
    bool cancelled() const { return end == BackupEnd::Cancelled; }
};

inline constexpr char kBackupCompleted[] = "The Backup was Completed!";
inline constexpr char kBackupFailed[] = "The Backup Failed!";
// The backup was written but some chosen item is missing from it.
inline constexpr char kBackupIncomplete[] = "The Backup is Incomplete!";
// Stopped as asked; the earlier backup is as it was.
inline constexpr char kBackupCancelled[] = "The Backup was Cancelled!";

// The status text of an item's step ("Copying Signatures...").
const char* backupStepStatus(ItemKind kind);

// The summary line of an incomplete backup written beside the earlier one at its target.
std::string writtenBesideText(const std::filesystem::path& file, const std::filesystem::path& earlier);

// The form's first two checks, which qob makes too: the refusal's text and icon, or nullopt when
// the request names a target and at least one item.
struct BackupRefusal {
    const char* text;
    MsgIcon icon;
};
std::optional<BackupRefusal> refuseBackupRequest(const BackupRequest& request);

// Runs one backup. The request has passed the form's checks (a target, at least one item, a
// non-empty password when one is set).
BackupSummary runBackupJob(TargetContext& platform, const BackupRequest& request, JobObserver& observer,
                           const StopToken& stop);

} // namespace qob
