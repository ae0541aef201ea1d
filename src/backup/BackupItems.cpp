#include "backup/BackupItems.h"
#include "platform/AsciiCase.h"

#include "outlook/PathReaders.h"
#include "settings/BackupInfo.h"
#include "settings/CompanionEntries.h"
#include "settings/InfoFile.h"
#include "settings/TempFiles.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qob {

namespace fs = std::filesystem;

namespace {

constexpr char kAddressBookValue[] = "001e6600";

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Wine links Documents, Desktop, Music ... of the user to $HOME: a folder kind must never take the
// files of the home folder for its own.
bool isHomeFolder(const fs::path& host) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        return false;
    }
    std::error_code ec1, ec2;
    fs::path a = fs::canonical(host, ec1);
    fs::path b = fs::canonical(home, ec2);
    return !ec1 && !ec2 && a == b;
}

} // namespace

BackupItems::BackupItems(TargetContext& platform, const AppState& state, Archive& archive, fs::path infoFile,
                         std::vector<fs::path>& scratchFiles)
    : platform_(platform), state_(state), archive_(archive), infoFile_(std::move(infoFile)),
      scratchFiles_(scratchFiles) {}

std::optional<BackupItems::Found> BackupItems::findFile(const std::string& targetPath) const {
    auto host = platform_.files.toHostPath(targetPath);
    if (!host) {
        return std::nullopt;
    }
    std::error_code ec;
    if (!fs::is_regular_file(*host, ec)) {
        // Windows finds a file whatever the case of its name ("Outlook.RWZ" for "Outlook.rwz"); a
        // target file system that matched only the folders must not miss it.
        const std::string wanted = lowerAscii(host->filename().string());
        std::optional<fs::path> match;
        for (fs::directory_iterator it(host->parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
            if (lowerAscii(it->path().filename().string()) == wanted && it->is_regular_file(ec)) {
                match = it->path();
                break;
            }
        }
        if (!match) {
            return std::nullopt;
        }
        host = *match;
    }
    std::string name = host->filename().string();
    // Hidden files are not found by the file search; under Wine a leading "." marks them.
    if (name.empty() || name[0] == '.') {
        return std::nullopt;
    }
    return Found{*host, name};
}

std::string BackupItems::add(const fs::path& host, const std::string& bareName) {
    EntryNames::Claim claim = names_.claim(host, bareName);
    if (!claim.isNew) {
        return claim.name;
    }
    Status s = archive_.addFile(host, claim.name);
    if (!s) {
        names_.release(host, claim.name);
        notStored_.push_back(s.message);
        return "";
    }
    return claim.name;
}

bool BackupItems::record(ItemKind kind, const std::string& value) {
    return static_cast<bool>(saveINI(itemKey(kind), value, infoFile_));
}

void BackupItems::appendName(std::vector<std::string>& names, const std::string& name) {
    // A file named twice (two references, or one file in two folders' lists) is one entry and
    // is listed once.
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
    }
}

std::string BackupItems::join(const std::vector<std::string>& names, const char* separator) {
    std::string out;
    for (const std::string& n : names) {
        if (!out.empty()) {
            out += separator;
        }
        out += n;
    }
    return out;
}

bool BackupItems::registryKind(const std::string& key, const char* prefix, ItemKind kind) {
    try {
        if (key.empty() || !platform_.registry.keyExists(key)) {
            return false;
        }
        fs::path temp;
        if (!sGetTempFile(platform_.programFolder, prefix, temp)) {
            return false;
        }
        scratchFiles_.push_back(temp);
        // What the text cannot carry is named, so a backup that would not restore it is no success.
        // The accounts key lies inside the profile's key: a value both leave out is named once.
        for (std::string& missing : platform_.registry.exportKey(key, "", temp)) {
            if (std::find(notStored_.begin(), notStored_.end(), missing) == notStored_.end()) {
                notStored_.push_back(std::move(missing));
            }
        }
        std::string name = add(temp, temp.filename().string());
        if (name.empty()) {
            return false;
        }
        return record(kind, name);
    } catch (...) {
        return false;
    }
}

