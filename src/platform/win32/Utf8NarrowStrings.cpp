// Narrow strings are UTF-8 throughout the program (file names typed, chosen in a dialog, read
// from settings.dat or the command line), and path::string() gives UTF-8 back on Windows. But
// libstdc++ turns a narrow string INTO a path through codecvt<wchar_t, char>, which in the C
// runtime's "C" locale widens byte by byte: "Почта 2026.qob" became "Ð\x9fÐ¾…" and the backup was
// written under a garbled name, or not found at all. Converting at each of the many places a
// string becomes a path would leave the next one broken, so the link (cmake/WindowsDeps.cmake)
// sends that one conversion here: every std::string → path decodes UTF-8. Text that is not UTF-8
// (an old setting written in the ANSI code page) is read in that code page, as before.
#include <windows.h>

#include <cwchar>
#include <locale>

namespace {

// The length of the longest prefix of [from, end) made of whole UTF-8 sequences, and whether what
// follows it is the start of a sequence cut short (more bytes may come) rather than invalid text.
struct Utf8Scan {
    std::size_t whole = 0;
    bool valid = true;
};

Utf8Scan scanUtf8(const unsigned char* from, const unsigned char* end) {
    Utf8Scan scan;
    const unsigned char* p = from;
    while (p < end) {
        const unsigned char lead = *p;
        std::size_t length = 0;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
        } else {
            scan.valid = false;
            return scan;
        }
        const std::size_t available = static_cast<std::size_t>(end - p);
        for (std::size_t i = 1; i < length && i < available; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                scan.valid = false;
                return scan;
            }
        }
        if (length > available) {
            return scan; // cut short at the end: the caller gives the rest later
        }
        p += length;
        scan.whole = static_cast<std::size_t>(p - from);
    }
    return scan;
}

} // namespace

// The member function std::codecvt<wchar_t, char, mbstate_t>::do_in, with `this` as its first
// argument (the x64 calling convention passes it so); named as the linker's --wrap expects.
extern "C" std::codecvt_base::result __wrap__ZNKSt7codecvtIwciE5do_inERiPKcS3_RS3_PwS5_RS5_(
    const void* /*self*/, std::mbstate_t& /*state*/, const char* from, const char* fromEnd,
    const char*& fromNext, wchar_t* to, wchar_t* toEnd, wchar_t*& toNext) {
    fromNext = from;
    toNext = to;
    if (from == fromEnd) {
        return std::codecvt_base::ok;
    }
    const Utf8Scan scan = scanUtf8(reinterpret_cast<const unsigned char*>(from),
                                   reinterpret_cast<const unsigned char*>(fromEnd));
    UINT codePage = CP_UTF8;
    DWORD flags = MB_ERR_INVALID_CHARS; // overlong forms and lone surrogates are not UTF-8 either
    int bytes = static_cast<int>(scan.whole);
    int needed = 0;
    if (scan.valid) {
        if (bytes == 0) {
            return std::codecvt_base::partial;
        }
        needed = MultiByteToWideChar(codePage, flags, from, bytes, nullptr, 0);
    }
    if (needed <= 0) {
        codePage = CP_ACP;
        flags = 0;
        bytes = static_cast<int>(fromEnd - from);
        needed = MultiByteToWideChar(codePage, flags, from, bytes, nullptr, 0);
    }
    if (needed <= 0) {
        return std::codecvt_base::error;
    }
    if (needed > toEnd - to) {
        return std::codecvt_base::partial;
    }
    MultiByteToWideChar(codePage, flags, from, bytes, to, needed);
    fromNext = from + bytes;
    toNext = to + needed;
    return fromNext == fromEnd ? std::codecvt_base::ok : std::codecvt_base::partial;
}
