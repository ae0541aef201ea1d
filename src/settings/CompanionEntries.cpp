#include "settings/CompanionEntries.h"

#include "platform/AsciiCase.h"

namespace qob {

const char* companionsKey(ItemKind kind) {
    switch (kind) {
    case ItemKind::Signatures:
        return "BackupSignaturesCompanions";
    case ItemKind::Stationery:
        return "BackupStationeryCompanions";
    default:
        return nullptr;
    }
}

std::string companionFolderOf(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return "";
    }
    const std::string ext = lowerAscii(fileName.substr(dot));
    if (ext != ".htm" && ext != ".html") {
        return "";
    }
    return fileName.substr(0, dot) + "_files";
}

std::string companionEntryName(ItemKind kind, const std::string& folder, const std::string& file) {
    return std::string(kind == ItemKind::Stationery ? "Stationery" : "Signatures") + "/" + folder + "/" +
           file;
}

std::string joinCompanions(const std::vector<std::string>& entryNames) {
    std::string out;
    for (const std::string& name : entryNames) {
        out += (out.empty() ? "" : "|") + name;
    }
    return out;
}

std::vector<std::string> splitCompanions(const std::string& value) {
    std::vector<std::string> out;
    for (std::size_t pos = 0; pos <= value.size();) {
        std::size_t end = value.find('|', pos);
        if (end == std::string::npos) {
            end = value.size();
        }
        if (end > pos) {
            out.push_back(value.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return out;
}

} // namespace qob
