// qob backup's exit code: a backup without a data file the profile uses is no success for a script.
#include "TestPaths.h"
#include "app/cli/Cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

TEST(BackupCommand, AMissingDataFileFailsTheCommandAndIsNamed) {
    test::TempDir dir;
    fs::create_directories(dir.path() / "home");
    setenv("QUIRE_HOME", (dir.path() / "home").c_str(), 1);
    const fs::path prefix = dir.path() / "pfx";
    std::ostringstream out, err;
    ASSERT_EQ(cli::runCli({"demo-prefix", prefix.string()}, out, err), 0) << err.str();
    auto run = [&](const fs::path& file) {
        out.str("");
        err.str("");
        return cli::runCli({"--prefix", prefix.string(), "backup", "--profile", "Outlook", "--items",
                            "100000000", file.string()},
                           out, err);
    };
    ASSERT_EQ(run(dir.path() / "whole.qob"), 0) << err.str();

    fs::path pst;
    for (const auto& e : fs::recursive_directory_iterator(prefix / "drive_c")) {
        if (e.path().filename() == "Outlook.pst") {
            pst = e.path();
        }
    }
    ASSERT_FALSE(pst.empty());
    fs::remove(pst);
    EXPECT_EQ(run(dir.path() / "part.qob"), 1);
    EXPECT_NE(err.str().find("not stored: "), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("Outlook.pst: the data file the profile names was not found"), std::string::npos)
        << err.str();
    EXPECT_TRUE(fs::exists(dir.path() / "part.qob")) << "what could be stored is still written";
    unsetenv("QUIRE_HOME");
}

} // namespace
} // namespace qob
