#include "schedule/PasswordFile.h"

#include "platform/DurableFile.h"
#include "platform/OwnerOnly.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <unistd.h>

namespace qob {

namespace fs = std::filesystem;

namespace {

// A new file "autobackup-password-XXXXXX", created 0600 (owner-only on Windows) by an exclusive
// create, so it is never readable by others and never someone else's file.
int createPasswordFile(const fs::path& folder, fs::path& name) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 gen(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix;
        for (int i = 0; i < 6; ++i) {
            suffix += letters[pick(gen)];
        }
        const fs::path candidate = folder / (std::string(kPasswordFilePrefix) + suffix);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            name = candidate;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

} // namespace

Status writePasswordFile(const fs::path& folder, const std::string& password, fs::path& file) {
    fs::path name;
    const int fd = createPasswordFile(folder, name);
    if (fd < 0) {
        return Status::failure("Cannot write the password file in " + folder.string() + ": " +
                               std::strerror(errno));
    }
    // Restricted before the password is in it.
    if (Status ownerOnly = makeOwnerOnly(name); !ownerOnly) {
        ::close(fd);
        ::unlink(name.c_str());
        return ownerOnly;
    }
    const std::string bytes = password + "\n";
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const int err = errno;
    const bool ok = done == bytes.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        ::unlink(name.c_str());
        return Status::failure("Cannot write the password file " + name.string() + ": " + std::strerror(err));
    }
    syncFolder(folder);
    file = name;
    return Status::success();
}

Status readPasswordFile(const fs::path& file, std::string& password) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return Status::failure("The password file " + file.string() +
                               " cannot be read: " + std::strerror(errno));
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    if (line.empty()) {
        return Status::failure("The password file " + file.string() + " holds no password.");
    }
    password = line;
    return Status::success();
}

void removePasswordFile(const fs::path& folder, const fs::path& file) {
    if (file.parent_path() != folder || file.filename().string().rfind(kPasswordFilePrefix, 0) != 0) {
        return;
    }
    std::error_code ec;
    fs::remove(file, ec);
}

fs::path taskPasswordFile(const fs::path& folder) {
    return folder / kTaskPasswordFileName;
}

Status placeTaskPasswordFile(const fs::path& folder, const std::optional<fs::path>& written) {
    const fs::path fixed = taskPasswordFile(folder);
    if (written) {
        // Replaces the earlier file in one step (MoveFileExW with write-through on Windows); the
        // file keeps its owner-only permissions.
        if (::rename(written->c_str(), fixed.c_str()) != 0) {
            return Status::failure("Cannot put the password file in place as " + fixed.string() + ": " +
                                   std::strerror(errno));
        }
        syncFolder(folder);
        // Whatever the move kept or dropped of the file's permissions, the file in place is private.
        if (Status ownerOnly = makeOwnerOnly(fixed); !ownerOnly) {
            std::error_code ec;
            fs::remove(fixed, ec);
            return ownerOnly;
        }
        return Status::success();
    }
    std::error_code ec;
    fs::remove(fixed, ec);
    if (ec) {
        return Status::failure("Cannot remove " + fixed.string() + ": " + ec.message());
    }
    return Status::success();
}

std::optional<fs::path> runPasswordFile(const std::optional<std::string>& named, const fs::path& folder) {
    if (named && !named->empty()) {
        return fs::path(*named);
    }
    std::error_code ec;
    const fs::path fixed = taskPasswordFile(folder);
    if (!folder.empty() && fs::exists(fixed, ec)) {
        return fixed;
    }
    return std::nullopt;
}

} // namespace qob
