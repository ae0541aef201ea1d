// qob backup: the interactive backup run without the window.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "backup/BackupRun.h"

#include <ostream>

namespace qob::cli {
namespace {

// Messages of the run: the summary goes to stdout by the command; refusals and failures to stderr.
class CommandDialogs : public SilentDialogs {
public:
    explicit CommandDialogs(std::ostream& err) : err_(err) {}
    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override {
        // The run's summary (completed, incomplete or failed) is printed by the command itself.
        if (icon != MsgIcon::Information && icon != MsgIcon::Critical &&
            text.rfind(kBackupIncomplete, 0) != 0) {
            err_ << text << "\n";
        }
        return SilentDialogs::message(text, icon, buttons, title);
    }

private:
    std::ostream& err_;
};

int runBackupCommand(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.positional.size() != 1 || !args.has("--profile")) {
        err << "usage: qob backup --profile P [--items 110000000] [--description TEXT] [--password-file F] "
               "OUT.qob\n(without --items: every item the profile has)\n";
        return 2;
    }
    const std::string items = args.get("--items");
    if (args.has("--items") && !checkItemBoxes(items, err)) {
        return 2;
    }
    std::string error;
    std::optional<std::string> password = readPassword(args, error);
    if (!error.empty()) {
        err << "qob: " << error << "\n";
        return 2;
    }
    // The run would refuse it with a message box this command does not print.
    if (password && password->empty()) {
        err << "qob: the password is empty; give a password file whose first line holds it\n";
        return 2;
    }
    CommandDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    MainForm form(target->platform());
    if (!form.formLoad()) {
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
    for (std::size_t i = 0; i < kItemBoxCount; ++i) {
        form.backupItem[i].checked = args.has("--items") ? items[i] == '1' : form.backupItem[i].enabled;
    }
    form.txtAttachInfo = args.get("--description");
    if (password) {
        form.ifProtect = true;
        form.txtPassword = *password;
        form.txtPassword2 = *password;
    }
    form.state().targetPath = args.positional[0];
    form.txtTargetFile = args.positional[0];

    BackupRun run;
    BackupOutcome outcome = run.runBackup(form);
    if (!outcome.ran) {
        return 1;
    }
    (outcome.complete ? out : err) << forTerminal(outcome.message) << "\n";
    // A chosen item or a file the profile uses that is missing from the backup fails the command:
    // a script must not take such a backup for a whole one.
    for (const std::string& item : outcome.failedItems) {
        err << "qob: " << item << " Fail!\n";
    }
    for (const std::string& missing : outcome.notStored) {
        err << "qob: not stored: " << missing << "\n";
    }
    return outcome.complete ? 0 : 1;
}

CommandRegistration
    reg({"backup",
         "backup --profile P [--items 110000000] [--description TEXT] [--password-file F] OUT.qob",
         {"--profile", "--items", "--description", "--password-file"},
         runBackupCommand});

} // namespace
} // namespace qob::cli
