#pragma once
// Windows compares file, key and INI names without regard to case. For the names this program
// compares itself, folding the ASCII letters is enough: bytes of UTF-8 sequences are left alone,
// so text in other scripts never changes length or validity.
#include <string>
#include <string_view>

namespace qob {

inline char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
inline char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
inline std::string lowerAscii(std::string text) {
    for (char& c : text) {
        c = lowerAscii(c);
    }
    return text;
}
inline std::string upperAscii(std::string text) {
    for (char& c : text) {
        c = upperAscii(c);
    }
    return text;
}
inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace qob
