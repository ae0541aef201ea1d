#include "backup/BackupJob.h"

#include "backup/BackupSession.h"
#include "backup/BackupTarget.h"
#include "backup/CloseOutlook.h"
#include "outlook/OutlookDiscovery.h"
#include "settings/BackupInfo.h"
#include "settings/RunLog.h"
#include "settings/Settings.h"

#include <algorithm>

namespace qob {

namespace fs = std::filesystem;

namespace {

// One step of the run: its kind, the boxes that select it, its status text, and the box whose
// result name it is logged and summarised under (-1: the configuration, see run()).
struct Step {
    ItemKind kind;
    std::vector<std::size_t> boxes;
    const char* status;
    int resultBox;
};

const std::vector<Step>& steps() {
    static const std::vector<Step> table = {
        {ItemKind::Config, {0, 1, 4}, "Copying Config...", -1},
        {ItemKind::Datas, {0}, "Copying Data Files (Pst Files)...", 0},
        {ItemKind::Rules, {0}, "Copying Rules...", -2},
        {ItemKind::Accounts, {1}, "Copying Accounts...", 1},
        {ItemKind::Signatures, {2}, "Copying Signatures...", 2},
        {ItemKind::Stationery, {3}, "Copying Stationeries...", 3},
        {ItemKind::Pab, {4}, "Copying Address Book...", 4},
        {ItemKind::Configsetting, {5}, "Copying Options...", 5},
        {ItemKind::Templates, {6}, "Copying Templates...", 6},
        {ItemKind::Setting, {7}, "Copying Setting...", 7},
        {ItemKind::Contacts, {8}, "Copying Contacts Folder...", 8},
    };
    return table;
}

std::string summaryLine(const std::string& name, bool ok) {
    return "\r\n" + name + "\t" + (ok ? "Succeeded!" : "Fail!") + "\t";
}

// Bytes reach the observer about once a megabyte (the archive reports every block it reads),
// and always at a file's end, so a window is never flooded and never left short of 100 %.
class ByteReporter {
public:
    ByteReporter(JobObserver& observer, JobPhase phase) : observer_(observer), phase_(phase) {}
    void operator()(const std::string& file, std::uint64_t done, std::uint64_t total) {
        if (file == file_ && done < reported_ + kStep && done != total) {
            return;
        }
        file_ = file;
        reported_ = done;
        observer_.progress({phase_, file, done, total});
    }

private:
    static constexpr std::uint64_t kStep = 1024 * 1024;
    JobObserver& observer_;
    JobPhase phase_;
    std::string file_;
    std::uint64_t reported_ = 0;
};

class Job {
public:
    Job(TargetContext& platform, const BackupRequest& request, JobObserver& observer, const StopToken& stop)
        : platform_(platform), request_(request), state_(request.state), observer_(observer), stop_(stop),
          log_(runLogPath(platform.programFolder)) {}

    BackupSummary run();

private:
    std::string now() const {
        return generalDateText(request_.clock ? request_.clock() : std::chrono::system_clock::now());
    }
    void log(const std::string& entry) {
        appendLog(log_, entry);
        observer_.logLine(entry);
    }
    bool ticked(const Step& step) const {
        return std::any_of(step.boxes.begin(), step.boxes.end(),
                           [this](std::size_t b) { return request_.items[b]; });
    }
    std::function<bool()> stopCheck() const {
        return [&stop = stop_] { return stop.stopRequested(); };
    }

