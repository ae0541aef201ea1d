#pragma once
// The registry text file is UTF-8; files written on Western Windows are Windows-1252.
#include <cstddef>
#include <string>

namespace qob::textenc {

// True for well-formed UTF-8 (no overlong forms, surrogates or code points above U+10FFFF).
// `allowSurrogates` accepts the three-byte form of a surrogate, which a registry string holding a
// lone UTF-16 surrogate is handed out as.
bool isValidUtf8(const std::string& text, bool allowSurrogates = false);
// Converts Windows-1252 bytes to UTF-8; the five unassigned bytes map to the C1 controls of the
// same number, as Windows itself converts them.
std::string windows1252ToUtf8(const std::string& text);
// Characters (code points) of UTF-8 text; continuation bytes do not count.
std::size_t utf8Length(const std::string& text);

} // namespace qob::textenc
