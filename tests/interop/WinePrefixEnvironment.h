#pragma once
// One booted Wine prefix for the whole interop run. Every Wine command's output goes to a log file,
// never to a pipe: Wine's service processes keep inherited pipes open and would hang ctest.
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace qob {

class WinePrefixEnvironment : public ::testing::Environment {
public:
    static inline std::filesystem::path prefix;
    static inline std::filesystem::path log;

    void SetUp() override {
        root_ = std::make_unique<test::TempDir>();
        prefix = root_->path() / "prefix";
        log = root_->path() / "wine.log";
        ASSERT_EQ(wine("wineboot -i"), 0) << logText();
        stopServer();
    }
    void TearDown() override {
        stopServer();
        root_.reset();
    }

    // Runs a Wine command line in the prefix; returns its exit code.
    static int wine(const std::string& commandLine) {
        std::string cmd = "env WINEPREFIX='" + prefix.string() + "' WINEDEBUG=-all LC_ALL=C.UTF-8 " +
                          commandLine + " </dev/null >>'" + log.string() + "' 2>&1";
        int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    static void startServer() {
        std::string cmd = "env WINEPREFIX='" + prefix.string() +
                          "' WINEDEBUG=-all wineserver -p </dev/null >>'" + log.string() + "' 2>&1";
        std::system(cmd.c_str());
    }
    // Stops the server cleanly, which writes the registry files, and waits until it has gone.
    static void stopServer() {
        wine("wineserver -k");
        wine("wineserver -w");
    }
    static std::string logText() {
        std::ifstream in(log);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::unique_ptr<test::TempDir> root_;
};

} // namespace qob
