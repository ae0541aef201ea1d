#include "platform/wine/WineServerProbe.h"

#include "TestPaths.h"

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// A prefix owned by another user (we run as root, restoring it): Wine's server of that prefix runs
// as its owner, so its lock lives under the owner's uid, not ours.
TEST(WineServerProbeTest, FindsTheServerOfAPrefixOwnedByAnotherUser) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to give the prefix another owner";
    test::TempDir prefix;
    const uid_t owner = 54321;
    ASSERT_EQ(::chown(prefix.path().c_str(), owner, owner), 0);
    struct stat st {};
    ASSERT_EQ(::stat(prefix.path().c_str(), &st), 0);
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    const fs::path serverDir = fs::path("/tmp/.wine-" + std::to_string(owner)) / name;
    fs::create_directories(serverDir);
    const fs::path lockPath = serverDir / "lock";
    std::ofstream(lockPath).close();

    wine::WineServerProbe probe(prefix.path());
    const auto candidates = probe.lockCandidates();
    EXPECT_NE(std::find(candidates.begin(), candidates.end(), lockPath), candidates.end());

    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(lockPath.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_len = 1;
        const char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_TRUE(probe.running(true));
    EXPECT_EQ(probe.ownerPid(), child);

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_FALSE(probe.running(true));
    fs::remove_all(serverDir.parent_path());
}

// Whether another process could take the lock now, as a starting wineserver tries to.
bool anotherProcessCanLock(const fs::path& lockPath) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(lockPath.c_str(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_len = 1;
        ::_exit(fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(WineServerProbeTest, HoldingTheLocksKeepsAServerFromStarting) {
    test::TempDir prefix;
    test::TempDir tmp; // Debian's layout: the server dir's parent named in $WINEPREFIX/wineserver
    std::ofstream(prefix / "wineserver") << tmp.path().string();
    struct stat st {};
    ASSERT_EQ(::stat(prefix.path().c_str(), &st), 0);
    char name[64];
    std::snprintf(name, sizeof name, "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    fs::create_directories(tmp / name);
    const fs::path lockPath = tmp / name / "lock";
    std::ofstream(lockPath).close();

    wine::WineServerProbe probe(prefix.path());
    EXPECT_FALSE(probe.running(true));
    ASSERT_TRUE(probe.holdLocks());
    EXPECT_FALSE(anotherProcessCanLock(lockPath));
    EXPECT_FALSE(probe.running(true)) << "our own lock is no server";
    EXPECT_FALSE(anotherProcessCanLock(lockPath)) << "looking again must not drop the lock";
    probe.releaseLocks();
    EXPECT_TRUE(anotherProcessCanLock(lockPath));
    EXPECT_FALSE(probe.running(true));
}

} // namespace
} // namespace qob
