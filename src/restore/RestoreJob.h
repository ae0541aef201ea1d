#pragma once
// The restore as a job: what the restore tab gathered goes in as a request, the run reports its
// phases, bytes and log entries to an observer, and a summary comes back. The job asks nothing and
// shows nothing (the confirmation and the checks' messages belong to whoever starts it), touches no
// form, and may run on any thread, so the window, qob and the tests drive the same run.
//
// A stop asked for before the commit rolls the whole restore back: the target keeps every file and
// registry value it had, and no temporary file stays behind. The commit itself is short and is
// never interrupted, since stopping half-way through it is what the journal exists to repair.
#include "archive/Archive.h"
#include "outlook/AppState.h"
#include "platform/Dialogs.h"
#include "platform/Job.h"
#include "registry/TargetContext.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kInvalidBackupRunMessage[] = "Invalid backup file.";
inline constexpr char kSelectItemMessage[] = "Please select at least one item.";
inline constexpr char kSelectTargetMessage[] = "Please choose the profile to restore into.";
// Why a stopped restore changed nothing; it ends the log entries and the summary of such a run.
inline constexpr char kRestoreCancelledText[] = "The restore was cancelled; nothing was restored.";

struct RestoreRequest {
    std::string profile;                     // the profile to restore into (text of cbTarget)
    std::array<bool, kItemBoxCount> boxes{}; // the ticked restore boxes
    // The program-wide values, copied when the run starts; `state.restore` is the opened backup:
    // valid-file flag, source path, item flags, item values and the data files' original paths.
    AppState state;
    // Free space of a host folder; empty: the real one.
    std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace;
    // Appends one entry to the run log (the text before the CR LF); empty: brlog.dat in the program
    // folder.
    std::function<void(const std::string& text)> appendLog;
    // The time text of log entries; empty: the current local time.
    std::function<std::string()> timeText;
};

// How a restore ended, for the summary's headline, the log's last line, the message box's icon and
// qob's exit code.
enum class RestoreResult {
    Whole,      // committed, and every chosen item was restored
    Incomplete, // committed, but some chosen item was not restored (failed, or not in the backup)
    Failed,     // nothing was restored: refused, or the commit could not be made
    Cancelled,  // nothing was restored: stopped as asked
};
// "whole", "incomplete", "failed", "cancelled".
const char* restoreResultName(RestoreResult result);

inline constexpr char kRestoreCompleted[] = "The Restore was Completed!";
inline constexpr char kRestoreIncomplete[] = "The Restore is Incomplete!";
inline constexpr char kRestoreFailed[] = "The Restore Failed!";
inline constexpr char kRestoreCancelled[] = "The Restore was Cancelled!";

struct RestoreItemResult {
    std::string name; // summary name, "" for the steps that are not reported
    bool ok = false;
    std::string reason; // why it failed, in words ("" when it did not)
};

struct RestoreSummary {
    bool ran = false; // false: refused before anything was written; `refusal` says why
    std::string refusal;
    MsgIcon refusalIcon = MsgIcon::Critical;
    // The item steps that ran, in order, and each chosen item the backup does not hold (failed).
    std::vector<RestoreItemResult> items;
    std::string summary; // the item lines (and why nothing was committed), after the headline
    RestoreResult result = RestoreResult::Failed;
    std::string text;                  // the summary message: headline, item lines, the reasons
    MsgIcon icon = MsgIcon::Critical;  // the message's icon, by the result
    std::vector<std::string> problems; // why handlers failed, in words
    bool committed = false;            // the changes were made real (some items may still have failed)
    bool failed = false;               // nothing was restored because the run could not be committed
    bool cancelled = false;            // nothing was restored because a stop was asked for
    // The first chosen item that could not be restored, which kept every item from being committed
    // (its summary name), and why; "" when none failed.
    std::string failedItem;
    std::string failedReason;
    bool allSucceeded() const;
};

// The result a summary's flags and items say (cancelled, not committed, an item that failed), its
// headline ("The Restore was Completed!" ...) and its message icon.
RestoreResult restoreResultOf(const RestoreSummary& summary);
const char* restoreHeadlineOf(RestoreResult result);
MsgIcon restoreIconOf(RestoreResult result);
// Sets result, text and icon of a summary that ran, from its items, summary lines and problems;
// `whyNotCommitted` is "" when the changes were made real.
void settleRestoreResult(RestoreSummary& summary, const std::string& whyNotCommitted);
// The run log's last entry after the time: " Restore Data to Profile <p> was Completed!" and CR
// only for a whole restore; "is Incomplete!", "Failed! <why>" or "was Cancelled!" otherwise.
std::string restoreEndLogEntry(const RestoreSummary& summary, const std::string& profile);

// The checks before a restore may start, in their order: a refusal's text and icon, or nothing.
struct RestoreRefusal {
    std::string text;
    MsgIcon icon;
};
std::optional<RestoreRefusal> checkRestoreRequest(const RestoreRequest& request, const Archive& archive);

// Runs the restore on the calling thread. It takes the target system's run lock for its whole run
// (refused when another run holds it) and uses the archive's events while it runs.
RestoreSummary runRestoreJob(TargetContext& platform, Archive& archive, const RestoreRequest& request,
                             JobObserver& observer, const StopToken& stop);

} // namespace qob
