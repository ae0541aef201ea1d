#include "forms/BackupRun.h"

#include "settings/Settings.h"

#include <algorithm>

namespace qob {

namespace fs = std::filesystem;

namespace {

// How far each step moves the progress bar: by `whenTicked` when its box is ticked, and by
// `always` once it is passed, ticked or not.
struct Advance {
    ItemKind kind;
    std::vector<std::size_t> boxes;
    int whenTicked;
    int always;
};

const std::vector<Advance>& advances() {
    static const std::vector<Advance> table = {
        {ItemKind::Config, {0, 1, 4}, 0, 0}, {ItemKind::Datas, {0}, 5, 15},
        {ItemKind::Rules, {0}, 0, 10},       {ItemKind::Accounts, {1}, 0, 20},
        {ItemKind::Signatures, {2}, 0, 10},  {ItemKind::Stationery, {3}, 0, 10},
        {ItemKind::Pab, {4}, 0, 5},          {ItemKind::Configsetting, {5}, 0, 5},
        {ItemKind::Templates, {6}, 0, 5},    {ItemKind::Setting, {7}, 0, 0},
        {ItemKind::Contacts, {8}, 0, 10},
    };
    return table;
}

// The job's events as the main form's progress panel shows them. The job runs on the caller's
// thread here; a window that runs it on a worker marshals these calls to its own thread first.
class FormObserver : public JobObserver {
public:
    FormObserver(MainForm& form, bool pumpEvents) : form_(form), pumpEvents_(pumpEvents) {}

    void phaseStarted(JobPhase phase) override {
        if (phase == JobPhase::Writing || phase == JobPhase::Checking) {
            form_.pbShow = std::max(form_.pbShow, phase == JobPhase::Writing ? kWritingFrom : kCheckingFrom);
            lastPercent_ = -1;
            form_.notify(FormChange::Progress);
        }
    }
    void status(const std::string& text) override {
        form_.label1 = text;
        // The steps only gather what to write, in a moment; they take the start of the bar.
        if (const int bar = barAt(text); bar >= 0) {
            form_.pbShow = std::max(form_.pbShow, bar * kWritingFrom / 100);
        }
        changed();
    }
    void progress(const JobProgress& p) override {
        if (p.phase == JobPhase::Preparing && !p.file.empty()) {
            form_.skinLabel9 = "Adding File " + p.file;
        } else if (p.phase == JobPhase::Writing && p.total > 0) {
            const int percent = static_cast<int>(std::min<std::uint64_t>(100, p.done * 100 / p.total));
            if (percent == lastPercent_) {
                return;
            }
            lastPercent_ = percent;
            form_.label1 = "Write File " + std::to_string(percent) + "%";
            form_.pbShow =
                std::max(form_.pbShow, kWritingFrom + (kCheckingFrom - kWritingFrom) * percent / 100);
        } else {
            return;
        }
        changed();
    }

private:
    // The bar when a step's status comes: 10 for the start, plus what the steps before it added.
    int barAt(const std::string& status) const {
        int bar = 10;
        for (const Advance& a : advances()) {
            if (status == backupStepStatus(a.kind)) {
                return std::min(100, bar);
            }
            const bool ticked = std::any_of(a.boxes.begin(), a.boxes.end(),
                                            [this](std::size_t b) { return form_.backupItem[b].checked; });
            bar += a.always + (ticked ? a.whenTicked : 0);
        }
        return -1;
    }

    void changed() {
        form_.notify(FormChange::Progress);
        if (pumpEvents_) {
            form_.platform().dialogs.processEvents();
        }
    }

    // Writing the archive is nearly all of a backup's time, so the bar follows the bytes written
    // from kWritingFrom; reading it back, when asked for, starts at kCheckingFrom (its reports are
    // per file, so the bar does not follow them).
    static constexpr int kWritingFrom = 10;
    static constexpr int kCheckingFrom = 85;

