#include "restore/RestoreCompanions.h"

#include "platform/AsciiCase.h"
#include "restore/RestoreNames.h"

#include <set>

namespace qob {

namespace fs = std::filesystem;

std::optional<CompanionEntry> parseCompanionEntry(ItemKind kind, const std::string& entryName) {
    if (!companionsKey(kind)) {
        return std::nullopt;
    }
    const std::size_t first = entryName.find('/');
    const std::size_t second = first == std::string::npos ? first : entryName.find('/', first + 1);
    if (second == std::string::npos || entryName.find('/', second + 1) != std::string::npos) {
        return std::nullopt;
    }
    CompanionEntry out{entryName.substr(first + 1, second - first - 1), entryName.substr(second + 1)};
    if (companionEntryName(kind, out.folder, out.file) != entryName || !isSafeRestoreName(out.folder) ||
        !isSafeRestoreName(out.file)) {
        return std::nullopt;
    }
    const std::string suffix = "_files";
    if (out.folder.size() <= suffix.size() ||
        lowerAscii(out.folder.substr(out.folder.size() - suffix.size())) != suffix) {
        return std::nullopt;
    }
    return out;
}

namespace {

bool restoreOne(RestoreContext& ctx, const std::string& targetFolder, const fs::path& hostFolder,
                const std::string& name, const CompanionEntry& where) {
    TargetFileSystem& files = ctx.platform.files;
    const std::string folder = targetFolder + "\\" + where.folder;
    const auto hostSub = files.toHostPath(folder);
    if (!hostSub || hostSub->parent_path() != hostFolder) {
        return ctx.fail("The folder " + folder + " cannot be reached.");
    }
    std::error_code ec;
    if (fs::is_symlink(*hostSub, ec)) {
        return ctx.fail("The folder " + folder + " is a link to another place; \"" + name +
                        "\" is not restored into it.");
    }
    if (!ensureTargetFolder(ctx, folder, false)) {
        return false;
    }
    auto entry = ctx.archive.findEntry(name);
    if (!entry) {
        return ctx.fail("The backup file holds no entry \"" + name + "\".");
    }
    if (entry->info().symlink) {
        return ctx.fail("The entry \"" + name + "\" is a symbolic link; it is not restored.");
    }
    if (auto free = ctx.freeSpace(*hostSub); free && entry->info().size > *free) {
        return ctx.fail("Not enough free space for \"" + name + "\" (" + std::to_string(entry->info().size) +
                        " bytes) in " + hostSub->string() + ".");
    }
    const std::string target = folder + "\\" + where.file;
    const auto hostFile = files.toHostPath(target);
    if (!hostFile || hostFile->parent_path() != *hostSub) {
        return ctx.fail("The file " + target + " cannot be reached.");
    }
    if (fs::is_directory(*hostFile, ec) || fs::is_symlink(*hostFile, ec)) {
        return ctx.fail("A folder or link stands where " + target +
                        " would be restored; it is left as it is.");
    }
    if (Status s = ctx.writeEntry(*entry, *hostFile); !s) {
        return ctx.fail(s.message);
    }
    return true;
}

} // namespace

bool restoreCompanions(RestoreContext& ctx, const std::string& targetFolder, ItemKind kind) {
    const std::string& value = ctx.state.restore.companionValues[index(kind)];
    if (value.empty()) {
        return true;
    }
    const auto hostFolder = ctx.platform.files.toHostPath(targetFolder);
    if (!hostFolder) {
        return ctx.fail("The folder " + targetFolder + " cannot be reached.");
    }
    bool all = true;
    std::set<std::string> seen; // one file of a Windows folder, however often it is named
    for (const std::string& name : splitCompanions(value)) {
        if (ctx.stopRequested()) {
            return ctx.fail("The restore was stopped before " + name + " was extracted.");
        }
        if (!seen.insert(lowerAscii(name)).second) {
            continue;
        }
        const auto where = parseCompanionEntry(kind, name);
        if (!where) {
            all = ctx.fail(
                "The backup names \"" + name +
                "\", which is not a file of a signature's or stationery's folder; it is not restored.");
            continue;
        }
        all = restoreOne(ctx, targetFolder, *hostFolder, name, *where) && all;
    }
    return all;
}

} // namespace qob
