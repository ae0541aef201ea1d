// qob profiles: the mail profiles of the target system, one per line; with --verbose also the data
// files each profile uses, and whether they are there.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "outlook/NoProfileMessage.h"
#include "outlook/OutlookDiscovery.h"
#include "outlook/PathReaders.h"

#include <ostream>

namespace qob::cli {
namespace {

int runProfiles(const Args& args, std::ostream& out, std::ostream& err) {
    StderrDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    TargetContext& platform = target->platform();
    AppState state;
    std::string outlook = getOutlookVersion(platform.registry, state);
    state.profilesRootKey = profilesRootKeyFor(state.officeVersion);
    loadProfiles(platform.registry, state);
    if (args.has("--verbose")) {
        err << "Outlook: " << (outlook.empty() ? "(unknown)" : outlook) << "; profiles under "
            << state.profilesRootKey << "\n";
    }
    if (state.noProfile) {
        err << "qob: " << noProfileMessage(target->prefix()) << "\n";
        return 1;
    }
    for (const std::string& p : state.profileList) {
        out << p << "\n";
        if (!args.has("--verbose")) {
            continue;
        }
        const std::string profileKey = state.profilesRootKey + "\\" + p;
        for (const std::string& service : platform.registry.getSubKeys(profileKey)) {
            const std::string path = getDataFilePath(platform.registry, profileKey + "\\" + service);
            if (path != kPathError) {
                out << "  data file " << path << (platform.files.fileExists(path) ? "" : "  (missing)")
                    << "\n";
            }
        }
    }
    return 0;
}

CommandRegistration
    reg({.name = "profiles",
         .usage = "profiles [--verbose]   list the mail profiles (and the data files they use)",
         .valueOptions = {},
         .run = runProfiles,
         .flags = {"--verbose"},
         .arguments = {}});

} // namespace
} // namespace qob::cli
