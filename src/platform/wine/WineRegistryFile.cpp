#include "platform/wine/WineRegistryFile.h"

#include "platform/wine/WineRegistryText.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qob::wine {

// Reading a registry file into its key tree, line by line as the wineserver reads it.

namespace {

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r'); // \t \n \v \f \r
}
// The value of each hex digit, 0xff for every other byte: one lookup per character of the hex
// lines, which make up most of a large user.reg.
constexpr std::array<std::uint8_t, 256> kHexDigitValues = [] {
    std::array<std::uint8_t, 256> table{};
    table.fill(0xff);
    for (int i = 0; i < 10; ++i)
        table['0' + i] = static_cast<std::uint8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table['a' + i] = static_cast<std::uint8_t>(10 + i);
        table['A' + i] = static_cast<std::uint8_t>(10 + i);
    }
    return table;
}();
unsigned hexValue(char c) {
    return kHexDigitValues[static_cast<unsigned char>(c)];
}
bool isHexDigit(char c) {
    return hexValue(c) != 0xff;
}

void appendUnitsLE(const std::u16string& units, std::vector<std::uint8_t>& out) {
    out.reserve(out.size() + units.size() * 2 + 2);
    for (char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xff));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
}

// Walks the lines of the file the way the wineserver's reader does: a line ends at '\n', one
// '\r' before it is dropped, and a NUL byte ends the line's text (the server uses strlen). The
// text is copied out only for a line that is parsed: most lines a lazy load only looks at.
class LineReader {
public:
    explicit LineReader(std::string_view text, int lineBefore = 0) : text_(text), number_(lineBefore) {}

