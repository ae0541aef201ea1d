#pragma once
// settings.dat: the program's options, one sectioned INI file in the program folder, read and
// written one value at a time. The matching rules are those of the Windows private-profile
// functions the file was designed for: section and key names without regard to case, the first
// occurrence wins, values of at most 127 characters.
#include "platform/Status.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace qob {

// A value travels through a 128-character field: 127 characters and the terminating NUL.
inline constexpr std::size_t kSettingValueMax = 127;

// Host path of settings.dat in the given program folder. Callers build it at each use; nothing
// is cached, so a change made by another process is seen at the next read.
std::filesystem::path settingsPath(const std::filesystem::path& programFolder);

// The value of `key` in `section`: at most 127 characters, cut at the first NUL, blanks trimmed,
// one pair of surrounding quotes removed. "" when the file, the section or the key is missing or
// the file cannot be read.
std::string readSetting(const std::filesystem::path& file, const std::string& section,
                        const std::string& key);

// Stores `value` (cut to 127 characters) under `key` in `section`, creating the file, the section
// or the key as needed and replacing the first existing occurrence. Every other line stays as it
// was. The file is written whole to a temporary file beside it and renamed into place, so a
// reader never sees half a file; writers in other processes wait for each other. On failure the
// old file is left untouched and the message says why. Names or values that could not be read
// back (a line break, "=" or "]" in a key, ...) are refused.
Status writeSetting(const std::filesystem::path& file, const std::string& section, const std::string& key,
                    const std::string& value);

// The settings comparison rule, the one test every reader of a flag uses: a stored value that is
// a number matches when it equals `number`; a value that is missing, empty or not a number
// matches any number. A missing flag therefore counts as on.
bool settingMatches(const std::string& value, long number);

} // namespace qob
