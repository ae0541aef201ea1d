#include "forms/FormJob.h"

#include <utility>

namespace qob {

std::optional<FormJob> prepareBackupJob(MainForm& form, BackupRun& run, BackupSummary& summary,
                                        std::function<AfterBackupActions()> afterActions,
                                        const bool& quitting) {
    std::optional<BackupRequest> request = run.begin(form);
    if (!request) {
        return std::nullopt;
    }
    FormJob job;
    job.formObserver = run.progressObserver(form);
    TargetContext& platform = form.platform();
    job.work = [&summary, &platform, request = std::move(*request)](JobObserver& observer,
                                                                    const StopToken& stop) {
        summary = runBackupJob(platform, request, observer, stop);
    };
    job.finish = [&form, &run, &summary, &quitting, afterActions = std::move(afterActions)] {
        run.end(form, summary, afterActions ? afterActions() : AfterBackupActions{}, quitting);
        form.showLog(); // the run's entries, for the Logs tab
    };
    return job;
}

std::optional<FormJob> prepareRestoreJob(MainForm& form, Archive& archive, const RestoreRunOptions& options,
                                         bool confirm, RestoreOutcome& outcome, const bool& quitting) {
    if (confirm && (!form.mayStartJob() || !confirmRestore(form))) {
        return std::nullopt;
    }
    std::optional<RestoreRequest> request = beginRestore(form, archive, options);
    if (!request) {
        return std::nullopt;
    }
    FormJob job;
    job.formObserver = restoreProgressObserver(form);
    TargetContext& platform = form.platform();
    job.work = [&outcome, &platform, &archive, request = std::move(*request)](JobObserver& observer,
                                                                              const StopToken& stop) {
        outcome = runRestoreJob(platform, archive, request, observer, stop);
    };
    job.finish = [&form, &outcome, &quitting, options] {
        endRestore(form, outcome, options, quitting);
        form.showLog();
    };
    return job;
}

} // namespace qob
