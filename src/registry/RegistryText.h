#pragma once
// One value line of the registry text file: "name"= sz:data, "name"=esz:data, "name"=bin:1,2,255,
// "name"= dw:-1. Names and data are written verbatim, without quoting or escaping, because files
// already inside backups were written that way.
//
// Values of every other type (REG_MULTI_SZ, REG_QWORD, REG_NONE, ...) have no marker of their own in
// that format, and the import replaces a key whole, so leaving them out deleted them on restore. They
// travel as "name"=raw:<type code>:<bytes as for bin>. Older readers take the three characters after
// the "=" as the type and skip a line whose type they do not know, so files with such lines stay
// readable by them; only these values are then missing, as they always were.
#include "platform/RegistryStore.h"

#include <optional>
#include <string>

namespace qob::regtext {

// Value lines and key names longer than this many characters are not carried.
inline constexpr std::size_t kMaxNameChars = 259;

// The marker of the lines that carry a value of any type with its bytes exact.
inline constexpr const char* kRawMarker = "raw";

// The line (without its CR LF): one of the four markers for their types, the raw marker otherwise.
// Never nullopt now; kept optional for the callers that printed only the four.
std::optional<std::string> formatValueLine(const RegValue& value);

// Why the value's line would not come back as it was written, "" when it would. The format has no quoting or
// escapes, so a line break in a name or in text data, or a name that the import would end early (one holding
// "=" and a type marker), cannot be written without being lost or misread.
std::string whyNotCarried(const RegValue& value);

// A name as a message shows it: line breaks as <CR> and <LF>, the default value as "(Default)".
std::string shownName(const std::string& name);

enum class LineParse { Value, Skipped, Malformed };

// Reads a line that does not begin with '\'. Value: `out` holds name, type and data (strings of the
// four markers without a terminating NUL; raw data exactly as written). Skipped: an unknown marker.
// Malformed: `why` says what is wrong, in words for the user.
LineParse parseValueLine(const std::string& line, RegValue& out, std::string& why);

} // namespace qob::regtext
