/* iconv for libisofs on Windows, where mingw-w64 has none: the few conversions libisofs asks for
   when the program has set its local charset to UTF-8 (names in, ISO 9660 / Joliet / Rock Ridge
   names out). Errors follow glibc's iconv, which the Linux build uses, so that a name libisofs
   must mend (a character ASCII or UCS-2 lacks) is mended the same way on both systems:
   EILSEQ with *in at the character, EINVAL for a sequence cut short, E2BIG when out is full. */
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

typedef void* iconv_t;

enum charset { CS_UTF8, CS_ASCII, CS_UCS2BE, CS_UTF16BE, CS_WCHAR };

struct converter {
    enum charset from, to;
};

static int charset_of(const char* name, enum charset* cs) {
    char plain[32];
    size_t i = 0;
    /* "//TRANSLIT" and the like change nothing here. */
    while (name[i] && name[i] != '/' && i + 1 < sizeof plain) {
        char c = name[i];
        plain[i] = (c >= 'a' && c <= 'z') ? (char)(c - 32) : c;
        i++;
    }
    plain[i] = 0;
    if (!strcmp(plain, "UTF-8") || !strcmp(plain, "UTF8")) {
        *cs = CS_UTF8;
    } else if (!strcmp(plain, "ASCII") || !strcmp(plain, "US-ASCII") || !strcmp(plain, "ANSI_X3.4-1968")) {
        *cs = CS_ASCII;
    } else if (!strcmp(plain, "UCS-2BE")) {
        *cs = CS_UCS2BE;
    } else if (!strcmp(plain, "UTF-16BE")) {
        *cs = CS_UTF16BE;
    } else if (!strcmp(plain, "WCHAR_T")) {
        *cs = CS_WCHAR;
    } else {
        return 0;
    }
    return 1;
}

iconv_t iconv_open(const char* to, const char* from) {
    struct converter* c = malloc(sizeof *c);
    if (!c) {
        errno = ENOMEM;
        return (iconv_t)-1;
    }
    if (!charset_of(to, &c->to) || !charset_of(from, &c->from)) {
        free(c);
        errno = EINVAL;
        return (iconv_t)-1;
    }
    return c;
}

int iconv_close(iconv_t cd) {
    free(cd);
    return 0;
}

/* One character from `in`: its code point and length; 0 with errno when none can be read. */
static size_t decode(enum charset cs, const unsigned char* in, size_t left, uint32_t* cp) {
    uint16_t unit, second;
    switch (cs) {
    case CS_ASCII:
        if (in[0] > 0x7f) {
            errno = EILSEQ;
            return 0;
        }
        *cp = in[0];
        return 1;
    case CS_UTF8: {
        size_t n;
        uint32_t v;
        if (in[0] < 0x80) {
            *cp = in[0];
            return 1;
        } else if ((in[0] & 0xe0) == 0xc0) {
            n = 2, v = in[0] & 0x1f;
        } else if ((in[0] & 0xf0) == 0xe0) {
            n = 3, v = in[0] & 0x0f;
        } else if ((in[0] & 0xf8) == 0xf0) {
            n = 4, v = in[0] & 0x07;
        } else {
            errno = EILSEQ;
            return 0;
        }
        for (size_t i = 1; i < n; i++) {
            if (i >= left) {
                errno = EINVAL;
                return 0;
            }
            if ((in[i] & 0xc0) != 0x80) {
                errno = EILSEQ;
                return 0;
            }
            v = (v << 6) | (in[i] & 0x3f);
        }
        if ((n == 2 && v < 0x80) || (n == 3 && v < 0x800) || (n == 4 && v < 0x10000) || v > 0x10ffff ||
            (v >= 0xd800 && v <= 0xdfff)) {
            errno = EILSEQ;
            return 0;
        }
        *cp = v;
        return n;
    }
    case CS_UCS2BE:
    case CS_UTF16BE:
    case CS_WCHAR:
        if (left < 2) {
            errno = EINVAL;
            return 0;
        }
        unit = cs == CS_WCHAR ? (uint16_t)(in[0] | in[1] << 8) : (uint16_t)(in[0] << 8 | in[1]);
        if (unit < 0xd800 || unit > 0xdfff) {
            *cp = unit;
            return 2;
        }
        if (cs == CS_UCS2BE || unit >= 0xdc00) {
            errno = EILSEQ;
            return 0;
        }
        if (left < 4) {
            errno = EINVAL;
            return 0;
        }
        second = cs == CS_WCHAR ? (uint16_t)(in[2] | in[3] << 8) : (uint16_t)(in[2] << 8 | in[3]);
        if (second < 0xdc00 || second > 0xdfff) {
            errno = EILSEQ;
            return 0;
        }
        *cp = 0x10000 + (((uint32_t)unit - 0xd800) << 10) + (second - 0xdc00);
        return 4;
    }
    errno = EILSEQ;
    return 0;
}

