#pragma once
// A stand-in for a running wineserver: the lock Wine's server holds while it runs, held by another
// process, in the folder Wine would use for a prefix.
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace qob::test {

// "server-<st_dev hex>-<st_ino hex>", the folder name Wine gives a prefix's server.
std::string serverDirName(const std::filesystem::path& prefix);

// A child process holding the write lock on byte 0 of `lockFile` (created if missing) until this
// object dies or release() is called.
class HeldServerLock {
public:
    explicit HeldServerLock(const std::filesystem::path& lockFile);
    ~HeldServerLock() { release(); }
    HeldServerLock(const HeldServerLock&) = delete;
    HeldServerLock& operator=(const HeldServerLock&) = delete;

    bool held() const { return held_; }
    pid_t pid() const { return child_; }
    void release();

private:
    pid_t child_ = -1;
    bool held_ = false;
};

// Whether another process could take the lock now, as a starting wineserver tries to.
bool anotherProcessCanLock(const std::filesystem::path& lockFile);

} // namespace qob::test