    bool next() {
        if (pos_ >= text_.size())
            return false;
        ++number_;
        const void* nl = std::memchr(text_.data() + pos_, '\n', text_.size() - pos_);
        lineStart_ = pos_;
        lineEnd_ = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - text_.data()) : text_.size();
        newline_ = nl != nullptr;
        pos_ = nl ? lineEnd_ + 1 : text_.size();
        copied_ = false;
        return true;
    }
    // The line's first character that is not white space; '\0' for a blank line or a NUL first.
    char first() const {
        for (std::size_t i = lineStart_; i < lineEnd_; ++i)
            if (!isSpace(text_[i]))
                return text_[i];
        return '\0';
    }
    // Whether the line holds a backslash anywhere (past a NUL too), the one thing that lets a hex
    // value go on to the next line.
    bool holdsBackslash() const {
        return std::memchr(text_.data() + lineStart_, '\\', lineEnd_ - lineStart_) != nullptr;
    }
    const std::string& line() {
        if (!copied_) {
            std::string_view line = text_.substr(lineStart_, lineEnd_ - lineStart_);
            const std::size_t nul = line.find('\0');
            if (nul != std::string_view::npos)
                line = line.substr(0, nul);
            else if (newline_ && !line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            line_.assign(line.data(), line.size()); // keeps its capacity: no allocation per line
            copied_ = true;
        }
        return line_;
    }
    int number() const { return number_; }
    std::size_t lineStart() const { return lineStart_; }
    std::size_t nextStart() const { return pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t lineStart_ = 0;
    std::size_t lineEnd_ = 0;
    bool newline_ = false;
    bool copied_ = false;
    int number_ = 0;
    std::string line_;
};

using Warnings = std::vector<std::pair<int, std::string>>; // by line number

const char* skipSpaces(const char* p) {
    while (*p && isSpace(*p))
        ++p;
    return p;
}

class Loader {
public:
    Loader(LineReader& reader, const std::string& fileName, std::uint64_t loadTime, Warnings& warnings)
        : in_(reader), fileName_(fileName), loadTime_(loadTime), warnings_(warnings) {}

    void warn(const char* what) {
        warnings_.emplace_back(in_.number(), fileName_ + ":" + std::to_string(in_.number()) + ": " + what +
                                                 " '" + in_.line() + "'");
    }

    // A line of a key's section other than its header and options, which start with '[' and '#'.
    void loadBodyLine(WineRegistryKey& key, char first) {
        switch (first) {
        case '@':
        case '"':
            loadValue(key, skipSpaces(in_.line().c_str()));
            break;
        case ';':
        case '\0':
            break;
        default:
            warn("Unrecognized input");
            break;
        }
    }

    // The time a key gets once its section ends: it and every parent still without one.
    static void settleTime(WineRegistryKey* key, std::uint64_t modified) {
        while (key && key->modified == 0) {
            key->modified = modified;
            key = key->parent();
        }
    }

    WineRegistryKey* loadKey(WineRegistryKey& root, const char* text, std::uint64_t& modified) {
        const std::string_view rest(text);
        const std::ptrdiff_t used = parseEscaped(rest, ']', units_);
        if (used < 0) {
            warn("Malformed key");
            return nullptr;
        }
        // Like sscanf(" %u"): optional spaces, then a number; anything after it is ignored.
        const char* p = text + used;
        while (*p && isSpace(*p))
            ++p;
        const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
        if (*digits >= '0' && *digits <= '9')
            modified = secondsToFileTime(static_cast<std::uint32_t>(std::strtoul(p, nullptr, 10)));
        else
            modified = loadTime_;

        WineRegistryKey* key = &root;
        std::size_t i = 0;
        const std::size_t n = units_.size();
        while (i < n) {
            while (i < n && units_[i] == u'\\')
                ++i;
            const std::size_t start = i;
            while (i < n && units_[i] != u'\\')
                ++i;
            if (i > start)
                key = key->ensureSubkey(std::u16string_view(units_).substr(start, i - start));
        }
        return key;
    }

    void loadOption(WineRegistryKey& key, const char* p) {
        if (!std::strncmp(p, "#time=", 6)) {
            std::uint64_t modified = 0;
            for (const char* q = p + 6; isHexDigit(*q); ++q)
                modified = (modified << 4) |
                           static_cast<std::uint64_t>(*q <= '9' ? *q - '0' : (*q | 0x20) - 'a' + 10);
            settleTime(&key, modified);
        }
        if (!std::strncmp(p, "#class=", 7) && p[7] == '"') {
            if (parseEscaped(std::string_view(p + 8), '"', units_) >= 0) {
                units_.push_back(0); // the server keeps the parsed terminator in the class
                key.className = units_;
            }
        }
        if (!std::strncmp(p, "#link", 5))
            key.isLink = true;
    }

    void loadValue(WineRegistryKey& key, const char* line) {
        std::size_t used;
        if (line[0] == '@') {
            valueName_.clear();
            used = 1;
        } else {
            const std::ptrdiff_t r = parseEscaped(std::string_view(line + 1), '"', valueName_);
            if (r < 0) {
                warn("Malformed value name");
                return;
            }
            used = static_cast<std::size_t>(r) + 1;
        }
        while (isSpace(line[used]))
            ++used;
        if (line[used] != '=') {
            warn("Malformed value name");
            return;
        }
        ++used;
        while (isSpace(line[used]))
            ++used;
        WineRegistryValue& value = key.ensureValue(valueName_);
        if (!loadData(value, line + used)) {
            warn("Malformed value");
            value.type = 0;
            value.data.clear();
        }
    }

    bool loadData(WineRegistryValue& value, const char* p) {
        enum class Parse { String, Dword, Hex } parse;
        std::uint32_t type;
        if (*p == '"') {
            type = 1, parse = Parse::String, p += 1;
        } else if (!std::strncmp(p, "str:\"", 5)) {
            type = 1, parse = Parse::String, p += 5;
        } else if (!std::strncmp(p, "str(2):\"", 8)) {
            type = 2, parse = Parse::String, p += 8;
        } else if (!std::strncmp(p, "str(7):\"", 8)) {
            type = 7, parse = Parse::String, p += 8;
        } else if (!std::strncmp(p, "hex:", 4)) {
            type = 3, parse = Parse::Hex, p += 4;
        } else if (!std::strncmp(p, "dword:", 6)) {
            type = 4, parse = Parse::Dword, p += 6;
        } else if (!std::strncmp(p, "hex(", 4)) {
            char* end = nullptr;
            type = static_cast<std::uint32_t>(std::strtoul(p + 4, &end, 16));
            if (std::strncmp(end, "):", 2))
                return false;
            parse = Parse::Hex, p = end + 2;
        } else {
            return false;
        }

        std::vector<std::uint8_t>& data = data_; // reused: a long value grows it once per load
        data.clear();
        switch (parse) {
        case Parse::String:
            if (parseEscaped(std::string_view(p), '"', units_) < 0)
                return false;
            units_.push_back(0);
            appendUnitsLE(units_, data);
            break;
        case Parse::Dword: {
            const auto dw = static_cast<std::uint32_t>(std::strtoul(p, nullptr, 16));
            for (int i = 0; i < 4; ++i)
                data.push_back(static_cast<std::uint8_t>(dw >> (8 * i)));
            break;
        }
        case Parse::Hex:
            for (;;) {
                // Room first for every byte the rest of the line can hold (a byte takes at least
                // two characters but the last), then stores through a pointer: a push_back per
                // byte reloaded the vector's end after each store.
                const std::string& line = in_.line();
                const bool inLine = p >= line.c_str() && p <= line.c_str() + line.size();
                const std::size_t rest =
                    inLine ? static_cast<std::size_t>(line.c_str() + line.size() - p) : std::strlen(p);
                const std::size_t start = data.size();
                data.resize(start + rest / 2 + 1);
                std::uint8_t* out = data.data() + start;
                while (isHexDigit(*p)) {
                    // Two digits and a comma: nearly every byte of a large user.reg.
                    if (const unsigned low = hexValue(p[1]); low <= 15 && p[2] == ',') {
                        *out++ = static_cast<std::uint8_t>(hexValue(p[0]) << 4 | low);
                        p += 3;
                        while (isSpace(*p))
                            ++p;
                        continue;
                    }
                    // Two digits and no third, as every writer puts them, are read here: strtoul on
                    // each byte took half the load time of a large user.reg. It reads the rest
                    // ("0x" prefixes, one digit, more digits), so that the bytes stay the server's.
                    if (isHexDigit(p[1]) && !isHexDigit(p[2])) {
                        *out++ = static_cast<std::uint8_t>(hexValue(p[0]) << 4 | hexValue(p[1]));
                        p += 2;
                    } else {
                        char* end = nullptr;
                        const auto byte = static_cast<unsigned int>(std::strtoul(p, &end, 16));
                        if (end == p || byte > 0xff)
                            return false;
                        *out++ = static_cast<std::uint8_t>(byte);
                        p = end;
                    }
                    while (isSpace(*p))
                        ++p;
                    if (*p == ',')
                        ++p;
                    while (isSpace(*p))
                        ++p;
                }
                data.resize(static_cast<std::size_t>(out - data.data()));
                while (isSpace(*p))
                    ++p;
                if (!*p)
                    break;
                if (*p != '\\' || !in_.next())
                    return false;
                p = in_.line().c_str();
                while (isSpace(*p))
                    ++p;
            }
            break;
        }
        value.type = type;
        value.data.assign(data.begin(), data.end());
        return true;
    }

private:
    LineReader& in_;
    const std::string& fileName_;
    std::uint64_t loadTime_;
    Warnings& warnings_;
    std::u16string units_;
    std::u16string valueName_;
    std::vector<std::uint8_t> data_;
};

bool holdsBackslash(std::string_view text, std::size_t begin, std::size_t end) {
    return std::memchr(text.data() + begin, '\\', end - begin) != nullptr;
}

} // namespace

