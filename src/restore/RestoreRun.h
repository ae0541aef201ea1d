#pragma once
// "Restore Now": restores the ticked items of the opened backup into the profile chosen in
// cbTarget, logs the run to brlog.dat, shows progress and one summary message. A free function
// on the Qt-free main form: the form lives in frame/, below this subsystem, so it cannot call up.
#include "archive/Archive.h"
#include "frame/MainForm.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kRestoreConfirmation[] =
    "Your current Email and News messages will be replaced with the messages from the selected backup "
    "file.\r\n\r\nDo you want to countinue?";
inline constexpr char kInvalidBackupRunMessage[] = "Invalid backup file.";
inline constexpr char kSelectItemMessage[] = "Please select at least one item.";
inline constexpr char kSelectTargetMessage[] = "Please choose the profile to restore into.";

struct RestoreRunOptions {
    // Starts Outlook after the run (command line: its folder + "\OUTLOOK.EXE"); not set: Outlook
    // is not started (the command-line tool).
    std::function<void(const std::string& commandLine)> startOutlook;
    // Free space of a host folder; empty: the real one.
    std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace;
    // Appends one entry to the run log (the text before the CR LF); empty: brlog.dat in the program
    // folder.
    std::function<void(const std::string& text)> appendLog;
    // The time text of log entries; empty: the current local time.
    std::function<std::string()> timeText;
};

struct RestoreItemResult {
    std::string name; // summary name, "" for the steps that are not reported
    bool ok = false;
};

struct RestoreOutcome {
    bool ran = false;                     // false: refused by a check (its message was shown)
    std::vector<RestoreItemResult> items; // the item steps that ran, in order
    std::string summary;                  // text after "The Restore was Completed!"
    std::vector<std::string> problems;    // why handlers failed, in words
    bool allSucceeded() const;
};

// RunRestore.
RestoreOutcome runRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options = {});
// The action button on the "Restore" tab: asks first, then runs.
RestoreOutcome cmdApplyRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options = {});

} // namespace qob
