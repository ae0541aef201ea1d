// qob disc: a backup written into an ISO image comes back out of it (read by another program) and
// restores; verify compares the image with the files; refusals exit non-zero with words.
#include "DemoCli.h"
#include "TestPaths.h"
#include "app/cli/Cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

TEST(DiscCommand, ABackupWrittenToAnImageRestoresFromIt) {
    if (std::system("command -v xorriso >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "xorriso is not installed (scripts/bootstrap.sh installs it)";
    }
    test::DemoCli demo;
    const fs::path dir = demo.dir.path();
    auto qob = [&](const std::vector<std::string>& argv) {
        demo.out.str("");
        demo.err.str("");
        return cli::runCli(argv, demo.out, demo.err);
    };
    const fs::path backup = dir / "mail.qob";
    ASSERT_EQ(qob({"--prefix", demo.prefix.string(), "backup", "--profile", "Outlook", backup.string()}), 0)
        << demo.err.str();

    const fs::path iso = dir / "disc.iso";
    ASSERT_EQ(qob({"disc", "image", "--verify", iso.string(), backup.string()}), 0) << demo.err.str();
    EXPECT_NE(demo.out.str().find("verified: 1 of 1 files match"), std::string::npos) << demo.out.str();
    ASSERT_EQ(qob({"disc", "verify", "--drive", "stdio:" + iso.string(), backup.string()}), 0)
        << demo.err.str();

    const fs::path extracted = dir / "from-disc.qob";
    ASSERT_EQ(std::system(("xorriso -osirrox on -indev '" + iso.string() + "' -extract /mail.qob '" +
                           extracted.string() + "' >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(qob({"verify", extracted.string()}), 0) << demo.err.str();
    EXPECT_EQ(qob({"--prefix", demo.prefix.string(), "restore", extracted.string(), "--profile", "Outlook"}),
              0)
        << demo.err.str();

    // --quiet: no summary, the exit code says it, for a write, a verify that matches and one that does not.
    ASSERT_EQ(qob({"disc", "image", "--quiet", "--verify", iso.string(), backup.string()}), 0)
        << demo.err.str();
    EXPECT_EQ(demo.out.str(), "");
    ASSERT_EQ(qob({"--quiet", "disc", "verify", "--drive", "stdio:" + iso.string(), backup.string()}), 0);
    EXPECT_EQ(demo.out.str(), "");

    // The backup changed after the disc was written: verify says which file and fails.
    std::ofstream(backup, std::ios::app) << "more";
    EXPECT_EQ(qob({"--quiet", "disc", "verify", "--drive", "stdio:" + iso.string(), backup.string()}), 1);
    EXPECT_EQ(demo.out.str(), "");
    EXPECT_EQ(qob({"disc", "verify", "--drive", "stdio:" + iso.string(), backup.string()}), 1);
    EXPECT_NE(demo.err.str().find("\\mail.qob (disc), " + backup.string() + " (source): the sizes differ"),
              std::string::npos)
        << demo.err.str();

    struct Refusal {
        std::vector<std::string> argv;
        int code;
        const char* says;
    };
    const Refusal refusals[] = {
        {{"disc", "image", iso.string()}, 2, "usage"},
        {{"disc", "image", iso.string(), (dir / "nothing").string()}, 2, "no such file or folder"},
        {{"disc", "image", (dir / "no/folder/x.iso").string(), backup.string()}, 1, "does not exist"},
        {{"disc", "write", backup.string()}, 2, "usage"},
        {{"disc", "erase", "--drive", "stdio:" + iso.string()}, 1, "not erased"},
        {{"disc", "verify", "--drive", "stdio:" + backup.string(), backup.string()}, 1, "could not be read"},
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(qob(r.argv), r.code) << r.argv[1] << " " << demo.err.str();
        EXPECT_NE(demo.err.str().find(r.says), std::string::npos) << demo.err.str();
    }
    EXPECT_EQ(qob({"disc", "drives"}), 0);
    EXPECT_NE(demo.out.str().find("stdio:PATH"), std::string::npos);
}

} // namespace
} // namespace qob
