#include "app/cli/Target.h"

#include "app/cli/Cli.h"

namespace qob::cli {

std::unique_ptr<Target> openTarget(const Args& args, Dialogs& dialogs, std::string& error) {
    std::optional<std::string> prefixOption;
    if (args.has("--prefix")) {
        prefixOption = args.get("--prefix");
    }
    return Target::open(prefixOption, dialogs, error);
}

} // namespace qob::cli
