#include "platform/DurableFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace fs = std::filesystem;

namespace {

constexpr char kNameLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

fs::path folderOf(const fs::path& file) {
    return file.parent_path().empty() ? fs::path(".") : file.parent_path();
}

int syncWith(const SyncFunction& sync, int fd) {
    return sync ? sync(fd) : ::fsync(fd);
}

bool isNameLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

DurableReplace::DurableReplace(fs::path target, const std::string& tempPrefix, SyncFunction sync)
    : target_(std::move(target)), sync_(std::move(sync)) {
    const fs::path folder = folderOf(target_);
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kNameLetters - 2);
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        std::string name = tempPrefix;
        for (int i = 0; i < 6; ++i)
            name += kNameLetters[pick(gen)];
        fs::path candidate = folder / name;
        // Created with the usual mode so the umask tells what a new file should get, then made
        // private at once: the data written next may be someone's mail or account settings.
        int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            err = errno;
            if (err == EEXIST)
                continue;
            break;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || ::fchmod(fd, 0600) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            err = errno;
            ::close(fd);
            ::unlink(candidate.c_str());
            break;
        }
        newMode_ = st.st_mode & 0777;
        fd_ = fd;
        temp_ = candidate;
    }
    if (fd_ < 0) {
        errno_ = err;
        error_ = Status::failure("cannot create a temporary file in " + folder.string() + ": " +
                                 std::strerror(err));
    }
}

DurableReplace::~DurableReplace() {
    abandon();
}

void DurableReplace::abandon() {
    if (fd_ < 0)
        return;
    // Removed before the lock goes, so no clean-up ever sees it unlocked.
    ::unlink(temp_.c_str());
    ::close(fd_);
    fd_ = -1;
}

Status DurableReplace::failWith(const std::string& what, int err) {
    abandon();
    errno_ = err;
    error_ = Status::failure(what + ": " + std::strerror(err));
    return error_;
}

Status DurableReplace::write(std::string_view bytes) {
    if (fd_ < 0)
        return error_.ok ? Status::failure("the temporary file is closed") : error_;
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failWith("cannot write", errno);
        }
        done += static_cast<std::size_t>(n);
    }
    return Status::success();
}

Status DurableReplace::prepare() {
    if (fd_ < 0)
        return error_.ok ? Status::failure("the temporary file is closed") : error_;
    // lstat: a link at the target is replaced, and lends the new file nothing of what it points at.
    struct stat old {};
    const bool replacesFile = ::lstat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    mode_t mode = newMode_;
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    if (replacesFile) {
        mode = old.st_mode & 07777;
        uid = old.st_uid;
        gid = old.st_gid;
    } else if (ownerSet_) {
        uid = newUid_;
        gid = newGid_;
    } else if (struct stat dir{}; ::stat(folderOf(target_).c_str(), &dir) == 0) {
        uid = dir.st_uid;
        gid = dir.st_gid;
    }
    // Only root can give a file away; anyone else's file becomes theirs, as any rewrite would.
    if (::geteuid() == 0 && (uid != ::geteuid() || gid != ::getegid()) && ::fchown(fd_, uid, gid) != 0)
        return failWith("cannot give the file to its owner", errno);
    if (::fchmod(fd_, mode) != 0)
        return failWith("cannot set the file mode", errno);
    if (syncWith(sync_, fd_) != 0)
        return failWith("cannot flush to disk", errno);
    return Status::success();
}

Status DurableReplace::keep() {
    if (Status s = prepare(); !s)
        return s;
    // The caller moves it into place later; from here its lock is gone, and a clean-up of a later
    // run may take it for a leftover, so it must be moved before this process ends.
    ::close(fd_);
    fd_ = -1;
    return Status::success();
}

Status DurableReplace::commit() {
    if (Status s = prepare(); !s)
        return s;
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        return failWith("cannot replace " + target_.string(), errno);
    replaced_ = true;
    // The lock is held across the rename so that no clean-up takes the finished file for a leftover.
    ::close(fd_);
    fd_ = -1;
    if (syncFolder(folderOf(target_), sync_) != 0) {
        const int err = errno;
        errno_ = err;
        error_ = Status::failure("the new file is in place, but its folder cannot be flushed to disk: " +
                                 std::string(std::strerror(err)));
        return error_;
    }
    return Status::success();
}

int syncFolder(const fs::path& folder, const SyncFunction& sync) {
    const fs::path where = folder.empty() ? fs::path(".") : folder;
    const int dir = ::open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return -1;
    const int rc = syncWith(sync, dir);
    const int err = errno;
    ::close(dir);
    errno = err;
    return rc;
}

Status replaceFileDurably(const fs::path& target, std::string_view bytes, const std::string& tempPrefix,
                          SyncFunction sync) {
    DurableReplace file(target, tempPrefix, std::move(sync));
    if (!file.ok())
        return file.error();
    if (Status s = file.write(bytes); !s)
        return s;
    return file.commit();
}

namespace {

// Removes the regular files of `folder` whose name `matches` and that no live writer holds.
void removeUnheld(const fs::path& folder, const std::function<bool(const std::string&)>& matches,
                  const std::function<bool(const fs::path&)>& accept) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!matches(it->path().filename().string()))
            continue;
        std::error_code sec;
        if (fs::symlink_status(it->path(), sec).type() != fs::file_type::regular)
            continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        // A live writer holds its file locked until it is renamed or removed.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && (!accept || accept(it->path())))
            ::unlink(it->path().c_str());
        ::close(fd);
    }
}

bool endsInSixLetters(const std::string& name, std::size_t from) {
    return name.size() == from + 6 &&
           std::all_of(name.begin() + static_cast<long>(from), name.end(), isNameLetter);
}

} // namespace

void removeAbandonedTemporaries(const fs::path& folder, const std::string& prefix,
                                const std::function<bool(const fs::path&)>& accept) {
    removeUnheld(
        folder,
        [&](const std::string& name) {
            return name.compare(0, prefix.size(), prefix) == 0 && endsInSixLetters(name, prefix.size());
        },
        accept);
}

void removeAbandonedHiddenTemporaries(const fs::path& folder, const std::string& marker) {
    removeUnheld(folder,
                 [&](const std::string& name) {
                     const std::size_t at =
                         name.size() >= marker.size() + 6 ? name.size() - marker.size() - 6 : 0;
                     return name.size() > marker.size() + 7 && name[0] == '.' &&
                            name.compare(at, marker.size(), marker) == 0 &&
                            endsInSixLetters(name, at + marker.size());
                 },
                 {});
}

} // namespace qob
