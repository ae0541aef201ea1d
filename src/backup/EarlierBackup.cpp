#include "backup/EarlierBackup.h"

#include "archive/Archive.h"
#include "platform/AsciiCase.h"
#include "settings/ArchiveInfoFile.h"
#include "settings/InfoFile.h"
#include "settings/TempFiles.h"

namespace qob {

namespace fs = std::filesystem;

namespace {

// An information file is a handful of short lines; a larger one is not read.
constexpr std::uint64_t kMaxInfoBytes = 1024 * 1024;

} // namespace

std::optional<std::map<std::string, std::string>> storedInfoValues(const fs::path& file,
                                                                   const std::string& password,
                                                                   const fs::path& scratchFolder,
                                                                   const std::vector<std::string>& keys) {
    Archive archive;
    archive.setReadPassword(password);
    if (!archive.openArchive(file)) {
        return std::nullopt;
    }
    auto entry = archive.findEntry(kInfoEntryName);
    if (!entry || entry->info().size > kMaxInfoBytes) {
        return std::nullopt;
    }
    fs::path scratch;
    if (!sGetTempFile(scratchFolder, "qbe", scratch)) {
        return std::nullopt;
    }
    std::optional<std::map<std::string, std::string>> values;
    if (entry->extractToFile(scratch)) {
        values.emplace();
        for (const std::string& key : keys) {
            if (std::optional<std::string> value = getINI(key, scratch)) {
                (*values)[key] = *value;
            }
        }
    }
    std::error_code ec;
    fs::remove(scratch, ec);
    archive.closeArchive();
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
