#include "schedule/AutomaticBackup.h"

#include "settings/BackupInfo.h"
#include "backup/BackupRun.h"
#include "backup/BackupSession.h"
#include "backup/CloseOutlook.h"
#include "settings/RunLog.h"
#include "outlook/OutlookDiscovery.h"
#include "settings/Settings.h"
#include "platform/AsciiCase.h"

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
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%02d-%02d-%04d-%02d-%02d", local.tm_mon + 1, local.tm_mday,
                  local.tm_year + 1900, local.tm_hour, local.tm_min);
    return stamp;
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

struct AutoStep {
    ItemKind kind;
    std::vector<std::size_t> flagPositions; // 0-based positions in the nine flags
    const char* logName;                    // nullptr: not logged
};

const std::vector<AutoStep>& autoSteps() {
    static const std::vector<AutoStep> table = {
        {ItemKind::Config, {0, 1, 4}, kConfigResultName},
        {ItemKind::Datas, {0}, "Backup Personal Folders"},
        {ItemKind::Rules, {0}, nullptr},
        {ItemKind::Accounts, {1}, "Backup Accounts Settings"},
        {ItemKind::Signatures, {2}, "Backup Signatures"},
        {ItemKind::Stationery, {3}, "Backup Stationeries"},
        {ItemKind::Pab, {4}, "Backup Personal Address Book"},
        {ItemKind::Configsetting, {5}, "Backup Options Settings"},
        {ItemKind::Templates, {6}, "Backup Templates"},
        {ItemKind::Setting, {7}, "Backup Preferences"},
        {ItemKind::Contacts, {8}, "Backup Contacts Folder"},
    };
    return table;
}

} // namespace

AutoBackupResult runAutoBackup(MainForm& form, const std::string& commandLine) {
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
    const fs::path log = runLogPath(platform.programFolder);

    // The file of the command line is not deleted first: the archive replaces it only once the new
    // one has been written whole, so a failing run leaves the last good backup in place.
    const bool newFile = settingMatches(readSetting(settings, "autobackup", "autobackupfile"), 1);
    result.target = autoBackupTarget(*line, newFile, form.now());
    platform.dialogs.processEvents();

    // As "Backup Now" does: Outlook is asked to close and waited for, never killed; before the
    // registry is read.
    const bool outlookClosed =
        !settingMatches(readSetting(settings, "Backup", "autocloseoutlook"), 1) ||
        closeOutlook(platform.system, [&platform] { platform.dialogs.processEvents(); });

    // The profile values (folders, keys) are those of the named profile, not of the one the load
    // step happened to select.
    setProfileValues(platform.registry, state, line->profile);

    InfoHeader header;
    header.computer = state.computerName;
    header.logonUser = state.logonUser;
    header.identity = line->profile;
    header.time = generalDateText(form.now());
    header.outlookVersion = getOutlookVersion(platform.registry, state);
    header.description = kAutomaticDescription;

    Archive archive;
    archive.setWorkingFolder(platform.programFolder);
    BackupSession session(platform, state, archive);
    if (!outlookClosed) {
        holdBackOutlookFiles(session);
    }
    appendLog(log, logSeparator());
    appendLog(log, logAutoRunStart(generalDateText(form.now()), line->profile));
    appendLog(log, logTarget(generalDateText(form.now()), result.target));

    Status started = session.begin(result.target, header);
    // Item results are logged after the write: an item has not "Succeeded!" until the archive
    // holding it is on disk.
    std::vector<std::pair<const char*, bool>> results;
    if (started) {
        for (const AutoStep& step : autoSteps()) {
            bool holds = std::any_of(step.flagPositions.begin(), step.flagPositions.end(),
                                     [&](std::size_t p) { return flagHolds(line->flags, p); });
            if (!holds) {
                continue;
            }
            bool ok = session.run(step.kind, line->profile);
            if (step.logName) {
                results.emplace_back(step.logName, ok);
            }
        }
    }
    result.flags = session.flags();

    BackupSession::Result written;
    if (started) {
        const bool check = settingMatches(readSetting(settings, "General", "checkbackupfile"), 1);
        written = session.finish(
            line->password.empty() ? std::nullopt : std::optional<std::string>(line->password), check);
    } else {
        written.written = started;
    }
    for (const auto& [name, ok] : results) {
        const bool stored = ok && static_cast<bool>(written.written);
        appendLog(log, logItemResult(generalDateText(form.now()), name, stored));
        if (!stored) {
            result.failedItems.push_back(name);
        }
    }
    result.notStored = session.notStored();
    for (const std::string& missing : result.notStored) {
        appendLog(log, logNotStored(generalDateText(form.now()), missing));
    }
    if (written.checked) {
        appendLog(log, logItemResult(generalDateText(form.now()), kCheckResultName,
                                     static_cast<bool>(written.check)));
    }
    result.succeeded = written.written && (!written.checked || written.check);
    result.complete = result.succeeded && session.complete() && result.notStored.empty();
    result.file = written.file.string();
    if (result.complete) {
        appendLog(log, logRunEnd(generalDateText(form.now()), line->profile));
    } else if (result.succeeded) {
        if (written.besideEarlier) {
            result.reason = writtenBesideText(written.file, result.target);
            appendLog(log, logWrittenBeside(generalDateText(form.now()), result.file, result.target));
        }
        appendLog(log, logRunIncomplete(generalDateText(form.now()), line->profile));
    } else {
        result.reason = !written.written ? written.written.message : written.check.message;
        appendLog(log, logRunFailed(generalDateText(form.now()), line->profile, result.reason));
    }
    return result;
}

} // namespace qob
