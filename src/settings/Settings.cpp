#include "settings/Settings.h"
#include "platform/AsciiCase.h"

#include "settings/TempFiles.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace qob {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The first `count` characters of UTF-8 text, never splitting a character.
std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == count)
                return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

std::string cutAtNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

// One line of the file with its own line end, so that an edit can give back every other line
// exactly as it was read.
struct Line {
    std::string text; // without the line end
    std::string end;  // "\r\n", "\n" or "" (last line without one)
};

std::vector<Line> splitLines(const std::string& content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back({content.substr(pos), ""});
            break;
        }
        std::size_t textEnd = (nl > pos && content[nl - 1] == '\r') ? nl - 1 : nl;
        lines.push_back({content.substr(pos, textEnd - pos), content.substr(textEnd, nl + 1 - textEnd)});
        pos = nl + 1;
    }
    return lines;
}

// The section name of a header line ("[name]"), or nullopt for any other line.
std::optional<std::string> sectionName(const std::string& line) {
    std::string t = trim(line);
    if (t.empty() || t[0] != '[')
        return std::nullopt;
    std::size_t close = t.rfind(']');
    if (close == std::string::npos)
        return std::nullopt;
    return trim(t.substr(1, close - 1));
}

struct KeyLine {
    std::string key;
    std::string value; // trimmed, as the file holds it
};

std::optional<KeyLine> keyLine(const std::string& line) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos)
        return std::nullopt;
    return KeyLine{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

// Where a key stands in the file: the line of its first occurrence, or where a new one would go.
struct Location {
    std::optional<std::size_t> keyLine;     // line of the key in the first section that has it
    std::optional<std::size_t> sectionLast; // last non-blank line of the first matching section
};

Location locate(const std::vector<Line>& lines, const std::string& section, const std::string& key) {
    Location where;
    bool inSection = false;
    bool inFirstSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = sectionName(lines[i].text)) {
            inSection = equalsIgnoreCase(*name, section);
            inFirstSection = inSection && !where.sectionLast;
            if (inFirstSection)
                where.sectionLast = i;
            continue;
        }
        if (!inSection)
            continue;
        if (inFirstSection && !trim(lines[i].text).empty())
            where.sectionLast = i;
        if (auto kv = keyLine(lines[i].text); kv && equalsIgnoreCase(kv->key, key)) {
            where.keyLine = i;
            return where;
        }
    }
    return where;
}

std::optional<std::string> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return buffer.str();
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// Serialises the writers of one folder: each holds an exclusive lock on the folder itself while
// it reads, edits and renames, so two processes changing different keys both keep their change.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_;
};

} // namespace

std::filesystem::path settingsPath(const std::filesystem::path& programFolder) {
    return programFolder / "settings.dat";
}

std::string readSetting(const std::filesystem::path& file, const std::string& section,
                        const std::string& key) {
    auto content = readWhole(file);
    if (!content)
        return "";
    std::vector<Line> lines = splitLines(*content);
    Location where = locate(lines, trim(section), trim(key));
    if (!where.keyLine)
        return "";
    std::string value = keyLine(lines[*where.keyLine].text)->value;
    // The private-profile reader hands back a quoted value without its quotes.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return trim(cutAtNul(firstCharacters(value, kSettingValueMax)));
}

Status writeSetting(const std::filesystem::path& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    const std::string sectionText = trim(cutAtNul(section));
    const std::string keyText = trim(cutAtNul(key));
    const std::string valueText = firstCharacters(cutAtNul(value), kSettingValueMax);
    const std::string where = " (" + file.string() + ", [" + sectionText + "] " + keyText + ")";
    if (sectionText.empty() || hasLineBreak(sectionText) || sectionText.find(']') != std::string::npos)
        return Status::failure("Invalid settings section name \"" + section + "\"" + where);
    if (keyText.empty() || hasLineBreak(keyText) || keyText.find('=') != std::string::npos ||
        keyText[0] == '[')
        return Status::failure("Invalid settings key name \"" + key + "\"" + where);
    if (hasLineBreak(valueText))
        return Status::failure("A settings value cannot hold a line break" + where);

    std::filesystem::path folder =
        file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    FolderLock lock(folder);
    if (!lock.held())
        return Status::failure("Cannot open the folder " + folder.string() + ": " + std::strerror(errno));

    std::string content;
    std::error_code ec;
    if (std::filesystem::exists(file, ec)) {
        auto read = readWhole(file);
        if (!read)
            return Status::failure("Cannot read " + file.string());
        content = std::move(*read);
    }
    std::vector<Line> lines = splitLines(content);
    const std::string entry = keyText + "=" + valueText;
    Location at = locate(lines, sectionText, keyText);
    if (at.keyLine) {
        // Keep the spelling the file already uses for the key.
        lines[*at.keyLine].text = keyLine(lines[*at.keyLine].text)->key + "=" + valueText;
    } else {
        if (!lines.empty() && lines.back().end.empty())
            lines.back().end = "\r\n";
        if (at.sectionLast) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*at.sectionLast + 1),
                         Line{entry, "\r\n"});
        } else {
            lines.push_back({"[" + sectionText + "]", "\r\n"});
            lines.push_back({entry, "\r\n"});
        }
    }
    std::string out;
    out.reserve(content.size() + entry.size() + sectionText.size() + 8);
    for (const Line& line : lines)
        out += line.text + line.end;
    return replaceFileContents(file, out);
}

bool settingMatches(const std::string& value, long number) {
    std::string text = trim(value);
    // Only plain decimal numbers count as numbers ("1", "+1", "1.0", "1e0"); anything else, the
    // empty text included, is not a number and so matches whatever it is compared with.
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    bool dot = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (std::isdigit(static_cast<unsigned char>(c)))
            ++digits;
        else if (c == '.' && !dot)
            dot = true;
        else
            break;
    }
    if (digits == 0)
        return true;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        std::size_t expDigits = 0;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
            ++j;
            ++expDigits;
        }
        if (expDigits == 0)
            return true;
        i = j;
    }
    if (i != text.size())
        return true;
    const char* begin = text.data() + (text[0] == '+' ? 1 : 0);
    double parsed = 0;
    auto result = std::from_chars(begin, text.data() + text.size(), parsed);
    if (result.ec != std::errc())
        return true;
    return parsed == static_cast<double>(number);
}

} // namespace qob
