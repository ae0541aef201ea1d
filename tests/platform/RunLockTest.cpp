#include "platform/RunLock.h"

#include "TestPaths.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// A second run on a locked target system is refused with the holder's kind, pid and start; the
// lock goes with its process, even a killed one, and a released lock leaves no file behind.
TEST(RunLock, ASecondRunIsRefusedNamingTheFirstUntilItIsGone) {
    test::TempDir dir;
    const fs::path lockFile = dir / ".quire-outlook-backup.lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        RunLock lock;
        char c = RunLock::acquire(lock, lockFile, "restore", "the Wine prefix P") ? 1 : 0;
        [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 1);

    RunLock second;
    const Status refused = RunLock::acquire(second, lockFile, "backup", "the Wine prefix P", {{}, {}});
    EXPECT_FALSE(refused);
    EXPECT_FALSE(second.held());
    EXPECT_NE(refused.message.find("Another run is using the Wine prefix P: a restore (process " +
                                   std::to_string(holder) + ", since "),
              std::string::npos)
        << refused.message;
    EXPECT_NE(refused.message.find("This backup was not started"), std::string::npos) << refused.message;

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_TRUE(RunLock::acquire(second, lockFile, "backup", "the Wine prefix P", {{}, {}}));
    EXPECT_TRUE(second.held());
    second.release();
    EXPECT_FALSE(fs::exists(lockFile));

    // One backup file, one writer.
    EXPECT_EQ(RunLock::forBackupFile(dir / "week.qob"), dir / ".week.qob.lock");
}

} // namespace
} // namespace qob
