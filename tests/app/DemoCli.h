#pragma once
// A demo target system for qob commands run in-process: a program folder of its own (QUIRE_HOME,
// set for the length of the test), a demo prefix, and the streams the commands write to.
#include "TestPaths.h"
#include "app/cli/Cli.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qob::test {

struct DemoCli {
    TempDir dir;
    std::filesystem::path prefix = dir / "pfx";
    std::ostringstream out, err;

    DemoCli() {
        std::filesystem::create_directories(dir / "home");
        ::setenv("QUIRE_HOME", (dir / "home").c_str(), 1);
        if (cli::runCli({"demo-prefix", prefix.string()}, out, err) != 0) {
            throw std::runtime_error("no demo prefix: " + err.str());
        }
    }
    ~DemoCli() { ::unsetenv("QUIRE_HOME"); }
    DemoCli(const DemoCli&) = delete;
    DemoCli& operator=(const DemoCli&) = delete;
};

} // namespace qob::test
