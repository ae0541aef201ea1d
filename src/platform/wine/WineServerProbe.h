#pragma once
// Tells whether the wineserver of a prefix runs. A running server holds the whole registry in
// memory and writes it back over the files on exit (and every 30 s), so a file written behind its
// back is lost: the registry backend refuses writes while this says "running".
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qob::wine {

class WineServerProbe {
public:
    explicit WineServerProbe(std::filesystem::path prefix);
    ~WineServerProbe();
    WineServerProbe(const WineServerProbe&) = delete;
    WineServerProbe& operator=(const WineServerProbe&) = delete;

    // True while some process holds the lock of the prefix's server dir. Creates nothing. The
    // lock file found first is kept open for cheap repeated checks; `thorough` looks at every
    // candidate again (used before a file is written).
    bool running(bool thorough = false);
    // The pid holding the lock at the last check that found one, else 0.
    pid_t ownerPid() const { return ownerPid_; }

    // Where a server of this prefix keeps its `lock` file: "server-<dev>-<ino>" under
    // /tmp/.wine-<uid>/ (upstream builds), /run/user/<uid>/wine/ (<uid> the prefix owner's, then
    // ours) and the folder named in the prefix's `wineserver` file (Debian's builds). Empty when the prefix
    // does not exist.
    std::vector<std::filesystem::path> lockCandidates() const;

    // Takes the lock of every existing lock file of the prefix, as a starting server would, so
    // that no server can start (and load files we are about to replace) until releaseLocks().
    // False, holding nothing, when a server holds one already.
    bool holdLocks();
    void releaseLocks();

private:
    bool findLock();
    void closeLock();

    std::filesystem::path prefix_;
    int lockFd_ = -1;
    std::filesystem::path lockPath_;
    dev_t lockDev_ = 0;
    ino_t lockIno_ = 0;
    pid_t ownerPid_ = 0;
    std::vector<int> heldFds_;
};

} // namespace qob::wine
