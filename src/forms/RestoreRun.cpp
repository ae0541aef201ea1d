#include "forms/RestoreRun.h"

#include "settings/BackupInfo.h"
#include "settings/Settings.h"

#include <algorithm>

namespace qob {

namespace {

// The form's view of a running restore: the status line follows the item being restored, the file
// label and the bar follow the bytes extracted. The job runs on the form's thread for now, so the
// window's events are let run at each block, as they were at each extracted file.
class FormRestoreObserver : public JobObserver {
public:
    explicit FormRestoreObserver(MainForm& form) : form_(form) {}

    void phaseStarted(JobPhase phase) override {
        if (phase == JobPhase::Extracting) {
            // Only once the run has passed its lock: a refused run shows no progress panel.
            form_.skinLabel9 = "Restore Outlook Data....";
            form_.picCon3Visible = true;
            start_ = std::min(100, form_.pbShow + 10);
            form_.pbShow = start_;
            changed();
        } else if (phase == JobPhase::Committing) {
            form_.pbShow = std::max(form_.pbShow, 90);
            changed();
        }
    }
    void status(const std::string& text) override {
        form_.label1 = text;
        form_.notify(FormChange::Progress);
    }
    void progress(const JobProgress& p) override {
        if (p.file.empty()) {
            return;
        }
        form_.skinLabel9 = p.file;
        // Extraction fills the bar from where the start left it up to 90; the commit and the
        // completion take the rest.
        if (p.total > 0 && start_ < 90) {
            const auto span = static_cast<std::uint64_t>(90 - start_);
            form_.pbShow = std::max(form_.pbShow, start_ + static_cast<int>(span * p.done / p.total));
        }
        changed();
    }

private:
    void changed() {
        form_.notify(FormChange::Progress);
        form_.platform().dialogs.processEvents();
    }
    MainForm& form_;
    int start_ = 0;
};

} // namespace

RestoreRequest restoreRequestOf(const MainForm& form) {
    RestoreRequest request;
    request.profile = form.cbTarget.text();
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        request.boxes[i] = form.restoreItem[i].checked;
    }
    request.state = form.state();
    return request;
}

RestoreOutcome runRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options) {
    if (!form.mayStartJob()) {
        return {};
    }
    form.jobRunning = true;
    struct Clear {
        MainForm& form;
        ~Clear() { form.jobRunning = false; }
    } clear{form};
    Platform& platform = form.platform();
    Dialogs& dialogs = platform.dialogs;
    const AppState& state = form.state();

    RestoreRequest request = restoreRequestOf(form);
    if (auto refusal = checkRestoreRequest(request, archive)) {
        dialogs.message(refusal->text, refusal->icon, MsgButtons::Ok, kApplicationTitle);
        return {};
    }
    request.freeSpace = options.freeSpace;
    request.appendLog = options.appendLog;
    request.timeText = options.timeText;
    if (!request.timeText) {
        // The form's clock, so a test that sets it sees its own time in the log.
        const MainForm& clockOf = form;
        request.timeText = [&clockOf] { return generalDateText(clockOf.now()); };
    }
    FormRestoreObserver observer(form);
    const StopToken never;
    const RestoreOutcome outcome =
        runRestoreJob(platform, archive, request, observer, options.stop ? *options.stop : never);
    if (!outcome.ran) {
        dialogs.message(outcome.refusal, outcome.refusalIcon, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }

    form.pbShow = 100;
    form.label1 = "Operation complete!";
    form.notify(FormChange::Progress);
    form.picCon3Visible = false;
    form.pbShow = 0;
    form.notify(FormChange::Progress);

    if (outcome.cancelled) {
        // Nothing changed, so there is no summary to give and no Outlook to start on it.
        dialogs.message(kRestoreCancelledText, MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    dialogs.message("The Restore was Completed!\t\t\t\r\n" + outcome.summary, MsgIcon::Information,
                    MsgButtons::Ok, kApplicationTitle);

    const std::string setting =
        readSetting(settingsPath(state.programFolder), "General", "runoutlookafterrestore");
    if (settingMatches(setting, 1) && options.startOutlook) {
        std::string folder = platform.registry.getStringValue(
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE",
            "Path");
        folder = folder.substr(0, folder.find('\0'));
        if (folder != "Error" && !folder.empty()) {
            if (folder.back() == '\\') {
                folder.pop_back();
            }
            options.startOutlook(folder + "\\OUTLOOK.EXE");
        }
    }
    return outcome;
}

RestoreOutcome cmdApplyRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options) {
    if (!form.mayStartJob()) {
        return {};
    }
    const MsgAnswer answer = form.platform().dialogs.message(kRestoreConfirmation, MsgIcon::Information,
                                                             MsgButtons::OkCancel, kApplicationTitle);
    if (answer != MsgAnswer::Ok) {
        return {};
    }
    return runRestore(form, archive, options);
}

} // namespace qob
