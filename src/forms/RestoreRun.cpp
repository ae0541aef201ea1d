#include "forms/RestoreRun.h"

#include "forms/OutlookAfterRun.h"
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
    FormRestoreObserver(MainForm& form, bool pumpEvents) : form_(form), pumpEvents_(pumpEvents) {}

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
        form_.skinLabel9 = "Unzip File " + p.file;
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
        if (pumpEvents_) {
            form_.platform().dialogs.processEvents();
        }
    }
    MainForm& form_;
    bool pumpEvents_;
    int start_ = 0;
};

} // namespace

RestoreHeadline restoreHeadline(const RestoreOutcome& outcome) {
    const RestoreResult result = restoreResultOf(outcome);
    return {restoreIconOf(result), restoreHeadlineOf(result)};
}

RestoreRequest restoreRequestOf(const MainForm& form) {
    RestoreRequest request;
    request.profile = form.cbTarget.text();
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        request.boxes[i] = form.restoreItem[i].checked;
    }
    request.state = form.state();
    return request;
}

std::optional<RestoreRequest> beginRestore(MainForm& form, Archive& archive,
                                           const RestoreRunOptions& options) {
    if (!form.mayStartJob()) {
        return std::nullopt;
    }
    RestoreRequest request = restoreRequestOf(form);
    if (auto refusal = checkRestoreRequest(request, archive)) {
        form.platform().dialogs.message(refusal->text, refusal->icon, MsgButtons::Ok, kApplicationTitle);
        return std::nullopt;
    }
    request.freeSpace = options.freeSpace;
    request.appendLog = options.appendLog;
    request.timeText = options.timeText;
    if (!request.timeText) {
        // The form's clock, so a test that sets it sees its own time in the log; it is set before
        // any run and not changed during one, so a worker may read it.
        const MainForm& clockOf = form;
        request.timeText = [&clockOf] { return generalDateText(clockOf.now()); };
    }
    form.jobRunning = true;
    form.notify(FormChange::ApplyButton);
    return request;
}

std::unique_ptr<JobObserver> restoreProgressObserver(MainForm& form, bool pumpEvents) {
    return std::make_unique<FormRestoreObserver>(form, pumpEvents);
}

RestoreOutcome endRestore(MainForm& form, const RestoreOutcome& outcome, const RestoreRunOptions& options,
                          bool quitting) {
    TargetContext& platform = form.platform();
    Dialogs& dialogs = platform.dialogs;
    form.jobRunning = false;
    form.notify(FormChange::ApplyButton);
    if (quitting) {
        form.picCon3Visible = false;
        form.pbShow = 0;
        form.notify(FormChange::Progress);
        return outcome;
    }
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
        dialogs.message(outcome.text, outcome.icon, MsgButtons::Ok, kApplicationTitle);
        return outcome; // nothing changed, so no Outlook to start on it
    }
    // Outlook first, so that the one box says when it could not be started; not after a failed
    // run, which restored nothing.
    std::string outlookNote;
    const std::string setting =
        readSetting(settingsPath(form.state().programFolder), "General", "runoutlookafterrestore");
    if (!outcome.failed && settingMatches(setting, 1) && options.startOutlook) {
        outlookNote = startOutlookAfterRun(platform, options.startOutlook);
    }
    // The headline and the icon follow the result: "Completed" only when every chosen item came;
    // the job's text holds the reasons as well.
    const RestoreHeadline headline = restoreHeadline(outcome);
    const std::string text =
        outcome.text.empty() ? headline.text + "\t\t\t\r\n" + outcome.summary : outcome.text;
    dialogs.message(text + (outlookNote.empty() ? "" : "\r\n\r\n" + outlookNote), headline.icon,
                    MsgButtons::Ok, kApplicationTitle);
    return outcome;
}

RestoreOutcome runRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options) {
    std::optional<RestoreRequest> request = beginRestore(form, archive, options);
    if (!request) {
        return {};
    }
    const std::unique_ptr<JobObserver> observer = restoreProgressObserver(form, true);
    const StopToken never;
    const RestoreOutcome outcome =
        runRestoreJob(form.platform(), archive, *request, *observer, options.stop ? *options.stop : never);
    return endRestore(form, outcome, options);
}

bool confirmRestore(MainForm& form) {
    return form.platform().dialogs.message(kRestoreConfirmation, MsgIcon::Information, MsgButtons::OkCancel,
                                           kApplicationTitle) == MsgAnswer::Ok;
}

RestoreOutcome cmdApplyRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options) {
    if (!form.mayStartJob()) {
        return {};
    }
    if (!confirmRestore(form)) {
        return {};
    }
    return runRestore(form, archive, options);
}

} // namespace qob
