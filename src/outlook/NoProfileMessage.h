#pragma once
// What every front end says when the target system holds no Outlook mail profile: where it looked,
// and what to do about it. A prefix without Outlook is most often simply the wrong prefix.
#include <filesystem>
#include <string>

namespace qob {

inline std::string noProfileMessage(const std::filesystem::path& prefix) {
    return "No Outlook mail profile in " + prefix.string() +
           ": is Outlook installed in this prefix? `qob prefixes` lists the others";
}

} // namespace qob
