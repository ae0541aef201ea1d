#pragma once
// The text rules of Wine's registry files: the escaped-string syntax the wineserver reads and
// writes, the case-insensitive order it keeps keys and values in, and UTF-8 <-> UTF-16.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qob::wine {

// Reads an escaped string starting at text[0] up to the first unescaped `endChar`. Appends the
// code units to `out` (which is cleared first), without a terminating NUL. Returns the number of
// bytes consumed including `endChar`, or -1 when `endChar` is missing (the line is malformed).
// Bytes >= 0x80 are decoded as UTF-8; invalid sequences are dropped, as the wineserver does.
std::ptrdiff_t parseEscaped(std::string_view text, char endChar, std::u16string& out);

// Appends `units` to `out` escaped the way the wineserver writes them (pure ASCII). A NUL as the
// very last code unit is not written. `escapes` names the two characters that need a backslash
// besides the backslash itself ("[]" for key paths, "\"\"" for names and strings). Returns the
// number of characters appended.
std::size_t appendEscaped(std::u16string_view units, const char escapes[2], std::string& out);

// Wine's case folding of one UTF-16 code unit (Unicode simple lowercase for the scripts that
// occur in key names; other code units are left alone).
char16_t foldCase(char16_t c);

// Wine's order of key and value names: code units compared after folding, a shorter prefix first.
int compareNames(std::u16string_view a, std::u16string_view b);
inline bool namesEqual(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && compareNames(a, b) == 0;
}

// UTF-16 -> UTF-8. A lone surrogate is written as its own three-byte sequence, so that every
// stored name or string comes back unchanged through utf8ToUtf16.
void appendUtf8(std::u16string_view units, std::string& out);
std::string toUtf8(std::u16string_view units);

// UTF-8 -> UTF-16. Returns false on malformed input (the three-byte form of a lone surrogate
// is accepted, see appendUtf8).
bool utf8ToUtf16(std::string_view text, std::u16string& out);

// FILETIME (100 ns since 1601-01-01 UTC) <-> seconds since 1970-01-01 UTC, as the file has them.
inline constexpr std::uint64_t kTicksPerSecond = 10'000'000ull;
inline constexpr std::uint64_t kTicks1601To1970 = 116'444'736'000'000'000ull;
inline std::uint64_t secondsToFileTime(std::uint32_t seconds) {
    return std::uint64_t{seconds} * kTicksPerSecond + kTicks1601To1970;
}
// The wineserver divides a signed 64-bit count and keeps the low 32 bits; so do we.
inline std::uint32_t fileTimeToSeconds(std::uint64_t fileTime) {
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(fileTime - kTicks1601To1970) /
                                      static_cast<std::int64_t>(kTicksPerSecond));
}
// The current time as a FILETIME.
std::uint64_t fileTimeNow();

} // namespace qob::wine
