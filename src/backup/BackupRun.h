#pragma once
// RunBackup, what "Backup Now" does, as the form sees it: checks the choices on the main form,
// builds the backup job's request from them, runs the job (which closes Outlook when asked, builds,
// writes and checks the backup and logs every step to brlog.dat), drives the progress panel from
// the job's events, shows the job's summary message and then runs the after-backup actions. The
// window owns one BackupRun next to its MainForm and calls runBackup(form) for the button and the
// menu entry.
#include "backup/BackupJob.h"
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

    // RunBackup. Refused with kBackupRunningMessage while any job of the form runs (a call made
    // from the job's own events, or from the window while a worker runs it). `stop` cancels the
    // job; the window's Cancel button holds it.
    BackupOutcome runBackup(MainForm& form, const AfterBackupActions& after = {});
    BackupOutcome runBackup(MainForm& form, const StopToken& stop, const AfterBackupActions& after = {});
    bool running() const { return running_; }

private:
    BackupOutcome run(MainForm& form, const StopToken& stop, const AfterBackupActions& after);

    bool running_ = false;
};

inline constexpr char kBackupRunningMessage[] =
    "A backup is already running. Please wait until it has finished.";

} // namespace qob
