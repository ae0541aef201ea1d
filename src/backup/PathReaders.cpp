#include "backup/PathReaders.h"

#include "registry/KeyHandle.h"
#include "registry/TextEncoding.h"

namespace qob {

namespace {

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

// The text of a store entry ID starts after its header; a value too short to have one is taken
// whole (some tools write a bare path).
std::size_t textStart(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() > kStoreEntryIdHeader ? kStoreEntryIdHeader : 0;
}

std::string wideText(const std::vector<std::uint8_t>& bytes, std::size_t start) {
    std::string out;
    for (std::size_t i = start; i + 1 < bytes.size(); i += 2) {
        char32_t unit = static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0) {
            break;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            char32_t low = static_cast<char32_t>(bytes[i + 2] | (bytes[i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = 0xFFFD; // a lone surrogate names no file
        }
        appendUtf8(out, unit);
    }
    return out;
}

std::string ansiText(const std::vector<std::uint8_t>& bytes, std::size_t start) {
    std::string raw;
    for (std::size_t i = start; i < bytes.size() && bytes[i] != 0; ++i) {
        raw += static_cast<char>(bytes[i]);
    }
    return textenc::windows1252ToUtf8(raw);
}

} // namespace

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
    // The text holds just the path; a drive letter must stand before ":\".
    std::size_t colon = text.rfind(":\\");
    if (colon != std::string::npos && colon >= 1) {
        return text.substr(colon - 1);
    }
    std::size_t unc = text.rfind("\\\\");
    if (unc != std::string::npos && unc + 2 < text.size()) {
        return text.substr(unc);
    }
    return kPathError;
}

std::string decodeWidePath(const std::vector<std::uint8_t>& bytes) {
    std::size_t start = textStart(bytes);
    std::string path = pathFromText(wideText(bytes, start));
    if (path == kPathError && start != 0) {
        path = pathFromText(wideText(bytes, 0));
    }
    return path;
}

std::string decodeAnsiPath(const std::vector<std::uint8_t>& bytes) {
    std::size_t start = textStart(bytes);
    std::string path = pathFromText(ansiText(bytes, start));
    if (path == kPathError && start != 0) {
        path = pathFromText(ansiText(bytes, 0));
    }
    return path;
}

std::string getBinaryPathWide(Registry& registry, const std::string& keyPath, const std::string& valueName) {
    auto bytes = readBinaryValue(registry, keyPath, valueName);
    return bytes ? decodeWidePath(*bytes) : kPathError;
}

std::string getBinaryPathAnsi(Registry& registry, const std::string& keyPath, const std::string& valueName) {
    auto bytes = readBinaryValue(registry, keyPath, valueName);
    return bytes ? decodeAnsiPath(*bytes) : kPathError;
}

std::string getDataFilePath(Registry& registry, const std::string& serviceKey) {
    std::string path = getBinaryPathWide(registry, serviceKey, "01020fff");
    return path != kPathError ? path : getBinaryPathAnsi(registry, serviceKey, "01020fff");
}

} // namespace qob
