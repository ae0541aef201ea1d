#pragma once
// Files of the running Windows: a target path is the host path itself.
#include "platform/TargetFileSystem.h"

namespace qob {

class Win32TargetFileSystem : public TargetFileSystem {
public:
    std::optional<std::filesystem::path> toHostPath(const std::string& targetPath) const override;
    bool fileExists(const std::string& targetPath) const override;
    bool folderExists(const std::string& targetPath) const override;
    std::vector<std::string> listFiles(const std::string& targetFolder, bool includeHidden) const override;
    std::vector<std::string> listFolders(const std::string& targetFolder) const override;
    Status createFolder(const std::string& targetPath) override;
    Status deleteFile(const std::string& targetPath) override;
    Status renameFile(const std::string& fromTargetPath, const std::string& toTargetPath) override;
};

} // namespace qob
