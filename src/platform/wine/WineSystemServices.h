#pragma once
// The facts a Windows program in a Wine prefix would be told: read from the prefix's registry
// where Wine keeps them, with Wine's own defaults where a value is missing.
#include "platform/RegistryStore.h"
#include "platform/SystemServices.h"
#include "platform/wine/WineServerProbe.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace qob {

class WineSystemServices : public SystemServices {
public:
    struct Options {
        // Where processes are looked for (tests point it at a made-up tree).
        std::filesystem::path procRoot = "/proc";
        // The Unix user Wine runs as; taken from the process when not given.
        std::optional<std::string> userName;
        // How long the helper that asks a program to close may take.
        std::chrono::milliseconds closeRequestLimit{std::chrono::seconds(30)};
    };

    WineSystemServices(std::filesystem::path prefixDir, RegistryStore& registry);
    WineSystemServices(std::filesystem::path prefixDir, RegistryStore& registry, Options options);

    // ComputerName of HKLM\System\CurrentControlSet\Control\ComputerName\ComputerName; else the
    // host name up to its first dot, upper-cased, as Wine derives it.
    std::string computerName() const override;
    // The Unix user name, which Wine reports as the Windows user.
    std::string logonUser() const override;
    std::string windowsFolder() const override;
    // %NAME% references of the variables Wine sets up for a program (USERPROFILE, APPDATA,
    // LOCALAPPDATA, TEMP, TMP, HOMEDRIVE, HOMEPATH, SystemRoot, windir, SystemDrive, ProgramFiles,
    // ProgramData, ALLUSERSPROFILE, PUBLIC, USERNAME, COMPUTERNAME), names without regard to case;
    // HKCU\Volatile Environment is asked first. Unknown names stay as written.
    std::string expandEnvironment(const std::string& text) const override;
    // CurrentMajorVersionNumber/CurrentMinorVersionNumber when present (Windows 10 and later), else
    // CurrentVersion "6.1"; build from CurrentBuildNumber. 6.1.7601 when the values are missing.
    WindowsVersion windowsVersion() const override;
    // Processes whose environment names this prefix (WINEPREFIX, or HOME/.wine when WINEPREFIX is
    // unset) and whose command line holds a Windows executable; sorted by pid.
    std::vector<ProcessInfo> processes() const override;
    // `<prefix>/.quire-outlook-backup.lock`: one run at a time per prefix.
    RunLockPlace runLockPlace() const override {
        return {prefix_ / ".quire-outlook-backup.lock", "the Wine prefix " + prefix_.string()};
    }
    // SIGTERM to a process of this prefix; false for any other pid.
    bool terminateProcess(std::int64_t pid) override;
    // Runs "taskkill /im <exeName>" (without /f) inside this prefix, with the Wine loader the
    // program itself runs under: Wine's taskkill posts WM_CLOSE to the program's windows, as
    // Windows does at shutdown. A Windows process id differs from the Unix one, hence the name.
    // Run as root for a user's prefix, the helper runs as the prefix's owner (Wine talks only to
    // its owner's server). True when taskkill reports the request delivered.
    bool askToClose(const std::string& exeName) override;
    // Whether the prefix's wineserver runs.
    bool registryHeld() override;

    // The user's profile folder, e.g. "C:\users\root": ProfileImagePath of the ProfileList entry
    // of this user (else of the first S-1-5-21 entry), else "C:\users\<user>".
    std::string userProfile() const;

private:
    std::optional<std::string> readString(RegRoot root, const std::string& key,
                                          const std::string& name) const;
    std::optional<std::uint32_t> readDword(RegRoot root, const std::string& key,
                                           const std::string& name) const;
    std::optional<std::string> variable(const std::string& name) const;

    std::filesystem::path prefix_;
    RegistryStore& registry_;
    Options options_;
    wine::WineServerProbe probe_;
};

} // namespace qob
