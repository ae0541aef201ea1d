#include "platform/wine/WineRegistryText.h"

#include <algorithm>
#include <ctime>

namespace qob::wine {
namespace {

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
unsigned hexValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    return static_cast<unsigned>(c - 'A' + 10);
}

// Decodes one UTF-8 sequence starting at text[pos] (a byte >= 0x80). Returns the code point or
// -1 when invalid; `pos` is advanced past the lead byte and every continuation byte that fit.
long decodeUtf8(std::string_view text, std::size_t& pos, bool allowSurrogates) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    int extra;
    unsigned long cp;
    unsigned long minimum;
    if (lead >= 0xc2 && lead <= 0xdf) {
        extra = 1, cp = lead & 0x1f, minimum = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        extra = 2, cp = lead & 0x0f, minimum = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return -1;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= text.size())
            return -1;
        const auto c = static_cast<unsigned char>(text[pos]);
        if ((c & 0xc0) != 0x80)
            return -1;
        cp = (cp << 6) | (c & 0x3f);
        ++pos;
    }
    if (cp < minimum || cp > 0x10ffff)
        return -1;
    if (!allowSurrogates && cp >= 0xd800 && cp <= 0xdfff)
        return -1;
    return static_cast<long>(cp);
}

void appendCodePoint(unsigned long cp, std::u16string& out) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
}

const char kLetterEscapes[32] = {0, 0, 0, 0, 0, 0, 0, 'a', 'b', 't', 'n', 'v', 'f', 'r', 0, 0,
                                 0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0,   'e', 0,   0,   0, 0};

} // namespace

std::ptrdiff_t parseEscaped(std::string_view text, char endChar, std::u16string& out) {
    out.clear();
    std::size_t p = 0;
    const std::size_t n = text.size();
    while (p < n && text[p] != endChar) {
        // A run of plain ASCII, most of every name and string, is copied at once.
        std::size_t q = p;
        while (q < n && text[q] != endChar && text[q] != '\\' && static_cast<unsigned char>(text[q]) < 0x80)
            ++q;
        if (q > p) {
            const std::size_t at = out.size();
            out.resize(at + (q - p));
            for (std::size_t i = p; i < q; ++i)
                out[at + i - p] = static_cast<char16_t>(text[i]);
            p = q;
            continue;
        }
        char c = text[p];
        if (c == '\\') {
            ++p;
            if (p >= n)
                break;
            c = text[p];
            switch (c) {
            case 'a':
                out.push_back(u'\a');
                ++p;
                continue;
            case 'b':
                out.push_back(u'\b');
                ++p;
                continue;
            case 'e':
                out.push_back(char16_t{27});
                ++p;
                continue;
            case 'f':
                out.push_back(u'\f');
                ++p;
                continue;
            case 'n':
                out.push_back(u'\n');
                ++p;
                continue;
            case 'r':
                out.push_back(u'\r');
                ++p;
                continue;
            case 't':
                out.push_back(u'\t');
                ++p;
                continue;
            case 'v':
                out.push_back(u'\v');
                ++p;
                continue;
            case 'x': {
                ++p;
                if (p >= n || !isHex(text[p])) {
                    out.push_back(u'x');
                    continue;
                }
                unsigned v = 0;
                for (int i = 0; i < 4 && p < n && isHex(text[p]); ++i)
                    v = v * 16 + hexValue(text[p++]);
                out.push_back(static_cast<char16_t>(v));
                continue;
            }
            case '0':
            case '1':
            case '2':
            case '3':
            case '4':
            case '5':
            case '6':
            case '7': {
                unsigned v = static_cast<unsigned>(text[p++] - '0');
                for (int i = 0; i < 2 && p < n && text[p] >= '0' && text[p] <= '7'; ++i)
                    v = v * 8 + static_cast<unsigned>(text[p++] - '0');
                out.push_back(static_cast<char16_t>(v));
                continue;
            }
            default:
                break; // any other escaped character stands for itself
            }
        }
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(static_cast<char16_t>(c));
            ++p;
        } else {
            const long cp = decodeUtf8(text, p, false);
            if (cp >= 0)
                appendCodePoint(static_cast<unsigned long>(cp), out);
        }
    }
    if (p >= n)
        return -1;
    return static_cast<std::ptrdiff_t>(p + 1);
}

