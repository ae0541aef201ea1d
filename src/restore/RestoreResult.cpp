// A restore's result in words: only a restore that brought every chosen item is "Completed".
#include "restore/RestoreJob.h"

#include <algorithm>

namespace qob {

namespace {

std::string oneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

} // namespace

const char* restoreResultName(RestoreResult result) {
    switch (result) {
    case RestoreResult::Whole:
        return "whole";
    case RestoreResult::Incomplete:
        return "incomplete";
    case RestoreResult::Failed:
        return "failed";
    case RestoreResult::Cancelled:
        return "cancelled";
    }
    return "";
}

RestoreResult restoreResultOf(const RestoreSummary& summary) {
    if (summary.cancelled) {
        return RestoreResult::Cancelled;
    }
    if (summary.failed || !summary.committed) {
        return RestoreResult::Failed;
    }
    const bool allItems = std::all_of(summary.items.begin(), summary.items.end(),
                                      [](const RestoreItemResult& item) { return item.ok; });
    return allItems ? RestoreResult::Whole : RestoreResult::Incomplete;
}

const char* restoreHeadlineOf(RestoreResult result) {
    switch (result) {
    case RestoreResult::Whole:
        return kRestoreCompleted;
    case RestoreResult::Incomplete:
        return kRestoreIncomplete;
    case RestoreResult::Failed:
        return kRestoreFailed;
    case RestoreResult::Cancelled:
        return kRestoreCancelled;
    }
    return kRestoreFailed;
}

MsgIcon restoreIconOf(RestoreResult result) {
    switch (result) {
    case RestoreResult::Whole:
        return MsgIcon::Information;
    case RestoreResult::Incomplete:
    case RestoreResult::Cancelled:
        return MsgIcon::Warning;
    case RestoreResult::Failed:
        break;
    }
    return MsgIcon::Critical;
}

void settleRestoreResult(RestoreSummary& summary, const std::string& whyNotCommitted) {
    if (!whyNotCommitted.empty() && !summary.cancelled) {
        summary.failed = true;
        summary.committed = false;
    }
    summary.result = restoreResultOf(summary);
    summary.icon = restoreIconOf(summary.result);
    summary.text = std::string(restoreHeadlineOf(summary.result)) + "\t\t\t\r\n" + summary.summary;
    // The reasons belong in the message, not only in the log: the item lines say only "Fail!". A
    // cancelled run's items failed because it was stopped, which its headline says already.
    if (summary.result != RestoreResult::Cancelled) {
        for (const std::string& why : summary.problems) {
            if (why != whyNotCommitted) {
                summary.text += "\r\n" + why;
            }
        }
    }
}

std::string restoreEndLogEntry(const RestoreSummary& summary, const std::string& profile) {
    const std::string head = " Restore Data to Profile " + profile;
    switch (summary.result) {
    case RestoreResult::Whole:
        return head + " was Completed!\r";
    case RestoreResult::Incomplete:
        return head + " is Incomplete!\r";
    case RestoreResult::Cancelled:
        return head + " was Cancelled!\r";
    case RestoreResult::Failed:
        break;
    }
    const std::string why = summary.problems.empty() ? std::string() : " " + oneLine(summary.problems.back());
    return head + " Failed!" + why + "\r";
}

} // namespace qob
