#pragma once
// Choosing the target system: the Wine prefixes found on this machine, which of them hold Outlook
// profiles, and the one picked, remembered in settings.dat so the window and the weekly backup work
// on it. Qt-free; gui/TargetSystemDialog binds a list and three buttons to it.
#include "platform/Dialogs.h"
#include "platform/wine/PrefixCandidates.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qob {

struct TargetSystemEntry {
    std::filesystem::path prefix;
    std::string title;  // the folder, with "(current)" for the one the window works on
    std::string detail; // where it was found, and its profiles or why they cannot be read
    bool holdsProfiles = false;
};

inline constexpr char kTargetSystemTitle[] = "Target System";

class TargetSystemForm {
public:
    // `current`: the prefix the window works on now (may be empty when none could be opened).
    TargetSystemForm(Dialogs& dialogs, std::filesystem::path programFolder, PrefixSearch search,
                     std::filesystem::path current);

    // Lists the prefixes; the current one is selected, else the first that holds profiles.
    void load();
    const std::vector<TargetSystemEntry>& entries() const { return entries_; }
    int selected = -1;

    // "Other Folder...": a prefix somewhere else; refused with a message when it is not one.
    // True when it was added (and selected).
    bool browse();
    // OK: remembers the selected prefix. The prefix to switch to when it differs from the current
    // one; nothing when it is the same or could not be remembered (the message says why).
    std::optional<std::filesystem::path> accept();

private:
    TargetSystemEntry entryFor(const std::filesystem::path& prefix, const std::string& origins) const;

    Dialogs& dialogs_;
    std::filesystem::path programFolder_;
    PrefixSearch search_;
    std::filesystem::path current_;
    std::vector<TargetSystemEntry> entries_;
};

} // namespace qob
