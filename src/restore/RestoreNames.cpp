#include "restore/RestoreNames.h"

#include "archive/Archive.h"

#include <algorithm>
#include <array>

namespace qob {

namespace {

bool isDeviceName(const std::string& name) {
    // Windows looks at the part before the first dot, blanks at its end ignored.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') {
        base.pop_back();
    }
    base = upperAscii(base);
    static constexpr std::array<const char*, 5> kFixed = {"CON", "PRN", "AUX", "NUL", "CONIN$"};
    if (std::find(kFixed.begin(), kFixed.end(), base) != kFixed.end() || base == "CONOUT$") {
        return true;
    }
    if (base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) && base[3] >= '0' &&
        base[3] <= '9') {
        return true;
    }
    // COM¹, LPT² ...: the superscript digits count as device numbers too.
    if (base.size() == 5 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0)) {
        const std::string tail = base.substr(3);
        return tail == "\xC2\xB9" || tail == "\xC2\xB2" || tail == "\xC2\xB3";
    }
    return false;
}

} // namespace

bool equalsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && upperAscii(a) == upperAscii(b);
}

bool isSafeRestoreName(const std::string& name) {
    if (!Archive::isSafeEntryName(name)) {
        return false; // empty, separators, ":", controls, ".", "..", bad UTF-8
    }
    if (name.find("..") != std::string::npos) {
        return false;
    }
    if (name.find_first_of("<>\"|?*") != std::string::npos) {
        return false;
    }
    if (name.back() == '.' || name.back() == ' ' || name.front() == ' ') {
        return false;
    }
    return !isDeviceName(name);
}

} // namespace qob
