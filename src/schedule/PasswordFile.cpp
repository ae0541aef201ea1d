#include "schedule/PasswordFile.h"

#include "platform/DurableFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace qob {

namespace fs = std::filesystem;

Status writePasswordFile(const fs::path& folder, const std::string& password, fs::path& file) {
    std::string name = (folder / (std::string(kPasswordFilePrefix) + "XXXXXX")).string();
    // mkstemp creates the file 0600 whatever the umask, so it is never readable by others.
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        return Status::failure("Cannot write the password file in " + folder.string() + ": " +
                               std::strerror(errno));
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
        return Status::failure("Cannot write the password file " + name + ": " + std::strerror(err));
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

} // namespace qob
