#include "backup/BackupTarget.h"

#include "archive/Archive.h"
#include "outlook/OutlookDiscovery.h"
#include "outlook/PathReaders.h"
#include "platform/AsciiCase.h"

#include <vector>

namespace qob {

namespace fs = std::filesystem;

namespace {

constexpr char kNeverOver[] = "; a backup is never written over it. Choose another name for the backup file.";

// Where mail profiles live: the older key and the key of every generation from 2013 on, whichever
// is installed now (a profile of an earlier installation still names its files).
std::vector<std::string> profileRoots() {
    return {kOlderProfilesRootKey, profilesRootKeyFor("15.0"), profilesRootKeyFor("16.0")};
}

// A path as one spelling, for comparing two paths of which either may not exist (yet).
fs::path sameSpelling(const fs::path& path) {
    std::error_code ec;
    fs::path absolute = fs::absolute(path, ec);
    if (ec) {
        absolute = path;
    }
    fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : canonical;
}

bool samePath(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) {
        return true;
    }
    return sameSpelling(a) == sameSpelling(b);
}

// The files a profile points at: its data files (the store entry ID and both path buffers) and
// its personal address book.
std::vector<std::string> filesNamedBy(Registry& registry, const std::string& profileKey) {
    std::vector<std::string> files;
    for (const std::string& service : registry.getSubKeys(profileKey)) {
        const std::string key = profileKey + "\\" + service;
        for (const std::string& path :
             {getDataFilePath(registry, key), getBinaryPathWide(registry, key, "001f6700"),
              getBinaryPathAnsi(registry, key, "001e6700"), registry.getStringValue(key, "001e6600")}) {
            const std::string cut = path.substr(0, path.find('\0'));
            if (cut != kPathError && !cut.empty()) {
                files.push_back(cut);
            }
        }
    }
    return files;
}

std::string usedByAProfile(TargetContext& platform, const fs::path& target) {
    Registry& registry = platform.registry;
    for (const std::string& root : profileRoots()) {
        for (const std::string& profile : registry.getSubKeys(root)) {
            for (const std::string& file : filesNamedBy(registry, root + "\\" + profile)) {
                const std::optional<fs::path> host = platform.files.toHostPath(file);
                if (host && samePath(*host, target)) {
                    return "The file " + target.string() + " is the data file " + file +
                           " of the mail profile \"" + profile + "\"" + kNeverOver;
                }
            }
        }
    }
    return "";
}

} // namespace

bool isBackupFile(const fs::path& file) {
    Archive archive;
    if (!archive.openArchive(file)) {
        return false;
    }
    const std::vector<ArchiveEntryInfo> entries = archive.entries();
    const bool backup = !entries.empty() && equalsIgnoreCase(entries.back().name, kInfoEntryName);
    archive.closeArchive();
    return backup;
}

std::string backupTargetRefusal(TargetContext& platform, const fs::path& target) {
    if (target.empty()) {
        return "";
    }
    if (!platform.systemFolder.empty()) {
        for (const char* hive : {"user.reg", "system.reg", "userdef.reg"}) {
            if (samePath(platform.systemFolder / hive, target)) {
                return "The file " + target.string() + " is a registry file of the target system " +
                       platform.systemFolder.string() + kNeverOver;
            }
        }
    }
    if (std::string used = usedByAProfile(platform, target); !used.empty()) {
        return used;
    }
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (!fs::exists(status)) {
        // A link that leads nowhere is replaced by the backup, the link only; nothing is lost.
        return "";
    }
    if (fs::is_directory(status)) {
        return "The backup file " + target.string() + " is a folder" + kNeverOver;
    }
    if (!fs::is_regular_file(status) || !isBackupFile(target)) {
        return "The file " + target.string() + " exists and is not a readable backup of this program" +
               kNeverOver;
    }
    return "";
}

} // namespace qob
