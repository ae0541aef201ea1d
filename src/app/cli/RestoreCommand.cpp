// qob restore: the restore tab without the window. Opens the backup, ticks the items asked for (or
// every item the backup holds) and runs the restore into the named profile.
#include "app/cli/RestoreCommand.h"

#include "app/cli/CommandOutput.h"
#include "app/cli/JsonEvents.h"
#include "app/cli/Target.h"
#include "app/cli/TerminalText.h"
#include "forms/OpenBackup.h"
#include "forms/RestoreRun.h"
#include "restore/RestoreJob.h"
#include "restore/RestoreTransaction.h"

#include <algorithm>
#include <optional>
#include <ostream>

namespace qob::cli {
namespace {

// Refusals and failures go to stderr; the completion message is printed by the command itself.
class RestoreDialogs : public SilentDialogs {
public:
    explicit RestoreDialogs(std::ostream& err) : err_(err) {}
    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override {
        if (text.rfind(kRestoreCompleted, 0) != 0) {
            err_ << "qob: " << text << "\n";
        }
        return SilentDialogs::message(text, icon, buttons, title);
    }
    // The password given on the command line answers the prompt once; asked again (it was
    // wrong), there is nobody to type another, so the opening ends.
    void givePassword(std::string password) { password_ = std::move(password); }
    std::optional<std::string> askPassword(const std::string&) override {
        std::optional<std::string> answer = std::move(password_);
        password_.reset();
        return answer;
    }

private:
    std::ostream& err_;
    std::optional<std::string> password_;
};

} // namespace

namespace {

// qob restore --abandon: the way out of a restore whose commit cannot be completed.
int abandonRestore(const Args& args, std::ostream& out, std::ostream& err) {
    if (!args.positional.empty() || args.has("--profile") || args.has("--items")) {
        err << "usage: qob restore --abandon (nothing else: it undoes the interrupted restore)\n";
        return 2;
    }
    RestoreDialogs dialogs(err);
    std::string error;
    std::optional<std::string> prefixOption;
    if (args.has("--prefix")) {
        prefixOption = args.get("--prefix");
    }
    auto target = Target::open(prefixOption, dialogs, error, PrefixPolicy::CommandLineTool, false);
    if (!target) {
        err << "qob: " << error << "\n";
        return 1;
    }
    if (target->store().serverRunning()) {
        err << "qob: the wineserver of " << target->prefix().string()
            << " is running; close the programs of that prefix (or run `wineserver -k`) and try again\n";
        return 1;
    }
    std::string note;
    if (Status undone = undoInterruptedRestore(target->platform(), note); !undone) {
        err << "qob: " << undone.message << "\n";
        return 1;
    }
    out << note << "\n";
    return 0;
}

} // namespace

int runRestoreCommand(const Args& args, std::ostream& out, std::ostream& err, JobObserver& observer,
                      const StopToken& stop) {
    if (args.has("--abandon")) {
        return abandonRestore(args, out, err);
    }
    if (args.positional.size() != 1 || !args.has("--profile")) {
        err << "usage: qob restore FILE.qob --profile TARGET [--items 110000000] [--password-file F]\n"
               "       qob restore --abandon\n";
        return 2;
    }
    const bool itemsGiven = args.has("--items");
    std::string items;
    if (itemsGiven) {
        std::optional<std::string> flags = itemBoxes(args.get("--items"), err);
        if (!flags) {
            return 2;
        }
        items = *flags;
    }
    std::string error;
    const std::optional<std::string> password = readPassword(args, error);
    if (!error.empty()) {
        err << "qob: " << error << "\n";
        return 2;
    }
    const std::string profile = args.get("--profile");
    if (profile.empty()) {
        err << "qob: --profile names the profile to restore into; it must not be empty\n";
        return 1;
    }
    std::error_code ec;
    // Absolute, so that the run log says which backup was restored wherever it was started from.
    std::filesystem::path file = std::filesystem::absolute(args.positional[0], ec).lexically_normal();
    if (file.empty()) {
        file = args.positional[0];
    }
    if (!std::filesystem::is_regular_file(file, ec)) {
        err << "qob: cannot read the backup file " << file.string() << "\n";
        return 1;
    }

    RestoreDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    // Registry files written behind a running wineserver's back would be overwritten when it exits.
    if (target->store().serverRunning()) {
        err << "qob: the wineserver of " << target->prefix().string()
            << " is running; close the programs of that prefix (or run `wineserver -k`) and try again\n";
        return 1;
    }
    MainForm form(target->platform());
    if (!loadFormOrReport(form, *target, err)) {
        return 1;
    }
    auto it = std::find(form.cbTarget.items.begin(), form.cbTarget.items.end(), profile);
    if (it == form.cbTarget.items.end()) {
        err << "qob: no mail profile named \"" << profile << "\" (qob profiles lists them)\n";
        return 1;
    }
    form.cbTarget.selected = static_cast<int>(it - form.cbTarget.items.begin());

    if (password) {
        form.state().restore.currentPassword = *password;
        dialogs.givePassword(*password);
    }
    Archive archive;
    archive.setWorkingFolder(target->platform().programFolder);
    if (!password && archive.isPasswordProtected(file)) {
        err << "qob: the backup file is protected; give --password, --password-file F or set QOB_PASSWORD\n";
        return 1;
    }
    if (qob::openBackupFile(form, archive, file) != OpenResult::Opened) {
        return 1; // the message has been printed
    }
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        // An item named that the backup does not hold stays chosen: the run reports it as not
        // restored, and the command fails for it.
        form.restoreItem[i].checked = itemsGiven ? items[i] == '1' : form.restoreItem[i].enabled;
    }
    // The form only gathered the request: the job restores, and its refusals are printed here.
    const RestoreSummary outcome =
        runRestoreJob(target->platform(), archive, restoreRequestOf(form), observer, stop);
    if (args.report) {
        static const char* const kJsonResult[] = {"completed", "incomplete", "failed", "cancelled"};
        args.report->result = kJsonResult[static_cast<int>(outcome.result)];
        args.report->message = outcome.text;
        for (const RestoreItemResult& item : outcome.items) {
            if (!item.name.empty()) {
                args.report->items.push_back({item.name, item.ok, item.reason, ""});
            }
        }
        args.report->problems = outcome.problems;
    }
    if (!outcome.ran) {
        err << "qob: " << outcome.refusal << "\n";
        return 1;
    }
    // The summary in words: on stdout only for a whole restore, as a script reads it.
    (outcome.result == RestoreResult::Whole ? out : err)
        << escapeControls(forTerminal(outcome.text)) << "\n"; // may hold names from the backup
    if (outcome.cancelled) {
        return kExitStopped;
    }
    return outcome.allSucceeded() ? 0 : 1;
}

namespace {

// The progress line, --quiet or --json, and Ctrl-C asking the job to stop.
int runRestoreShowingProgress(const Args& args, std::ostream& out, std::ostream& err) {
    return runJobCommand("restore", args, out, err, runRestoreCommand);
}

CommandRegistration
    reg({.name = "restore",
         .usage = "restore FILE.qob --profile TARGET [--items ITEMS] [--password | --password-file F] | "
                  "restore --abandon   restore a backup into a mail profile, or undo a "
                  "restore that could not be completed",
         .valueOptions = {"--profile", "--items", "--password-file"},
         .run = runRestoreShowingProgress,
         .flags = {"--password", "--abandon"},
         .arguments = {"[FILE.qob]"}});

} // namespace
} // namespace qob::cli
