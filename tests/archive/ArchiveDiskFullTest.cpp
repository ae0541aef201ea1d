// A write that runs out of disk space must leave the earlier backup as it was. The full disk is a
// 1 MiB tmpfs mounted in a private mount namespace of a child process, so nothing outside the
// child sees it and it vanishes with the child.
#include "archive/Archive.h"

#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

enum ChildResult {
    Ok = 0,
    WriteSucceeded = 1,
    OldChanged = 2,
    Leftovers = 3,
    NoReason = 4,
    Setup = 5,
    NoMount = 77
};

int writeOnFullDisk(const fs::path& small, const fs::path& bigSource) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
        return NoMount;
    }
    test::writeBytes(small / "a.txt", "small");
    Archive zip1;
    if (!zip1.createArchive(small / "keep.qob") || !zip1.addFiles(small / "a.txt") || !zip1.writeArchive()) {
        return Setup;
    }
    const std::string before = test::readBytes(small / "keep.qob");
    zip1.setCompressionLevel(0);
    zip1.createArchive(small / "keep.qob");
    zip1.addFiles(bigSource);
    Status s = zip1.writeArchive();
    int result = Ok;
    if (s) {
        result = WriteSucceeded;
    } else if (test::readBytes(small / "keep.qob") != before) {
        result = OldChanged;
    } else if (test::listFolder(small) != std::set<std::string>{"a.txt", "keep.qob"}) {
        result = Leftovers;
    } else if (s.message.find("No space") == std::string::npos) {
        std::fprintf(stderr, "message: %s\n", s.message.c_str());
        result = NoReason;
    }
    ::umount(small.c_str());
    return result;
}

TEST(ArchiveDiskFull, FailedWriteKeepsEarlierBackupAndLeavesNoTempFile) {
    test::TempDir dir;
    fs::create_directories(dir / "small");
    test::writeBytes(dir / "big.pst", test::mixedBytes(3 * 1024 * 1024, 11));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::_exit(writeOnFullDisk(dir / "small", dir / "big.pst"));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == NoMount) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount namespaces)";
    }
    EXPECT_EQ(WEXITSTATUS(status), Ok)
        << "1 write succeeded, 2 old archive changed, 3 files left, 4 no reason";
}

} // namespace
} // namespace qob
