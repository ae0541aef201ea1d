#include "forms/FailedRunNotice.h"

#include "schedule/AutoRunState.h"
#include "settings/BackupInfo.h"

namespace qob {

std::string automaticRunProblem(const AutoBackupResult& result) {
    if (!result.ran) {
        return "The automatic backup did not run: " + result.reason;
    }
    if (result.cancelled) {
        return "The automatic backup was stopped before it was written; the earlier backup is as it was.";
    }
    if (!result.succeeded) {
        return "The automatic backup failed: " + (result.reason.empty() ? "see the log file" : result.reason);
    }
    if (result.complete) {
        return "";
    }
    std::string text = "The automatic backup is incomplete (" + result.file + ")";
    if (!result.failedItems.empty()) {
        text += "; not backed up:";
        for (std::size_t i = 0; i < result.failedItems.size(); ++i) {
            text += (i > 0 ? ", " : " ") + result.failedItems[i];
        }
    } else if (!result.reason.empty()) {
        text += ": " + result.reason;
    }
    return text;
}

bool sessionBusAvailable(const std::optional<std::string>& busAddress) {
    return busAddress && !busAddress->empty();
}

Status reportAutomaticRun(const std::filesystem::path& programFolder, const AutoBackupResult& result,
                          DesktopNotifier* notifier) {
    const std::string problem = automaticRunProblem(result);
    Status recorded = recordAutomaticRunEnd(programFolder, problem.empty(), problem);
    if (!problem.empty() && notifier) {
        if (Status shown = notifier->notify(kFailedRunTitle, problem); !shown) {
            return shown;
        }
    }
    return recorded;
}

std::optional<FailedRunNotice> unseenFailedRun(const std::filesystem::path& programFolder) {
    const std::optional<AutoRunEnd> end = readAutoRunEnd(programFolder);
    if (!end || end->whole || end->seen) {
        return std::nullopt;
    }
    std::string text = end->problem.empty() ? "The last automatic backup failed." : end->problem;
    if (const AutoRunState state = readAutoRunState(programFolder); state.lastRun) {
        text = "Automatic backup of " + generalDateText(*state.lastRun) + ":\n\n" + text;
    }
    text += "\n\nThe log file tells more.";
    return FailedRunNotice{kFailedRunTitle, text};
}

Status markFailedRunSeen(const std::filesystem::path& programFolder) {
    return markAutomaticRunEndSeen(programFolder);
}

} // namespace qob
