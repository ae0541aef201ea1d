#pragma once
// Whether a Wine prefix holds Outlook profiles, for choosing the target system: read from the
// prefix's registry files only, cheaply, and never writing anything into the prefix.
#include <filesystem>
#include <string>
#include <vector>

namespace qob {

struct PrefixProfiles {
    bool readable = true;
    std::string reason;                // why the registry could not be read; "" when readable
    std::string outlook;               // "Outlook 2013", "" for an unknown generation, "No Outlook"
    std::vector<std::string> profiles; // the mail profiles, as the main window would list them
};

// Reads the prefix's registry as the main window does at start-up (Office version, profiles root
// key, profile list). A damaged user.reg or system.reg makes it unreadable, with the reason.
PrefixProfiles readPrefixProfiles(const std::filesystem::path& prefix);

} // namespace qob
