#include "registry/Registry.h"

#include <utility>

namespace qob {

Registry::Registry(RegistryStore& store, Dialogs& dialogs, std::string title)
    : store_(store), dialogs_(dialogs), title_(std::move(title)) {}

RegRoot Registry::getRootKey(const std::string& rootName) {
    static const std::pair<const char*, RegRoot> kRoots[] = {
        {"HKEY_CLASSES_ROOT", RegRoot::ClassesRoot},
        {"HKEY_CURRENT_USER", RegRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", RegRoot::LocalMachine},
        {"HKEY_USERS", RegRoot::Users},
        {"HKEY_PERFORMANCE_DATA", RegRoot::PerformanceData},
        {"HKEY_CURRENT_CONFIG", RegRoot::CurrentConfig},
        {"HKEY_DYN_DATA", RegRoot::DynData},
    };
    for (const auto& [name, root] : kRoots) {
        if (rootName == name) {
            return root;
        }
    }
    return RegRoot::None;
}

RegRoot Registry::parseKeyPath(std::string& path) {
    if (!path.starts_with("HKEY_") || path.ends_with('\\')) {
        dialogs_.message("Incorrect Format:\n\n" + path, MsgIcon::None, MsgButtons::Ok, title_);
        return RegRoot::None;
    }
    const std::size_t slash = path.find('\\');
    if (slash == std::string::npos) {
        RegRoot root = getRootKey(path);
        path.clear();
        return root;
    }
    RegRoot root = getRootKey(path.substr(0, slash));
    path.erase(0, slash + 1);
    return root;
}

} // namespace qob
