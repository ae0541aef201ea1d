#include "restore/RestoreItems.h"
#include "platform/AsciiCase.h"

#include "outlook/OutlookDiscovery.h"
#include "restore/RestoreCompanions.h"
#include "restore/RestoreNames.h"
#include "restore/RestoreTransaction.h"
#include "settings/ArchiveInfoFile.h"
#include "settings/TempFiles.h"

#include <exception>
#include <set>

namespace qob {

namespace fs = std::filesystem;

namespace {

// Registry kinds: the registry text travels in the archive; it is extracted to a scratch file of
// its own (an interactive and a scheduled run may share the program folder) and imported whole.
// The values by which a service names its data file (the store entry ID and the path buffers).
bool isDataFileReference(const std::string& valueName) {
    return equalsIgnoreCase(valueName, "01020fff") || equalsIgnoreCase(valueName, "001f6700") ||
           equalsIgnoreCase(valueName, "001e6700");
}

// `leaveOut` given: only the branches the target lacks are added, without those holding such a value.
bool restoreRegistryKind(RestoreContext& ctx, const std::string& keyPath, ItemKind kind,
                         const std::function<bool(const RegValue&)>& leaveOut = {}) {
    Registry& registry = ctx.platform.registry;
    if (!registry.keyExists(keyPath)) {
        // Only what Outlook has made on this machine is replaced; a skipped item must not be
        // reported restored.
        return ctx.fail("The key " + keyPath + " does not exist on this machine (Outlook has not made it), " +
                        "so this item was not restored.");
    }
    ctx.touchKey(keyPath);
    const std::string& name = ctx.state.restore.itemValues[index(kind)];
    auto entry = checkedEntry(ctx, name, ctx.state.programFolder);
    if (!entry) {
        return false;
    }
    if (entry->info().size > kMaxRegistryTextBytes) {
        return ctx.fail("The registry text \"" + name + "\" (" + std::to_string(entry->info().size) +
                        " bytes) is larger than any profile's; it is not restored.");
    }
    fs::path scratch;
    if (Status s = sGetTempFile(ctx.state.programFolder, "rst", scratch); !s) {
        return ctx.fail(s.message);
    }
    Status extracted = entry->extractToFile(scratch);
    Status imported = !extracted ? extracted
                      : leaveOut ? registry.importMissingBranches(keyPath, scratch, leaveOut)
                                 : registry.importKey(keyPath, scratch);
    std::error_code ec;
    fs::remove(scratch, ec);
    if (!imported) {
        return ctx.fail("Cannot restore " + keyPath + ": " + imported.message);
    }
    return true;
}

bool restoreFolderKind(RestoreContext& ctx, const std::string& folder, ItemKind kind) {
    if (folder.empty()) {
        return ctx.fail("The target folder of this item is not known on this machine.");
    }
    if (!ensureTargetFolder(ctx, folder, false)) {
        return false;
    }
    const bool files = extractNames(ctx, ctx.state.restore.itemValues[index(kind)], folder);
    // The pictures of a signature are restored even when one of its other files failed.
    return restoreCompanions(ctx, folder, kind) && files;
}

} // namespace

bool RestoreContext::fail(std::string why) {
    problems.push_back(std::move(why));
    return false;
}

Status RestoreContext::writeEntry(const ArchiveEntry& entry, const fs::path& hostFile) {
    if (!transaction) {
        return entry.extractToFile(hostFile);
    }
    if (Status s = transaction->aboutToWrite(hostFile); !s) {
        return s;
    }
    fs::path temp;
    if (Status s = entry.extractToTemp(hostFile, temp); !s) {
        return s;
    }
    transaction->stage(temp, hostFile);
    return Status::success();
}

Status RestoreContext::removeFile(const std::string& targetPath) {
    if (!transaction) {
        return platform.files.deleteFile(targetPath);
    }
    auto host = platform.files.toHostPath(targetPath);
    if (!host) {
        return Status::failure("The file " + targetPath + " cannot be reached.");
    }
    transaction->stageRemoval(*host);
    return Status::success();
}

void RestoreContext::touchKey(const std::string& keyPath) {
    if (transaction) {
        transaction->touchKey(keyPath);
    }
}

bool checkProfile(RestoreContext& ctx, const std::string& profile) {
    // An empty name would make the profile key the profiles root itself, and a name holding "\"
    // would reach into another key.
    if (isBlankName(profile) || profile.find('\\') != std::string::npos) {
        return ctx.fail("No valid target profile was chosen.");
    }
    return true;
}

std::optional<ArchiveEntry> checkedEntry(RestoreContext& ctx, const std::string& name,
                                         const fs::path& hostFolder) {
    if (!isSafeRestoreName(name)) {
        ctx.fail("The backup names \"" + name + "\", which is not a plain file name; it is not restored.");
        return std::nullopt;
    }
    auto entry = ctx.archive.findEntry(name);
    if (!entry) {
        ctx.fail("The backup file holds no entry \"" + name + "\".");
        return std::nullopt;
    }
    if (!isSafeRestoreName(entry->name())) {
        ctx.fail("The entry \"" + entry->name() + "\" is not a plain file name; it is not restored.");
        return std::nullopt;
    }
    if (entry->info().symlink) {
        ctx.fail("The entry \"" + name + "\" is a symbolic link; it is not restored.");
        return std::nullopt;
    }
    if (auto free = ctx.freeSpace(hostFolder); free && entry->info().size > *free) {
        ctx.fail("Not enough free space for \"" + name + "\" (" + std::to_string(entry->info().size) +
                 " bytes) in " + hostFolder.string() + ".");
        return std::nullopt;
    }
    return entry;
}

namespace {

// The host folders from `folder` up that are not there yet, top down.
std::vector<fs::path> missingHostFolders(TargetFileSystem& files, const std::string& folder) {
    std::vector<fs::path> missing;
    const std::optional<fs::path> host = files.toHostPath(folder);
    if (!host) {
        return missing;
    }
    std::error_code ec;
    for (fs::path level = *host; level.has_relative_path() && !fs::exists(fs::symlink_status(level, ec));
         level = level.parent_path()) {
        missing.insert(missing.begin(), level);
    }
    return missing;
}

} // namespace

bool ensureTargetFolder(RestoreContext& ctx, const std::string& targetFolder, bool withParents) {
    TargetFileSystem& files = ctx.platform.files;
    if (files.folderExists(targetFolder)) {
        return true;
    }
    // A restore that is rolled back takes away the folders it made (a "Work_files" beside a
    // signature that was never restored), whether this call succeeds or stops half-way.
    struct Noted {
        RestoreTransaction* transaction;
        std::vector<fs::path> levels;
        ~Noted() {
            std::error_code ec;
            for (const fs::path& level : levels) {
                if (transaction && fs::is_directory(fs::symlink_status(level, ec))) {
                    transaction->createdFolder(level);
                }
            }
        }
    } noted{ctx.transaction,
            ctx.transaction ? missingHostFolders(files, targetFolder) : std::vector<fs::path>{}};
    if (ctx.transaction) {
        if (Status s = ctx.transaction->aboutToCreateFolders(noted.levels); !s) {
            noted.levels.clear(); // none was made
            return ctx.fail(s.message);
        }
    }
    if (withParents) {
        // Every level below the drive (or share) that is missing, top down.
        std::size_t pos = targetFolder.find('\\', targetFolder.rfind("\\\\", 0) == 0 ? 2 : 0);
        while (pos != std::string::npos) {
            const std::string level = targetFolder.substr(0, pos);
            if (level.size() > 2 && !files.folderExists(level)) {
                if (Status s = files.createFolder(level); !s) {
                    return ctx.fail("Cannot create the folder " + level + ": " + s.message);
                }
            }
            pos = targetFolder.find('\\', pos + 1);
        }
    }
    if (Status s = files.createFolder(targetFolder); !s) {
        return ctx.fail("Cannot create the folder " + targetFolder + ": " + s.message);
    }
    return true;
}

bool extractNames(RestoreContext& ctx, const std::string& value, const std::string& targetFolder,
                  std::vector<std::string>* extracted,
                  const std::function<std::string(const std::string&)>& fileNameFor) {
    const auto hostFolder = ctx.platform.files.toHostPath(targetFolder);
    if (!hostFolder) {
        return ctx.fail("The folder " + targetFolder + " cannot be reached.");
    }
    const auto names = splitItemValue(value);
    if (names.empty()) {
        return ctx.fail("The backup names no file for this item.");
    }
    // A name that cannot be restored fails the item, but the other files of the item are still
    // restored: one odd file name must not cost the user the rest of the folder.
    bool all = true;
    // A name given twice is one file in a Windows folder: it is restored (or refused) once, so a
    // crafted information file cannot turn one entry into any number of extractions.
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (ctx.stopRequested()) {
            return ctx.fail("The restore was stopped before " + name + " was extracted.");
        }
        if (!seen.insert(lowerAscii(name)).second) {
            continue;
        }
        auto entry = checkedEntry(ctx, name, *hostFolder);
        if (!entry) {
            all = false;
            continue;
        }
        const std::string fileName = fileNameFor ? fileNameFor(name) : name;
        // Through the target file system, so an existing file of another case is the one replaced.
        auto hostFile = ctx.platform.files.toHostPath(targetFolder + "\\" + fileName);
        if (!hostFile || hostFile->parent_path() != *hostFolder) {
            all = ctx.fail("The file " + targetFolder + "\\" + fileName + " cannot be reached.");
            continue;
        }
        if (Status s = ctx.writeEntry(*entry, *hostFile); !s) {
            all = ctx.fail(s.message);
            continue;
        }
        if (extracted) {
            extracted->push_back(name);
        }
    }
    return all;
}

