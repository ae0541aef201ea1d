#include "restore/RestoreRun.h"

#include "settings/BackupInfo.h"
#include "settings/RunLog.h"
#include "outlook/OutlookDiscovery.h"
#include "settings/Settings.h"
#include "platform/RunLock.h"
#include "restore/RestoreItems.h"
#include "restore/RestoreTransaction.h"

#include <array>

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
    int advance;
};

// The fixed order of the run; the data files come last, after the configuration.
constexpr std::array<ItemStep, 11> kSteps = {{
    {{0, 1, 4}, ItemKind::Config, "Copying Config...", nullptr, nullptr, "", 10},
    {{0, -1, -1}, ItemKind::Rules, "Copying Rules...", nullptr, nullptr, "", 25},
    {{1, -1, -1},
     ItemKind::Accounts,
     "Copying Accounts...",
     " Restore Accounts Settings ",
     "Restore Accounts Settings",
     "\t",
     10},
    {{2, -1, -1},
     ItemKind::Signatures,
     "Copying Signatures...",
     " Restore Signatures ",
     "Restore Signatures",
     "\t\t",
     10},
    {{3, -1, -1},
     ItemKind::Stationery,
     "Copying Stationeries...",
     " Restore Stationeries ",
     "Restore Stationeries",
     "\t",
     5},
    {{4, -1, -1},
     ItemKind::Pab,
     "Copying Address Book...",
     " Restore Personal Address Book ",
     "Restore Personal Address Book",
     "\t",
     5},
    {{5, -1, -1},
     ItemKind::Configsetting,
     "Copying Options...",
     " Restore Options Settings ",
     "Restore Options Settings",
     "\t",
     5},
    {{6, -1, -1},
     ItemKind::Templates,
     "Copying Templates...",
     " Restore Templates ",
     "Restore Templates",
     "\t\t",
     5},
    {{7, -1, -1},
     ItemKind::Setting,
     "Copying Setting...",
     " Restore Preferences ",
     "Restore Preferences",
     "\t",
     5},
    {{8, -1, -1},
     ItemKind::Contacts,
     "Copying Contacts Folder...",
     " Restore Contacts Folder ",
     "Restore Contacts Folder",
     "\t",
     0},
    {{0, -1, -1},
     ItemKind::Datas,
     "Copying Data Files (PST/OST Files)...",
     " Restore Personal Folders ",
     "Restore Personal Folders",
     "\t",
     0},
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

} // namespace

bool RestoreOutcome::allSucceeded() const {
    for (const RestoreItemResult& r : items) {
        if (!r.ok) {
            return false;
        }
    }
    return ran;
}

RestoreOutcome runRestore(MainForm& form, Archive& archive, const RestoreRunOptions& options) {
    RestoreOutcome outcome;
    Platform& platform = form.platform();
    Dialogs& dialogs = platform.dialogs;
    AppState& state = form.state();
    const RestoreState& restore = state.restore;

    if (restore.invalidFile || !archive.isOpen()) {
        dialogs.message(kInvalidBackupRunMessage, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    bool anyTicked = false;
    for (const CheckBoxState& box : form.restoreItem) {
        anyTicked = anyTicked || box.checked;
    }
    if (!anyTicked) {
        dialogs.message(kSelectItemMessage, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    // Without a profile the profile key would be the profiles root key itself.
    if (isBlankName(form.cbTarget.text())) {
        dialogs.message(kSelectTargetMessage, MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    // A second run on this target system meanwhile would undo this one's registry changes.
    RunLock runLock;
    if (Status locked = lockTargetSystem(platform.system, runLock, "restore"); !locked) {
        dialogs.message(locked.message, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return outcome;
    }
    outcome.ran = true;

    const fs::path logFile = runLogPath(state.programFolder);
    auto log = [&](const std::string& text) {
        if (options.appendLog) {
            options.appendLog(text);
        } else {
            appendLog(logFile, text);
        }
    };
    auto now = [&] { return options.timeText ? options.timeText() : generalDateText(form.now()); };

    log(logSeparator());
    log(now() + " Start Retore Data to Profile " + form.cbTarget.text() + "\n");
    log(now() + " Restore File is " + restore.sourcePath.string() + "\n");

    // Extraction reports each file; the file label follows it and the window stays responsive.
    ArchiveEvents& events = archive.events();
    auto previousExtracted = events.fileExtracted;
    events.fileExtracted = [&](const std::string& name) {
        form.skinLabel9 = name;
        form.notify(FormChange::Progress);
        dialogs.processEvents();
    };

    form.skinLabel9 = "Restore Outlook Data....";
    form.picCon3Visible = true;
    form.pbShow = std::min(100, form.pbShow + 10);
    form.notify(FormChange::Progress);
    dialogs.processEvents();

    RestoreContext ctx(platform, state, archive);
    if (options.freeSpace) {
        ctx.freeSpace = options.freeSpace;
    }
    const std::string target = form.cbTarget.text();
    // Box 0 restores the profile whole, with its data files. Without it the configuration only
    // brings what the accounts or address book need, and the target keeps its own data files.
    const bool wholeProfile = form.restoreItem[0].checked;
    const ConfigScope scope = wholeProfile                  ? ConfigScope::WholeProfile
                              : form.restoreItem[4].checked ? ConfigScope::MissingWithAddressBooks
                                                            : ConfigScope::MissingWithoutFiles;
    // Nothing changes on disk until every item is ready: files wait under temporary names, the
    // registry's changes in memory; the commit then makes them real together.
    RestoreTransaction transaction(platform);
    ctx.transaction = &transaction;
    ctx.targetFilesBefore = filesOfProfile(ctx, target);

    struct StepResult {
        const ItemStep* step;
        bool ok;
        std::size_t problemsBefore, problemsAfter;
    };
    std::vector<StepResult> results;
    for (const ItemStep& step : kSteps) {
        bool selected = false;
        for (int box : step.boxes) {
            selected = selected || (box >= 0 && form.restoreItem[static_cast<std::size_t>(box)].checked);
        }
        const std::size_t position = index(step.kind);
        if (selected && restore.flags.size() > position && restore.flags[position] == '1') {
            form.label1 = step.status;
            form.notify(FormChange::Progress);
            const std::size_t problemsBefore = ctx.problems.size();
            const bool ok = runHandler(ctx, step.kind, target, scope);
            results.push_back({&step, ok, problemsBefore, ctx.problems.size()});
        }
        form.pbShow = std::min(100, form.pbShow + step.advance);
        form.notify(FormChange::Progress);
    }
    if (!wholeProfile) {
        dropForeignDeliveryStores(ctx, target);
    }
    // The last word before anything is written: the target must not end up naming a data file
    // that it did not use before and that this restore does not write (another profile's live
    // mail, or a file that failed to arrive).
    std::string whyNotCommitted;
    if (const std::string foreign = foreignReference(ctx, target); !foreign.empty()) {
        transaction.rollback();
        whyNotCommitted = "The profile \"" + target + "\" would have pointed at " + foreign +
                          ", which this restore did not write, so nothing was restored.";
    } else if (Status committed = transaction.commit(); !committed) {
        whyNotCommitted = committed.message;
    }
    // An item is only reported restored once the commit has made it real.
    for (const StepResult& r : results) {
        const ItemStep& step = *r.step;
        const bool ok = r.ok && whyNotCommitted.empty();
        outcome.items.push_back({step.summaryName ? step.summaryName : "", ok});
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
    events.fileExtracted = previousExtracted;
    outcome.problems = ctx.problems;

    form.pbShow = 100;
    form.label1 = "Operation complete!";
    form.notify(FormChange::Progress);
    log(now() + " Restore Data to Profile " + form.cbTarget.text() + " was Completed!" + "\r");
    form.picCon3Visible = false;
    form.pbShow = 0;
    form.notify(FormChange::Progress);

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
    const MsgAnswer answer = form.platform().dialogs.message(kRestoreConfirmation, MsgIcon::Information,
                                                             MsgButtons::OkCancel, kApplicationTitle);
    if (answer != MsgAnswer::Ok) {
        return {};
    }
    return runRestore(form, archive, options);
}

} // namespace qob
