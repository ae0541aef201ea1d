#pragma once
// What every front end says when the target system holds no Outlook mail profile: where it looked,
// and what to do about it.
#include "platform/TargetSystemWords.h"

#include <filesystem>
#include <string>

namespace qob {

inline std::string noProfileMessage(const std::filesystem::path& prefix) {
    return words::noProfileMessage(prefix);
}

} // namespace qob