/* One code point into `out`: its length, 0 with errno when it does not fit or has no form there. */
static size_t encode(enum charset cs, uint32_t cp, unsigned char* out, size_t left) {
    switch (cs) {
    case CS_ASCII:
        if (cp > 0x7f) {
            errno = EILSEQ;
            return 0;
        }
        if (left < 1) {
            errno = E2BIG;
            return 0;
        }
        out[0] = (unsigned char)cp;
        return 1;
    case CS_UTF8: {
        size_t n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (left < n) {
            errno = E2BIG;
            return 0;
        }
        if (n == 1) {
            out[0] = (unsigned char)cp;
        } else {
            for (size_t i = n - 1; i > 0; i--) {
                out[i] = (unsigned char)(0x80 | (cp & 0x3f));
                cp >>= 6;
            }
            out[0] = (unsigned char)((n == 2 ? 0xc0 : n == 3 ? 0xe0 : 0xf0) | cp);
        }
        return n;
    }
    case CS_UCS2BE:
    case CS_UTF16BE:
    case CS_WCHAR: {
        uint16_t units[2];
        size_t count = 1;
        if (cp < 0x10000) {
            units[0] = (uint16_t)cp;
        } else if (cs == CS_UCS2BE) {
            errno = EILSEQ;
            return 0;
        } else {
            units[0] = (uint16_t)(0xd800 + ((cp - 0x10000) >> 10));
            units[1] = (uint16_t)(0xdc00 + ((cp - 0x10000) & 0x3ff));
            count = 2;
        }
        if (left < count * 2) {
            errno = E2BIG;
            return 0;
        }
        for (size_t i = 0; i < count; i++) {
            if (cs == CS_WCHAR) {
                out[2 * i] = (unsigned char)(units[i] & 0xff);
                out[2 * i + 1] = (unsigned char)(units[i] >> 8);
            } else {
                out[2 * i] = (unsigned char)(units[i] >> 8);
                out[2 * i + 1] = (unsigned char)(units[i] & 0xff);
            }
        }
        return count * 2;
    }
    }
    errno = EILSEQ;
    return 0;
}

size_t iconv(iconv_t cd, char** in, size_t* inleft, char** out, size_t* outleft) {
    struct converter* c = cd;
    if (!in || !*in) {
        return 0; /* no shift state to reset */
    }
    while (*inleft > 0) {
        const unsigned char* src = (const unsigned char*)*in;
        uint32_t cp;
        /* A wide string's character beyond the BMP is two wchar_t on Windows and one on Linux;
           libisofs steps over a character it could not convert one wchar_t at a time. The second
           half left over from such a step is dropped, so that the name comes out as on Linux. */
        if (c->from == CS_WCHAR && *inleft >= 2 && src[1] >= 0xdc && src[1] <= 0xdf) {
            *in += 2;
            *inleft -= 2;
            continue;
        }
        size_t used = decode(c->from, src, *inleft, &cp);
        if (used == 0) {
            return (size_t)-1;
        }
        size_t made = encode(c->to, cp, (unsigned char*)*out, *outleft);
        if (made == 0) {
            return (size_t)-1;
        }
        *in += used;
        *inleft -= used;
        *out += made;
        *outleft -= made;
    }
    return 0;
}
