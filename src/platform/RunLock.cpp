#include "platform/RunLock.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qob {
namespace fs = std::filesystem;

namespace {

std::string readHolder(int fd) {
    char buf[512];
    ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0)
        return {};
    std::string text(buf, static_cast<std::size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    // One line of plain text only: the file may have been planted.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    return text;
}

std::string holderText(const std::string& kind) {
    char when[64] = "";
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (::localtime_r(&now, &local))
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    return "a " + kind + " (process " + std::to_string(::getpid()) + ", since " + when + ")\n";
}

// The file at `path` is still the one `fd` locked: a holder removes it on release, and a waiter
// that opened the removed one must start over with the new one.
bool stillInPlace(int fd, const fs::path& path) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

} // namespace

RunLock::RunLock(RunLock&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void RunLock::release() {
    if (fd_ < 0)
        return;
    // Removed while still locked, so a waiter never takes a file that is about to vanish.
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

fs::path RunLock::forBackupFile(const fs::path& backup) {
    fs::path folder = backup.parent_path().empty() ? fs::path(".") : backup.parent_path();
    return folder / ("." + backup.filename().string() + ".lock");
}

Status RunLock::acquire(RunLock& out, const fs::path& lockFile, const std::string& kind,
                        const std::string& what, Options options) {
    out.release();
    const auto deadline = std::chrono::steady_clock::now() + options.wait;
    std::string holder;
    for (;;) {
        int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && (errno == EACCES || errno == EROFS)) {
            // A target system this user may only read (a backup of someone else's prefix): nobody
            // who could change it is kept out by us, but a run that holds it still keeps us out.
            fd = ::open(lockFile.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0 && errno == ENOENT)
                return Status::success();
        }
        if (fd < 0) {
            const int err = errno;
            return Status::failure("Cannot lock " + what + " for this " + kind + " (" + lockFile.string() +
                                   "): " + std::strerror(err));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (!stillInPlace(fd, lockFile)) {
                ::close(fd);
                continue;
            }
            const std::string text = holderText(kind);
            if ((::fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDWR && ::ftruncate(fd, 0) == 0) {
                [[maybe_unused]] ssize_t n = ::pwrite(fd, text.data(), text.size(), 0);
            }
            out.fd_ = fd;
            out.path_ = lockFile;
            return Status::success();
        }
        const int err = errno;
        if (err != EWOULDBLOCK) {
            ::close(fd);
            return Status::failure("Cannot lock " + what + " for this " + kind + " (" + lockFile.string() +
                                   "): " + std::strerror(err));
        }
        const std::string now = readHolder(fd);
        if (!now.empty())
            holder = now;
        ::close(fd);
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(options.poll);
    }
    return Status::failure("Another run is using " + what + (holder.empty() ? "" : ": " + holder) +
                           ". This " + kind + " was not started; try again when that run has finished.");
}

Status lockTargetSystem(const SystemServices& system, RunLock& out, const std::string& kind) {
    const RunLockPlace place = system.runLockPlace();
    if (place.file.empty())
        return Status::success();
    return RunLock::acquire(out, place.file, kind, place.what, {place.wait, RunLock::Options{}.poll});
}

} // namespace qob
