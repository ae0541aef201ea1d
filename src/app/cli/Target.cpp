#include "app/cli/Target.h"

#include "app/cli/Cli.h"
#include "forms/MainForm.h"
#include "outlook/NoProfileMessage.h"

#include <ostream>

namespace qob::cli {

std::unique_ptr<Target> openTarget(const Args& args, Dialogs& dialogs, std::string& error) {
    std::optional<std::string> prefixOption;
    if (args.has("--prefix")) {
        prefixOption = args.get("--prefix");
    }
    return Target::open(prefixOption, dialogs, error);
}

std::unique_ptr<Target> openTargetOrReport(const Args& args, Dialogs& dialogs, std::ostream& err) {
    std::string error;
    auto target = openTarget(args, dialogs, error);
    if (!target) {
        err << "qob: " << error << "\n";
    } else if (!target->note().empty()) {
        err << "qob: note: " << target->note() << "\n";
    }
    return target;
}

bool loadFormOrReport(MainForm& form, const Target& target, std::ostream& err) {
    if (form.formLoad()) {
        return true;
    }
    if (form.state().noProfile) {
        err << "qob: " << noProfileMessage(target.prefix()) << "\n";
    }
    return false;
}

} // namespace qob::cli
