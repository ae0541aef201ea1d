#include "frame/TempFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

std::string errnoText(int err) {
    return std::strerror(err);
}

// Writes all of `bytes`, retrying short writes and interruptions.
bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Claims a fresh <prefix><hex>.tmp in `folder` and returns its open descriptor (-1 on failure,
// errno set). The number starts at a random point so that processes starting at the same moment
// do not walk the same sequence of names.
int createUnique(const std::filesystem::path& folder, const std::string& prefix,
                 std::filesystem::path& created) {
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uint32_t number = gen();
    char hex[16];
    for (int attempt = 0; attempt < 1000; ++attempt, ++number) {
        if (number == 0)
            number = 1;
        std::snprintf(hex, sizeof hex, "%x", number);
        std::filesystem::path candidate = folder / (prefix + hex + ".tmp");
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created = candidate;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
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

Status replaceFileContents(const std::filesystem::path& file, const std::string& bytes) {
    std::filesystem::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    std::filesystem::path temp;
    int fd = createUnique(folder, file.filename().string() + ".", temp);
    if (fd < 0)
        return Status::failure("Cannot write " + file.string() + ": " + errnoText(errno));

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        return Status::failure("Cannot write " + file.string() + ": " + errnoText(err));
    };
    if (!writeAll(fd, bytes))
        return fail(errno);
    struct stat original {};
    if (::stat(file.c_str(), &original) == 0 && ::fchmod(fd, original.st_mode & 07777) != 0)
        return fail(errno);
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return Status::failure("Cannot write " + file.string() + ": " + errnoText(err));
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return Status::failure("Cannot replace " + file.string() + ": " + errnoText(err));
    }
    return Status::success();
}

} // namespace qob
