#pragma once
// Facts and services of the target system, each as the target system reports them to Windows
// programs (under Wine: read from the prefix's registry).
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace qob {

struct WindowsVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

struct ProcessInfo {
    std::int64_t pid = 0;
    std::string exeName; // the Windows executable name, e.g. "OUTLOOK.EXE"
};

// Where runs on one target system take their lock (see RunLock), and how it is named to the user.
struct RunLockPlace {
    std::filesystem::path file;           // empty: runs on this system need no lock
    std::string what;                     // "the Wine prefix /home/ann/.wine"
    std::chrono::milliseconds wait{5000}; // how long a second run waits for the first
};

class SystemServices {
public:
    virtual ~SystemServices() = default;

    virtual std::string computerName() const = 0;
    virtual std::string logonUser() const = 0;
    // Target path of the Windows folder, e.g. "C:\windows".
    virtual std::string windowsFolder() const = 0;
    // Expands %NAME% references as ExpandEnvironmentStrings does; unknown names stay as written.
    virtual std::string expandEnvironment(const std::string& text) const = 0;
    virtual WindowsVersion windowsVersion() const = 0;

    // Processes of the target system (under Wine: the Wine processes of this prefix).
    virtual std::vector<ProcessInfo> processes() const = 0;
    virtual bool terminateProcess(std::int64_t pid) = 0;

    // Asks every process of the target system that runs `exeName` to close as Windows asks a
    // program at shutdown (WM_CLOSE to its windows): the program may save its files first, or
    // refuse. Never forces one. False when the request could not be made.
    virtual bool askToClose(const std::string& exeName) {
        (void)exeName;
        return false;
    }
    // Whether the registry the target system's programs use is still held by a process that
    // writes it back later (under Wine: the prefix's wineserver runs, and the files on disk can be
    // up to 30 s behind it).
    virtual bool registryHeld() { return false; }
    // Pauses the caller; waits for other programs poll with it.
    virtual void sleep(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }
    virtual RunLockPlace runLockPlace() const { return {}; }
};

} // namespace qob
