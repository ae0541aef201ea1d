#include "forms/TargetSystemForm.h"

#include "outlook/AppState.h"
#include "outlook/PrefixProfiles.h"
#include "platform/wine/WinePrefix.h"
#include "settings/TargetSystemSetting.h"

namespace qob {

TargetSystemForm::TargetSystemForm(Dialogs& dialogs, std::filesystem::path programFolder, PrefixSearch search,
                                   std::filesystem::path current)
    : dialogs_(dialogs), programFolder_(std::move(programFolder)), search_(std::move(search)),
      current_(current.empty() ? current : canonicalPrefixPath(current)) {}

TargetSystemEntry TargetSystemForm::entryFor(const std::filesystem::path& prefix,
                                             const std::string& origins) const {
    TargetSystemEntry entry;
    entry.prefix = prefix;
    entry.title = prefix.string();
    if (!current_.empty() && canonicalPrefixPath(prefix) == current_) {
        entry.title += " (current)";
    }
    const PrefixProfiles found = readPrefixProfiles(prefix);
    std::string what;
    if (!found.readable) {
        what = "cannot read its registry: " + found.reason;
    } else if (found.profiles.empty()) {
        what = "no Outlook profiles";
    } else {
        entry.holdsProfiles = true;
        what = (found.outlook.empty() ? std::string("Outlook") : found.outlook) + " profiles: ";
        for (std::size_t i = 0; i < found.profiles.size(); ++i) {
            what += (i ? ", " : "") + found.profiles[i];
        }
    }
    entry.detail = origins.empty() ? what : "found as " + origins + "; " + what;
    return entry;
}

void TargetSystemForm::load() {
    entries_.clear();
    selected = -1;
    for (const PrefixCandidate& candidate : findWinePrefixes(search_)) {
        std::string origins;
        for (PrefixOrigin origin : candidate.origins) {
            origins += (origins.empty() ? "" : ", ") + prefixOriginText(origin);
        }
        entries_.push_back(entryFor(candidate.path, origins));
        if (!current_.empty() && candidate.canonical == current_) {
            selected = static_cast<int>(entries_.size()) - 1;
        }
    }
    for (std::size_t i = 0; selected < 0 && i < entries_.size(); ++i) {
        if (entries_[i].holdsProfiles) {
            selected = static_cast<int>(i);
        }
    }
    if (selected < 0 && !entries_.empty()) {
        selected = 0;
    }
}

bool TargetSystemForm::browse() {
    const std::optional<std::string> folder =
        dialogs_.browseFolder(kTargetSystemTitle, search_.home.value_or(std::string()));
    if (!folder || folder->empty()) {
        return false;
    }
    const std::filesystem::path prefix(*folder);
    if (!checkWinePrefix(prefix)) {
        dialogs_.message(*folder + " is not a Wine prefix (it has no drive_c, dosdevices or registry files).",
                         MsgIcon::Critical, MsgButtons::Ok, kTargetSystemTitle);
        return false;
    }
    const std::filesystem::path canonical = canonicalPrefixPath(prefix);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (canonicalPrefixPath(entries_[i].prefix) == canonical) {
            selected = static_cast<int>(i);
            return true;
        }
    }
    entries_.push_back(entryFor(prefix, "chosen folder"));
    selected = static_cast<int>(entries_.size()) - 1;
    return true;
}

std::optional<std::filesystem::path> TargetSystemForm::accept() {
    if (selected < 0 || selected >= static_cast<int>(entries_.size())) {
        return std::nullopt;
    }
    const std::filesystem::path& prefix = entries_[static_cast<std::size_t>(selected)].prefix;
    if (Status stored = rememberTargetSystem(programFolder_, prefix); !stored) {
        dialogs_.message("The choice could not be saved: " + stored.message, MsgIcon::Critical,
                         MsgButtons::Ok, kTargetSystemTitle);
        return std::nullopt;
    }
    if (!current_.empty() && canonicalPrefixPath(prefix) == current_) {
        return std::nullopt;
    }
    return prefix;
}

} // namespace qob
