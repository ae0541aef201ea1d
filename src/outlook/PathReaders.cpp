#include "outlook/PathReaders.h"

#include "platform/TextEncoding.h"
#include "registry/KeyHandle.h"

namespace qob {

namespace {

constexpr std::size_t kDllNameOffset = 22;
constexpr std::size_t kDllNameEnd = 36; // the name and its zero padding end before the UID

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 code units as UTF-8, surrogate pairs joined; a lone surrogate names no file.
std::string utf16ToUtf8(const std::u16string& units) {
    std::string out;
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
            continue;
        }
        appendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? char32_t{0xFFFD} : unit);
    }
    return out;
}

// Where the path starts in text: the drive letter before the last ":\", else the last "\\" that
// has something after it; npos when there is neither.
template <typename Text> std::size_t pathStart(const Text& text) {
    using Char = typename Text::value_type;
    for (std::size_t i = text.size(); i-- > 1;) {
        if (text[i] == Char(':') && i + 1 < text.size() && text[i + 1] == Char('\\')) {
            return i - 1;
        }
    }
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] == Char('\\') && i + 1 < text.size() && text[i + 1] == Char('\\')) {
            return i + 2 < text.size() ? i : std::string::npos;
        }
    }
    return std::string::npos;
}

// UTF-16LE text from `start` up to its terminating zero unit (or the end of the value).
std::optional<PathInValue> wideAt(const std::vector<std::uint8_t>& bytes, std::size_t start) {
    std::u16string units;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        units += unit;
    }
    const std::size_t from = pathStart(units);
    if (from == std::string::npos) {
        return std::nullopt;
    }
    return PathInValue{utf16ToUtf8(units.substr(from)), PathForm::Wide, start + 2 * from,
                       2 * (units.size() - from)};
}

// Single-byte (Windows-1252) text from `start` up to its NUL (or the end of the value).
std::optional<PathInValue> ansiAt(const std::vector<std::uint8_t>& bytes, std::size_t start) {
    std::string raw;
    for (std::size_t i = start; i < bytes.size() && bytes[i] != 0; ++i) {
        raw += static_cast<char>(bytes[i]);
    }
    const std::size_t from = pathStart(raw);
    if (from == std::string::npos) {
        return std::nullopt;
    }
    return PathInValue{textenc::windows1252ToUtf8(raw.substr(from)), PathForm::Ansi, start + from,
                       raw.size() - from};
}

// The reading profiles were always read with, for values in no known layout: zero bytes skipped,
// each run of non-zero bytes taken in pairs (low byte first), a byte left at a run's end alone.
std::string oldWideReading(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] == 0) {
            ++i;
            continue;
        }
        char32_t cp = bytes[i];
        if (i + 1 < bytes.size() && bytes[i + 1] != 0) {
            cp |= static_cast<char32_t>(bytes[i + 1]) << 8;
            i += 2;
        } else {
            i += 1;
        }
        appendUtf8(text, cp >= 0xD800 && cp <= 0xDFFF ? char32_t{0xFFFD} : cp);
    }
    return pathFromText(text);
}

// The old single-byte reading: every zero byte dropped, the rest Windows-1252 text.
std::string oldAnsiReading(const std::vector<std::uint8_t>& bytes) {
    std::string raw;
    for (std::uint8_t b : bytes) {
        if (b != 0) {
            raw += static_cast<char>(b);
        }
    }
    return pathFromText(textenc::windows1252ToUtf8(raw));
}

} // namespace

std::string storeProviderDll(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() <= kStorePathOffset) {
        return "";
    }
    std::string name;
    std::size_t i = kDllNameOffset;
    for (; i < kDllNameEnd && bytes[i] != 0; ++i) {
        if (bytes[i] < 0x21 || bytes[i] > 0x7E) {
            return "";
        }
        name += static_cast<char>(bytes[i] >= 'A' && bytes[i] <= 'Z' ? bytes[i] + 0x20 : bytes[i]);
    }
    for (; i < kDllNameEnd; ++i) {
        if (bytes[i] != 0) {
            return "";
        }
    }
    return name.size() > 4 && name.ends_with(".dll") ? name : "";
}

bool namesDataFile(const std::vector<std::uint8_t>& bytes) {
    const std::string dll = storeProviderDll(bytes);
    return dll.empty() || dll == "mspst.dll";
}

std::optional<PathInValue> locatePath(const std::vector<std::uint8_t>& bytes) {
    if (!storeProviderDll(bytes).empty()) {
        return bytes[kStorePathOffset] != 0 ? ansiAt(bytes, kStorePathOffset)
                                            : wideAt(bytes, kStoreEntryIdHeader);
    }
    // No head we know: UTF-16LE text after 54 bytes, as such values were always read, else a bare
    // path from the first byte.
    if (bytes.size() > kStoreEntryIdHeader) {
        if (auto found = wideAt(bytes, kStoreEntryIdHeader)) {
            return found;
        }
    }
    return wideAt(bytes, 0);
}

std::optional<std::vector<std::uint8_t>> readBinaryValue(Registry& registry, const std::string& keyPath,
                                                         const std::string& valueName) {
    std::string below = keyPath;
    const RegRoot root = registry.parseKeyPath(below);
    if (root == RegRoot::None) {
        return std::nullopt;
    }
    RegistryStore& store = registry.store();
    KeyHandle key(store);
    if (store.openKey(root, below, false, key.out()) != kRegSuccess) {
        return std::nullopt;
    }
    RegValue value;
    for (std::uint32_t i = 0; store.enumValue(key.get(), i, value) == kRegSuccess; ++i) {
        if (value.name == valueName && value.type == kRegBinary) {
            return std::move(value.data);
        }
    }
    return std::nullopt;
}

std::string pathFromText(const std::string& text) {
    const std::size_t from = pathStart(text);
    return from == std::string::npos ? std::string(kPathError) : text.substr(from);
}

std::string decodeWidePath(const std::vector<std::uint8_t>& bytes) {
    if (auto found = locatePath(bytes); found && found->form == PathForm::Wide) {
        return found->path;
    }
    return oldWideReading(bytes);
}

std::string decodeAnsiPath(const std::vector<std::uint8_t>& bytes) {
    if (auto found = locatePath(bytes); found && found->form == PathForm::Ansi) {
        return found->path;
    }
    return oldAnsiReading(bytes);
}

std::string getBinaryPathWide(Registry& registry, const std::string& keyPath, const std::string& valueName) {
    auto bytes = readBinaryValue(registry, keyPath, valueName);
    return bytes ? decodeWidePath(*bytes) : kPathError;
}

std::string getBinaryPathAnsi(Registry& registry, const std::string& keyPath, const std::string& valueName) {
    auto bytes = readBinaryValue(registry, keyPath, valueName);
    return bytes ? decodeAnsiPath(*bytes) : kPathError;
}

std::string dataFilePathOf(const std::vector<std::uint8_t>& bytes) {
    if (auto found = locatePath(bytes)) {
        return found->path;
    }
    if (std::string path = oldWideReading(bytes); path != kPathError) {
        return path;
    }
    return oldAnsiReading(bytes);
}

std::string getDataFilePath(Registry& registry, const std::string& serviceKey) {
    auto bytes = readBinaryValue(registry, serviceKey, "01020fff");
    return bytes ? dataFilePathOf(*bytes) : kPathError;
}

} // namespace qob