// A file's bytes and name, kept for the value lines a load left unread.
class LoadedText {
public:
    std::string bytes;
    std::string fileName;
    std::shared_ptr<Warnings> warnings; // the file's, which the lines add to when read
};

struct KeyLoading {
    // Leaves a line of `key`'s section for later, joined to the lines left just before it.
    static void leaveUnread(WineRegistryKey& key, const std::shared_ptr<const LoadedText>& text,
                            std::size_t begin, std::size_t end, int lineBefore) {
        if (!key.unread_.empty() && key.unread_.back().end == begin)
            key.unread_.back().end = end;
        else
            key.unread_.push_back({text, begin, end, lineBefore});
    }
};

void WineRegistryKey::readUnreadLinesNow() const {
    // Taken out first: the loader stores through ensureValue, which must find nothing left to read.
    std::vector<UnreadLines> unread;
    unread.swap(unread_);
    auto& key = const_cast<WineRegistryKey&>(*this);
    for (const UnreadLines& lines : unread) {
        const LoadedText& text = *lines.text;
        LineReader in(std::string_view(text.bytes).substr(lines.begin, lines.end - lines.begin),
                      lines.lineBefore);
        Loader loader(in, text.fileName, 0, *text.warnings);
        while (in.next())
            loader.loadBodyLine(key, in.first());
    }
}

