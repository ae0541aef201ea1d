#include "schedule/SchtasksTaskXml.h"

#include "platform/TextEncoding.h"

#include <cctype>

namespace qob {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A lone surrogate becomes U+FFFD: the text is for reading and for messages, never written back.
std::string utf16leToUtf8(const std::string& bytes, std::size_t start) {
    std::string out;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) |
               (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    };
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        std::uint32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

bool looksLikeUtf16(const std::string& bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        return true;
    }
    // Text of schtasks always begins with ASCII ("<?xml", "ERROR:", "SUCCESS:", a quote, a line break).
    return bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes[0] != '\0' && bytes[1] == '\0';
}

// The text between <name ...> and </name>, "" for <name/>; nullopt when there is no such element.
// Names match whole: <Command> is not found inside <CommandLine>.
std::optional<std::string> element(const std::string& xml, const std::string& name) {
    const std::string open = "<" + name;
    for (std::size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1)) {
        const std::size_t after = at + open.size();
        if (after >= xml.size()) {
            return std::nullopt;
        }
        const char next = xml[after];
        if (next != '>' && next != '/' && !std::isspace(static_cast<unsigned char>(next))) {
            continue;
        }
        const std::size_t tagEnd = xml.find('>', after);
        if (tagEnd == std::string::npos) {
            return std::nullopt;
        }
        if (xml[tagEnd - 1] == '/') {
            return std::string();
        }
        const std::size_t close = xml.find("</" + name + ">", tagEnd + 1);
        if (close == std::string::npos) {
            return std::nullopt;
        }
        return xml.substr(tagEnd + 1, close - tagEnd - 1);
    }
    return std::nullopt;
}

// Character data with its five named entities and numeric references resolved.
std::string unescaped(const std::string& text) {
    static const std::pair<const char*, char> named[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        bool done = false;
        for (const auto& [entity, c] : named) {
            if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                out += c;
                i += std::char_traits<char>::length(entity) - 1;
                done = true;
                break;
            }
        }
        const std::size_t semi = text.find(';', i);
        if (!done && semi != std::string::npos && i + 2 < semi && text[i + 1] == '#') {
            const bool hex = text[i + 2] == 'x' || text[i + 2] == 'X';
            const std::string digits = text.substr(i + (hex ? 3 : 2), semi - i - (hex ? 3 : 2));
            std::uint32_t value = 0;
            bool valid = !digits.empty() && digits.size() <= 8;
            for (char d : digits) {
                const bool ok = hex ? std::isxdigit(static_cast<unsigned char>(d)) != 0
                                    : std::isdigit(static_cast<unsigned char>(d)) != 0;
                valid = valid && ok;
                if (ok) {
                    value = value * (hex ? 16 : 10) +
                            static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(d))
                                                           ? d - '0'
                                                           : std::tolower(static_cast<unsigned char>(d)) -
                                                                 'a' + 10);
                }
            }
            if (valid && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value >= 0xE000)) {
                appendUtf8(out, value);
                i = semi;
                done = true;
            }
        }
        if (!done) {
            out += '&';
        }
    }
    return out;
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool twoDigits(const std::string& text, std::size_t at, int high, int& value) {
    if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
        !std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
        return false;
    }
    value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return value <= high;
}

} // namespace

std::string schtasksOutputText(const std::string& bytes, std::uint32_t codePage) {
    if (looksLikeUtf16(bytes)) {
        const bool bom = bytes[0] == '\xFF' && bytes[1] == '\xFE';
        return utf16leToUtf8(bytes, bom ? 2 : 0);
    }
    if (textenc::isValidUtf8(bytes)) {
        return bytes;
    }
    return textenc::storedTextToUtf8(bytes, codePage);
}

std::optional<ScheduledTask> parseTaskXml(const std::string& xml) {
    const std::optional<std::string> trigger = element(xml, "CalendarTrigger");
    const std::optional<std::string> exec = element(xml, "Exec");
    if (!trigger || !exec) {
        return std::nullopt;
    }
    ScheduledTask task;
    const std::string start = trimmed(element(*trigger, "StartBoundary").value_or(""));
    const std::size_t t = start.find('T');
    if (t == std::string::npos || t + 6 > start.size() || start[t + 3] != ':' ||
        !twoDigits(start, t + 1, 23, task.hour) || !twoDigits(start, t + 4, 59, task.minute)) {
        return std::nullopt;
    }
    if (const auto week = element(*trigger, "ScheduleByWeek")) {
        static const char* const names[7] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                             "Friday", "Saturday", "Sunday"};
        const std::string days = element(*week, "DaysOfWeek").value_or("");
        for (std::size_t d = 0; d < 7; ++d) {
            task.days[d] = element(days, names[d]).has_value();
        }
    } else if (!element(*trigger, "ScheduleByDay")) {
        return std::nullopt;
    }
    std::string command = trimmed(unescaped(element(*exec, "Command").value_or("")));
    if (command.size() >= 2 && command.front() == '"' && command.back() == '"') {
        command = command.substr(1, command.size() - 2);
    }
    if (command.empty()) {
        return std::nullopt;
    }
    task.program = command;
    const std::string arguments = unescaped(element(*exec, "Arguments").value_or(""));
    const std::size_t first = arguments.find_first_not_of(' ');
    task.arguments = first == std::string::npos ? "" : " " + arguments.substr(first);
    return task;
}

} // namespace qob
