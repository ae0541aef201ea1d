#include "platform/wine/WineServerProbe.h"

#include "FakeWineServer.h"
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
    const std::string name = test::serverDirName(prefix.path());
    const fs::path serverDir = fs::path("/tmp/.wine-" + std::to_string(owner)) / name;
    fs::create_directories(serverDir);
    const fs::path lockPath = serverDir / "lock";
    std::ofstream(lockPath).close();

    wine::WineServerProbe probe(prefix.path());
    const auto candidates = probe.lockCandidates();
    EXPECT_NE(std::find(candidates.begin(), candidates.end(), lockPath), candidates.end());

    test::HeldServerLock server(lockPath);
    EXPECT_TRUE(server.held());
    EXPECT_TRUE(probe.running(true));
    EXPECT_EQ(probe.ownerPid(), server.pid());

    server.release();
    EXPECT_FALSE(probe.running(true));
    fs::remove_all(serverDir.parent_path());
}

TEST(WineServerProbeTest, HoldingTheLocksKeepsAServerFromStarting) {
    test::TempDir prefix;
    test::TempDir tmp; // Debian's layout: the server dir's parent named in $WINEPREFIX/wineserver
    std::ofstream(prefix / "wineserver") << tmp.path().string();
    const std::string name = test::serverDirName(prefix.path());
    fs::create_directories(tmp / name);
    const fs::path lockPath = tmp / name / "lock";
    std::ofstream(lockPath).close();

    wine::WineServerProbe probe(prefix.path());
    EXPECT_FALSE(probe.running(true));
    ASSERT_TRUE(probe.holdLocks());
    EXPECT_FALSE(test::anotherProcessCanLock(lockPath));
    EXPECT_FALSE(probe.running(true)) << "our own lock is no server";
    EXPECT_FALSE(test::anotherProcessCanLock(lockPath)) << "looking again must not drop the lock";
    probe.releaseLocks();
    EXPECT_TRUE(test::anotherProcessCanLock(lockPath));
    EXPECT_FALSE(probe.running(true));
}

} // namespace
} // namespace qob
