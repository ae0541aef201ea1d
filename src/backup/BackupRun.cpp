#include "backup/BackupRun.h"

#include "backup/BackupSession.h"
#include "backup/CloseOutlook.h"
#include "settings/RunLog.h"
#include "outlook/OutlookDiscovery.h"
#include "settings/Settings.h"

#include <algorithm>

namespace qob {

namespace fs = std::filesystem;

namespace {

// One step of the run: which kind, which box(es) select it, its status text, whether it is logged
// and summarised (by box index), and the progress advances.
struct Step {
    ItemKind kind;
    std::vector<std::size_t> boxes;
    const char* status;
    int resultBox; // -1: not logged, not summarised
    int advanceWhenTicked;
    int advanceAlways;
};

const std::vector<Step>& steps() {
    static const std::vector<Step> table = {
        {ItemKind::Config, {0, 1, 4}, "Copying Config...", -1, 0, 0},
        {ItemKind::Datas, {0}, "Copying Data Files (Pst Files)...", 0, 5, 15},
        {ItemKind::Rules, {0}, "Copying Rules...", -1, 0, 10},
        {ItemKind::Accounts, {1}, "Copying Accounts...", 1, 0, 20},
        {ItemKind::Signatures, {2}, "Copying Signatures...", 2, 0, 10},
        {ItemKind::Stationery, {3}, "Copying Stationeries...", 3, 0, 10},
        {ItemKind::Pab, {4}, "Copying Address Book...", 4, 0, 5},
        {ItemKind::Configsetting, {5}, "Copying Options...", 5, 0, 5},
        {ItemKind::Templates, {6}, "Copying Templates...", 6, 0, 5},
        {ItemKind::Setting, {7}, "Copying Setting...", 7, 0, 0},
        {ItemKind::Contacts, {8}, "Copying Contacts Folder...", 8, 0, 10},
    };
    return table;
}

std::string summaryLine(const std::string& name, bool ok) {
    return "\r\n" + name + "\t" + (ok ? "Succeeded!" : "Fail!") + "\t";
}

} // namespace

std::string writtenBesideText(const std::filesystem::path& file, const std::filesystem::path& earlier) {
    return "The backup is incomplete, so it was written as " + file.string() + "; the earlier backup " +
           earlier.string() + " holds what this one lacks and was left as it is.";
}

BackupRun::BackupRun() = default;

BackupOutcome BackupRun::runBackup(MainForm& form, const AfterBackupActions& after) {
    if (running_) {
        form.platform().dialogs.message(kBackupRunningMessage, MsgIcon::Warning, MsgButtons::Ok,
                                        kApplicationTitle);
        return {};
    }
    running_ = true;
    BackupOutcome outcome;
    try {
        outcome = run(form, after);
    } catch (...) {
        running_ = false;
        throw;
    }
    running_ = false;
    return outcome;
}

BackupOutcome BackupRun::run(MainForm& form, const AfterBackupActions& after) {
    Platform& platform = form.platform();
    AppState& state = form.state();
    Dialogs& dialogs = platform.dialogs;
    BackupOutcome outcome;

    fs::path target = state.targetPath.empty() ? fs::path(form.txtTargetFile) : state.targetPath;
    if (target.empty()) {
        dialogs.message("Invalid backup file.", MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    if (std::none_of(form.backupItem.begin(), form.backupItem.end(),
                     [](const CheckBoxState& b) { return b.checked; })) {
        dialogs.message("Please select at least one item.", MsgIcon::Warning, MsgButtons::Ok,
                        kApplicationTitle);
        return outcome;
    }
    if (form.ifProtect && form.txtPassword.empty() && form.txtPassword2.empty()) {
        dialogs.message("Please enter Password!", MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    if (form.ifProtect && form.txtPassword != form.txtPassword2) {
        dialogs.message("Incorect Password!", MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    outcome.ran = true;

    const fs::path settings = settingsPath(platform.programFolder);
    const fs::path log = runLogPath(platform.programFolder);
    const std::string profile = form.cbSource.text();

    // An existing backup at the target stays until the new one is complete: the archive writes a
    // temporary file and renames it over the old one.
    state.password = form.ifProtect ? form.txtPassword : std::string();
    form.picCon3Visible = true;
    form.notify(FormChange::Progress);
    dialogs.processEvents();
    // Outlook is asked to close and waited for (it saves its files); it is never killed. Before
    // anything reads the registry, which Wine writes back only once Outlook has gone.
    bool outlookClosed = true;
    if (settingMatches(readSetting(settings, "Backup", "autocloseoutlook"), 1)) {
        outlookClosed = closeOutlook(platform.system, [&form, &dialogs] {
            form.label1 = kWaitingForOutlook;
            form.notify(FormChange::Progress);
            dialogs.processEvents();
        });
        form.label1.clear();
        form.notify(FormChange::Progress);
    }

    auto advance = [&form](int by) {
        form.pbShow = std::min(100, form.pbShow + by);
        form.notify(FormChange::Progress);
    };

    zip1_.setWorkingFolder(platform.programFolder);
    zip1_.events().fileAdded = [&form, &dialogs](const std::string& name) {
        dialogs.processEvents();
        form.skinLabel9 = "Adding File " + name;
        form.notify(FormChange::Progress);
        dialogs.processEvents();
    };
    zip1_.events().writeProgress = [&form, &dialogs](int percent) {
        dialogs.processEvents();
        form.label1 = "Write File " + std::to_string(percent) + "%";
        form.notify(FormChange::Progress);
        dialogs.processEvents();
    };
    zip1_.events().writeFinished = [&state](const Status&) { state.writeFinished = true; };

    BackupSession session(platform, state, zip1_);
    if (!outlookClosed) {
        holdBackOutlookFiles(session);
    }
    InfoHeader header;
    header.computer = state.computerName;
    header.logonUser = state.logonUser;
    header.identity = profile;
    header.time = generalDateText(form.now());
    header.outlookVersion = getOutlookVersion(platform.registry, state);
    header.description = form.txtAttachInfo;

    appendLog(log, logSeparator());
    appendLog(log, logRunStart(generalDateText(form.now()), profile));
    appendLog(log, logTarget(generalDateText(form.now()), target.string()));
    advance(10);

    state.writeFinished = false;
    Status started = session.begin(target, header);
    // Item results are reported only after the write: an item has not "Succeeded!" until the
    // archive holding it is on disk.
    std::vector<std::pair<std::string, bool>> results;
    if (started) {
        for (const Step& step : steps()) {
            bool ticked = std::any_of(step.boxes.begin(), step.boxes.end(),
                                      [&form](std::size_t b) { return form.backupItem[b].checked; });
            if (ticked) {
                form.label1 = step.status;
                form.notify(FormChange::Progress);
                dialogs.processEvents();
                bool ok = session.run(step.kind, profile);
                if (step.resultBox >= 0) {
                    results.emplace_back(itemResultName(static_cast<std::size_t>(step.resultBox)), ok);
                } else if (step.kind == ItemKind::Config && !ok) {
                    // The data files, accounts and address book cannot be restored without it: its
                    // failure must not pass unmentioned.
                    results.emplace_back(kConfigResultName, false);
                }
                advance(step.advanceWhenTicked);
            }
            advance(step.advanceAlways);
        }
    }

    form.pbShow = 96;
    form.notify(FormChange::Progress);
    BackupSession::Result written;
    if (started) {
        const bool check = settingMatches(readSetting(settings, "General", "checkbackupfile"), 1);
        written =
            session.finish(form.ifProtect ? std::optional<std::string>(state.password) : std::nullopt, check);
    } else {
        written.written = started;
    }
    std::string summary;
    for (const auto& [name, ok] : results) {
        const bool stored = ok && static_cast<bool>(written.written);
        summary += summaryLine(name, stored);
        appendLog(log, logItemResult(generalDateText(form.now()), name, stored));
        if (!stored) {
            outcome.failedItems.push_back(name);
        }
    }
    outcome.notStored = session.notStored();
    for (const std::string& missing : outcome.notStored) {
        summary += "\r\nNot stored: " + missing;
        appendLog(log, logNotStored(generalDateText(form.now()), missing));
    }
    if (written.checked) {
        summary += summaryLine(kCheckResultName, static_cast<bool>(written.check));
        appendLog(log, logItemResult(generalDateText(form.now()), kCheckResultName,
                                     static_cast<bool>(written.check)));
    }

    form.pbShow = 100;
    form.notify(FormChange::Progress);
    state.writeFinished = false;
    form.skinLabel9.clear();
    form.skinLabel10.clear();
    form.label1.clear();
    form.picCon3Visible = false;
    form.pbShow = 0;
    form.notify(FormChange::Progress);

    outcome.succeeded = written.written && (!written.checked || written.check);
    outcome.complete = outcome.succeeded && session.complete() && outcome.notStored.empty();
    outcome.file = written.file;
    if (outcome.complete) {
        appendLog(log, logRunEnd(generalDateText(form.now()), profile));
        outcome.message = std::string(kBackupCompleted) + "\t\t\t\r\n" + summary;
        dialogs.message(outcome.message, MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
    } else if (outcome.succeeded) {
        if (written.besideEarlier) {
            summary += "\r\n" + writtenBesideText(written.file, target);
            appendLog(log,
                      logWrittenBeside(generalDateText(form.now()), written.file.string(), target.string()));
        }
        appendLog(log, logRunIncomplete(generalDateText(form.now()), profile));
        outcome.message = std::string(kBackupIncomplete) + "\t\t\t\r\n" + summary;
        dialogs.message(outcome.message, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
    } else {
        const std::string reason = !written.written ? written.written.message : written.check.message;
        appendLog(log, logRunFailed(generalDateText(form.now()), profile, reason));
        outcome.message = std::string(kBackupFailed) + "\t\t\t\r\n" + reason + "\r\n" + summary;
        dialogs.message(outcome.message, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return outcome; // nothing to burn, open or show
    }

    if (after.burnDisc && settingMatches(readSetting(settings, "General", "burndvd"), 1)) {
        after.burnDisc(outcome.file.filename().string(), outcome.file);
    }
    if (after.startOutlook && settingMatches(readSetting(settings, "General", "runoutlookafterbackup"), 1)) {
        std::string folder = platform.registry.getStringValue(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE",
            "Path");
        if (folder != "Error") {
            if (!folder.empty() && folder.back() == '\\') {
                folder.pop_back();
            }
            after.startOutlook(folder + "\\OUTLOOK.EXE");
        }
    }
    if (after.openFolder && settingMatches(readSetting(settings, "backup", "openfolderbackup"), 1)) {
        after.openFolder(outcome.file.parent_path());
    }
    return outcome;
}

} // namespace qob
