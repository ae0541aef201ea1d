#pragma once
// Facts and services of the running Windows, from the Win32 API.
#include "platform/SystemServices.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace qob {

class Win32SystemServices : public SystemServices {
public:
    // runLockFolder: where runs of this user take their lock (the program's folder under
    // %LOCALAPPDATA%), so a weekly run and a window's backup never overlap.
    explicit Win32SystemServices(std::filesystem::path runLockFolder,
                                 std::chrono::milliseconds closeRequestLimit = std::chrono::seconds(30));

    std::string computerName() const override;
    std::string logonUser() const override;
    std::string windowsFolder() const override;
    std::string expandEnvironment(const std::string& text) const override;
    // From RtlGetVersion: GetVersionEx reports 6.2 to programs without a manifest since Windows 8.1.
    WindowsVersion windowsVersion() const override;
    // Toolhelp snapshot of every process.
    std::vector<ProcessInfo> processes() const override;
    // Outlook is never killed: its data files would be left half written.
    bool terminateProcess(std::int64_t) override { return false; }
    // WM_CLOSE to every visible top-level window of those processes.
    bool askToClose(const std::string& exeName) override;
    RunLockPlace runLockPlace() const override;

    // %UserProfile% (SHGetKnownFolderPath(FOLDERID_Profile)).
    static std::string userProfile();
    // %LOCALAPPDATA% (FOLDERID_LocalAppData).
    static std::string localAppData();
    // `name` in the system folder (System32), by its full path.
    static std::string systemProgram(const std::string& name);
    // The code page console programs write to a pipe in (the OEM code page).
    static std::uint32_t consoleCodePage();

private:
    std::filesystem::path runLockFolder_;
    std::chrono::milliseconds closeRequestLimit_;
};

} // namespace qob
