#pragma once
// Line access to the backup's information file (quirebox.dat): a flat list of key=value lines
// with CR LF ends, no sections, no quoting. Written by appending, read by the first match.
#include "platform/Status.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

// Appends key + "=" + value + CR LF to `file`, creating it when missing. The line goes out in a
// single append, so lines of two processes never interleave. Nothing is read back: a key saved
// twice is in the file twice. A key holding "=" or a key or value holding a line break would not
// read back as written and is refused (the backup file format escapes line breaks before this).
Status saveINI(const std::string& key, const std::string& value, const std::filesystem::path& file);

// The value of the first line whose text before its first "=" equals `key` when both are
// upper-cased; the value is everything after that "=", untrimmed. The search ends at the end of
// the file and at the first empty line; "" when no line matched before that.
// nullopt when the file cannot be opened or read: the caller decides what that means for its run.
std::optional<std::string> getINI(const std::string& key, const std::filesystem::path& file);
// The same search in the text of such a file held in memory.
std::string findINI(const std::string& key, const std::string& text);

} // namespace qob
