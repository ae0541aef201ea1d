// qob demo-profile DIR (Windows): the demo Outlook profiles written into this user's registry, their
// data files, signatures and the rest laid out under DIR, for trying the program (and testing it)
// on a Windows without Outlook. The Windows counterpart of `qob demo-prefix`.
#include "app/cli/DemoCommandParts.h"
#include "platform/win32/Win32RegistryStore.h"

#include <optional>
#include <ostream>
#include <stdexcept>

namespace qob::cli {
namespace {

constexpr char kHkcu[] = "HKEY_CURRENT_USER\\";

bool keyExists(RegistryStore& store, const std::string& keyPath) {
    if (keyPath.rfind(kHkcu, 0) != 0) {
        return false;
    }
    RegHandle key = 0;
    if (store.openKey(RegRoot::CurrentUser, keyPath.substr(sizeof kHkcu - 1), false, key) != kRegSuccess) {
        return false;
    }
    store.closeKey(key);
    return true;
}

int runDemoProfile(const Args& args, std::ostream& out, std::ostream& err) {
    const std::optional<std::string> office = demoOffice(args, "demo-profile", err);
    if (!office) {
        return 2;
    }
    try {
        Win32RegistryStore store;
        // The registry is this user's own: a profile of that name may be a real one, and the demo
        // writes over none.
        for (const std::string& key : DemoTargetSystem::layout(args.positional[0], *office).profileKeys()) {
            if (key.find("\\Profiles\\") != std::string::npos && keyExists(store, key)) {
                err << "qob: this user already has a mail profile at " << key
                    << "; the demo profiles are written only where none of their names is taken.\n";
                return 1;
            }
        }
        DemoTargetSystem demo = DemoTargetSystem::createFiles(args.positional[0], *office);
        writeDemoRegistry(demo, store, out);
        // Signatures, templates and contacts are looked for in the user's own folder.
        out << "user folder " << demo.userProfileFolder
            << " (set USERPROFILE to it to back up its folders)\n";
    } catch (const std::exception& e) {
        err << "qob: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

CommandRegistration reg({.name = "demo-profile",
                         .usage = "demo-profile [--office 15.0] DIR   write demo Outlook profiles into this "
                                  "user's registry, their files into DIR (Office 14.0, 15.0 or 16.0)",
                         .valueOptions = {"--office"},
                         .run = runDemoProfile,
                         .arguments = {"DIR"}});

} // namespace
} // namespace qob::cli