std::size_t appendEscaped(std::u16string_view units, const char escapes[2], std::string& out) {
    static const char kHex[] = "0123456789abcdef";
    const std::size_t start = out.size();
    const std::size_t n = units.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = units[i];
        const bool hasNext = i + 1 < n;
        if (c > 127) {
            // A following hex digit would be read as part of the escape, so pad to four digits.
            const bool pad = hasNext && units[i + 1] < 128 && isHex(static_cast<char>(units[i + 1]));
            out += "\\x";
            int digits = pad ? 4 : (c >= 0x1000 ? 4 : c >= 0x100 ? 3 : 2);
            for (int d = digits - 1; d >= 0; --d)
                out.push_back(kHex[(c >> (4 * d)) & 0xf]);
            continue;
        }
        if (c < 32) {
            if (c == 0 && !hasNext)
                continue;
            if (kLetterEscapes[c]) {
                out.push_back('\\');
                out.push_back(kLetterEscapes[c]);
            } else if (hasNext && units[i + 1] >= u'0' && units[i + 1] <= u'7') {
                out.push_back('\\');
                out.push_back(static_cast<char>('0' + ((c >> 6) & 7)));
                out.push_back(static_cast<char>('0' + ((c >> 3) & 7)));
                out.push_back(static_cast<char>('0' + (c & 7)));
            } else {
                out.push_back('\\');
                if (c >= 8)
                    out.push_back(static_cast<char>('0' + ((c >> 3) & 7)));
                out.push_back(static_cast<char>('0' + (c & 7)));
            }
            continue;
        }
        if (c == u'\\' || c == static_cast<char16_t>(escapes[0]) || c == static_cast<char16_t>(escapes[1]))
            out.push_back('\\');
        out.push_back(static_cast<char>(c));
    }
    return out.size() - start;
}

char16_t foldCase(char16_t c) {
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    auto plus = [c](int d) { return static_cast<char16_t>(c + d); };
    if (c >= 0xc0 && c <= 0xde && c != 0xd7)
        return plus(32);
    if (c < 0x100)
        return c;
    if (c <= 0x17f) {
        if (c == 0x130)
            return u'i';
        if (c == 0x178)
            return 0xff;
        const bool evenUpper = (c < 0x138) || (c >= 0x14a && c < 0x178);
        if (evenUpper)
            return (c % 2 == 0) ? plus(1) : c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17e))
            return (c % 2 == 1) ? plus(1) : c;
        return c;
    }
    if (c >= 0x391 && c <= 0x3ab && c != 0x3a2)
        return plus(32);
    if (c == 0x386)
        return 0x3ac;
    if (c >= 0x388 && c <= 0x38a)
        return plus(37);
    if (c == 0x38c)
        return 0x3cc;
    if (c == 0x38e || c == 0x38f)
        return plus(63);
    if (c >= 0x400 && c <= 0x40f)
        return plus(80);
    if (c >= 0x410 && c <= 0x42f)
        return plus(32);
    if (((c >= 0x460 && c <= 0x481) || (c >= 0x48a && c <= 0x4bf) || (c >= 0x4d0 && c <= 0x52f)) &&
        c % 2 == 0)
        return plus(1);
    if (c >= 0x531 && c <= 0x556)
        return plus(48);
    if (((c >= 0x1e00 && c <= 0x1e94) || (c >= 0x1ea0 && c <= 0x1eff)) && c % 2 == 0)
        return plus(1);
    if (c >= 0x2160 && c <= 0x216f)
        return plus(16);
    if (c >= 0x24b6 && c <= 0x24cf)
        return plus(26);
    if (c >= 0xff21 && c <= 0xff3a)
        return plus(32);
    return c;
}

int compareNames(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = a[i];
        const char16_t y = b[i];
        if (x == y)
            continue;
        const int d = static_cast<int>(foldCase(x)) - static_cast<int>(foldCase(y));
        if (d)
            return d;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

void appendUtf8(std::u16string_view units, std::string& out) {
    const std::size_t n = units.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned long cp = units[i];
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        if (cp >= 0xd800 && cp <= 0xdbff && i + 1 < n && units[i + 1] >= 0xdc00 && units[i + 1] <= 0xdfff) {
            cp = 0x10000 + ((cp - 0xd800) << 10) + (units[i + 1] - 0xdc00);
            ++i;
        }
        if (cp < 0x800) {
            out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
        }
        out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
}

std::string toUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    appendUtf8(units, out);
    return out;
}

bool utf8ToUtf16(std::string_view text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    std::size_t p = 0;
    while (p < text.size()) {
        const auto c = static_cast<unsigned char>(text[p]);
        if (c < 0x80) {
            out.push_back(c);
            ++p;
            continue;
        }
        const long cp = decodeUtf8(text, p, true);
        if (cp < 0)
            return false;
        appendCodePoint(static_cast<unsigned long>(cp), out);
    }
    return true;
}

std::uint64_t fileTimeNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return kTicks1601To1970 + static_cast<std::uint64_t>(ts.tv_sec) * kTicksPerSecond +
           static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

} // namespace qob::wine
