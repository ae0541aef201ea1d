#include "platform/TextEncoding.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace qob::textenc {

bool isValidUtf8(const std::string& text, bool allowSurrogates) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra;
        std::uint32_t cp;
        std::uint32_t min;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, cp = c & 0x1F, min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, cp = c & 0x0F, min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + extra >= n) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (!allowSurrogates && cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

namespace {

// 0x80..0x9F of Windows-1252; 0 marks the unassigned bytes.
const std::uint16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Converts between UTF-8 and "CP<n>" with the C library's converter; nullopt when it does not
// know the page or the text does not convert whole.
std::optional<std::string> convert(const std::string& text, const std::string& to, const std::string& from) {
    iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    std::string in = text;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char buffer[1024];
    bool ok = true;
    while (ok) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        // The final call with no input flushes a stateful encoding's shift sequence.
        const std::size_t rc = inLeft > 0 ? ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft)
                                          : ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1)) {
            if (inLeft == 0 && outPtr == buffer) {
                break;
            }
            continue;
        }
        ok = errno == E2BIG;
    }
    ::iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

std::string codePageName(std::uint32_t codePage) {
    return "CP" + std::to_string(codePage);
}

// Windows-1252 bytes of UTF-8 text; the C1 controls go back to the unassigned bytes of the same
// number, as windows1252ToUtf8 brought them.
std::optional<std::string> utf8ToWindows1252(const std::string& text) {
    std::string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = s[i];
        std::size_t len = 1;
        if (cp >= 0xF0) {
            return std::nullopt; // beyond the page in any case
        }
        if (cp >= 0xE0 && i + 2 < text.size()) {
            cp = ((cp & 0x0F) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu), len = 3;
        } else if (cp >= 0xC0 && i + 1 < text.size()) {
            cp = ((cp & 0x1F) << 6) | (s[i + 1] & 0x3Fu), len = 2;
        } else if (cp >= 0x80) {
            return std::nullopt;
        }
        i += len;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF) || (cp >= 0x80 && cp <= 0x9F && kHigh[cp - 0x80] == 0)) {
            out += static_cast<char>(cp);
            continue;
        }
        std::size_t k = 0;
        while (k < 32 && kHigh[k] != cp) {
            ++k;
        }
        if (k == 32) {
            return std::nullopt;
        }
        out += static_cast<char>(0x80 + k);
    }
    return out;
}

} // namespace

std::string windows1252ToUtf8(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        std::uint32_t cp = c;
        if (c >= 0x80 && c <= 0x9F && kHigh[c - 0x80] != 0) {
            cp = kHigh[c - 0x80];
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::size_t utf8Length(const std::string& text) {
    std::size_t count = 0;
    for (char ch : text) {
        if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

bool isKnownCodePage(std::uint32_t codePage) {
    if (codePage == kDefaultAnsiCodePage) {
        return true;
    }
    if (codePage == 0 || codePage == 65001) {
        return false; // "use the default" and UTF-8 are no ANSI pages
    }
    iconv_t cd = ::iconv_open("UTF-8", codePageName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    ::iconv_close(cd);
    return true;
}

std::optional<std::string> ansiToUtf8(const std::string& bytes, std::uint32_t codePage) {
    if (codePage == kDefaultAnsiCodePage) {
        return windows1252ToUtf8(bytes);
    }
    if (!isKnownCodePage(codePage)) {
        return std::nullopt;
    }
    return convert(bytes, "UTF-8", codePageName(codePage));
}

std::optional<std::string> utf8ToAnsi(const std::string& text, std::uint32_t codePage) {
    if (!isValidUtf8(text)) {
        return std::nullopt;
    }
    if (codePage == kDefaultAnsiCodePage) {
        return utf8ToWindows1252(text);
    }
    if (!isKnownCodePage(codePage)) {
        return std::nullopt;
    }
    return convert(text, codePageName(codePage), "UTF-8");
}

std::string storedTextToUtf8(const std::string& bytes, std::uint32_t codePage) {
    if (isValidUtf8(bytes)) {
        return bytes;
    }
    if (auto text = ansiToUtf8(bytes, codePage)) {
        return *text;
    }
    return windows1252ToUtf8(bytes);
}

} // namespace qob::textenc
