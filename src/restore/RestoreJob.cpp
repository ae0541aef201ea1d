#include "restore/RestoreJob.h"

#include "outlook/OutlookDiscovery.h"
#include "platform/AsciiCase.h"
#include "platform/RunLock.h"
#include "restore/RestoreItems.h"
#include "restore/RestoreNames.h"
#include "restore/RestoreTransaction.h"
#include "settings/BackupInfo.h"
#include "settings/RunLog.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

namespace qob {

namespace fs = std::filesystem;

namespace {

struct ItemStep {
    std::array<int, 3> boxes; // restore boxes that select the step (-1: none)
    ItemKind kind;
    const char* status;
    const char* logText; // nullptr: not logged, not summarised
    const char* summaryName;
    const char* tabs;
};

// The fixed order of the run; the data files come last, after the configuration.
constexpr std::array<ItemStep, 11> kSteps = {{
    {{0, 1, 4}, ItemKind::Config, "Copying Config...", nullptr, nullptr, ""},
    {{0, -1, -1}, ItemKind::Rules, "Copying Rules...", nullptr, nullptr, ""},
    {{1, -1, -1},
     ItemKind::Accounts,
     "Copying Accounts...",
     " Restore Accounts Settings ",
     "Restore Accounts Settings",
     "\t"},
    {{2, -1, -1},
     ItemKind::Signatures,
     "Copying Signatures...",
     " Restore Signatures ",
     "Restore Signatures",
     "\t\t"},
    {{3, -1, -1},
     ItemKind::Stationery,
     "Copying Stationeries...",
     " Restore Stationeries ",
     "Restore Stationeries",
     "\t"},
    {{4, -1, -1},
     ItemKind::Pab,
     "Copying Address Book...",
     " Restore Personal Address Book ",
     "Restore Personal Address Book",
     "\t"},
    {{5, -1, -1},
     ItemKind::Configsetting,
     "Copying Options...",
     " Restore Options Settings ",
     "Restore Options Settings",
     "\t"},
    {{6, -1, -1},
     ItemKind::Templates,
     "Copying Templates...",
     " Restore Templates ",
     "Restore Templates",
     "\t\t"},
    {{7, -1, -1},
     ItemKind::Setting,
     "Copying Setting...",
     " Restore Preferences ",
     "Restore Preferences",
     "\t"},
    {{8, -1, -1},
     ItemKind::Contacts,
     "Copying Contacts Folder...",
     " Restore Contacts Folder ",
     "Restore Contacts Folder",
     "\t"},
    {{0, -1, -1},
     ItemKind::Datas,
     "Copying Data Files (PST/OST Files)...",
     " Restore Personal Folders ",
     "Restore Personal Folders",
     "\t"},
}};

// The configuration and the rules have no line of their own while they work; when they fail they
// get one under these names, or the summary would show a restore whose profile was not restored
// as a success.
const char* failureName(ItemKind kind) {
    return kind == ItemKind::Config ? "Restore Profile Configuration" : "Restore Rules";
}

// A reason goes into one log entry: its own line breaks (a name from the backup) would split it.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

bool runHandler(RestoreContext& ctx, ItemKind kind, const std::string& profile, ConfigScope scope) {
    switch (kind) {
    case ItemKind::Config:
        return restoreConfig(ctx, profile, scope);
    case ItemKind::Datas:
        return restoreDatas(ctx, profile);
    case ItemKind::Rules:
        return restoreRules(ctx, profile);
    case ItemKind::Accounts:
        return restoreAccounts(ctx, profile);
    case ItemKind::Signatures:
        return restoreSignatures(ctx);
    case ItemKind::Stationery:
        return restoreStationery(ctx);
    case ItemKind::Pab:
        return restorePab(ctx, profile);
    case ItemKind::Configsetting:
        return restoreConfigsetting(ctx);
    case ItemKind::Templates:
        return restoreTemplates(ctx);
    case ItemKind::Setting:
        return restoreSetting(ctx, profile);
    case ItemKind::Contacts:
        return restoreContacts(ctx);
    }
    return false;
}

bool selected(const ItemStep& step, const RestoreRequest& request) {
    const RestoreState& restore = request.state.restore;
    bool ticked = false;
    for (int box : step.boxes) {
        ticked = ticked || (box >= 0 && request.boxes[static_cast<std::size_t>(box)]);
    }
    const std::size_t position = index(step.kind);
    return ticked && restore.flags.size() > position && restore.flags[position] == '1';
}

// A reported item whose box is ticked while the backup does not hold it (qob restore --items).
bool chosenButNotHeld(const ItemStep& step, const RestoreRequest& request) {
    const std::size_t position = index(step.kind);
    const std::string& flags = request.state.restore.flags;
    return step.logText && request.boxes[static_cast<std::size_t>(step.boxes[0])] &&
           (flags.size() <= position || flags[position] != '1');
}

// The bytes the selected steps will extract, as the handlers will go about it: what the extraction
// progress counts towards. An entry the backup lacks counts nothing; a handler that fails early
// leaves the total short, never the count beyond it.
std::uint64_t bytesToExtract(RestoreContext& ctx, const RestoreRequest& request) {
    std::map<std::string, std::uint64_t> sizes;
    for (const ArchiveEntryInfo& e : ctx.archive.entries()) {
        sizes.emplace(lowerAscii(e.name), e.size);
    }
    auto sizeOf = [&](const std::string& name) {
        auto it = sizes.find(lowerAscii(name));
        return it == sizes.end() ? std::uint64_t{0} : it->second;
    };
    Registry& registry = ctx.platform.registry;
    std::uint64_t total = 0;
    for (const ItemStep& step : kSteps) {
        if (!selected(step, request)) {
            continue;
        }
        const std::string& value = ctx.state.restore.itemValues[index(step.kind)];
        std::string key;
        switch (step.kind) {
        case ItemKind::Config:
            key = restoreProfileKey(ctx.state, request.profile);
            break;
        case ItemKind::Accounts:
            key = restoreAccountsKey(ctx.state, request.profile);
            break;
        case ItemKind::Configsetting:
            key = restoreOptionsKey(ctx.state);
            break;
        default:
            break;
        }
        if (!key.empty()) {
            total += registry.keyExists(key) ? sizeOf(value) : 0;
            continue;
        }
        std::set<std::string> seen;
        for (const std::string& name : splitItemValue(value)) {
            const bool rulesFile = name.size() > 4 && equalsIgnoreCase(name.substr(name.size() - 4), ".rwz");
            if (step.kind == ItemKind::Setting && rulesFile &&
                !equalsIgnoreCase(name, request.profile + ".rwz")) {
                continue; // another profile's rules are not restored
            }
            // The rules item writes each of its names; every other item writes a name once.
            if (step.kind == ItemKind::Rules || seen.insert(lowerAscii(name)).second) {
                total += sizeOf(name);
            }
        }
    }
    return total;
}

// Turns the archive's per-entry byte counts into one count for the whole extraction phase, which
// only ever grows: an entry that failed half-way keeps the bytes it had when the next one starts.
class ExtractionCounter {
public:
    ExtractionCounter(JobObserver& observer, std::uint64_t total) : observer_(observer), total_(total) {}
    void bytes(const std::string& name, std::uint64_t done) {
        if (name != current_ || done < currentDone_) {
            entryEnded();
            current_ = name;
        }
        currentDone_ = done;
        report(name);
    }
    void entryEnded() {
        completed_ += currentDone_;
        currentDone_ = 0;
    }
    void report(const std::string& name) {
        const std::uint64_t done = completed_ + currentDone_;
        // A handler may extract more than planned (a name the estimate could not foresee).
        total_ = std::max(total_, done);
        observer_.progress({JobPhase::Extracting, name, done, total_});
    }

private:
    JobObserver& observer_;
    std::uint64_t total_;
    std::string current_;
    std::uint64_t currentDone_ = 0;
    std::uint64_t completed_ = 0;
};

// The job's own archive events for as long as it runs; whatever was there before comes back.
class ArchiveEventsScope {
public:
    explicit ArchiveEventsScope(ArchiveEvents& events) : events_(events), saved_(events) {}
    ~ArchiveEventsScope() { events_ = saved_; }
    ArchiveEventsScope(const ArchiveEventsScope&) = delete;
    ArchiveEventsScope& operator=(const ArchiveEventsScope&) = delete;

private:
    ArchiveEvents& events_;
    ArchiveEvents saved_;
};

} // namespace

bool RestoreSummary::allSucceeded() const {
    for (const RestoreItemResult& r : items) {
        if (!r.ok) {
            return false;
        }
    }
    return ran && !cancelled;
}

std::optional<RestoreRefusal> checkRestoreRequest(const RestoreRequest& request, const Archive& archive) {
    if (request.state.restore.invalidFile || !archive.isOpen()) {
        return RestoreRefusal{kInvalidBackupRunMessage, MsgIcon::Critical};
    }
    if (std::none_of(request.boxes.begin(), request.boxes.end(), [](bool b) { return b; })) {
        return RestoreRefusal{kSelectItemMessage, MsgIcon::Warning};
    }
    // Without a profile the profile key would be the profiles root key itself.
    if (isBlankName(request.profile)) {
        return RestoreRefusal{kSelectTargetMessage, MsgIcon::Warning};
    }
    return std::nullopt;
}

RestoreSummary runRestoreJob(TargetContext& platform, Archive& archive, const RestoreRequest& request,
                             JobObserver& observer, const StopToken& stop) {
    RestoreSummary outcome;
    observer.phaseStarted(JobPhase::Preparing);
    auto refuse = [&](std::string text, MsgIcon icon) {
        outcome.refusal = std::move(text);
        outcome.refusalIcon = icon;
        outcome.text = outcome.refusal;
        outcome.icon = icon;
        observer.phaseStarted(JobPhase::Finished);
        return outcome;
    };
    if (auto refusal = checkRestoreRequest(request, archive)) {
        return refuse(refusal->text, refusal->icon);
    }
    // A second run on this target system meanwhile would undo this one's registry changes.
    RunLock runLock;
    if (Status locked = lockTargetSystem(platform.system, runLock, "restore"); !locked) {
        return refuse(locked.message, MsgIcon::Critical);
    }
    // The registry as the run that held the lock before left it, not as it was read before this
    // run waited: changes held on an older copy could not be saved over the newer file. (Nothing
    // is unsaved here, every change outside a restore is saved at once; flushed all the same.)
    platform.registry.flush();
    platform.registryStore.discardChanges();
    // What a killed restore left is finished (or cleared) before this one stages its own files.
    if (Status recovered = completeInterruptedRestore(platform); !recovered) {
        return refuse(recovered.message, MsgIcon::Critical);
    }
    outcome.ran = true;

    AppState state = request.state;
    const fs::path logFile = runLogPath(state.programFolder);
    auto log = [&](const std::string& text) {
        if (request.appendLog) {
            request.appendLog(text);
        } else {
            appendLog(logFile, text);
        }
        std::string line = text;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        observer.logLine(line);
    };
    auto now = [&] {
        return request.timeText ? request.timeText() : generalDateText(std::chrono::system_clock::now());
    };
    const std::string& target = request.profile;
    log(logSeparator());
    log(now() + " Start Retore Data to Profile " + target + "\n");
    log(now() + " Restore File is " + state.restore.sourcePath.string() + "\n");

    RestoreContext ctx(platform, state, archive);
    if (request.freeSpace) {
        ctx.freeSpace = request.freeSpace;
    }
    ctx.stop = &stop;
    // Box 0 restores the profile whole, with its data files. Without it the configuration only
    // brings what the accounts or address book need, and the target keeps its own data files.
    const bool wholeProfile = request.boxes[0];
    const ConfigScope scope = wholeProfile       ? ConfigScope::WholeProfile
                              : request.boxes[4] ? ConfigScope::MissingWithAddressBooks
                                                 : ConfigScope::MissingWithoutFiles;
    // Nothing changes on disk until every item is ready: files wait under temporary names, the
    // registry's changes in memory; the commit then makes them real together.
    RestoreTransaction transaction(platform);
    ctx.transaction = &transaction;
    ctx.targetFilesBefore = filesOfProfile(ctx, target);

    ArchiveEventsScope eventsScope(archive.events());
    ExtractionCounter counter(observer, bytesToExtract(ctx, request));
    ArchiveEvents& events = archive.events();
    events.bytes = [&](const std::string& name, std::uint64_t done, std::uint64_t) {
        counter.bytes(name, done);
    };
    events.fileExtracted = [&](const std::string&) { counter.entryEnded(); };
    events.stopRequested = [&] { return stop.stopRequested(); };

    observer.phaseStarted(JobPhase::Extracting);
    counter.report("");
    struct StepResult {
        const ItemStep* step;
        bool ok;
        std::size_t problemsBefore, problemsAfter;
    };
    std::vector<StepResult> results;
    for (const ItemStep& step : kSteps) {
        if (stop.stopRequested()) {
            break;
        }
        if (selected(step, request)) {
            observer.status(step.status);
            const std::size_t problemsBefore = ctx.problems.size();
            const bool ok = runHandler(ctx, step.kind, target, scope);
            results.push_back({&step, ok, problemsBefore, ctx.problems.size()});
        } else if (chosenButNotHeld(step, request)) {
            // Asked for by name and not there: a restore without it is not the one asked for.
            const std::size_t problemsBefore = ctx.problems.size();
            ctx.fail("The backup holds no " + std::string(step.summaryName).substr(8) +
                     "; it was not restored.");
            results.push_back({&step, false, problemsBefore, ctx.problems.size()});
        }
    }
    // Asked once more after the last item: an extraction it stopped has failed that item, and a
    // restore with a missing piece must not be committed.
    std::string whyNotCommitted;
    const auto failedStep =
        std::find_if(results.begin(), results.end(), [](const StepResult& r) { return !r.ok; });
    if (stop.stopRequested()) {
        transaction.rollback();
        outcome.cancelled = true;
        whyNotCommitted = kRestoreCancelledText;
    } else if (failedStep != results.end()) {
        // All chosen items or none: a profile restored but for one item is neither the old one
        // nor the backup's, and the user could not tell which parts are which.
        transaction.rollback();
        const ItemStep& step = *failedStep->step;
        outcome.failedItem = step.summaryName ? step.summaryName : failureName(step.kind);
        for (std::size_t i = failedStep->problemsBefore; i < failedStep->problemsAfter; ++i) {
            outcome.failedReason += (outcome.failedReason.empty() ? "" : " ") + oneLine(ctx.problems[i]);
        }
        std::string because = outcome.failedReason.empty() ? "." : ": " + outcome.failedReason;
        if (because.back() != '.' && because.back() != '!' && because.back() != '?') {
            because += '.';
        }
        whyNotCommitted = "Nothing was restored, because \"" + outcome.failedItem +
                          "\" could not be restored" + because +
                          " Untick it and restore again to restore the other items.";
        outcome.failed = true;
    } else {
        if (!wholeProfile) {
            dropForeignDeliveryStores(ctx, target);
        }
        // From here on the run is not stopped: the commit is short, and half a commit is what the
        // journal exists to repair, not something to cause on purpose.
        observer.phaseStarted(JobPhase::Committing);
        // The last word before anything is written: the target must not end up naming a data file
        // that it did not use before and that this restore does not write (another profile's live
        // mail, or a file that failed to arrive).
        if (const std::string foreign = foreignReference(ctx, target); !foreign.empty()) {
            transaction.rollback();
            whyNotCommitted = "The profile \"" + target + "\" would have pointed at " + foreign +
                              ", which this restore did not write, so nothing was restored.";
        } else if (Status committed = transaction.commit(); !committed) {
            whyNotCommitted = committed.message;
        }
        outcome.committed = whyNotCommitted.empty();
        outcome.failed = !outcome.committed;
    }
    // An item is only reported restored once the commit has made it real.
    for (const StepResult& r : results) {
        const ItemStep& step = *r.step;
        const bool ok = r.ok && whyNotCommitted.empty();
        std::string reason;
        for (std::size_t i = r.problemsBefore; i < r.problemsAfter; ++i) {
            reason += (reason.empty() ? "" : " ") + oneLine(ctx.problems[i]);
        }
        if (!ok && reason.empty()) {
            reason = whyNotCommitted;
        }
        outcome.items.push_back({step.summaryName ? step.summaryName : "", ok, ok ? "" : reason});
        if (step.logText) {
            log(now() + step.logText + (ok ? "Succeeded!" : "Fail!") + "\n");
            outcome.summary +=
                std::string("\r\n") + step.summaryName + step.tabs + (ok ? "Succeeded!" : "Fail!") + "\t";
        } else if (!ok) {
            const std::string name = failureName(step.kind);
            log(now() + " " + name + " Fail!\n");
            outcome.summary += "\r\n" + name + (step.kind == ItemKind::Rules ? "\t\t" : "\t") + "Fail!\t";
        }
        for (std::size_t i = r.problemsBefore; i < r.problemsAfter; ++i) {
            log(now() + " " + oneLine(ctx.problems[i]) + "\n");
        }
    }
    if (!whyNotCommitted.empty()) {
        ctx.problems.push_back(whyNotCommitted);
        log(now() + " " + oneLine(whyNotCommitted) + "\n");
        outcome.summary += "\r\n" + whyNotCommitted;
    }
    outcome.problems = ctx.problems;
    settleRestoreResult(outcome, whyNotCommitted);
    log(now() + restoreEndLogEntry(outcome, target));
    observer.phaseStarted(JobPhase::Finished);
    return outcome;
}

} // namespace qob