bool BackupItems::folderKind(const std::string& folder, ItemKind kind) {
    try {
        if (folder.empty() || !platform_.files.folderExists(folder)) {
            return false;
        }
        auto hostFolder = platform_.files.toHostPath(folder);
        if (!hostFolder || isHomeFolder(*hostFolder)) {
            return false;
        }
        std::vector<std::string> names;
        for (const std::string& file : platform_.files.listFiles(folder, false)) {
            if (file.empty()) {
                continue;
            }
            std::string name = add(*hostFolder / file, file);
            if (!name.empty()) {
                appendName(names, name);
            }
        }
        if (names.empty() || !record(kind, join(names, ";"))) {
            return false;
        }
        if (companionsKey(kind)) {
            companionFolders(folder, kind, names);
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool BackupItems::backupConfig(const std::string& profile) {
    return registryKind(state_.profilesRootKey + "\\" + profile, kConfigTempPrefix, ItemKind::Config);
}

bool BackupItems::backupAccounts(const std::string& profile) {
    return registryKind(state_.profilesRootKey + "\\" + profile + "\\9375CFF0413111d3B88A00104B2A6676",
                        kAccountsTempPrefix, ItemKind::Accounts);
}

bool BackupItems::backupConfigsetting() {
    return registryKind(state_.optionsKey, kConfigTempPrefix, ItemKind::Configsetting);
}

bool BackupItems::backupSignatures() {
    return folderKind(state_.signaturesFolder, ItemKind::Signatures);
}

bool BackupItems::backupStationery() {
    return folderKind(state_.stationeryFolder, ItemKind::Stationery);
}

bool BackupItems::backupTemplates() {
    return folderKind(state_.templatesFolder, ItemKind::Templates);
}

bool BackupItems::backupSetting() {
    return folderKind(state_.roamingDataFolder, ItemKind::Setting);
}

bool BackupItems::backupContacts() {
    return folderKind(state_.contactsFolder, ItemKind::Contacts);
}

bool BackupItems::backupDatas(const std::string& profile) {
    try {
        Registry& registry = platform_.registry;
        const std::string profileKey = state_.profilesRootKey + "\\" + profile;
        std::vector<std::string> subKeys = registry.getSubKeys(profileKey);
        if (subKeys.empty()) {
            return false;
        }
        std::vector<std::string> names;
        std::vector<std::string> pairs;
        std::vector<std::string> pairPaths; // lower-cased target paths already paired
        for (const std::string& sub : subKeys) {
            const std::string key = profileKey + "\\" + sub;
            const auto entryId = readBinaryValue(registry, key, "01020fff");
            if (!entryId) {
                continue;
            }
            const std::string path = dataFilePathOf(*entryId);
            if (path == kPathError) {
                // A store whose reference we cannot read would otherwise be missing from the
                // backup without a word; a server mailbox's entry ID names no file at all.
                if (namesDataFile(*entryId)) {
                    notStored_.push_back(
                        key + ": the data file reference \"01020fff\" holds no path that could be read");
                }
                continue;
            }
            auto found = findFile(path);
            if (!found) {
                // The profile uses this file: leaving it out without a word would pass a backup
                // without the mail off as complete.
                notStored_.push_back(path + ": the data file the profile names was not found");
                continue;
            }
            std::string name = add(found->host, found->name);
            if (name.empty()) {
                continue;
            }
            appendName(names, name);
            if (std::find(pairPaths.begin(), pairPaths.end(), lowerAscii(path)) == pairPaths.end()) {
                pairPaths.push_back(lowerAscii(path));
                pairs.push_back(name + "<" + path);
            }
        }
        if (names.empty()) {
            return false;
        }
        return record(ItemKind::Datas, join(names, ";")) &&
               static_cast<bool>(saveINI(kDatasPathsKey, join(pairs, "|"), infoFile_));
    } catch (...) {
        return false;
    }
}

bool BackupItems::backupPab(const std::string& profile) {
    try {
        Registry& registry = platform_.registry;
        const std::string profileKey = state_.profilesRootKey + "\\" + profile;
        std::vector<std::string> subKeys = registry.getSubKeys(profileKey);
        if (subKeys.empty()) {
            return false;
        }
        std::vector<std::string> names;
        for (const std::string& sub : subKeys) {
            std::string text = registry.getStringValue(profileKey + "\\" + sub, kAddressBookValue);
            if (text == "Error" || text.empty()) {
                continue;
            }
            text = text.substr(0, text.find('\0'));
            const std::string path = replaceAll(text, "\\\\", "\\");
            auto found = findFile(path);
            if (!found) {
                notStored_.push_back(path + ": the address book the profile names was not found");
                continue;
            }
            std::string name = add(found->host, found->name);
            if (!name.empty()) {
                appendName(names, name);
            }
        }
        if (names.empty()) {
            return false;
        }
        return record(ItemKind::Pab, join(names, ";"));
    } catch (...) {
        return false;
    }
}

bool BackupItems::backupRules(const std::string& profile) {
    try {
        auto found = findFile(state_.roamingDataFolder + "\\" + profile + ".RWZ");
        if (!found) {
            return false;
        }
        std::string name = add(found->host, found->name);
        if (name.empty()) {
            return false;
        }
        // Readers look the entry up without regard to case, so the usual value is the profile name
        // with ".RWZ"; an entry that had to be renumbered is recorded as it is.
        const std::string usual = profile + ".RWZ";
        return record(ItemKind::Rules, lowerAscii(name) == lowerAscii(usual) ? usual : name);
    } catch (...) {
        return false;
    }
}

bool BackupItems::run(ItemKind kind, const std::string& profile) {
    switch (kind) {
    case ItemKind::Config:
        return backupConfig(profile);
    case ItemKind::Datas:
        return backupDatas(profile);
    case ItemKind::Rules:
        return backupRules(profile);
    case ItemKind::Accounts:
        return backupAccounts(profile);
    case ItemKind::Signatures:
        return backupSignatures();
    case ItemKind::Stationery:
        return backupStationery();
    case ItemKind::Pab:
        return backupPab(profile);
    case ItemKind::Configsetting:
        return backupConfigsetting();
    case ItemKind::Templates:
        return backupTemplates();
    case ItemKind::Setting:
        return backupSetting();
    case ItemKind::Contacts:
        return backupContacts();
    }
    return false;
}

} // namespace qob
