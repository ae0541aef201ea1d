#include "outlook/BinaryPath.h"

#include "outlook/PathReaders.h"
#include "registry/KeyHandle.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace qob {

namespace {

// 0x80..0x9F of Windows-1252; 0 marks the unassigned bytes.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Code points of UTF-8 text; a malformed byte stands for itself (Latin-1), so nothing is lost.
std::u32string decodeUtf8(const std::string& text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        bool ok = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size() + 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + static_cast<std::size_t>(k) >= text.size()) {
                ok = false;
                break;
            }
            const auto n = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((n & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (n & 0x3F);
        }
        if (!ok) {
            out += static_cast<char32_t>(c);
            i += 1;
            continue;
        }
        out += cp;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string hexJoined(const std::vector<std::uint8_t>& bytes, bool separatorAfterEach) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && !separatorAfterEach) {
            out += '=';
        }
        std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(bytes[i]));
        out += buf;
        if (separatorAfterEach) {
            out += '=';
        }
    }
    return out;
}

} // namespace

RegResult writeBinaryValue(Registry& registry, const std::string& keyPath, const std::string& valueName,
                           const std::vector<std::uint8_t>& bytes) {
    std::string path = keyPath;
    const RegRoot root = registry.parseKeyPath(path);
    if (root == RegRoot::None) {
        return kRegNotFound;
    }
    RegistryStore& store = registry.store();
    KeyHandle key(store);
    RegResult rc = store.openKey(root, path, true, key.out());
    if (rc == kRegSuccess) {
        rc = store.setValue(key.get(), valueName, kRegBinary, bytes);
    }
    return rc == kRegSuccess ? registry.flush() : rc;
}

std::string getBinaryValueHex(Registry& registry, const std::string& keyPath, const std::string& valueName) {
    auto bytes = readBinaryValue(registry, keyPath, valueName);
    return bytes ? hexJoined(*bytes, false) : "Error";
}

std::vector<std::uint8_t> utf16leBytes(const std::string& text) {
    std::vector<std::uint8_t> out;
    for (char32_t cp : decodeUtf8(text)) {
        auto unit = [&](char32_t u) {
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            out.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            unit(0xD800 + (cp >> 10));
            unit(0xDC00 + (cp & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> windows1252Bytes(const std::string& text) {
    std::vector<std::uint8_t> out;
    for (char32_t cp : decodeUtf8(text)) {
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<std::uint8_t>(cp));
            continue;
        }
        auto it = std::find(kCp1252High.begin(), kCp1252High.end(), cp);
        if (cp >= 0x80 && cp <= 0x9F && kCp1252High[cp - 0x80] == 0) {
            // The five bytes Windows-1252 leaves unassigned are read as the C1 control of the
            // same number; they go back as that byte, so a path read from a value matches it.
            out.push_back(static_cast<std::uint8_t>(cp));
            continue;
        }
        if (it == kCp1252High.end()) {
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(0x80 + (it - kCp1252High.begin())));
    }
    return out;
}

std::string wideToHexText(const std::string& text) {
    return hexJoined(utf16leBytes(text), true);
}

std::optional<std::string> ansiToHexText(const std::string& text) {
    auto bytes = windows1252Bytes(text);
    if (!bytes) {
        return std::nullopt;
    }
    return hexJoined(*bytes, true);
}

std::size_t replaceBytes(std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& from,
                         const std::vector<std::uint8_t>& to) {
    if (from.empty()) {
        return 0;
    }
    std::vector<std::uint8_t> out;
    out.reserve(data.size() + to.size());
    std::size_t count = 0;
    std::size_t i = 0;
    // A match must leave at least one byte after it, as the search text of the old hex form
    // (which ended in "=") required; matching whole bytes keeps "3=" from matching inside "43=".
    while (i < data.size()) {
        if (i + from.size() < data.size() &&
            std::equal(from.begin(), from.end(), data.begin() + static_cast<long>(i))) {
            out.insert(out.end(), to.begin(), to.end());
            i += from.size();
            ++count;
        } else {
            out.push_back(data[i]);
            ++i;
        }
    }
    data = std::move(out);
    return count;
}

RegResult replaceBinaryPath(Registry& registry, const std::string& keyPath, const std::string& valueName,
                            const std::string& oldPath, const std::string& newPath) {
    auto bytes = readBinaryValue(registry, keyPath, valueName);
    if (!bytes) {
        return kRegSuccess;
    }
    // Where the value's layout puts the path, it is rewritten there in the form it is stored in: an
    // older Outlook reads a single-byte path at byte 53 and nothing else.
    if (auto at = locatePath(*bytes); at && at->path == oldPath) {
        std::optional<std::vector<std::uint8_t>> encoded =
            at->form == PathForm::Wide ? utf16leBytes(newPath) : windows1252Bytes(newPath);
        if (!encoded || newPath.find('\0') != std::string::npos) {
            return kRegInvalidData; // the new path cannot be written in the form the profile reads
        }
        const auto begin = bytes->begin() + static_cast<long>(at->offset);
        bytes->erase(begin, begin + static_cast<long>(at->length));
        bytes->insert(bytes->begin() + static_cast<long>(at->offset), encoded->begin(), encoded->end());
        return writeBinaryValue(registry, keyPath, valueName, *bytes);
    }
    std::size_t replaced = replaceBytes(*bytes, utf16leBytes(oldPath), utf16leBytes(newPath));
    if (replaced == 0) {
        auto oldAnsi = windows1252Bytes(oldPath);
        auto newAnsi = windows1252Bytes(newPath);
        if (oldAnsi && newAnsi) {
            replaced = replaceBytes(*bytes, *oldAnsi, *newAnsi);
        }
    }
    if (replaced == 0) {
        return kRegSuccess;
    }
    return writeBinaryValue(registry, keyPath, valueName, *bytes);
}

} // namespace qob
