#pragma once
// Target paths inside a Wine prefix: drive letters through the prefix's dosdevices links
// ("c:" -> ../drive_c, "z:" -> /), UNC paths through dosdevices/unc, and each further component
// matched without regard to case when it exists, as Wine itself resolves them. The folder names of
// Windows XP in a user folder ("Application Data", "Local Settings", "My Documents", ...) lead into
// AppData and Documents as Windows' junctions do, since Wine makes no such junctions.
#include "platform/TargetFileSystem.h"

namespace qob {

class WineTargetFileSystem : public TargetFileSystem {
public:
    explicit WineTargetFileSystem(std::filesystem::path prefixDir);

    // Accepts "X:\...", "X:" and "\\server\share\..." with "\" or "/" as separator; "." and
    // ".." are resolved as Windows does (never above the drive or share). nullopt for relative
    // or drive-relative text, an unknown drive or share, and names Windows cannot hold
    // (control characters, < > : " | ? *).
    std::optional<std::filesystem::path> toHostPath(const std::string& targetPath) const override;
    // Older user folder names replaced where toHostPath follows them; otherwise the text as given.
    std::string canonicalPath(const std::string& targetPath) const override;

    bool fileExists(const std::string& targetPath) const override;
    bool folderExists(const std::string& targetPath) const override;
    // Regular files (symbolic links to files included), sorted by name without regard to case.
    // Names starting with "." count as hidden, as Wine shows them to Windows programs.
    std::vector<std::string> listFiles(const std::string& targetFolder, bool includeHidden) const override;
    std::vector<std::string> listFolders(const std::string& targetFolder) const override;
    // Also makes the levels an older user folder name stands for when they are missing.
    Status createFolder(const std::string& targetPath) override;
    Status deleteFile(const std::string& targetPath) override;
    // Fails when the destination exists; a file is never overwritten by a rename.
    Status renameFile(const std::string& fromTargetPath, const std::string& toTargetPath) override;

    const std::filesystem::path& prefixDir() const { return prefix_; }

private:
    struct Resolved {
        std::filesystem::path host;
        std::filesystem::path parent; // host path of the folder the last component is in
        std::string canonical;        // the target path without older user folder names
    };
    std::optional<Resolved> resolve(const std::string& targetPath) const;

    std::filesystem::path prefix_;
};

} // namespace qob
