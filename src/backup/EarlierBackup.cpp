#include "backup/EarlierBackup.h"

#include "archive/Archive.h"
#include "backup/InfoFileReader.h"
#include "platform/AsciiCase.h"
#include "settings/ArchiveInfoFile.h"

namespace qob {

namespace fs = std::filesystem;

std::optional<std::map<std::string, std::string>> storedInfoValues(const fs::path& file,
                                                                   const std::string& password,
                                                                   const fs::path& scratchFolder,
                                                                   const std::vector<std::string>& keys) {
    (void)scratchFolder; // the information file is read in memory now
    Archive archive;
    archive.setReadPassword(password);
    // verifyPassword() also tries the password as the Windows-era program turned it into a key.
    if (!archive.openArchive(file) || !archive.verifyPassword()) {
        return std::nullopt;
    }
    InfoFileReader info;
    if (!info.read(archive)) {
        return std::nullopt;
    }
    std::map<std::string, std::string> values;
    for (const std::string& key : keys) {
        values[key] = info.get(key);
    }
    return values;
}

std::optional<std::string> storedItemFlags(const fs::path& file, const std::string& password,
                                           const fs::path& scratchFolder) {
    auto values = storedInfoValues(file, password, scratchFolder, {kKeyItemFlags});
    if (!values || values->count(kKeyItemFlags) == 0 || !isValidItemFlags(values->at(kKeyItemFlags))) {
        return std::nullopt;
    }
    return values->at(kKeyItemFlags);
}

fs::path incompleteBackupPath(const fs::path& target) {
    std::string name = target.filename().string();
    const std::string extension = ".qob";
    if (name.size() > extension.size() &&
        lowerAscii(name.substr(name.size() - extension.size())) == extension) {
        name.erase(name.size() - extension.size());
    }
    return target.parent_path() / (name + "-incomplete.qob");
}

} // namespace qob
