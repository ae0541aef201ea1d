#pragma once
// Keeps two runs off one target system (and two writers off one backup file): a backup taken
// while a restore changes the profile would store a mix of both, and two restores would each save
// the registry over the other's changes. A run holds an exclusive lock on a small file for as long
// as it works; the file says which run holds it (kind, process, since when) so that a second run,
// after waiting a few seconds, can refuse with a message naming it. The lock goes with the process,
// so a killed run never blocks the next one.
#include "platform/Status.h"
#include "platform/SystemServices.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace qob {

class RunLock {
public:
    struct Options {
        std::chrono::milliseconds wait{5000}; // how long a second run waits before refusing
        std::chrono::milliseconds poll{100};
    };

    RunLock() = default;
    ~RunLock() { release(); }
    RunLock(RunLock&& other) noexcept;
    RunLock& operator=(RunLock&& other) noexcept;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Takes the lock on `lockFile` for a run of `kind` ("backup", "restore", ...). `what` names the
    // thing locked in the refusal ("the Wine prefix /home/ann/.wine"). Fails when another run holds
    // it after Options::wait, or when the lock file cannot be made.
    static Status acquire(RunLock& out, const std::filesystem::path& lockFile, const std::string& kind,
                          const std::string& what, Options options);
    static Status acquire(RunLock& out, const std::filesystem::path& lockFile, const std::string& kind,
                          const std::string& what) {
        return acquire(out, lockFile, kind, what, Options{});
    }

    bool held() const { return fd_ >= 0; }
    // Removes the lock file and lets the next run go.
    void release();

    // The lock file of the backup file `backup`: hidden, beside it.
    static std::filesystem::path forBackupFile(const std::filesystem::path& backup);

private:
    int fd_ = -1;
    std::filesystem::path path_;
};

// Takes the lock of the target system's runs (see SystemServices::runLockPlace) for a run of
// `kind`; succeeds without locking for a system that has no such place.
Status lockTargetSystem(const SystemServices& system, RunLock& out, const std::string& kind);

} // namespace qob