    TargetContext& platform_;
    const BackupRequest& request_;
    AppState state_;
    JobObserver& observer_;
    const StopToken& stop_;
    fs::path log_;
};

BackupSummary Job::run() {
    BackupSummary summary;
    const std::string& profile = request_.profile;
    observer_.phaseStarted(JobPhase::Preparing);

    // Before anything else: a path that names a mail file, the registry or any file that is not a
    // backup is refused with Outlook left running and every file as it was.
    const std::string refused = backupTargetRefusal(platform_, request_.target);

    // Outlook is asked to close and waited for (it saves its files); it is never killed. Before
    // anything reads the registry, which Wine writes back only once Outlook has gone.
    bool outlookClosed = true;
    if (request_.autocloseOutlook && refused.empty()) {
        outlookClosed = closeOutlook(platform_.system, [this] { observer_.status(kWaitingForOutlook); });
        observer_.status("");
    }
    if (request_.readProfileValues) {
        setProfileValues(platform_.registry, state_, profile);
    }

    Archive archive;
    archive.setWorkingFolder(platform_.programFolder);
    archive.events().fileAdded = [this](const std::string& name) {
        observer_.progress({JobPhase::Preparing, name, 0, 0});
    };
    ByteReporter writing(observer_, JobPhase::Writing);
    archive.events().bytes = [&writing](const std::string& name, std::uint64_t done, std::uint64_t total) {
        writing(name, done, total);
    };
    archive.events().stopRequested = stopCheck();

    BackupSession session(platform_, state_, archive);
    if (!outlookClosed) {
        holdBackOutlookFiles(session);
    }
    InfoHeader header;
    header.computer = state_.computerName;
    header.logonUser = state_.logonUser;
    header.identity = profile;
    header.time = now();
    header.outlookVersion = getOutlookVersion(platform_.registry, state_);
    header.description = request_.description;

    log(logSeparator());
    log(request_.automatic ? logAutoRunStart(now(), profile) : logRunStart(now(), profile));
    log(logTarget(now(), request_.target.string()));

    Status started = refused.empty() ? session.begin(request_.target, header) : Status::failure(refused);
    // Item results are reported only after the write: an item has not "Succeeded!" until the
    // archive holding it is on disk.
    struct Ran {
        ItemKind kind;
        std::string name;
        bool ok;
    };
    std::vector<Ran> ran;
    bool stopped = false;
    if (started) {
        for (const Step& step : steps()) {
            if (stop_.stopRequested()) {
                stopped = true;
                break;
            }
            if (!ticked(step)) {
                continue;
            }
            observer_.status(step.status);
            const bool ok = session.run(step.kind, profile);
            if (step.resultBox >= 0) {
                ran.push_back({step.kind, itemResultName(static_cast<std::size_t>(step.resultBox)), ok});
            } else if (step.resultBox == -1 && (request_.automatic || !ok)) {
                // The data files, accounts and address book cannot be restored without it: its
                // failure must not pass unmentioned.
                ran.push_back({step.kind, kConfigResultName, ok});
            }
        }
        stopped = stopped || stop_.stopRequested();
    }
    summary.flags = session.flags();

    BackupSession::Result written;
    if (!started) {
        written.written = started;
        written.file = request_.target;
    } else if (stopped) {
        session.abandon();
        written.written = Status::stopped("The backup was cancelled; \"" + request_.target.string() +
                                          "\" was not written.");
        written.file = request_.target;
    } else {
        observer_.phaseStarted(JobPhase::Writing);
        written = session.write(request_.password, request_.checkAfter);
        if (written.written && request_.checkAfter) {
            observer_.phaseStarted(JobPhase::Checking);
            ByteReporter checking(observer_, JobPhase::Checking);
            ArchiveEvents events;
            events.bytes = [&checking](const std::string& name, std::uint64_t done, std::uint64_t total) {
                checking(name, done, total);
            };
            events.stopRequested = stopCheck();
            session.check(written, request_.password, events);
        }
    }
    const bool cancelled = written.written.cancelled || written.check.cancelled;

    // An item that left out a file it meant to store is not in the backup whole: "Fail!", with the
    // files it lacks as its reason. The rules travel under the personal folders' box.
    const auto& incomplete = session.incompleteKinds();
    auto leftOut = [&](ItemKind kind) {
        return std::find(incomplete.begin(), incomplete.end(), kind) != incomplete.end();
    };
    std::string lines;
    for (const Ran& item : ran) {
        const bool whole = !leftOut(item.kind) && !(item.kind == ItemKind::Datas && leftOut(ItemKind::Rules));
        const bool stored = item.ok && whole && static_cast<bool>(written.written) && !cancelled;
        lines += summaryLine(item.name, stored);
        log(logItemResult(now(), item.name, stored));
        std::string reason = stored ? std::string() : session.reasonFor(item.kind);
        if (!stored && item.kind == ItemKind::Datas && leftOut(ItemKind::Rules)) {
            const std::string rules = session.reasonFor(ItemKind::Rules);
            reason += (reason.empty() || rules.empty() ? "" : "; ") + rules;
        }
        if (!stored && reason.empty() && !written.written) {
            reason = written.written.message;
        }
        summary.items.push_back({item.name, stored, reason});
        if (!stored) {
            summary.failedItems.push_back(item.name);
        }
    }
    if (!started) {
        // Refused before any item ran: each chosen item is still named, with the reason.
        for (const Step& step : steps()) {
            if (ticked(step) && step.resultBox >= 0) {
                const std::string name = itemResultName(static_cast<std::size_t>(step.resultBox));
                summary.items.push_back({name, false, started.message});
                summary.failedItems.push_back(name);
            }
        }
    }
    summary.notStored = session.notStored();
    for (const std::string& missing : summary.notStored) {
        lines += "\r\nNot stored: " + missing;
        log(logNotStored(now(), missing));
    }
    if (written.checked && !written.check.cancelled) {
        lines += summaryLine(kCheckResultName, static_cast<bool>(written.check));
        log(logItemResult(now(), kCheckResultName, static_cast<bool>(written.check)));
        summary.items.push_back({kCheckResultName, static_cast<bool>(written.check), written.check.message});
    }

    const bool succeeded = written.written && (!written.checked || written.check) && !cancelled;
    summary.file = written.file;
    if (cancelled) {
        summary.end = BackupEnd::Cancelled;
        summary.reason = written.check.cancelled ? written.check.message : written.written.message;
        log(logRunFailed(now(), profile, summary.reason));
        summary.text = std::string(kBackupCancelled) + "\t\t\t\r\n" + summary.reason + "\r\n" + lines;
        summary.icon = MsgIcon::Warning;
    } else if (succeeded && session.complete() && summary.notStored.empty()) {
        summary.end = BackupEnd::Complete;
        log(logRunEnd(now(), profile));
        summary.text = std::string(kBackupCompleted) + "\t\t\t\r\n" + lines;
        summary.icon = MsgIcon::Information;
    } else if (succeeded) {
        summary.end = BackupEnd::Incomplete;
        summary.besideEarlier = written.besideEarlier;
        if (written.besideEarlier) {
            summary.reason = writtenBesideText(written.file, request_.target);
            lines += "\r\n" + summary.reason;
            log(logWrittenBeside(now(), written.file.string(), request_.target.string()));
        }
        log(logRunIncomplete(now(), profile));
        summary.text = std::string(kBackupIncomplete) + "\t\t\t\r\n" + lines;
        summary.icon = MsgIcon::Warning;
    } else {
        summary.end = BackupEnd::Failed;
        summary.reason = !written.written ? written.written.message : written.check.message;
        log(logRunFailed(now(), profile, summary.reason));
        summary.text = std::string(kBackupFailed) + "\t\t\t\r\n" + summary.reason + "\r\n" + lines;
        summary.icon = MsgIcon::Critical;
    }
    observer_.phaseStarted(JobPhase::Finished);
    return summary;
}

} // namespace

void readBackupSettings(const fs::path& programFolder, BackupRequest& request) {
    const fs::path settings = settingsPath(programFolder);
    request.autocloseOutlook = settingMatches(readSetting(settings, "Backup", "autocloseoutlook"), 1);
    request.checkAfter = settingMatches(readSetting(settings, "General", "checkbackupfile"), 1);
}

const char* backupStepStatus(ItemKind kind) {
    for (const Step& step : steps()) {
        if (step.kind == kind) {
            return step.status;
        }
    }
    return "";
}

std::string writtenBesideText(const fs::path& file, const fs::path& earlier) {
    return "The backup is incomplete, so it was written as " + file.string() + "; the earlier backup " +
           earlier.string() + " holds what this one lacks and was left as it is.";
}

std::optional<BackupRefusal> refuseBackupRequest(const BackupRequest& request) {
    if (request.target.empty()) {
        return BackupRefusal{"Invalid backup file.", MsgIcon::Warning};
    }
    if (std::none_of(request.items.begin(), request.items.end(), [](bool b) { return b; })) {
        return BackupRefusal{"Please select at least one item.", MsgIcon::Warning};
    }
    return std::nullopt;
}

BackupSummary runBackupJob(TargetContext& platform, const BackupRequest& request, JobObserver& observer,
                           const StopToken& stop) {
    return Job(platform, request, observer, stop).run();
}

} // namespace qob
