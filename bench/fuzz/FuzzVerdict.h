#pragma once
// What a harness decided about one input, in words that do not depend on the system it ran on:
// replayed with --verdicts, each input's verdicts are printed after it, so that two builds (the
// Linux and the Windows one) can be shown to read the same inputs alike. Off in a fuzzing run,
// which never pays for the text.
#include <cstdint>
#include <string>

namespace qob::fuzz {

inline bool& verdictsWanted() {
    static bool wanted = false;
    return wanted;
}

inline std::string& verdicts() {
    static std::string text;
    return text;
}

// A value by its length and a hash of its bytes (FNV-1a): values may hold any byte.
inline std::string digest(const std::string& value) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : value) {
        h = (h ^ c) * 16777619u;
    }
    static const char hex[] = "0123456789abcdef";
    std::string out = std::to_string(value.size()) + ":";
    for (int shift = 28; shift >= 0; shift -= 4) {
        out += hex[(h >> shift) & 0xF];
    }
    return out;
}

inline void note(const std::string& verdict) {
    if (verdictsWanted()) {
        verdicts() += verdict;
        verdicts() += ' ';
    }
}

} // namespace qob::fuzz
