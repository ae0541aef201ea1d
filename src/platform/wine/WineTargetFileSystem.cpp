#include "platform/wine/WineTargetFileSystem.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

// Decodes one UTF-8 character at text[i], advancing i; invalid bytes stand for themselves.
char32_t decode(const std::string& text, std::size_t& i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra == 0 || i + static_cast<std::size_t>(extra) >= text.size()) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        unsigned char cc = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

// Upper-case folding for the scripts user and folder names are written in: ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic. Wine folds all of Unicode; names beyond these compare
// exactly.
char32_t fold(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return c - 0x20;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        bool pairsOnOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (pairsOnOdd ? (c % 2 == 0) : (c % 2 == 1))
            return c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2)
        return c - 0x20;
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    return c;
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size())
        if (fold(decode(a, i)) != fold(decode(b, j)))
            return false;
    return i == a.size() && j == b.size();
}

bool lessIgnoringCase(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = fold(decode(a, i)), y = fold(decode(b, j));
        if (x != y)
            return x < y;
    }
    if ((i == a.size()) != (j == b.size()))
        return i == a.size();
    return a < b;
}

bool validComponent(const std::string& name) {
    for (unsigned char c : name)
        if (c < 0x20 || std::strchr("<>:\"|?*", c))
            return false;
    return true;
}

// The entry of `folder` named `name`: the exact name when it exists, else the first entry (in
// sorted order, so the choice never depends on the directory's order) equal without regard to
// case, else nullopt.
std::optional<std::string> findEntry(const std::filesystem::path& folder, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::symlink_status(folder / name, ec).type() != std::filesystem::file_type::not_found &&
        !ec)
        return name;
    std::vector<std::string> matches;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string candidate = entry.path().filename().string();
        if (sameNameIgnoringCase(candidate, name))
            matches.push_back(candidate);
    }
    if (matches.empty())
        return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

std::string errnoText(int err) {
    return std::strerror(err);
}

std::vector<std::string> sortedNames(std::vector<std::string> names) {
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    return names;
}

// The folder names of Windows XP that Windows Vista and later keep in every user folder as
// junctions into the newer folders. Programs (and Outlook's own settings) still use them, but Wine
// makes no such junctions, so the names are followed here instead.
struct OlderUserFolder {
    const char* name;
    std::vector<std::string> target; // below the user folder
};

const std::vector<OlderUserFolder>& olderUserFolders() {
    static const std::vector<OlderUserFolder> table = {
        {"Application Data", {"AppData", "Roaming"}},
        {"Cookies", {"AppData", "Roaming", "Microsoft", "Windows", "Cookies"}},
        {"Local Settings", {"AppData", "Local"}},
        {"My Documents", {"Documents"}},
        {"NetHood", {"AppData", "Roaming", "Microsoft", "Windows", "Network Shortcuts"}},
        {"PrintHood", {"AppData", "Roaming", "Microsoft", "Windows", "Printer Shortcuts"}},
        {"Recent", {"AppData", "Roaming", "Microsoft", "Windows", "Recent"}},
        {"SendTo", {"AppData", "Roaming", "Microsoft", "Windows", "SendTo"}},
        {"Start Menu", {"AppData", "Roaming", "Microsoft", "Windows", "Start Menu"}},
        {"Templates", {"AppData", "Roaming", "Microsoft", "Windows", "Templates"}},
    };
    return table;
}

// Where an older name in the user folder `userFolder` leads: only when no real entry has that name
// (a prefix made the old way keeps its real folders) and the newer folder it leads into exists (a
// folder without AppData is no user folder of the newer layout).
const std::vector<std::string>* olderUserFolderTarget(const std::filesystem::path& userFolder,
                                                      const std::string& name) {
    for (const OlderUserFolder& older : olderUserFolders()) {
        if (!sameNameIgnoringCase(name, older.name))
            continue;
        auto top = findEntry(userFolder, older.target.front());
        std::error_code ec;
        if (top && std::filesystem::is_directory(userFolder / *top, ec))
            return &older.target;
        return nullptr;
    }
    return nullptr;
}

bool isLocalAppData(const std::vector<std::string>& belowUserFolder) {
    return belowUserFolder.size() == 2 && sameNameIgnoringCase(belowUserFolder[0], "AppData") &&
           sameNameIgnoringCase(belowUserFolder[1], "Local");
}

} // namespace

WineTargetFileSystem::WineTargetFileSystem(std::filesystem::path prefixDir) : prefix_(std::move(prefixDir)) {}

std::optional<std::filesystem::path> WineTargetFileSystem::toHostPath(const std::string& targetPath) const {
    auto resolved = resolve(targetPath);
    if (!resolved)
        return std::nullopt;
    return resolved->host;
}

std::string WineTargetFileSystem::canonicalPath(const std::string& targetPath) const {
    auto resolved = resolve(targetPath);
    return resolved ? resolved->canonical : targetPath;
}

