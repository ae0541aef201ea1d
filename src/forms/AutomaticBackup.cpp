#include "forms/AutomaticBackup.h"

#include "backup/BackupJob.h"
#include "outlook/NoProfileMessage.h"
#include "outlook/OutlookDiscovery.h"
#include "platform/AsciiCase.h"
#include "schedule/AutoRunState.h"
#include "schedule/PasswordFile.h"
#include "schedule/Retention.h"
#include "settings/AutoBackupSettings.h"
#include "settings/BackupInfo.h"
#include "settings/RunLog.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace qob {

namespace fs = std::filesystem;

namespace {

// "MM-DD-YYYY-HH-MM" in local time.
std::string stampText(std::chrono::system_clock::time_point when) {
    std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char time[16];
    std::snprintf(time, sizeof time, "-%02d-%02d", local.tm_hour % 100, local.tm_min % 100);
    return dateText(when) + time;
}

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace

std::string newFileTarget(const std::string& backupFile, std::chrono::system_clock::time_point when) {
    // Only an extension ".qob" is replaced: cutting four characters of any other name could climb
    // out of its folder ("/tmp/x/" became "/tm").
    std::string base = backupFile;
    if (base.size() >= 4 && lowerAscii(base.substr(base.size() - 4)) == ".qob") {
        base.erase(base.size() - 4);
    }
    return base + "-" + stampText(when) + ".qob";
}

std::string autoBackupTarget(const AutoCommandLine& line, bool newFile,
                             std::chrono::system_clock::time_point when) {
    std::string folder = line.backupFile;
    const bool endsInSeparator = isSeparator(folder.back());
    while (folder.size() > 1 && isSeparator(folder.back())) {
        folder.pop_back();
    }
    std::error_code ec;
    if (endsInSeparator || fs::is_directory(fs::path(folder), ec)) {
        // The file stays in that folder whatever the profile is called.
        std::string profile = line.profile;
        std::replace_if(profile.begin(), profile.end(), isSeparator, '_');
        return (fs::path(folder) / ("qarch-" + profile + "-" + stampText(when) + ".qob")).string();
    }
    return newFile ? newFileTarget(line.backupFile, when) : line.backupFile;
}

namespace {

// A flag holds when its character compares equal to 1 under the settings rule; a missing or
// non-digit character holds too.
bool flagHolds(const std::string& flags, std::size_t position) {
    return settingMatches(position < flags.size() ? std::string(1, flags[position]) : std::string(), 1);
}

} // namespace

AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine) {
    return runAutoBackup(form, commandLine, nullptr, nullptr);
}

AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine, JobObserver* observer,
                               const StopToken* stop) {
    return runAutoBackup(form, commandLine, AutoRunOptions{}, observer, stop);
}

namespace {

// "keepautobackups": how many automatic backups new-file mode keeps; 0 (missing, empty, not a
// number, or 0) keeps all.
long keptAutoBackups(const fs::path& settings) {
    const std::string text = readSetting(settings, "autobackup", "keepautobackups");
    try {
        std::size_t used = 0;
        const long keep = std::stol(text, &used);
        return used == text.size() && keep > 0 ? keep : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace

AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine, const AutoRunOptions& options,
                               JobObserver* observer, const StopToken* stop) {
    AutoBackupResult result;
    std::optional<AutoCommandLine> line = parseAutoCommandLine(commandLine);
    if (!line) {
        result.reason = "The command line does not name a profile, items and a backup file "
                        "(\" sf=<profile>xm=<items>ps=<password>bf=<file>\").";
        return result;
    }
    result.ran = true;
    TargetContext& platform = form.platform();
    AppState& state = form.state();
    const fs::path settings = settingsPath(platform.programFolder);
    // The catch-up at the next session start compares the schedule with this.
    recordAutomaticRun(platform.programFolder, form.now());

    // Without a profile the job would write an empty backup and call it a success.
    if (state.noProfile) {
        const fs::path log = runLogPath(platform.programFolder);
        const std::string time = generalDateText(form.now());
        result.reason = noProfileMessage(platform.systemFolder);
        appendLog(log, logSeparator());
        appendLog(log, logAutoRunStart(time, line->profile));
        appendLog(log, logRunFailed(time, line->profile, result.reason));
        return result;
    }

    // A profile that is gone (renamed, deleted, a task of another prefix) has nothing to back up;
    // the options key alone would otherwise make a backup of it look whole.
    const bool profileExists =
        std::any_of(state.profileList.begin(), state.profileList.end(),
                    [&](const std::string& name) { return equalsIgnoreCase(name, line->profile); });
    if (!profileExists) {
        const fs::path log = runLogPath(platform.programFolder);
        const std::string time = generalDateText(form.now());
        result.reason = "no mail profile named \"" + line->profile + "\"" +
                        (platform.systemFolder.empty() ? "" : " in " + platform.systemFolder.string());
        appendLog(log, logSeparator());
        appendLog(log, logAutoRunStart(time, line->profile));
        appendLog(log, logRunFailed(time, line->profile, result.reason));
        return result;
    }

    std::string password = line->password;
    if (password.empty() && options.passwordFile) {
        if (Status read = readPasswordFile(*options.passwordFile, password); !read) {
            const fs::path log = runLogPath(platform.programFolder);
            const std::string time = generalDateText(form.now());
            appendLog(log, logSeparator());
            appendLog(log, logAutoRunStart(time, line->profile));
            appendLog(log, logRunFailed(time, line->profile, read.message));
            result.reason = read.message;
            return result;
        }
    }

    // The file of the command line is not deleted first: the archive replaces it only once the new
    // one has been written whole, so a failing run leaves the last good backup in place.
    const bool newFile = autoBackupToNewFile(platform.programFolder);
    result.target = autoBackupTarget(*line, newFile, form.now());
    platform.dialogs.processEvents();

    BackupRequest request;
    request.automatic = true;
    request.profile = line->profile;
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        request.items[i] = flagHolds(line->flags, i);
    }
    if (!password.empty()) {
        request.password = password;
    }
    request.target = result.target;
    request.description = kAutomaticDescription;
    readBackupSettings(platform.programFolder, request);
    // The profile values (folders, keys) are those of the named profile, not of the one the load
    // step happened to select; the job reads them once Outlook has closed.
    request.readProfileValues = true;
    request.state = state;
    request.clock = [&form] { return form.now(); };

    JobObserver silent;
    StopToken never;
    const BackupSummary summary =
        runBackupJob(platform, request, observer ? *observer : silent, stop ? *stop : never);

    result.flags = summary.flags;
    result.failedItems = summary.failedItems;
    result.notStored = summary.notStored;
    result.succeeded = summary.succeeded();
    result.complete = summary.complete();
    result.cancelled = summary.cancelled();
    result.file = summary.file.string();
    result.reason = summary.reason;

    // Older backups go only once a new one holds everything they held.
    const long keep = keptAutoBackups(settings);
    if (newFile && keep > 0 && summary.complete() && summary.file == fs::path(result.target)) {
        RetentionResult kept =
            removeOlderAutomaticBackups(summary.file, line->profile, password, keep, platform.programFolder);
        const fs::path log = runLogPath(platform.programFolder);
        const std::string time = generalDateText(form.now());
        for (const fs::path& removed : kept.removed) {
            result.removedOlder.push_back(removed.string());
            appendLog(log, time + " Removed older automatic backup " + removed.string() + "\n");
        }
        for (const std::string& problem : kept.problems) {
            appendLog(log, time + " Could not remove older automatic backup " + problem + "\n");
        }
    }
    return result;
}

} // namespace qob
