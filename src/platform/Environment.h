#pragma once
// Environment variables as the program reads them: an empty variable counts as not set, as the
// shells' ${NAME:-default} treat it.
#include <cstdlib>
#include <optional>
#include <string>
#ifdef _WIN32
#include "platform/win32/WideText.h"
#endif

namespace qob {

inline std::optional<std::string> environment(const char* name) {
#ifdef _WIN32
    // In UTF-8, as every narrow string of the program: getenv answers in the ANSI code page, which
    // cannot spell every folder name (QUIRE_HOME under a user's name in Cyrillic).
    std::string value = win32::environmentVariable(name);
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
#else
    const char* value = std::getenv(name);
    if (!value || !*value) {
        return std::nullopt;
    }
    return std::string(value);
#endif
}

} // namespace qob