WineRegistryFile::WineRegistryFile(std::string rootPath, std::string arch, std::uint64_t now)
    : arch_(std::move(arch)), root_(std::make_shared<WineRegistryKey>(std::u16string())),
      warnings_(std::make_shared<Warnings>()) {
    header_ = "WINE REGISTRY Version 2\n;; All keys relative to ";
    for (char c : rootPath) {
        if (c == '\\')
            header_ += "\\\\";
        else
            header_.push_back(c);
    }
    header_ += "\n";
    if (!arch_.empty())
        header_ += "\n#arch=" + arch_ + "\n";
    root_->modified = now ? now : fileTimeNow();
}

bool WineRegistryFile::read(std::string_view text, const std::string& fileName, std::uint64_t loadTime,
                            WineRegistryLoadResult& result, const std::shared_ptr<const LoadedText>& lazy) {
    header_.clear();
    root_->modified = 0;
    result = {};

    const auto finish = [&](std::string error) {
        result.ok = error.empty();
        result.error = std::move(error);
        for (const auto& warning : *warnings_)
            result.warnings.push_back(warning.second);
        return true;
    };
    LineReader in(text);
    if (!in.next() || in.line() != "WINE REGISTRY Version 2")
        return finish(fileName +
                      ":1: not a Wine registry file (the first line must be \"WINE REGISTRY Version "
                      "2\", found '" +
                      (in.number() ? in.line() : std::string()) + "')");
    std::size_t headerEnd = in.nextStart();
    std::size_t contentEnd = headerEnd;
    bool inHeader = true;
    // The line before this one when it was left unread, and the last such line that was not blank.
    bool afterUnread = false, lastUnread = false;
    std::size_t unreadBegin = 0, unreadEnd = 0, lastBegin = 0, lastEnd = 0;

    Loader loader(in, fileName, loadTime, *warnings_);
    WineRegistryKey* current = nullptr;
    std::uint64_t modified = loadTime;
    while (in.next()) {
        const char first = in.first();
        if (lazy && current && first != '[' && first != '#') {
            KeyLoading::leaveUnread(*current, lazy, in.lineStart(), in.nextStart(), in.number() - 1);
            afterUnread = true;
            unreadBegin = in.lineStart();
            unreadEnd = in.nextStart();
            if (first != '\0') {
                contentEnd = in.nextStart();
                lastUnread = true;
                lastBegin = unreadBegin;
                lastEnd = unreadEnd;
            }
            continue;
        }
        // A hex value whose line holds a backslash may go on to the next line whatever that line
        // holds, a key's header included. Where a line left unread could be one, only reading
        // the values tells where the section ends: the caller reads the file at once instead.
        if (afterUnread && holdsBackslash(text, unreadBegin, unreadEnd))
            return false;
        afterUnread = false;
        const char* p = skipSpaces(in.line().c_str());
        if (inHeader && *p && *p != '[')
            headerEnd = in.nextStart();
        const bool blank = !*p;
        switch (*p) {
        case '[':
            inHeader = false;
            if (current)
                Loader::settleTime(current, modified);
            current = loader.loadKey(*root_, p + 1, modified);
            break;
        case '@':
        case '"':
            if (current)
                loader.loadValue(*current, p);
            else
                loader.warn("Value without key");
            break;
        case '#':
            if (current) {
                loader.loadOption(*current, p);
            } else if (!std::strncmp(p, "#arch=", 6)) {
                const std::string arch(p + 6);
                if (arch != "win32" && arch != "win64")
                    return finish(fileName + ":" + std::to_string(in.number()) + ": Unknown architecture '" +
                                  in.line() + "'");
                if (!arch_.empty() && arch_ != arch)
                    return finish(fileName + ":" + std::to_string(in.number()) +
                                  ": Mismatched architecture '" + in.line() + "'");
                arch_ = arch;
            }
            break;
        default:
            if (current)
                loader.loadBodyLine(*current, *p);
            else if (*p != ';' && *p != '\0')
                loader.warn("Unrecognized input");
            break;
        }
        // Only now: a hex value reads its continuation lines itself, and those are content too,
        // or they would be kept a second time as the trailer.
        if (!blank) {
            contentEnd = in.nextStart();
            lastUnread = false;
        }
    }
    // Blank lines after the file's last line are its trailer, unless a hex value went on into them.
    if (lastUnread && contentEnd < text.size() && holdsBackslash(text, lastBegin, lastEnd))
        return false;
    if (current)
        Loader::settleTime(current, modified);
    if (root_->modified == 0)
        root_->modified = loadTime;
    header_.assign(text.substr(0, headerEnd));
    // Wine ends the file after the last value; blank lines after it (an edited or cut file) stay.
    if (!inHeader && contentEnd < text.size() && text[contentEnd - 1] == '\n')
        trailer_.assign(text.substr(contentEnd));
    if (!header_.empty() && header_.back() != '\n')
        header_.push_back('\n');
    return finish({});
}

