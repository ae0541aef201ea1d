// qob restore, run as the built binary on a demo prefix: each refusal has its message and exit
// code 1, and a restore prints the summary and logs its entries.
#include "FakeWineServer.h"
#include "RestoreFixture.h"
#include "TestPaths.h"
#include "ZipTools.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string output; // stdout and stderr together
};

Result run(const std::string& command) {
    Result r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return r;
    }
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) {
        r.output.append(buf, n);
    }
    int status = ::pclose(pipe);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string q(const fs::path& p) {
    return "'" + p.string() + "'";
}

TEST(RestoreCommand, RefusalsAndARestoreThroughTheBinary) {
    const fs::path qob = fs::path(QOB_BINARY_DIR) / "qob";
    if (!fs::exists(qob)) {
        GTEST_SKIP() << "the qob binary is not built (build target qob first)";
    }
    TempDir dir;
    const fs::path home = dir / "home";
    fs::create_directories(home);
    const std::string env = "QUIRE_HOME=" + q(home) + " ";
    const std::string tool = env + q(qob) + " --prefix " + q(dir / "pfx") + " ";
    ASSERT_EQ(run(env + q(qob) + " demo-prefix " + q(dir / "pfx")).code, 0);
    writeBytes(dir / "pw", "pw\n");
    writeBytes(dir / "bad", "nope\n");
    ASSERT_EQ(run(tool + "backup --profile Outlook --items 001000000 --password-file " + q(dir / "pw") + " " +
                  q(dir / "a.qob"))
                  .code,
              0);

    Result r =
        run(tool + "restore " + q(dir / "a.qob") + " --profile Second --password-file " + q(dir / "bad"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Incorect Password or Invalid backup file!"), std::string::npos) << r.output;
    r = run("env -u QOB_PASSWORD " + tool + "restore " + q(dir / "a.qob") + " --profile Second");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("protected; give --password, --password-file F or set QOB_PASSWORD"),
              std::string::npos)
        << r.output;
    r = run(tool + "restore " + q(dir / "pw") + " --profile Second");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("Invalid backup file"), std::string::npos) << r.output;
    r = run(tool + "restore " + q(dir / "a.qob") + " --profile Nobody --password-file " + q(dir / "pw"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("no mail profile named \"Nobody\""), std::string::npos) << r.output;
    r = run(tool + "restore " + q(dir / "a.qob") + " --profile= --password-file " + q(dir / "pw"));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("must not be empty"), std::string::npos) << r.output;

    // A running wineserver holds the lock of the prefix's server folder.
    const fs::path serverDir =
        fs::path("/tmp/.wine-" + std::to_string(::getuid())) / serverDirName(dir / "pfx");
    fs::create_directories(serverDir);
    {
        HeldServerLock server(serverDir / "lock");
        ASSERT_TRUE(server.held());
        r = run(tool + "restore " + q(dir / "a.qob") + " --profile Second --password-file " + q(dir / "pw"));
    }
    fs::remove_all(serverDir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.output.find("wineserver"), std::string::npos) << r.output;

    const std::string logBefore = readBytes(home / "brlog.dat");
    EXPECT_EQ(logBefore.find("Retore"), std::string::npos); // no refusal logged

    r = run(tool + "restore " + q(dir / "a.qob") + " --profile Second --password-file " + q(dir / "pw"));
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_NE(r.output.find("Restore Signatures"), std::string::npos) << r.output;
    const std::string log = readBytes(home / "brlog.dat");
    EXPECT_NE(log.find("Start Retore Data to Profile Second"), std::string::npos);
    EXPECT_NE(log.find("Restore Signatures Succeeded!"), std::string::npos);

    // A name from a crafted backup reaches the terminal escaped: it cannot retitle the window or
    // move the cursor.
    BackupSpec crafted = minimalSpec("00001000000");
    crafted.entries.push_back({"New.txt", "new signature"});
    addItemLine(crafted, "BackupSignatures", "New.txt;\x1b]0;owned\x07\x1b[2J.txt");
    writeBackup(dir / "crafted.qob", crafted);
    r = run(tool + "restore " + q(dir / "crafted.qob") + " --profile Second --items 001000000");
    EXPECT_EQ(r.code, 1) << r.output;
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("owned\\x07\\x1B[2J"), std::string::npos) << r.output;
}

} // namespace
} // namespace qob::test
