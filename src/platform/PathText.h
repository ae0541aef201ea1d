#pragma once
// A host path as UTF-8 text, for libraries that take file names as char strings (libzip takes
// UTF-8 on Windows too, where std::filesystem::path holds UTF-16).
#include <filesystem>
#include <string>

namespace qob {

inline std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace qob
