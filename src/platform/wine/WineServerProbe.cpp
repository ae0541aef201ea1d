#include "platform/wine/WineServerProbe.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace qob::wine {

WineServerProbe::WineServerProbe(std::filesystem::path prefix) : prefix_(std::move(prefix)) {}

WineServerProbe::~WineServerProbe() {
    releaseLocks();
    closeLock();
}

bool WineServerProbe::holdLocks() {
    releaseLocks();
    ownerPid_ = 0;
    for (const auto& candidate : lockCandidates()) {
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat st {};
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 1;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            continue;
        }
        if (::fcntl(fd, F_SETLK, &lock) != 0) {
            struct flock holder = lock;
            if (::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK)
                ownerPid_ = holder.l_pid;
            ::close(fd);
            releaseLocks();
            return false;
        }
        heldFds_.push_back(fd);
    }
    return true;
}

void WineServerProbe::releaseLocks() {
    // Closing any descriptor of a file drops this process's locks on it, the cached one included:
    // so the cached descriptor is given up as well and looked for again on the next check.
    if (!heldFds_.empty())
        closeLock();
    for (const int fd : heldFds_)
        ::close(fd);
    heldFds_.clear();
}

void WineServerProbe::closeLock() {
    if (lockFd_ >= 0)
        ::close(lockFd_);
    lockFd_ = -1;
    lockPath_.clear();
}

std::vector<std::filesystem::path> WineServerProbe::lockCandidates() const {
    std::vector<std::filesystem::path> out;
    struct stat st {};
    if (::stat(prefix_.c_str(), &st) != 0)
        return out;
    char dirName[64];
    std::snprintf(dirName, sizeof dirName, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    // Wine runs a prefix only as the user who owns it, so its server dir carries the owner's uid;
    // ours differs when we run as another user (root restoring a user's prefix).
    std::vector<uid_t> uids{st.st_uid};
    if (::getuid() != st.st_uid)
        uids.push_back(::getuid());
    for (const uid_t id : uids) {
        const std::string uid = std::to_string(id);
        out.push_back(std::filesystem::path("/tmp/.wine-" + uid) / dirName / "lock");
        out.push_back(std::filesystem::path("/run/user/" + uid) / "wine" / dirName / "lock");
    }
    std::ifstream redirect(prefix_ / "wineserver");
    std::string tmpDir;
    if (redirect && std::getline(redirect, tmpDir)) {
        while (!tmpDir.empty() && (tmpDir.back() == '\r' || tmpDir.back() == ' ' || tmpDir.back() == '\0'))
            tmpDir.pop_back();
        // Debian's server keeps only the mkdtemp() name ("wine-XXXXXX") there, relative to
        // $TMPDIR or /tmp; accept an absolute path too.
        if (!tmpDir.empty() && tmpDir.front() == '/') {
            out.push_back(std::filesystem::path(tmpDir) / dirName / "lock");
        } else if (!tmpDir.empty() && tmpDir.find('/') == std::string::npos && tmpDir != "." &&
                   tmpDir != "..") {
            const char* env = std::getenv("TMPDIR");
            if (env && *env == '/')
                out.push_back(std::filesystem::path(env) / tmpDir / dirName / "lock");
            out.push_back(std::filesystem::path("/tmp") / tmpDir / dirName / "lock");
        }
    }
    return out;
}

bool WineServerProbe::findLock() {
    // The lock file outlives its server, so once found it is kept open; it is looked for again
    // only if it vanishes or is replaced (a cleaned /tmp, a new server dir).
    if (lockFd_ >= 0) {
        struct stat st {};
        if (::stat(lockPath_.c_str(), &st) == 0 && st.st_dev == lockDev_ && st.st_ino == lockIno_)
            return true;
        closeLock();
    }
    for (const auto& candidate : lockCandidates()) {
        const int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            continue;
        }
        // Two candidates could both exist (an upstream and a Debian build used in turn); a lock
        // on any of them means a server runs, so prefer the one that is locked right now.
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 1;
        const bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        if (lockFd_ >= 0 && !locked) {
            ::close(fd);
            continue;
        }
        closeLock();
        lockFd_ = fd;
        lockPath_ = candidate;
        lockDev_ = st.st_dev;
        lockIno_ = st.st_ino;
        if (locked)
            break;
    }
    return lockFd_ >= 0;
}

bool WineServerProbe::running(bool thorough) {
    ownerPid_ = 0;
    if (!heldFds_.empty())
        return false; // we hold the locks ourselves; looking again would drop them
    if (thorough)
        closeLock(); // findLock then tries every candidate, preferring a locked one
    if (!findLock())
        return false;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    if (::fcntl(lockFd_, F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return false;
    ownerPid_ = lock.l_pid;
    return true;
}

} // namespace qob::wine
