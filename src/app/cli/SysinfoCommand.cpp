// qob sysinfo: what the program sees of the target system, the facts Outlook backups depend on.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "outlook/OutlookDiscovery.h"

#include <iostream>

namespace qob::cli {
namespace {

const char* const kProfileRoots[] = {
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles",
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles",
};

int sysinfo(const Args& args, std::ostream& out, std::ostream& err) {
    StderrDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    TargetContext& p = target->platform();
    WindowsVersion v = p.system.windowsVersion();
#ifdef _WIN32
    out << "Target system:    this Windows (the program's state in " << target->prefix().string() << ")\n"
#else
    out << "Wine prefix:      " << target->prefix().string() << "\n"
#endif
        << "Windows version:  " << v.major << "." << v.minor << " (build " << v.build << ")\n"
        << "Computer name:    " << p.system.computerName() << "\n"
        << "User name:        " << p.system.logonUser() << "\n"
        << "User folder:      " << p.system.expandEnvironment("%UserProfile%") << "\n"
        << "Windows folder:   " << p.system.windowsFolder() << "\n";
#ifndef _WIN32
    out << "Wine server:      " << (target->store().serverRunning() ? "running" : "not running") << "\n";
#endif
    AppState state;
    const std::string outlook = getOutlookVersion(p.registry, state);
    out << "Outlook:          " << (outlook.empty() ? "(unknown generation)" : outlook)
        << (state.officeVersion.empty() ? "" : " (Office " + state.officeVersion + ")") << "\n"
        << "Profiles key:     " << profilesRootKeyFor(state.officeVersion) << "\n";
    for (const char* root : kProfileRoots) {
        out << "\nreg query " << root << "\n";
        if (!p.registry.keyExists(root)) {
            out << "  (no such key)\n";
            continue;
        }
        for (const auto& name : p.registry.getSubKeys(root)) {
            out << "\\" << name << "\n";
        }
    }
    for (const auto& problem : target->store().loadErrors()) {
        err << "qob: " << problem << "\n";
    }
    return 0;
}

const CommandRegistration command{
    {.name = "sysinfo",
     .usage = "sysinfo                  print the Outlook-relevant facts of the target system",
     .valueOptions = {},
     .run = sysinfo,
     .arguments = {}}};

} // namespace
} // namespace qob::cli
