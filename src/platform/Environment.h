#pragma once
// Environment variables as the program reads them: an empty variable counts as not set, as the
// shells' ${NAME:-default} treat it.
#include <cstdlib>
#include <optional>
#include <string>

namespace qob {

inline std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace qob
