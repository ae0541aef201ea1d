#pragma once
// Files and folders of the target system, addressed by target paths (Windows path text such as
// "C:\users\me\AppData\Local\Microsoft\Outlook\a.pst"). Only this layer turns a target path into
// a host path: under Wine through the prefix's dosdevices links, on Windows unchanged.
#include "platform/Status.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qob {

class TargetFileSystem {
public:
    virtual ~TargetFileSystem() = default;

    // The host path of a target path; nullopt when the path cannot be mapped (unknown drive,
    // malformed text). Components that exist are matched without regard to case, as Wine does;
    // missing ones are kept as given.
    virtual std::optional<std::filesystem::path> toHostPath(const std::string& targetPath) const = 0;

    // The path as the target system's own programs must be given it, where this layer accepts
    // more than they do: under Wine, the older user folder names ("Local Settings\Application
    // Data") replaced by the folders they lead to, which are what Wine can open. Unchanged by
    // default, and for paths this layer cannot map.
    virtual std::string canonicalPath(const std::string& targetPath) const { return targetPath; }

    virtual bool fileExists(const std::string& targetPath) const = 0;
    virtual bool folderExists(const std::string& targetPath) const = 0;
    // Names of the regular files directly in a folder (no subfolders), in name order. Hidden files
    // are left out unless asked for. Empty when the folder is missing.
    virtual std::vector<std::string> listFiles(const std::string& targetFolder, bool includeHidden) const = 0;
    // Names of the folders directly in a folder, in name order.
    virtual std::vector<std::string> listFolders(const std::string& targetFolder) const = 0;
    // Creates one folder (its parent must exist); success when it already exists.
    virtual Status createFolder(const std::string& targetPath) = 0;
    virtual Status deleteFile(const std::string& targetPath) = 0;
    virtual Status renameFile(const std::string& fromTargetPath, const std::string& toTargetPath) = 0;
};

} // namespace qob
