#pragma once
// iconv for the code page conversions of the core ("CP<n>" <-> "UTF-8"), on Windows' own
// converters (MultiByteToWideChar/WideCharToMultiByte): strict, so text that does not convert
// whole is an error (EILSEQ), as with glibc's iconv.
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <string>

#include <windows.h>

struct QobIconv {
    unsigned toPage = 0;   // 0: UTF-8
    unsigned fromPage = 0; // 0: UTF-8
    std::string pending;   // converted, not yet handed out
};
using iconv_t = QobIconv*;

inline bool qobIconvPage(const char* name, unsigned& page) {
    const std::string n = name;
    if (n == "UTF-8" || n == "utf-8") {
        page = 0;
        return true;
    }
    if (n.size() > 2 && (n[0] == 'C' || n[0] == 'c') && (n[1] == 'P' || n[1] == 'p')) {
        page = static_cast<unsigned>(std::strtoul(n.c_str() + 2, nullptr, 10));
        return page != 0 && page != CP_UTF8 && IsValidCodePage(page);
    }
    return false;
}

inline iconv_t iconv_open(const char* to, const char* from) {
    unsigned t = 0, f = 0;
    if (!qobIconvPage(to, t) || !qobIconvPage(from, f)) {
        errno = EINVAL;
        return reinterpret_cast<iconv_t>(-1);
    }
    return new QobIconv{t, f, {}};
}

inline int iconv_close(iconv_t cd) {
    delete cd;
    return 0;
}

inline std::size_t iconv(iconv_t cd, char** in, std::size_t* inLeft, char** out, std::size_t* outLeft) {
    if (in != nullptr && *in != nullptr && inLeft != nullptr && *inLeft > 0) {
        const UINT from = cd->fromPage == 0 ? CP_UTF8 : cd->fromPage;
        const int n = static_cast<int>(*inLeft);
        const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, *in, n, nullptr, 0);
        if (wide <= 0) {
            errno = EILSEQ;
            return static_cast<std::size_t>(-1);
        }
        std::wstring w(static_cast<std::size_t>(wide), L'\0');
        MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, *in, n, w.data(), wide);
        const UINT to = cd->toPage == 0 ? CP_UTF8 : cd->toPage;
        BOOL lossy = FALSE;
        const DWORD flags = to == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
        BOOL* lossyOut = to == CP_UTF8 ? nullptr : &lossy;
        const int bytes = WideCharToMultiByte(to, flags, w.data(), wide, nullptr, 0, nullptr, lossyOut);
        if (bytes <= 0 || lossy) {
            errno = EILSEQ;
            return static_cast<std::size_t>(-1);
        }
        std::string converted(static_cast<std::size_t>(bytes), '\0');
        WideCharToMultiByte(to, flags, w.data(), wide, converted.data(), bytes, nullptr, lossyOut);
        cd->pending += converted;
        *in += *inLeft;
        *inLeft = 0;
    }
    if (out != nullptr && *out != nullptr && outLeft != nullptr) {
        const std::size_t n = cd->pending.size() < *outLeft ? cd->pending.size() : *outLeft;
        cd->pending.copy(*out, n);
        cd->pending.erase(0, n);
        *out += n;
        *outLeft -= n;
    }
    if (!cd->pending.empty()) {
        errno = E2BIG;
        return static_cast<std::size_t>(-1);
    }
    return 0;
}
