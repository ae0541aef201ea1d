#pragma once
// The start-up entry on Windows: a string value under the user's
// Software\Microsoft\Windows\CurrentVersion\Run, named after the application's title, whose data
// is the quoted path of quiremail.exe beside the running program (quoted, so that a folder with
// blanks still forms one command). Per user: the box is each user's own choice, and a per-user
// installation may not write HKLM.
#ifdef _WIN32
#include "platform/StartupEntry.h"

#include <filesystem>
#include <string>

namespace qob {

inline constexpr char kRunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kStartupValueName[] = "Quire Outlook Backup";

class Win32StartupEntry : public StartupEntry {
public:
    // `programFolder` holds quiremail.exe; `runKey` is below HKEY_CURRENT_USER (tests use their own).
    explicit Win32StartupEntry(std::filesystem::path programFolder, std::string runKey = kRunKeyPath,
                               std::string valueName = kStartupValueName);
    // The entry for the running program's own folder.
    static Win32StartupEntry forThisProgram();

    Status set(bool on) override;
    bool isSet() const override;

    // The value's data: "\"<folder>\quiremail.exe\"".
    std::string command() const;

private:
    std::filesystem::path programFolder_;
    std::string runKey_;
    std::string valueName_;
};

} // namespace qob
#endif
