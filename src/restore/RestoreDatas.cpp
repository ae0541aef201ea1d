// Data files and personal address books: the files go into the local data folder, then the
// profile's references are pointed at them. Only references whose file was just restored are
// rewritten, so no reference ends up naming a file that is not there.
#include "outlook/BinaryPath.h"
#include "outlook/OutlookDiscovery.h"
#include "outlook/PathReaders.h"
#include "platform/AsciiCase.h"
#include "restore/RestoreItems.h"
#include "restore/RestoreNames.h"
#include "restore/RestoreTransaction.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <set>

namespace qob {

namespace {

struct RestoredFile {
    std::string entryName;    // name of the restored file in the local data folder
    std::string originalPath; // where it lay on the backed-up machine; "" when not recorded
};

std::string bareName(const std::string& targetPath) {
    const std::size_t slash = targetPath.rfind('\\');
    return slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    return equalsNoCase(a, b);
}

// "name<path|name<path": which entry replaces which original path.
std::vector<RestoredFile> parseDatasPaths(const std::string& text) {
    std::vector<RestoredFile> pairs;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('|', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string pair = text.substr(start, end - start);
        const std::size_t lt = pair.find('<');
        if (lt != std::string::npos && lt > 0 && lt + 1 < pair.size()) {
            pairs.push_back({pair.substr(0, lt), pair.substr(lt + 1)});
        }
        start = end + 1;
    }
    return pairs;
}

// The restored file a reference to `oldPath` now points at; "" when none of the restored files
// stands for it (the reference is then left as it is).
std::string restoredNameFor(const std::string& oldPath, const std::vector<std::string>& extracted,
                            const std::vector<RestoredFile>& mapping) {
    auto wasExtracted = [&](const std::string& name) {
        for (const std::string& e : extracted) {
            if (sameName(e, name)) {
                return true;
            }
        }
        return false;
    };
    if (!mapping.empty()) {
        for (const RestoredFile& f : mapping) {
            if (sameName(f.originalPath, oldPath) && wasExtracted(f.entryName)) {
                return f.entryName;
            }
        }
        return "";
    }
    const std::string bare = bareName(oldPath);
    for (const std::string& e : extracted) {
        if (sameName(e, bare)) {
            return e;
        }
    }
    return "";
}

bool removed(RegResult rc) {
    return rc == kRegSuccess || rc == kRegNotFound;
}

// What both file kinds of a profile need before they point its services at the files: the files
// extracted into the local data folder and the profile's service subkeys. nullopt after a failure
// (already reported through `ctx`); `what` names the files in the message of a profile with no
// services.
struct ExtractedIntoProfile {
    std::string folder;
    std::vector<std::string> extracted;
    std::string profileKey;
    std::vector<std::string> subKeys;
    bool complete = true; // false: some files could not be restored (reported); the rest were
    // Entry name -> the file it was written to, where that differs (see fileNameFor below).
    std::map<std::string, std::string> renamed;