std::optional<WineTargetFileSystem::Resolved>
WineTargetFileSystem::resolve(const std::string& targetPath) const {
    std::string text = targetPath;
    std::replace(text.begin(), text.end(), '/', '\\');
    if (text.find('\0') != std::string::npos)
        return std::nullopt;

    // Win32 long-path forms: "\\?\C:\..." and "\\?\UNC\server\share\...".
    for (const char* longForm : {"\\\\?\\", "\\\\.\\"}) {
        if (text.rfind(longForm, 0) == 0) {
            text = text.substr(4);
            if (text.size() >= 4 && (text.compare(0, 4, "UNC\\") == 0 || text.compare(0, 4, "unc\\") == 0))
                text = "\\" + text.substr(3);
            break;
        }
    }

    std::filesystem::path host;
    std::string rest;
    bool onDrive = false;
    if (text.size() >= 2 && text[0] == '\\' && text[1] == '\\') {
        // \\server\share\rest
        std::size_t serverEnd = text.find('\\', 2);
        if (serverEnd == std::string::npos || serverEnd == 2)
            return std::nullopt;
        std::size_t shareEnd = text.find('\\', serverEnd + 1);
        std::string server = text.substr(2, serverEnd - 2);
        std::string share = text.substr(
            serverEnd + 1, shareEnd == std::string::npos ? std::string::npos : shareEnd - serverEnd - 1);
        if (share.empty() || server == "." || server == "?" || !validComponent(server) ||
            !validComponent(share) || server == ".." || share == "." || share == "..")
            return std::nullopt;
        std::filesystem::path unc = prefix_ / "dosdevices" / "unc";
        auto serverName = findEntry(unc, server);
        if (!serverName)
            return std::nullopt;
        auto shareName = findEntry(unc / *serverName, share);
        if (!shareName)
            return std::nullopt;
        host = unc / *serverName / *shareName;
        rest = shareEnd == std::string::npos ? "" : text.substr(shareEnd + 1);
    } else if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
        if (text.size() > 2 && text[2] != '\\')
            return std::nullopt; // "C:name" is relative to the drive's current folder
        std::string drive(1, static_cast<char>(std::tolower(static_cast<unsigned char>(text[0]))));
        drive += ':';
        std::error_code ec;
        std::filesystem::path link = prefix_ / "dosdevices" / drive;
        if (!std::filesystem::exists(link, ec))
            return std::nullopt;
        host = link;
        rest = text.size() > 3 ? text.substr(3) : "";
        onDrive = true;
    } else {
        return std::nullopt;
    }

    // Resolve "." and ".." first, as Windows does before it looks at the disk.
    std::vector<std::string> components;
    std::size_t pos = 0;
    while (pos <= rest.size()) {
        std::size_t sep = rest.find('\\', pos);
        std::string part = rest.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
        if (part == "..") {
            if (!components.empty())
                components.pop_back();
        } else if (!part.empty() && part != ".") {
            if (!validComponent(part))
                return std::nullopt;
            components.push_back(part);
        }
        if (sep == std::string::npos)
            break;
        pos = sep + 1;
    }

    // A user folder is X:\users\<name> (Public, the folder all users share, has none of the older
    // names); `belowUserFolder` follows the path below it as found on disk.
    const bool inUserFolder = onDrive && components.size() >= 3 &&
                              sameNameIgnoringCase(components[0], "users") &&
                              !sameNameIgnoringCase(components[1], "Public");
    std::vector<std::string> belowUserFolder;
    bool onDisk = true;
    Resolved resolved;
    std::vector<std::string> canonical; // components, older user folder names replaced
    bool replaced = false;
    auto append = [&](const std::string& part) {
        if (onDisk) {
            if (auto found = findEntry(host, part)) {
                host /= *found;
                belowUserFolder.push_back(*found);
                return;
            }
            onDisk = false;
        }
        host /= part;
    };
    for (std::size_t i = 0; i < components.size(); ++i) {
        const std::string& part = components[i];
        if (i + 1 == components.size())
            resolved.parent = host;
        if (i == 2)
            belowUserFolder.clear();
        if (inUserFolder && onDisk && !findEntry(host, part)) {
            if (i == 2) {
                if (const auto* target = olderUserFolderTarget(host, part)) {
                    for (const std::string& level : *target) {
                        append(level);
                        canonical.push_back(level);
                    }
                    replaced = true;
                    continue;
                }
            } else if (i > 2 && isLocalAppData(belowUserFolder) &&
                       sameNameIgnoringCase(part, "Application Data")) {
                // Windows keeps AppData\Local\Application Data as a junction back to AppData\Local,
                // which is how "Local Settings\Application Data" reaches it.
                replaced = true;
                continue;
            }
        }
        append(part);
        canonical.push_back(part);
    }
    if (components.empty())
        resolved.parent = host;
    resolved.host = host;
    resolved.canonical = targetPath;
    if (replaced) {
        resolved.canonical = text.substr(0, 2);
        for (const std::string& part : canonical)
            resolved.canonical += "\\" + part;
    }
    return resolved;
}

bool WineTargetFileSystem::fileExists(const std::string& targetPath) const {
    auto host = toHostPath(targetPath);
    std::error_code ec;
    return host && std::filesystem::is_regular_file(*host, ec);
}

