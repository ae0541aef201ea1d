#include "registry/RegistryText.h"

#include <charconv>
#include <cstdint>

namespace qob::regtext {
namespace {

// The old writer and reader trimmed with a blanks-only trim, so tabs are data.
std::string trimBlanks(const std::string& text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

bool parseInt(const std::string& text, long long low, long long high, long long& out) {
    std::string t = trimBlanks(text);
    if (!t.empty() && t[0] == '+') {
        t.erase(0, 1);
        if (!t.empty() && t[0] == '-') {
            return false;
        }
    }
    if (t.empty()) {
        return false;
    }
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
    return ec == std::errc() && end == t.data() + t.size() && out >= low && out <= high;
}

void appendBytes(std::string& line, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i) {
            line += ',';
        }
        line += std::to_string(bytes[i]);
    }
}

// Comma-separated numbers from 0 to 255, as "bin" and "raw" lines hold them; "" is no byte.
bool parseBytes(const std::string& data, const std::string& name, const std::string& marker,
                std::vector<std::uint8_t>& out, std::string& why) {
    out.clear();
    if (data.empty()) {
        return true;
    }
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = data.find(',', pos);
        const std::string piece =
            data.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        long long n = 0;
        if (!parseInt(piece, 0, 255, n)) {
            why = "the \"" + marker + "\" value \"" + name + "\" holds \"" + piece +
                  "\", not a number from 0 to 255";
            return false;
        }
        out.push_back(static_cast<std::uint8_t>(n));
        if (comma == std::string::npos) {
            return true;
        }
        pos = comma + 1;
    }
}

} // namespace

std::optional<std::string> formatValueLine(const RegValue& value) {
    std::string line = "\"" + value.name + "\"";
    const auto& d = value.data;
    switch (value.type) {
    case kRegSz:
    case kRegExpandSz:
        line += value.type == kRegSz ? "= sz:" : "=esz:";
        if (!d.empty()) {
            // The last byte is the string's terminating NUL.
            line.append(reinterpret_cast<const char*>(d.data()), d.size() - 1);
        }
        return line;
    case kRegBinary:
        line += "=bin:";
        appendBytes(line, d);
        return line;
    case kRegDword: {
        std::uint32_t raw = 0;
        for (std::size_t i = 0; i < 4 && i < d.size(); ++i) {
            raw |= static_cast<std::uint32_t>(d[i]) << (8 * i);
        }
        return line + "= dw:" + std::to_string(static_cast<std::int32_t>(raw));
    }
    default:
        line += "=" + std::string(kRawMarker) + ":" + std::to_string(value.type) + ":";
        appendBytes(line, d);
        return line;
    }
}

namespace {

bool knownType(const std::string& type) {
    return type == "sz" || type == "esz" || type == "dw" || type == "bin" || type == kRawMarker;
}

// The position of the '=' that ends the name. The old reader took the first '=' of the line, so a
// name holding '=' lost its value on every restore. When the first '=' gives no usable marker, the
// first later quote + marker (`"= sz:` and the like) is taken instead; a line the old reader read
// is read the same.
std::size_t findNameEnd(const std::string& line) {
    const std::size_t first = line.find('=');
    if (first != std::string::npos && first >= 2) {
        const std::string type = trimBlanks(line.substr(first + 1, 3));
        // Older readers never knew "raw", so a name like "a=raw:1" keeps its value: the raw marker
        // counts at the first "=" only right after the closing quote.
        if (type == kRawMarker ? line[first - 1] == '"' : knownType(type)) {
            return first;
        }
    }
    if (line.starts_with('"')) {
        for (std::size_t q = line.find("\"=", 1); q != std::string::npos; q = line.find("\"=", q + 1)) {
            if (line.size() >= q + 6 && line[q + 5] == ':' && knownType(trimBlanks(line.substr(q + 2, 3)))) {
                return q + 1;
            }
        }
    }
    return first;
}

bool holdsLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

} // namespace

std::string whyNotCarried(const RegValue& value) {
    const auto line = formatValueLine(value);
    if (!line) {
        return "";
    }
    if (holdsLineBreak(value.name)) {
        return "its name holds a line break, which the registry text cannot carry";
    }
    const bool text = value.type == kRegSz || value.type == kRegExpandSz;
    const std::string data =
        text && !value.data.empty() ? std::string(value.data.begin(), value.data.end() - 1) : std::string();
    if (text && holdsLineBreak(data)) {
        return "its text holds a line break, which the registry text cannot carry";
    }
    RegValue back;
    std::string why;
    if (parseValueLine(*line, back, why) != LineParse::Value || back.name != value.name ||
        back.type != value.type || (text && std::string(back.data.begin(), back.data.end()) != data)) {
        return "its name would be read back as another value (it holds \"=\" and a type marker)";
    }
    return "";
}

std::string shownName(const std::string& name) {
    if (name.empty()) {
        return "(Default)";
    }
    std::string out;
    for (char c : name) {
        out += c == '\r' ? std::string("<CR>") : c == '\n' ? std::string("<LF>") : std::string(1, c);
    }
    return out;
}

LineParse parseValueLine(const std::string& line, RegValue& out, std::string& why) {
    const std::size_t eq = findNameEnd(line);
    if (eq == std::string::npos) {
        why = "the line is neither a key line (starting with \"\\\") nor a value line (it has no \"=\")";
        return LineParse::Malformed;
    }
    if (eq < 2) {
        why = "a value line must start with the value name in double quotes before the \"=\"";
        return LineParse::Malformed;
    }
    out.name = line.substr(1, eq - 2);
    const std::string type = trimBlanks(line.substr(eq + 1, 3));
    const std::string data = eq + 5 <= line.size() ? line.substr(eq + 5) : std::string();
    out.data.clear();
    if (type == "sz" || type == "esz") {
        out.type = type == "sz" ? kRegSz : kRegExpandSz;
        out.data.assign(data.begin(), data.end());
        return LineParse::Value;
    }
    if (type == "dw") {
        long long n = 0;
        if (!parseInt(data, INT32_MIN, INT32_MAX, n)) {
            why = "the \"dw\" value \"" + out.name + "\" holds \"" + data +
                  "\", not a whole number from -2147483648 to 2147483647";
            return LineParse::Malformed;
        }
        auto raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(n));
        out.type = kRegDword;
        out.data = {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
                    static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
        return LineParse::Value;
    }
    if (type == "bin") {
        out.type = kRegBinary;
        return parseBytes(data, out.name, type, out.data, why) ? LineParse::Value : LineParse::Malformed;
    }
    if (type == kRawMarker) {
        // <type code>:<bytes>
        const std::size_t colon = data.find(':');
        long long code = 0;
        if (colon == std::string::npos || !parseInt(data.substr(0, colon), 0, UINT32_MAX, code)) {
            why = "the \"raw\" value \"" + out.name +
                  "\" does not start with its type code (a whole number) and a \":\"";
            return LineParse::Malformed;
        }
        out.type = static_cast<std::uint32_t>(code);
        return parseBytes(data.substr(colon + 1), out.name, type, out.data, why) ? LineParse::Value
                                                                                 : LineParse::Malformed;
    }
    return LineParse::Skipped;
}

} // namespace qob::regtext