WineRegistryFile WineRegistryFile::parse(std::string_view text, const std::string& fileName,
                                         std::uint64_t loadTime, WineRegistryLoadResult& result) {
    WineRegistryFile file("", "", loadTime);
    file.read(text, fileName, loadTime, result, nullptr);
    return file;
}

WineRegistryFile WineRegistryFile::parse(std::string&& text, const std::string& fileName,
                                         std::uint64_t loadTime, WineRegistryLoadResult& result,
                                         ValueReading reading) {
    if (reading == ValueReading::AtOnce)
        return parse(std::string_view(text), fileName, loadTime, result);
    auto loaded = std::make_shared<LoadedText>();
    loaded->bytes = std::move(text);
    loaded->fileName = fileName;
    WineRegistryFile file("", "", loadTime);
    loaded->warnings = file.warnings_;
    if (file.read(loaded->bytes, fileName, loadTime, result, loaded))
        return file;
    return parse(std::string_view(loaded->bytes), fileName, loadTime, result);
}

std::vector<std::string> WineRegistryFile::warnings() const {
    std::vector<const WineRegistryKey*> keys{root_.get()};
    while (!keys.empty()) {
        const WineRegistryKey* key = keys.back();
        keys.pop_back();
        key->values();
        for (const auto& sub : key->subkeys())
            keys.push_back(sub.get());
    }
    // Lines left unread added theirs when they were read, which was not in the file's order.
    Warnings sorted = *warnings_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (auto& warning : sorted)
        out.push_back(std::move(warning.second));
    return out;
}

WineRegistryFile WineRegistryFile::load(const std::filesystem::path& path, std::uint64_t loadTime,
                                        WineRegistryLoadResult& result, ValueReading reading) {
    std::string text;
    const std::string name = path.filename().string();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        const int err = errno;
        WineRegistryFile empty;
        result = {};
        result.ok = false;
        result.error = name + ": cannot read " + path.string() + ": " + std::strerror(err);
        return empty;
    }
    // Read straight into a buffer of the file's size (one copy, no growing), then whatever a
    // writer appended meanwhile.
    struct stat st {};
    if (::fstat(::fileno(f), &st) == 0 && st.st_size > 0)
        text.resize(static_cast<std::size_t>(st.st_size));
    text.resize(std::fread(text.data(), 1, text.size(), f));
    char buffer[1 << 16];
    std::size_t got;
    while (!std::ferror(f) && (got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, got);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) {
        WineRegistryFile empty;
        result = {};
        result.ok = false;
        result.error = name + ": read error in " + path.string();
        return empty;
    }
    return parse(std::move(text), name, loadTime, result, reading);
}

} // namespace qob::wine