bool WineTargetFileSystem::folderExists(const std::string& targetPath) const {
    auto host = toHostPath(targetPath);
    std::error_code ec;
    return host && std::filesystem::is_directory(*host, ec);
}

std::vector<std::string> WineTargetFileSystem::listFiles(const std::string& targetFolder,
                                                         bool includeHidden) const {
    std::vector<std::string> names;
    auto host = toHostPath(targetFolder);
    if (!host)
        return names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(*host, ec)) {
        std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (!entry.is_regular_file(typeError))
            continue;
        if (!includeHidden && name[0] == '.')
            continue;
        names.push_back(name);
    }
    return sortedNames(std::move(names));
}

std::vector<std::string> WineTargetFileSystem::listFolders(const std::string& targetFolder) const {
    std::vector<std::string> names;
    auto host = toHostPath(targetFolder);
    if (!host)
        return names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(*host, ec)) {
        std::error_code typeError;
        if (entry.is_directory(typeError))
            names.push_back(entry.path().filename().string());
    }
    return sortedNames(std::move(names));
}

Status WineTargetFileSystem::createFolder(const std::string& targetPath) {
    auto host = toHostPath(targetPath);
    if (!host)
        return Status::failure("Cannot create the folder " + targetPath +
                               ": not a valid path of the target system.");
    std::error_code ec;
    if (std::filesystem::is_directory(*host, ec))
        return Status::success();
    // Usually one level; an older user folder name can stand for several (Start Menu is
    // AppData\Roaming\Microsoft\Windows\Start Menu), and those below the existing parent are
    // made too, as Windows would find them behind its junction.
    auto resolved = resolve(targetPath);
    std::vector<std::filesystem::path> levels{*host};
    if (resolved && std::filesystem::is_directory(resolved->parent, ec)) {
        auto relative = host->lexically_relative(resolved->parent);
        if (!relative.empty() && *relative.begin() != "..") {
            levels.clear();
            std::filesystem::path level = resolved->parent;
            for (const auto& part : relative) {
                level /= part;
                levels.push_back(level);
            }
        }
    }
    for (const std::filesystem::path& level : levels) {
        if (std::filesystem::is_directory(level, ec))
            continue;
        if (::mkdir(level.c_str(), 0777) != 0) {
            if (errno == EEXIST && std::filesystem::is_directory(level, ec))
                continue;
            return Status::failure("Cannot create the folder " + targetPath + ": " + errnoText(errno));
        }
        // Root working on a user's prefix: the folder belongs to whoever owns the folder it is in,
        // or the Windows programs (running as that user) could not write into it.
        struct stat parent {};
        if (::geteuid() == 0 && ::stat(level.parent_path().c_str(), &parent) == 0 &&
            (parent.st_uid != 0 || parent.st_gid != 0) &&
            ::chown(level.c_str(), parent.st_uid, parent.st_gid) != 0)
            return Status::failure("Cannot give the folder " + targetPath +
                                   " to the prefix's user: " + errnoText(errno));
    }
    return Status::success();
}

Status WineTargetFileSystem::deleteFile(const std::string& targetPath) {
    auto host = toHostPath(targetPath);
    if (!host)
        return Status::failure("Cannot delete " + targetPath + ": not a valid path of the target system.");
    std::error_code ec;
    auto status = std::filesystem::symlink_status(*host, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        return Status::failure("Cannot delete " + targetPath + ": the file does not exist.");
    if (std::filesystem::is_directory(status))
        return Status::failure("Cannot delete " + targetPath + ": it is a folder, not a file.");
    if (::unlink(host->c_str()) != 0)
        return Status::failure("Cannot delete " + targetPath + ": " + errnoText(errno));
    return Status::success();
}

Status WineTargetFileSystem::renameFile(const std::string& fromTargetPath, const std::string& toTargetPath) {
    auto from = toHostPath(fromTargetPath);
    auto to = toHostPath(toTargetPath);
    const std::string what = "Cannot rename " + fromTargetPath + " to " + toTargetPath + ": ";
    if (!from || !to)
        return Status::failure(what + "not a valid path of the target system.");
    std::error_code ec;
    if (std::filesystem::symlink_status(*from, ec).type() == std::filesystem::file_type::not_found)
        return Status::failure(what + "the file does not exist.");
    // RENAME_NOREPLACE makes "the destination exists" one atomic test with the rename itself.
    if (::renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) == 0)
        return Status::success();
    if (errno == EEXIST)
        return Status::failure(what + "the destination already exists.");
    if (errno != EINVAL && errno != ENOSYS)
        return Status::failure(what + errnoText(errno));
    // A file system without RENAME_NOREPLACE: test, then rename.
    if (std::filesystem::symlink_status(*to, ec).type() != std::filesystem::file_type::not_found)
        return Status::failure(what + "the destination already exists.");
    if (::rename(from->c_str(), to->c_str()) != 0)
        return Status::failure(what + errnoText(errno));
    return Status::success();
}

} // namespace qob
