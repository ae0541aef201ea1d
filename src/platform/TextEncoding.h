#pragma once
// The registry text file is UTF-8; files written on Western Windows are Windows-1252.
#include <cstddef>
#include <cstdint>
#include <optional>
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

// A Windows system's ANSI code page (its "ACP"): what programs of the Windows era wrote text in.
inline constexpr std::uint32_t kDefaultAnsiCodePage = 1252;
// Whether the code page can be converted here (Windows-1252 always; the other Windows code pages
// where the C library knows them).
bool isKnownCodePage(std::uint32_t codePage);
// ANSI bytes of `codePage` as UTF-8; nullopt when the page is unknown or the bytes are not text
// of that page.
std::optional<std::string> ansiToUtf8(const std::string& bytes, std::uint32_t codePage);
// UTF-8 text as the ANSI bytes of `codePage`; nullopt when a character has no byte form there.
std::optional<std::string> utf8ToAnsi(const std::string& text, std::uint32_t codePage);
// Text a Windows-era program or this one stored: UTF-8 when it is valid UTF-8 (what we write),
// else the ANSI bytes of `codePage` (Windows-1252 when those do not convert either).
std::string storedTextToUtf8(const std::string& bytes, std::uint32_t codePage);

} // namespace qob::textenc
