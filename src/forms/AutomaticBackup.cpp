#include "forms/AutomaticBackup.h"

#include "backup/BackupJob.h"
#include "outlook/OutlookDiscovery.h"
#include "platform/AsciiCase.h"
#include "settings/BackupInfo.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace qob {

namespace fs = std::filesystem;

std::optional<AutoCommandLine> parseAutoCommandLine(const std::string& commandLine) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t eq = commandLine.find('='); eq != std::string::npos; eq = commandLine.find('=', start)) {
        pieces.push_back(commandLine.substr(start, eq - start));
        start = eq + 1;
    }
    pieces.push_back(commandLine.substr(start));
    if (pieces.size() != 5) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        std::string& p = pieces[i];
        p.erase(p.size() - std::min<std::size_t>(2, p.size()));
    }
    AutoCommandLine line{pieces[1], pieces[2], pieces[3], pieces[4]};
    if (line.profile.empty() || line.flags.empty() || line.backupFile.empty()) {
        return std::nullopt;
    }
    return line;
}

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
    AutoBackupResult result;
    std::optional<AutoCommandLine> line = parseAutoCommandLine(commandLine);
    if (!line) {
        result.reason = "The command line does not name a profile, items and a backup file "
                        "(\" sf=<profile>xm=<items>ps=<password>bf=<file>\").";
        return result;
    }
    result.ran = true;
    Platform& platform = form.platform();
    AppState& state = form.state();
    const fs::path settings = settingsPath(platform.programFolder);

    // The file of the command line is not deleted first: the archive replaces it only once the new
    // one has been written whole, so a failing run leaves the last good backup in place.
    const bool newFile = settingMatches(readSetting(settings, "autobackup", "autobackupfile"), 1);
    result.target = autoBackupTarget(*line, newFile, form.now());
    platform.dialogs.processEvents();

    BackupRequest request;
    request.automatic = true;
    request.profile = line->profile;
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        request.items[i] = flagHolds(line->flags, i);
    }
    if (!line->password.empty()) {
        request.password = line->password;
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
    return result;
}

} // namespace qob
