#pragma once
// How messages name the target system and what to do when it refuses: a Wine prefix on Linux,
// the running Windows itself on Windows. The sense of each message is the same on both; only the
// words a user of that system knows differ.
#include <filesystem>
#include <string>

namespace qob::words {

#ifdef _WIN32
// The registry refused a change before anything was written.
inline constexpr char kRegistryInUse[] =
    "Windows refused the change to the registry (access is denied), so nothing was written. Close "
    "Outlook and the programs that use its settings and try again.";
inline std::string registryInUsePartway(const std::string& target) {
    return "Windows stopped accepting changes to the registry while \"" + target +
           "\" was being restored (access is denied). The key may be incomplete; close Outlook and the "
           "programs that use its settings and restore again.";
}
inline constexpr char kRegistryNotSaved[] =
    "Windows refused to save the registry (access is denied). Close Outlook and the programs that use "
    "its settings and try again.";
inline std::string noProfileMessage(const std::filesystem::path&) {
    return "No Outlook mail profile for this Windows user: is Outlook installed, and has it been set up "
           "with a profile?";
}
#else
inline constexpr char kRegistryInUse[] =
    "The registry is in use by Wine (the prefix's wineserver is running), so nothing was "
    "written. Close the programs running in that Wine prefix and try again.";
inline std::string registryInUsePartway(const std::string& target) {
    return "The registry stopped accepting changes while \"" + target +
           "\" was being restored (has the prefix's wineserver been started?). The key may be incomplete; "
           "close the programs running in that Wine prefix and restore again.";
}
inline constexpr char kRegistryNotSaved[] =
    "The registry is in use by Wine (the prefix's wineserver is running), so it could not be "
    "saved. Close the programs running in that Wine prefix and try again.";
// A prefix without Outlook is most often simply the wrong prefix.
inline std::string noProfileMessage(const std::filesystem::path& prefix) {
    return "No Outlook mail profile in " + prefix.string() +
           ": is Outlook installed in this prefix? `qob prefixes` lists the others";
}
#endif

} // namespace qob::words
