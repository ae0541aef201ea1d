#pragma once
// RunAutoBackup: the unattended backup the scheduled task starts. It shows nothing, logs to
// brlog.dat and builds the backup with the same handlers, information file and archive as the
// interactive run.
#include "frame/MainForm.h"
#include "platform/Job.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// The task's command line " sf=<profile>xm=<flags>ps=<password>bf=<file>", read by position.
struct AutoCommandLine {
    std::string profile;
    std::string flags; // nine "0"/"1", one per box of the schedule window
    std::string password;
    std::string backupFile;
};

// Split at every "=", the last two characters (the next key) cut from every piece but the first
// and the last. nullopt when it has fewer than four "=", when the profile, flags or file is empty,
// or when it has more than four "=": a value holding "=" would shift the file path to the wrong
// piece, and a backup written to a wrong path is worse than none.
std::optional<AutoCommandLine> parseAutoCommandLine(const std::string& commandLine);

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
    std::vector<std::string> notStored;   // files the profile uses that are not in the backup (logged)
    std::vector<std::string> failedItems; // chosen items that are not in the backup (logged)
};

// Runs the automatic backup for the profile values the form's load step found. The form's
// dialogs should be SilentDialogs.
AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine);
// The same with the backup job's events going to `observer` and `stop` able to cancel it (either
// may be null).
AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine, JobObserver* observer,
                               const StopToken* stop);

} // namespace qob