bool restoreConfig(RestoreContext& ctx, const std::string& profile, ConfigScope scope) {
    try {
        if (scope == ConfigScope::WholeProfile) {
            return checkProfile(ctx, profile) &&
                   restoreRegistryKind(ctx, restoreProfileKey(ctx.state, profile), ItemKind::Config);
        }
        return checkProfile(ctx, profile) &&
               restoreRegistryKind(ctx, restoreProfileKey(ctx.state, profile), ItemKind::Config,
                                   [scope](const RegValue& value) {
                                       return isDataFileReference(value.name) ||
                                              (scope == ConfigScope::MissingWithoutFiles &&
                                               equalsIgnoreCase(value.name, "001e6600"));
                                   });
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreAccounts(RestoreContext& ctx, const std::string& profile) {
    try {
        return checkProfile(ctx, profile) &&
               restoreRegistryKind(ctx, restoreAccountsKey(ctx.state, profile), ItemKind::Accounts);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreConfigsetting(RestoreContext& ctx) {
    try {
        return restoreRegistryKind(ctx, restoreOptionsKey(ctx.state), ItemKind::Configsetting);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreRules(RestoreContext& ctx, const std::string& profile) {
    try {
        if (!checkProfile(ctx, profile)) {
            return false;
        }
        const std::string target = profile + ".RWZ";
        if (!isSafeRestoreName(target)) {
            return ctx.fail("The profile name \"" + profile + "\" cannot name a rules file.");
        }
        const std::string folder = restoreRoamingDataFolder(ctx.state);
        if (!ensureTargetFolder(ctx, folder, true)) {
            return false;
        }
        auto hostFolder = ctx.platform.files.toHostPath(folder);
        if (!hostFolder) {
            return ctx.fail("The folder " + folder + " cannot be reached.");
        }
        const auto names = splitItemValue(ctx.state.restore.itemValues[index(ItemKind::Rules)]);
        if (names.empty()) {
            return ctx.fail("The backup names no rules file.");
        }
        // Straight to the target profile's name: extracting under the recorded name first would
        // replace, and the rename then move away, the rules of the profile named in the backup.
        auto hostFile = ctx.platform.files.toHostPath(folder + "\\" + target);
        if (!hostFile || hostFile->parent_path() != *hostFolder) {
            return ctx.fail("The file " + folder + "\\" + target + " cannot be reached.");
        }
        for (const std::string& name : names) {
            auto entry = checkedEntry(ctx, name, *hostFolder);
            if (!entry) {
                return false;
            }
            if (Status s = ctx.writeEntry(*entry, *hostFile); !s) {
                return ctx.fail(s.message);
            }
        }
        return true;
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreSignatures(RestoreContext& ctx) {
    try {
        return restoreFolderKind(ctx, restoreSignaturesFolder(ctx.state), ItemKind::Signatures);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreStationery(RestoreContext& ctx) {
    try {
        return restoreFolderKind(ctx, restoreStationeryFolder(ctx.platform.registry, ctx.state),
                                 ItemKind::Stationery);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreTemplates(RestoreContext& ctx) {
    try {
        return restoreFolderKind(ctx, restoreTemplatesFolder(ctx.state), ItemKind::Templates);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreSetting(RestoreContext& ctx, const std::string& profile) {
    try {
        std::vector<std::string> names;
        for (const std::string& name :
             splitItemValue(ctx.state.restore.itemValues[index(ItemKind::Setting)])) {
            const bool rulesFile = name.size() > 4 && equalsIgnoreCase(name.substr(name.size() - 4), ".rwz");
            if (!rulesFile || equalsIgnoreCase(name, profile + ".rwz")) {
                names.push_back(name);
            }
        }
        if (names.empty()) {
            return true; // nothing but other profiles' rules: nothing of the target's to restore
        }
        const std::string folder = restoreRoamingDataFolder(ctx.state);
        if (folder.empty()) {
            return ctx.fail("The target folder of this item is not known on this machine.");
        }
        if (!ensureTargetFolder(ctx, folder, false)) {
            return false;
        }
        return extractNames(ctx, joinItemValue(names), folder);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restoreContacts(RestoreContext& ctx) {
    try {
        return restoreFolderKind(ctx, restoreContactsFolder(ctx.state), ItemKind::Contacts);
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

} // namespace qob
