// qob restore stopped the way Ctrl-C stops it: exit code 130, and the prefix (registry files, data
// files) exactly as it was, with no temporary file left.
#include "DemoCli.h"
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "app/cli/RestoreCommand.h"
#include "restore/RestoreJob.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace qob {
namespace {

namespace fs = std::filesystem;

// Every file below the prefix with its bytes.
std::map<std::string, std::string> contentsOf(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            out[fs::relative(entry.path(), folder).string()] = bytes.str();
        }
    }
    return out;
}

struct StopAtFirstBlock : JobObserver {
    StopToken& stop;
    int phasesSeen = 0;
    explicit StopAtFirstBlock(StopToken& s) : stop(s) {}
    void phaseStarted(JobPhase) override { ++phasesSeen; }
    void progress(const JobProgress& p) override {
        if (!p.file.empty()) {
            stop.requestStop();
        }
    }
};

TEST(RestoreCommand, AStoppedRestoreExitsWith130AndChangesNothing) {
    test::DemoCli demo;
    const test::TempDir& dir = demo.dir;
    const fs::path& prefix = demo.prefix;
    std::ostringstream &out = demo.out, &err = demo.err;
    const fs::path backup = dir.path() / "outlook.qob";
    ASSERT_EQ(cli::runCli(demo.withTarget(
                              {"backup", "--profile", "Outlook", "--items", "111111111", backup.string()}),
                          out, err),
              0)
        << err.str();
    const auto before = contentsOf(prefix);

    cli::Args args = cli::parseArgs({backup.string(), "--profile", "Second", "--items", "111111111"},
                                    {"--profile", "--items", "--password-file"});
#ifndef _WIN32
    args.options["--prefix"] = prefix.string();
#endif
    StopToken stop;
    StopAtFirstBlock observer(stop);
    out.str("");
    err.str("");
    EXPECT_EQ(cli::runRestoreCommand(args, out, err, observer, stop), cli::kExitStopped);
    EXPECT_NE(err.str().find(kRestoreCancelledText), std::string::npos) << err.str();
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(stop.stopRequested());
    EXPECT_EQ(observer.phasesSeen, 3); // preparing, extracting, finished: no commit
    EXPECT_EQ(contentsOf(prefix), before);

    // Not stopped, the same command restores.
    StopToken never;
    JobObserver none;
    EXPECT_EQ(cli::runRestoreCommand(args, out, err, none, never), 0) << err.str();
    EXPECT_NE(contentsOf(prefix), before);
}

} // namespace
} // namespace qob