    std::string pathOf(const std::string& entry) const {
        auto it = renamed.find(entry);
        return folder + "\\" + (it == renamed.end() ? entry : it->second);
    }
};

} // namespace

std::vector<std::string> filesOfProfile(RestoreContext& ctx, const std::string& profile) {
    std::vector<std::string> files;
    Registry& registry = ctx.platform.registry;
    const std::string profileKey = restoreProfileKey(ctx.state, profile);
    for (const std::string& sub : registry.getSubKeys(profileKey)) {
        const std::string key = profileKey + "\\" + sub;
        if (const std::string path = getDataFilePath(registry, key); path != kPathError) {
            files.push_back(path);
        }
        std::string pab = registry.getStringValue(key, "001e6600");
        if (pab != "Error" && !pab.empty()) {
            files.push_back(pab.substr(0, pab.find('\0')));
        }
    }
    return files;
}

namespace {

// Lower-cased paths of the data files and address books that the other profiles of this machine
// use. A restore into one profile must not overwrite them: restoring A's backup into B on the same
// machine would otherwise replace A's live mail file with the older copy from the backup.
std::set<std::string> filesOfOtherProfiles(RestoreContext& ctx, const std::string& profile) {
    std::set<std::string> used;
    for (const std::string& other : ctx.platform.registry.getSubKeys(ctx.state.profilesRootKey)) {
        if (equalsNoCase(other, profile)) {
            continue;
        }
        for (const std::string& path : filesOfProfile(ctx, other)) {
            // A file named but not there loses nothing when it is written.
            if (ctx.platform.files.fileExists(path)) {
                used.insert(lowerAscii(ctx.platform.files.canonicalPath(path)));
            }
        }
    }
    return used;
}

// Whether `name` is "<stem>~<n><ext>" (the name a copy written beside a file in use gets).
bool isNumberedCopy(const std::string& name, const std::string& stem, const std::string& ext) {
    if (name.size() <= stem.size() + 1 + ext.size() || !equalsNoCase(name.substr(0, stem.size()), stem) ||
        name[stem.size()] != '~' || !equalsNoCase(name.substr(name.size() - ext.size()), ext)) {
        return false;
    }
    const std::string digits = name.substr(stem.size() + 1, name.size() - stem.size() - 1 - ext.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<ExtractedIntoProfile> extractForProfile(RestoreContext& ctx, const std::string& profile,
                                                      ItemKind kind, const std::string& what) {
    if (!checkProfile(ctx, profile)) {
        return std::nullopt;
    }
    ExtractedIntoProfile out;
    // As Outlook must be given it (under Wine without "Local Settings\Application Data", which
    // only this program follows), and as the other profiles' paths are compared with it.
    out.folder = ctx.platform.files.canonicalPath(restoreLocalDataFolder(ctx.state));
    if (!ensureTargetFolder(ctx, out.folder, true)) {
        return std::nullopt;
    }
    // A file another profile uses is left alone: the restored copy gets the first free name
    // "<stem>~<n><ext>" beside it, and the target profile is pointed at that.
    const std::set<std::string> inUse = filesOfOtherProfiles(ctx, profile);
    // The copy the target itself already uses is replaced: another restore into the same profile
    // must not leave the previous copy behind and write yet another one (each as large as the mail).
    // As the profile was before this run: its configuration may have been replaced meanwhile.
    const std::vector<std::string> ownFiles =
        ctx.targetFilesBefore ? *ctx.targetFilesBefore : filesOfProfile(ctx, profile);
    auto fileNameFor = [&](const std::string& entry) {
        auto freeName = [&](const std::string& name) {
            const std::string path = out.folder + "\\" + name;
            return inUse.count(lowerAscii(path)) == 0;
        };
        if (freeName(entry)) {
            return entry;
        }
        const std::size_t dot = entry.rfind('.');
        const std::string stem = dot == std::string::npos || dot == 0 ? entry : entry.substr(0, dot);
        const std::string ext = stem.size() == entry.size() ? std::string() : entry.substr(dot);
        for (const std::string& ownPath : ownFiles) {
            const std::string own = ctx.platform.files.canonicalPath(ownPath);
            const std::size_t slash = own.rfind('\\');
            const std::string ownName = own.substr(slash + 1);
            if (slash != std::string::npos && equalsNoCase(own.substr(0, slash), out.folder) &&
                isNumberedCopy(ownName, stem, ext) && freeName(ownName)) {
                out.renamed[entry] = ownName;
                return ownName;
            }
        }
        for (int n = 2;; ++n) {
            const std::string candidate = stem + "~" + std::to_string(n) + ext;
            if (freeName(candidate) && !ctx.platform.files.fileExists(out.folder + "\\" + candidate)) {
                out.renamed[entry] = candidate;
                return candidate;
            }
        }
    };
    if (!extractNames(ctx, ctx.state.restore.itemValues[index(kind)], out.folder, &out.extracted,
                      fileNameFor)) {
        if (out.extracted.empty()) {
            return std::nullopt;
        }
        // The files that did arrive still get their references, so they are not left unused.
        out.complete = false;
    }
    out.profileKey = restoreProfileKey(ctx.state, profile);
    ctx.touchKey(out.profileKey);
    out.subKeys = ctx.platform.registry.getSubKeys(out.profileKey);
    if (out.subKeys.empty()) {
        ctx.fail("The profile \"" + profile + "\" has no services to point at " + what + ".");
        return std::nullopt;
    }
    return out;
}

} // namespace

bool restoreDatas(RestoreContext& ctx, const std::string& profile) {
    try {
        const auto target = extractForProfile(ctx, profile, ItemKind::Datas, "the data files");
        if (!target) {
            return false;
        }
        const auto& [folder, extracted, profileKey, subKeys, complete, renamed] = *target;
        Registry& registry = ctx.platform.registry;
        const auto mapping = parseDatasPaths(ctx.state.restore.datasPaths);
        bool allRewritten = true;
        for (const std::string& sub : subKeys) {
            const std::string key = profileKey + "\\" + sub;
            const std::string oldPath = getDataFilePath(registry, key);
            if (oldPath == kPathError) {
                continue;
            }
            const std::string name = restoredNameFor(oldPath, extracted, mapping);
            if (name.empty()) {
                continue;
            }
            const std::string newPath = target->pathOf(name);
            // The store entry ID first: when it cannot take the new path, the service is left
            // exactly as it was.
            const RegResult rc = replaceBinaryPath(registry, key, "01020fff", oldPath, newPath);
            if (rc == kRegInvalidData) {
                // Reported; the profile's other services are still pointed at their files.
                allRewritten = ctx.fail("The data file reference under " + key +
                                        " is kept in single-byte form, which cannot hold the restored path " +
                                        newPath + "; it still names " + oldPath + ".");
                continue;
            }
            if (rc != kRegSuccess || !removed(registry.deleteValue(key, "001e6700")) ||
                replaceBinaryPath(registry, key, "001f6700", oldPath, newPath) != kRegSuccess) {
                return ctx.fail("Cannot rewrite the data file references under " + key + ".");
            }
        }
        const std::string messageService = profileKey + "\\0a0d020000000000c000000000000046";
        if (!removed(registry.deleteValue(messageService, "1102039b")) ||
            !removed(registry.deleteValue(messageService, "001e023d")) ||
            !removed(registry.deleteValue(profileKey + "\\" + kAccountsSubKey + "\\00000005",
                                          "Delivery Store EntryID"))) {
            return ctx.fail("Cannot clear the cached store references of profile \"" + profile + "\".");
        }
        // Outlook's cached shortcuts of the profile would still name the old stores.
        const std::string shortcuts = profile + ".FAV";
        if (isSafeRestoreName(shortcuts)) {
            const std::string fav =
                ctx.state.userProfileFolder + "\\Application Data\\Microsoft\\Outlook\\" + shortcuts;
            if (ctx.platform.files.fileExists(fav)) {
                if (Status s = ctx.removeFile(fav); !s) {
                    return ctx.fail(s.message);
                }
            }
        }
        return complete && allRewritten;
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

bool restorePab(RestoreContext& ctx, const std::string& profile) {
    try {
        const auto target = extractForProfile(ctx, profile, ItemKind::Pab, "the address book");
        if (!target) {
            return false;
        }
        const auto& [folder, extracted, profileKey, subKeys, complete, renamed] = *target;
        Registry& registry = ctx.platform.registry;
        for (const std::string& sub : subKeys) {
            const std::string key = profileKey + "\\" + sub;
            std::string current = registry.getStringValue(key, "001e6600");
            if (current == "Error") {
                continue;
            }
            current = current.substr(0, current.find('\0'));
            const std::string name = restoredNameFor(current, extracted, {});
            if (name.empty()) {
                continue;
            }
            if (registry.setStringValue(key, "001e6600", target->pathOf(name)) != kRegSuccess) {
                return ctx.fail("Cannot point " + key + " at the restored address book.");
            }
        }
        return complete;
    } catch (const std::exception& e) {
        return ctx.fail(e.what());
    }
}

namespace {

bool namedBefore(const RestoreContext& ctx, const std::string& path) {
    if (!ctx.targetFilesBefore) {
        return false;
    }
    for (const std::string& before : *ctx.targetFilesBefore) {
        if (equalsNoCase(before, path)) {
            return true;
        }
    }
    return false;
}

} // namespace

void dropForeignDeliveryStores(RestoreContext& ctx, const std::string& profile) {
    Registry& registry = ctx.platform.registry;
    const std::string accounts = restoreAccountsKey(ctx.state, profile);
    for (const std::string& sub : registry.getSubKeys(accounts)) {
        const std::string key = accounts + "\\" + sub;
        const auto bytes = readBinaryValue(registry, key, "Delivery Store EntryID");
        if (!bytes) {
            continue;
        }
        const std::string path = decodeWidePath(*bytes);
        const std::string named = path != kPathError ? path : decodeAnsiPath(*bytes);
        if (named != kPathError && !namedBefore(ctx, named)) {
            ctx.touchKey(restoreProfileKey(ctx.state, profile));
            registry.deleteValue(key, "Delivery Store EntryID");
        }
    }
}

std::string foreignReference(RestoreContext& ctx, const std::string& profile) {
    Registry& registry = ctx.platform.registry;
    const std::string profileKey = restoreProfileKey(ctx.state, profile);
    for (const std::string& sub : registry.getSubKeys(profileKey)) {
        const std::string path = getDataFilePath(registry, profileKey + "\\" + sub);
        // A file that is not on this machine loses nothing by being named (a backup from another
        // machine names its paths); one that is there may be another profile's live mail.
        if (path == kPathError || namedBefore(ctx, path) || !ctx.platform.files.fileExists(path)) {
            continue;
        }
        const auto host = ctx.platform.files.toHostPath(path);
        if (ctx.transaction && host && ctx.transaction->isStaged(*host)) {
            continue;
        }
        return path;
    }
    return "";
}

} // namespace qob
