#include "settings/TempFiles.h"

#include "platform/OwnerOnly.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

std::string errnoText(int err) {
    return std::strerror(err);
}

constexpr std::size_t kNumberDigits = 12; // the owner's pid (8 hex digits), then 4 of its own

// Claims a fresh <prefix><pid><hex>.tmp in `folder` and returns its open descriptor (-1 on failure,
// errno set). The pid marks whose file it is, for the clean-up after a killed run; the rest
// starts at a random point so that threads do not walk the same sequence of names. Private from
// the start: the registry text written into it names accounts, addresses and servers.
int createUnique(const std::filesystem::path& folder, const std::string& prefix,
                 std::filesystem::path& created) {
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uint32_t number = gen();
    const unsigned pid = static_cast<unsigned>(::getpid());
    char hex[32];
    for (int attempt = 0; attempt < 1000; ++attempt, ++number) {
        std::snprintf(hex, sizeof hex, "%08x%04x", pid, number & 0xffffu);
        std::filesystem::path candidate = folder / (prefix + hex + ".tmp");
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            // 0600 is what protects it on Linux; on Windows the mode means nothing and the folder's
            // ACL would let others in. A drive without permissions (FAT) keeps working as before.
            (void)makeOwnerOnly(candidate);
            created = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

std::filesystem::path markerOf(const std::filesystem::path& folder, const std::string& pidHex) {
    return folder / (".qob-run-" + pidHex + ".lock");
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// The owner's pid digits of a scratch file name (<letters><12 hex digits>.tmp), else "".
std::string ownerDigits(const std::string& name) {
    const std::size_t tail = kNumberDigits + 4;
    if (name.size() <= tail || name.compare(name.size() - 4, 4, ".tmp") != 0)
        return {};
    const std::size_t start = name.size() - tail;
    for (std::size_t i = 0; i < start; ++i)
        if (!std::isalpha(static_cast<unsigned char>(name[i])))
            return {};
    for (std::size_t i = start; i < start + kNumberDigits; ++i)
        if (!isHex(name[i]))
            return {};
    return name.substr(start, 8);
}

// Whether the run that made files with these pid digits is gone. Its marker answers when there is
// one (held: alive); a process without one (a test, a tool) counts as alive while its pid exists.
bool ownerIsGone(const std::filesystem::path& folder, const std::string& pidHex) {
    const int fd = ::open(markerOf(folder, pidHex).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        const bool gone = ::flock(fd, LOCK_SH | LOCK_NB) == 0;
        ::close(fd);
        return gone;
    }
    const long pid = std::strtol(pidHex.c_str(), nullptr, 16);
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

Status sGetTempFile(const std::filesystem::path& folder, const std::string& prefix,
                    std::filesystem::path& created) {
    if (prefix.find('/') != std::string::npos || prefix.find('\\') != std::string::npos ||
        prefix.find('\0') != std::string::npos)
        return Status::failure("Invalid temporary file prefix \"" + prefix + "\": it must be a plain name.");
    std::filesystem::path path;
    int fd = createUnique(folder, prefix, path);
    if (fd < 0)
        return Status::failure("Cannot create a temporary file in " + folder.string() + ": " +
                               errnoText(errno));
    ::close(fd);
    created = path;
    return Status::success();
}

Status replaceFileContents(const std::filesystem::path& file, const std::string& bytes, SyncFunction sync) {
    std::filesystem::path folder = file.parent_path().empty() ? "." : file.parent_path();
    const std::string tempPrefix = file.filename().string() + ".tmp-";
    removeAbandonedTemporaries(folder, tempPrefix);
    Status written = replaceFileDurably(file, bytes, tempPrefix, std::move(sync));
    if (!written)
        return Status::failure("Cannot write " + file.string() + ": " + written.message);
    return written;
}

ScratchFilesOwner::ScratchFilesOwner(const std::filesystem::path& folder) {
    char pidHex[16];
    std::snprintf(pidHex, sizeof pidHex, "%08x", static_cast<unsigned>(::getpid()));
    const std::filesystem::path marker = markerOf(folder, pidHex);
    const int fd = ::open(marker.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        fd_ = fd;
        marker_ = marker;
    } else if (fd >= 0) {
        ::close(fd);
    }
    removeAbandonedScratchFiles(folder);
}

ScratchFilesOwner::~ScratchFilesOwner() {
    if (fd_ >= 0) {
        ::unlink(marker_.c_str());
        ::close(fd_);
    }
}

void removeAbandonedScratchFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    std::vector<std::filesystem::path> markers;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code sec;
        if (name.starts_with(".qob-run-") && name.ends_with(".lock")) {
            markers.push_back(it->path());
            continue;
        }
        const std::string pidHex = ownerDigits(name);
        if (pidHex.empty() || !it->is_regular_file(sec) || it->is_symlink(sec))
            continue;
        if (ownerIsGone(folder, pidHex))
            std::filesystem::remove(it->path(), sec);
    }
    // Markers of killed runs go last, so their files are recognised above first.
    for (const std::filesystem::path& marker : markers) {
        const int fd = ::open(marker.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(marker.c_str());
        ::close(fd);
    }
}

} // namespace qob