    MainForm& form_;
    bool pumpEvents_;
    int lastPercent_ = -1;
};

} // namespace

BackupRun::BackupRun() = default;

BackupOutcome BackupRun::runBackup(MainForm& form, const AfterBackupActions& after) {
    StopToken never;
    return runBackup(form, never, after);
}

BackupOutcome BackupRun::runBackup(MainForm& form, const StopToken& stop, const AfterBackupActions& after) {
    std::optional<BackupRequest> request = begin(form);
    if (!request) {
        return {};
    }
    const std::unique_ptr<JobObserver> observer = progressObserver(form, true);
    const BackupSummary summary = runBackupJob(form.platform(), *request, *observer, stop);
    return end(form, summary, after);
}

std::optional<BackupRequest> BackupRun::begin(MainForm& form) {
    TargetContext& platform = form.platform();
    AppState& state = form.state();
    Dialogs& dialogs = platform.dialogs;
    if (running_ || form.jobRunning) {
        dialogs.message(kBackupRunningMessage, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        return std::nullopt;
    }

    BackupRequest request;
    request.target = state.targetPath.empty() ? fs::path(form.txtTargetFile) : state.targetPath;
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        request.items[i] = form.backupItem[i].checked;
    }
    if (auto refused = refuseBackupRequest(request)) {
        dialogs.message(refused->text, refused->icon, MsgButtons::Ok, kApplicationTitle);
        return std::nullopt;
    }
    if (form.ifProtect && form.txtPassword.empty() && form.txtPassword2.empty()) {
        dialogs.message("Please enter Password!", MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return std::nullopt;
    }
    if (form.ifProtect && form.txtPassword != form.txtPassword2) {
        dialogs.message("Incorect Password!", MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return std::nullopt;
    }

    state.password = form.ifProtect ? form.txtPassword : std::string();
    request.profile = form.cbSource.text();
    if (form.ifProtect) {
        request.password = state.password;
    }
    request.description = form.txtAttachInfo;
    readBackupSettings(platform.programFolder, request);
    request.state = state;
    // The job may ask for "now" from its worker: the form's clock is set before any run and not
    // changed during one.
    request.clock = [&form] { return form.now(); };

    running_ = true;
    form.jobRunning = true;
    form.picCon3Visible = true;
    form.pbShow = 0;
    form.notify(FormChange::Progress);
    form.notify(FormChange::ApplyButton);
    return request;
}

std::unique_ptr<JobObserver> BackupRun::progressObserver(MainForm& form, bool pumpEvents) const {
    return std::make_unique<FormObserver>(form, pumpEvents);
}

BackupOutcome BackupRun::end(MainForm& form, const BackupSummary& summary, const AfterBackupActions& after,
                             bool quitting) {
    TargetContext& platform = form.platform();
    Dialogs& dialogs = platform.dialogs;
    BackupOutcome outcome;
    outcome.ran = true;
    form.pbShow = 100;
    form.notify(FormChange::Progress);
    form.skinLabel9.clear();
    form.skinLabel10.clear();
    form.label1.clear();
    form.picCon3Visible = false;
    form.pbShow = 0;
    // Free before the summary shows: the window's commands come back while the user reads it.
    running_ = false;
    form.jobRunning = false;
    form.notify(FormChange::Progress);
    form.notify(FormChange::ApplyButton);

    outcome.cancelled = summary.cancelled();
    outcome.succeeded = summary.succeeded();
    outcome.complete = summary.complete();
    outcome.file = summary.file;
    outcome.message = summary.text;
    outcome.notStored = summary.notStored;
    outcome.failedItems = summary.failedItems;
    outcome.summary = summary;
    if (quitting) {
        return outcome;
    }
    if (!outcome.succeeded) {
        // Nothing to burn, open or show.
        dialogs.message(outcome.message, summary.icon, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }

    const fs::path settings = settingsPath(platform.programFolder);
    std::string notes;
    if (after.startOutlook && settingMatches(readSetting(settings, "General", "runoutlookafterbackup"), 1)) {
        if (const std::string note = startOutlookAfterRun(platform, after.startOutlook); !note.empty()) {
            notes += "\r\n\r\n" + note;
        }
    }
    if (after.openFolder && settingMatches(readSetting(settings, "backup", "openfolderbackup"), 1) &&
        !after.openFolder(outcome.file.parent_path())) {
        notes += "\r\n\r\nThe backup's folder could not be shown: no program of the desktop opens folders.";
    }
    outcome.message += notes;
    dialogs.message(outcome.message, summary.icon, MsgButtons::Ok, kApplicationTitle);
    if (after.burnDisc && settingMatches(readSetting(settings, "General", "burndvd"), 1)) {
        after.burnDisc(outcome.file.filename().string(), outcome.file);
    }
    return outcome;
}

} // namespace qob
