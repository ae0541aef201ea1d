#pragma once
// RunAutoBackup: the unattended backup the scheduled task starts. It shows nothing, logs to
// brlog.dat and builds the backup with the same handlers, information file and archive as the
// interactive run.
#include "forms/MainForm.h"
#include "platform/Job.h"
#include "schedule/AutoCommandLine.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// "new file" mode: the path with its extension ".qob" (any case) replaced by
// "-MM-DD-YYYY-HH-MM.qob"; a path without that extension keeps all of its characters.
std::string newFileTarget(const std::string& backupFile, std::chrono::system_clock::time_point when);

// The file the run writes. A backup file path that names a folder (an existing one, or any path
// ending in "/" or "\") gets "qarch-<profile>-MM-DD-YYYY-HH-MM.qob" inside it, in either mode;
// otherwise the path itself, or its newFileTarget in "new file" mode.
std::string autoBackupTarget(const AutoCommandLine& line, bool newFile,
                             std::chrono::system_clock::time_point when);

struct AutoBackupResult {
    bool ran = false;       // false: the command line was not usable; nothing was written or logged
    bool succeeded = false; // the file was written (and checked when asked for)
    bool complete = false;  // written, with every chosen item whole in it
    bool cancelled = false; // stopped as asked; the earlier backup is as it was
    std::string target;
    std::string file;  // where it was written: the target, or beside it when incomplete
    std::string flags; // the eleven result flags
    std::string reason;
    std::vector<std::string> notStored;    // files the profile uses that are not in the backup (logged)
    std::vector<std::string> failedItems;  // chosen items that are not in the backup (logged)
    std::vector<std::string> removedOlder; // older automatic backups removed by "keepautobackups"
};

// What the run takes from its environment, read by main() and handed in.
struct AutoRunOptions {
    // QUIRE_PASSWORD_FILE: where the weekly task keeps its password when "ps=" is empty. A file
    // that cannot be read fails the run: a backup meant to be protected is never written without.
    std::optional<std::string> passwordFile;
};

// Runs the automatic backup for the profile values the form's load step found. The form's
// dialogs should be SilentDialogs.
AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine);
// The same with the backup job's events going to `observer` and `stop` able to cancel it (either
// may be null).
AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine, JobObserver* observer,
                               const StopToken* stop);
AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine, const AutoRunOptions& options,
                               JobObserver* observer = nullptr, const StopToken* stop = nullptr);

} // namespace qob
