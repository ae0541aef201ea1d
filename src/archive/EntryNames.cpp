#include "archive/EntryNames.h"
#include "platform/AsciiCase.h"

#include "archive/Archive.h"

#include <algorithm>
#include <cctype>

namespace qob {

namespace fs = std::filesystem;

namespace {} // namespace

EntryNames::EntryNames() {
    takenLower_.insert(lowerAscii(kInfoEntryName));
}

std::string EntryNames::key(const fs::path& hostFile) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(hostFile, ec);
    return (ec ? hostFile : resolved).string();
}

bool EntryNames::taken(const std::string& name) const {
    return takenLower_.count(lowerAscii(name)) != 0;
}

std::string EntryNames::numbered(const std::string& bareName, int n) {
    std::size_t dot = bareName.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return bareName + "~" + std::to_string(n);
    }
    return bareName.substr(0, dot) + "~" + std::to_string(n) + bareName.substr(dot);
}

EntryNames::Claim EntryNames::claim(const fs::path& hostFile, const std::string& bareName) {
    const std::string k = key(hostFile);
    if (auto it = byFile_.find(k); it != byFile_.end()) {
        return {it->second, false};
    }
    std::string name = bareName;
    for (int n = 2; taken(name); ++n) {
        name = numbered(bareName, n);
    }
    takenLower_.insert(lowerAscii(name));
    byFile_[k] = name;
    return {name, true};
}

void EntryNames::release(const fs::path& hostFile, const std::string& name) {
    takenLower_.erase(lowerAscii(name));
    byFile_.erase(key(hostFile));
}

} // namespace qob
