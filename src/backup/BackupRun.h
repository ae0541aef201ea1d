#pragma once
// RunBackup, what "Backup Now" does: checks the choices on the main form, optionally closes
// Outlook, builds the backup with the item handlers, writes it, logs every step to brlog.dat and
// shows one summary message. The window owns one BackupRun next to its MainForm (as it owns the
// archive component) and calls runBackup(form) for the button and the menu entry.
#include "archive/Archive.h"
#include "frame/MainForm.h"

#include <functional>
#include <string>
#include <vector>

namespace qob {

// The after-backup actions belong to windows and processes above this layer; the window fills
// them in. An empty one is skipped.
struct AfterBackupActions {
    // "burndvd": the disc-writing window with the new file (bare name, full path), modal.
    std::function<void(const std::string& name, const std::filesystem::path& file)> burnDisc;
    // "runoutlookafterbackup": start Outlook (target path of OUTLOOK.EXE), minimized, no wait.
    std::function<void(const std::string& outlookExe)> startOutlook;
    // "openfolderbackup": show the backup file's folder.
    std::function<void(const std::filesystem::path& folder)> openFolder;
};

struct BackupOutcome {
    bool ran = false;       // false: refused by a check (the message said why)
    bool succeeded = false; // the file was written (and, when asked for, checked)
    // Written, and every chosen item is in it whole: only then is the run "Completed".
    bool complete = false;
    std::filesystem::path file; // where the backup was written (beside the target when incomplete)
    std::string message;        // the summary message as shown
    // Files the profile uses that are not in the backup, with the reason; also in the log.
    std::vector<std::string> notStored;
    // Chosen items that are not in the backup ("Backup Templates" ...); also in the log.
    std::vector<std::string> failedItems;
};

class BackupRun {
public:
    BackupRun();

    // RunBackup. A call while a run is going on (through events let run during the run) is refused
    // with a message.
    BackupOutcome runBackup(MainForm& form, const AfterBackupActions& after = {});
    bool running() const { return running_; }
    Archive& archive() { return zip1_; }

private:
    BackupOutcome run(MainForm& form, const AfterBackupActions& after);

    Archive zip1_;
    bool running_ = false;
};

inline constexpr char kBackupRunningMessage[] =
    "A backup is already running. Please wait until it has finished.";
inline constexpr char kBackupCompleted[] = "The Backup was Completed!";
inline constexpr char kBackupFailed[] = "The Backup Failed!";
// The backup was written but some chosen item is missing from it.
inline constexpr char kBackupIncomplete[] = "The Backup is Incomplete!";

// The summary line of an incomplete backup written beside the earlier one at its target.
std::string writtenBesideText(const std::filesystem::path& file, const std::filesystem::path& earlier);

} // namespace qob
