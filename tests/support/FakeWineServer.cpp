#include "FakeWineServer.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qob::test {

namespace {

bool lockByteZero(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    return fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0;
}

} // namespace

std::string serverDirName(const std::filesystem::path& prefix) {
    struct stat st {};
    if (::stat(prefix.c_str(), &st) != 0) {
        return {};
    }
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    return name;
}

HeldServerLock::HeldServerLock(const std::filesystem::path& lockFile) {
    int ready[2];
    if (::pipe(ready) != 0) {
        return;
    }
    child_ = ::fork();
    if (child_ == 0) {
        const char ok = lockByteZero(::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600)) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    held_ = child_ > 0 && ::read(ready[0], &ok, 1) == 1 && ok == 'y';
    ::close(ready[0]);
    ::close(ready[1]);
}

void HeldServerLock::release() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
        child_ = -1;
    }
    held_ = false;
}

bool anotherProcessCanLock(const std::filesystem::path& lockFile) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(lockByteZero(::open(lockFile.c_str(), O_RDWR)) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace qob::test
