// What the programs tell about themselves and their runs: quiremail --help and --version (no
// display, no target system needed), and the backup a restore names in the run log.
#include "DemoCli.h"
#include "settings/RunLog.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// Runs `command` with the shell; its exit code and what it printed on stdout.
std::pair<int, std::string> shell(const std::string& command) {
    std::string printed;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return {-1, ""};
    }
    std::array<char, 4096> buffer{};
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        printed.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, printed};
}

TEST(Quiremail, TellsItsUsageAndVersionWithoutADisplay) {
    const fs::path quiremail = fs::path(QOB_BINARY_DIR) / "quiremail";
    if (!fs::exists(quiremail)) {
        GTEST_SKIP() << "the quiremail binary is not built (build target quiremail first)";
    }
    const std::string run =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" + quiremail.string() + "' ";
    const struct {
        std::string args;
        int code;
        std::string said;
    } cases[] = {
        {"--help", 0, "usage: quiremail [--open FILE.qob]\n"},
        {"-h", 0, "--catch-up | --help | --version"},
        {"--version", 0, "quiremail (Quire Outlook Backup) " QOB_TEST_VERSION "\n"},
        {"--open x.qob --help", 0, "usage: quiremail"},
        {"--frobnicate", 2, ""},
    };
    for (const auto& c : cases) {
        const auto [code, printed] = shell(run + c.args + " 2>/dev/null");
        EXPECT_EQ(code, c.code) << c.args;
        EXPECT_NE(printed.find(c.said), std::string::npos) << c.args << ": " << printed;
    }
}

TEST(RestoreCommand, TheRunLogNamesTheBackupByItsAbsolutePath) {
    test::DemoCli cli;
    const std::string prefix = cli.prefix.string();
    ASSERT_EQ(cli::runCli({"--prefix", prefix, "backup", "--profile", "Outlook", "--items", "signatures",
                           (cli.dir / "b.qob").string()},
                          cli.out, cli.err),
              0)
        << cli.err.str();
    // Started from the backup's folder with its bare name, as people do.
    const fs::path before = fs::current_path();
    fs::current_path(cli.dir.path());
    const int code =
        cli::runCli({"--prefix", prefix, "restore", "./b.qob", "--profile", "Second"}, cli.out, cli.err);
    fs::current_path(before);
    ASSERT_EQ(code, 0) << cli.err.str();
    std::ifstream log(runLogPath(cli.dir / "home"));
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Restore File is " + (fs::canonical(cli.dir.path()) / "b.qob").string() + "\n"),
              std::string::npos)
        << text;
}

} // namespace
} // namespace qob
