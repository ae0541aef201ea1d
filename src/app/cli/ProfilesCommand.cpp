// qob profiles: the mail profiles of the target system, one per line.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "frame/OutlookDiscovery.h"

#include <ostream>

namespace qob::cli {
namespace {

int runProfiles(const Args& args, std::ostream& out, std::ostream& err) {
    StderrDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    Platform& platform = target->platform();
    AppState state;
    std::string outlook = getOutlookVersion(platform.registry, state);
    state.profilesRootKey = profilesRootKeyFor(state.officeVersion);
    loadProfiles(platform.registry, state);
    if (args.has("--verbose")) {
        err << "Outlook: " << (outlook.empty() ? "(unknown)" : outlook) << "; profiles under "
            << state.profilesRootKey << "\n";
    }
    for (const std::string& p : state.profileList) {
        out << p << "\n";
    }
    return state.noProfile ? 1 : 0;
}

CommandRegistration
    reg({"profiles", "profiles [--verbose]   list the mail profiles of the target system", {}, runProfiles});

} // namespace
} // namespace qob::cli
