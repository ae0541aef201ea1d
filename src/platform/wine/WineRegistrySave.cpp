// Writing a registry tree back as the wineserver writes its files.
#include "platform/wine/WineRegistryFile.h"

#include "platform/wine/WineRegistryText.h"

#include <string>

namespace qob::wine {
namespace {

const char kHexDigits[] = "0123456789abcdef";

void appendHex(std::uint64_t v, std::string& out) {
    char buf[16];
    int n = 0;
    do {
        buf[n++] = kHexDigits[v & 0xf];
        v >>= 4;
    } while (v);
    while (n)
        out.push_back(buf[--n]);
}

void appendHex8(std::uint32_t v, std::string& out) {
    for (int d = 7; d >= 0; --d)
        out.push_back(kHexDigits[(v >> (4 * d)) & 0xf]);
}

std::u16string_view unitsOf(const std::vector<std::uint8_t>& data, std::u16string& scratch) {
    scratch.resize(data.size() / 2);
    for (std::size_t i = 0; i < scratch.size(); ++i)
        scratch[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return scratch;
}

void dumpValue(const WineRegistryValue& value, std::string& out, std::u16string& scratch) {
    std::size_t count;
    if (!value.name.empty()) {
        out.push_back('"');
        count = 1 + appendEscaped(value.name, "\"\"", out);
        out += "\"=";
        count += 2;
    } else {
        out += "@=";
        count = 2;
    }
    const auto& data = value.data;
    switch (value.type) {
    case 1:
    case 2:
    case 7:
        // Only a properly terminated string is written as a string.
        if (data.size() < 2 || data.size() % 2 || data[data.size() - 1] || data[data.size() - 2])
            break;
        if (value.type != 1) {
            out += "str(";
            appendHex(value.type, out);
            out += "):";
        }
        out.push_back('"');
        appendEscaped(unitsOf(data, scratch), "\"\"", out);
        out += "\"\n";
        return;
    case 4:
        if (data.size() != 4)
            break;
        out += "dword:";
        appendHex8(static_cast<std::uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                       (static_cast<std::uint32_t>(data[3]) << 24),
                   out);
        out.push_back('\n');
        return;
    default:
        break;
    }
    const std::size_t before = out.size();
    if (value.type == 3) {
        out += "hex:";
    } else {
        out += "hex(";
        appendHex(value.type, out);
        out += "):";
    }
    count += out.size() - before;
    for (std::size_t i = 0; i < data.size(); ++i) {
        out.push_back(kHexDigits[data[i] >> 4]);
        out.push_back(kHexDigits[data[i] & 0xf]);
        count += 2;
        if (i + 1 < data.size()) {
            out.push_back(',');
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out.push_back('\n');
}

void saveSubkeys(const WineRegistryKey& key, bool isBase, std::string& path, std::string& out,
                 std::u16string& scratch) {
    const std::size_t pathLength = path.size();
    if (!isBase) {
        if (key.parent() && pathLength)
            path += "\\\\";
        appendEscaped(key.name(), "[]", path);
    }
    // A key with subkeys and nothing of its own is implied by its subkeys' sections.
    if (!key.values().empty() || key.subkeys().empty() || key.className || key.isLink) {
        out += "\n[";
        out += path;
        out += "] ";
        out += std::to_string(fileTimeToSeconds(key.modified));
        out += "\n#time=";
        appendHex(key.modified >> 32, out);
        appendHex8(static_cast<std::uint32_t>(key.modified), out);
        out.push_back('\n');
        if (key.className) {
            out += "#class=\"";
            appendEscaped(*key.className, "\"\"", out);
            out += "\"\n";
        }
        if (key.isLink)
            out += "#link\n";
        for (const auto& value : key.values())
            dumpValue(value, out, scratch);
    }
    for (const auto& sub : key.subkeys())
        saveSubkeys(*sub, false, path, out, scratch);
    path.resize(pathLength);
}

} // namespace

std::string WineRegistryFile::serialize() const {
    std::string out;
    out.reserve(1 << 16);
    out += header_;
    std::string path;
    std::u16string scratch;
    saveSubkeys(*root_, true, path, out, scratch);
    out += trailer_;
    return out;
}

} // namespace qob::wine
