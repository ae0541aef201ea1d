#pragma once
// One value line of the registry text file: "name"= sz:data, "name"=esz:data, "name"=bin:1,2,255,
// "name"= dw:-1. Names and data are written verbatim, without quoting or escaping, because files
// already inside backups were written that way.
#include "platform/RegistryStore.h"

#include <optional>
#include <string>

namespace qob::regtext {

// Value lines and key names longer than this many characters are not carried.
inline constexpr std::size_t kMaxNameChars = 259;

// The line (without its CR LF) for the four carried types; nullopt for every other type.
std::optional<std::string> formatValueLine(const RegValue& value);

// Why the value's line would not come back as it was written, "" when it would (and for the
// types that have no line at all). The format has no quoting or escapes, so a line break in a
// name or in text data, or a name that the import would end early (one holding "=" and a type
// marker), cannot be written without being lost or misread.
std::string whyNotCarried(const RegValue& value);

// A name as a message shows it: line breaks as <CR> and <LF>, the default value as "(Default)".
std::string shownName(const std::string& name);

enum class LineParse { Value, Skipped, Malformed };

// Reads a line that does not begin with '\'. Value: `out` holds name, type and data (strings
// without a terminating NUL). Skipped: a type other than the four. Malformed: `why` says what is
// wrong, in words for the user.
LineParse parseValueLine(const std::string& line, RegValue& out, std::string& why);

} // namespace qob::regtext
