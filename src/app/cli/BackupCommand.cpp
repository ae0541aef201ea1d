// qob backup: the backup job without the window. The profile's items and values come from the
// main form's load step, as the window would find them; the job itself needs no form.
#include "app/cli/BackupCommand.h"

#include "app/cli/CommandOutput.h"
#include "app/cli/ExitCodes.h"
#include "app/cli/JsonEvents.h"
#include "app/cli/Target.h"
#include "backup/BackupJob.h"
#include "forms/MainForm.h"
#include "settings/PasswordRule.h"

#include <algorithm>
#include <ostream>

namespace qob::cli {
namespace {

constexpr std::size_t kOptionsBox = 5; // "Options Settings"

// Messages of the load step and of opening the target: warnings go to stderr; the critical ones
// (no Outlook, no profile) are followed by this command's own words.
class CommandDialogs : public SilentDialogs {
public:
    explicit CommandDialogs(std::ostream& err) : err_(err) {}
    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override {
        if (icon != MsgIcon::Information && icon != MsgIcon::Critical) {
            err_ << text << "\n";
        }
        return SilentDialogs::message(text, icon, buttons, title);
    }

private:
    std::ostream& err_;
};

} // namespace

int runBackupCommand(const Args& args, std::ostream& out, std::ostream& err, JobObserver& observer,
                     const StopToken& stop) {
    if (args.positional.size() != 1 || !args.has("--profile")) {
        err << "usage: qob backup --profile P [--items 110000000] [--description TEXT] [--password-file F] "
               "OUT.qob\n(without --items: every item the profile has)\n";
        return 2;
    }
    std::string items;
    if (args.has("--items")) {
        std::optional<std::string> flags = itemBoxes(args.get("--items"), err);
        if (!flags) {
            return 2;
        }
        items = *flags;
    }
    std::string error;
    std::optional<std::string> password = readPassword(args, error, PasswordUse::New);
    if (!error.empty()) {
        err << "qob: " << error << "\n";
        return 2;
    }
    // The run would refuse it with a message box this command does not print.
    if (password && password->empty()) {
        err << "qob: the password is empty; give a password file whose first line holds it\n";
        return 2;
    }
    if (password) {
        if (auto refused = refusePassword(*password)) {
            err << "qob: " << *refused << "\n";
            return 2;
        }
    }
    CommandDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    MainForm form(target->platform());
    if (!loadFormOrReport(form, *target, err)) {
        return 1;
    }
    const std::string profile = args.get("--profile");
    auto it = std::find(form.cbSource.items.begin(), form.cbSource.items.end(), profile);
    if (it == form.cbSource.items.end()) {
        err << "qob: no mail profile named \"" << profile << "\" (qob profiles lists them)\n";
        return 1;
    }
    form.selectSource(static_cast<int>(it - form.cbSource.items.begin()));
    // Without --items: the items the window offers for this profile. Every chosen item that
    // cannot be stored fails the command, so items the profile does not have are not chosen.
    BackupRequest request;
    request.profile = profile;
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        request.items[i] = args.has("--items") ? items[i] == '1' : form.backupItem[i].enabled;
    }
    // The window always offers the options box; a profile "has" the options only when Outlook has
    // written its options key (it does so at its first start).
    if (!args.has("--items")) {
        request.items[kOptionsBox] = target->platform().registry.keyExists(form.state().optionsKey);
    }
    request.target = args.positional[0];
    if (auto refused = refuseBackupRequest(request)) {
        err << refused->text << "\n";
        return 1;
    }
    request.password = password;
    request.description = args.get("--description");
    readBackupSettings(target->platform().programFolder, request);
    request.state = form.state();
    const BackupSummary outcome = runBackupJob(target->platform(), request, observer, stop);
    if (args.report) {
        static const char* const kJsonResult[] = {"completed", "incomplete", "failed", "cancelled"};
        args.report->result = kJsonResult[static_cast<int>(outcome.end)];
        args.report->message = outcome.text;
        for (const BackupItemResult& item : outcome.items) {
            args.report->items.push_back({item.name, item.stored, item.reason, ""});
        }
        args.report->problems = outcome.notStored;
        if (!outcome.reason.empty()) {
            args.report->problems.push_back(outcome.reason);
        }
    }
    (outcome.complete() ? out : err) << forTerminal(outcome.text) << "\n";
    if (outcome.cancelled()) {
        return kExitStopped;
    }
    // A chosen item or a file the profile uses that is missing from the backup fails the command:
    // a script must not take such a backup for a whole one.
    for (const std::string& item : outcome.failedItems) {
        err << "qob: " << item << " Fail!\n";
    }
    for (const std::string& missing : outcome.notStored) {
        err << "qob: not stored: " << missing << "\n";
    }
    return outcome.complete() ? 0 : 1;
}

namespace {

// The progress line, --quiet or --json, and Ctrl-C asking the job to stop.
int runBackupShowingProgress(const Args& args, std::ostream& out, std::ostream& err) {
    return runJobCommand("backup", args, out, err, runBackupCommand);
}

CommandRegistration
    reg({.name = "backup",
         .usage = "backup --profile P [--items ITEMS] [--description TEXT] [--password | --password-file F] "
                  "OUT.qob   "
                  "back up a mail profile (without --items: every item it has)",
         .valueOptions = {"--profile", "--items", "--description", "--password-file"},
         .run = runBackupShowingProgress,
         .flags = {"--password"},
         .arguments = {"OUT.qob"},
         .required = {"--profile"}});

} // namespace
} // namespace qob::cli
