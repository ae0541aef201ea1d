// Backup and restore killed at every point where they make something durable or visible (each
// fsync and rename, through the kill shim), followed by the next run on the same target system:
// the earlier backup is intact or the new one whole, the target profile is as before or as
// restored, and no temporary file is left behind.
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

namespace qob::test {
namespace {

namespace fs = std::filesystem;

const fs::path kQob = fs::path(QOB_BINARY_DIR) / "qob";
const fs::path kShim = fs::path(QOB_KILLSHIM);

struct ProcessEnd {
    int exitCode = -1; // -1: killed by a signal
    bool killed = false;
};

struct Launch {
    explicit Launch(std::vector<std::string> a, fs::path p = kQob)
        : args(std::move(a)), program(std::move(p)) {}
    std::vector<std::string> args;
    fs::path program = kQob;
    long killAt = -1; // > 0: the shim kills at that point; 0: it only counts into countFile
    fs::path countFile;
    long pauseAt = -1; // > 0: the shim stops the process at that point (see startQob)
    std::vector<std::pair<std::string, std::string>> env;
    fs::path errors; // where its stderr goes ("": nowhere)
};

pid_t startQob(const Launch& l, const fs::path& home) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QUIRE_HOME", home.c_str(), 1);
        ::unsetenv("WINEPREFIX");
        for (const auto& [name, value] : l.env) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        if (l.killAt >= 0 || l.pauseAt > 0) {
            ::setenv("LD_PRELOAD", kShim.c_str(), 1);
            // A sanitizer build insists on its runtime coming first; the shim only wraps calls it
            // does not intercept, so the order does not matter here.
            const char* asan = ::getenv("ASAN_OPTIONS");
            const std::string options =
                std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "verify_asan_link_order=0";
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
            ::setenv(l.pauseAt > 0 ? "QOB_PAUSE_AT" : "QOB_KILL_AT",
                     std::to_string(l.pauseAt > 0 ? l.pauseAt : l.killAt).c_str(), 1);
            if (!l.countFile.empty()) {
                ::setenv("QOB_KILL_COUNT_FILE", l.countFile.c_str(), 1);
            }
        }
        std::vector<char*> argv{const_cast<char*>(l.program.c_str())};
        for (const std::string& a : l.args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(l.errors.empty() ? devnull : ::open(l.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        ::execv(l.program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

ProcessEnd waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    ProcessEnd r;
    if (WIFSIGNALED(status)) {
        r.killed = WTERMSIG(status) == SIGKILL;
    } else {
        r.exitCode = WEXITSTATUS(status);
    }
    return r;
}

// Runs qob with the given arguments; `killAt` > 0 loads the shim and kills at that point, 0 loads
// it only to count the points into `countFile`.
ProcessEnd runQob(const std::vector<std::string>& args, const fs::path& home, long killAt = -1,
                  const fs::path& countFile = {}) {
    Launch l(args);
    l.killAt = killAt;
    l.countFile = countFile;
    return waitFor(startQob(l, home));
}

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

long pointsOf(const std::vector<std::string>& args, const fs::path& home, const fs::path& scratch) {
    const fs::path count = scratch / "points";
    const ProcessEnd r = runQob(args, home, 0, count);
    EXPECT_EQ(r.exitCode, 0);
    return std::stol(slurp(count));
}

// Every regular file below a folder with its content; hidden temporaries are named separately.
std::map<std::string, std::string> filesBelow(const fs::path& folder, std::vector<std::string>* temporaries) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (!e.is_regular_file() || e.is_symlink()) {
            continue;
        }
        const std::string name = e.path().filename().string();
        const std::string rel = fs::relative(e.path(), folder).string();
        if (name.find(".qobtmp-") != std::string::npos || name.find(".qobnew-") != std::string::npos ||
            name.find(".qobold-") != std::string::npos || name.starts_with(".quire-restore-") ||
            name.find(".reg.tmp") != std::string::npos) {
            if (temporaries) {
                temporaries->push_back(rel);
            }
            continue;
        }
        files[rel] = slurp(e.path());
    }
    return files;
}

std::set<std::string> foldersBelow(const fs::path& folder) {
    std::set<std::string> folders;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        if (e.is_directory() && !e.is_symlink()) {
            folders.insert(fs::relative(e.path(), folder).string());
        }
    }
    return folders;
}

struct Target {
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::string profile;
    bool operator==(const Target&) const = default;
};

class KillPoints : public ::testing::Test {
protected:
    TempDir dir;
    fs::path home = dir / "home";
    fs::path base = dir / "base";
    const std::string profilesKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles";

    void SetUp() override {
        fs::create_directories(home);
        ASSERT_EQ(runQob({"demo-prefix", base.string()}, home).exitCode, 0);
    }
    fs::path copyOf(const fs::path& prefix, const std::string& name) {
        const fs::path to = dir / name;
        fs::remove_all(to);
        fs::copy(prefix, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return to;
    }
    Target snapshot(const fs::path& prefix, std::vector<std::string>* temporaries) {
        Target t;
        const fs::path exported = dir / "second.txt";
        EXPECT_EQ(runQob({"--prefix", prefix.string(), "reg", "export", profilesKey + "\\Second",
                          exported.string()},
                         home)
                      .exitCode,
                  0);
        t.profile = slurp(exported);
        t.files = filesBelow(prefix / "drive_c", temporaries);
        t.folders = foldersBelow(prefix / "drive_c");
        return t;
    }
};

TEST_F(KillPoints, AKilledBackupLeavesTheEarlierBackupOrAWholeNewOne) {
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const fs::path backup = out / "mail.qob";
    const std::vector<std::string> args = {"--prefix", base.string(), "backup",    "--profile",
                                           "Outlook",  "--items",     "111111111", backup.string()};
    ASSERT_EQ(runQob(args, home).exitCode, 0);
    const std::string earlier = slurp(backup);
    // The mail changed since: a new backup differs from the earlier one.
    std::ofstream(base / "drive_c/users/quire/AppData/Local/Microsoft/Outlook/Outlook.pst", std::ios::app)
        << "new mail";
    const long points = pointsOf(args, home, dir.path());
    std::ofstream(backup, std::ios::binary | std::ios::trunc) << earlier;
    ASSERT_GT(points, 2);

    for (long n = 1; n <= points; ++n) {
        SCOPED_TRACE("killed at point " + std::to_string(n) + " of " + std::to_string(points));
        const ProcessEnd killed = runQob(args, home, n);
        ASSERT_TRUE(killed.killed);
        const std::string now = slurp(backup);
        if (now != earlier) {
            EXPECT_EQ(runQob({"verify", backup.string()}, home).exitCode, 0)
                << "a torn backup replaced the earlier one";
        }
        // The next run writes a whole backup and leaves nothing of the killed one behind.
        ASSERT_EQ(runQob(args, home).exitCode, 0);
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(out)) {
            names.insert(e.path().filename().string());
        }
        EXPECT_EQ(names, std::set<std::string>{"mail.qob"});
        for (const auto& e : fs::directory_iterator(home)) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "brlog.dat" || name == "settings.dat" || name.starts_with(".")) << name;
        }
        std::ofstream(backup, std::ios::binary | std::ios::trunc) << earlier;
    }
}

TEST_F(KillPoints, AKilledRestoreLeavesTheTargetAsBeforeOrAsRestored) {
    const fs::path backup = dir / "outlook.qob";
    ASSERT_EQ(runQob({"--prefix", base.string(), "backup", "--profile", "Outlook", "--items", "111111111",
                      backup.string()},
                     home)
                  .exitCode,
              0);
    auto restoreArgs = [&](const fs::path& prefix) {
        return std::vector<std::string>{"--prefix",  prefix.string(), "restore", backup.string(),
                                        "--profile", "Second",        "--items", "111111111"};
    };
    // The restore has to make folders (the signatures' and their companion folder): a killed one
    // must not leave them behind, empty, in the user's profile.
    fs::remove_all(base / "drive_c/users/quire/AppData/Roaming/Microsoft/Signatures");
    const Target before = snapshot(base, nullptr);
    const fs::path reference = copyOf(base, "reference");
    const long points = pointsOf(restoreArgs(reference), home, dir.path());
    const Target restored = snapshot(reference, nullptr);
    ASSERT_NE(before, restored);
    ASSERT_NE(before.folders, restored.folders);
    ASSERT_GT(points, 2);

    for (long n = 1; n <= points; ++n) {
        SCOPED_TRACE("killed at point " + std::to_string(n) + " of " + std::to_string(points));
        const fs::path prefix = copyOf(base, "victim");
        ASSERT_TRUE(runQob(restoreArgs(prefix), home, n).killed);
        // Any next start on the target system completes or clears what the killed run left.
        ASSERT_EQ(runQob({"--prefix", prefix.string(), "profiles"}, home).exitCode, 0);
        std::vector<std::string> temporaries;
        const Target after = snapshot(prefix, &temporaries);
        EXPECT_TRUE(after == before || after == restored) << "the target is half restored";
        EXPECT_TRUE(temporaries.empty()) << temporaries.front();
        for (const auto& e : fs::directory_iterator(prefix)) {
            EXPECT_FALSE(e.path().filename().string().starts_with(".quire-restore-")) << e.path();
        }
    }
}

// A restore stopped at each of its points (extracting, then committing) while another run starts on
// the same target system: a read-only "qob profiles", a second restore, a backup and the automatic
// run. None of them may touch the running restore's files; it then ends whole, exit 0.
TEST_F(KillPoints, ASecondRunDuringARestoreLeavesItWhole) {
    const fs::path backup = dir / "outlook.qob";
    ASSERT_EQ(runQob({"--prefix", base.string(), "backup", "--profile", "Outlook", "--items", "111111111",
                      backup.string()},
                     home)
                  .exitCode,
              0);
    auto restoreArgs = [&](const fs::path& prefix) {
        return std::vector<std::string>{"--prefix",  prefix.string(), "restore", backup.string(),
                                        "--profile", "Second",        "--items", "111111111"};
    };
    const fs::path reference = copyOf(base, "reference");
    const long points = pointsOf(restoreArgs(reference), home, dir.path());
    const Target restored = snapshot(reference, nullptr);
    ASSERT_GT(points, 2);
    const fs::path out = dir / "out";
    fs::create_directories(out);

    struct Second {
        const char* what;
        std::function<Launch(const fs::path& prefix)> launch;
        bool everyPoint; // the others wait for the run lock before they give up: a few points
    };
    const std::vector<Second> seconds = {
        {"profiles",
         [&](const fs::path& p) {
             return Launch({"--prefix", p.string(), "profiles"});
         },
         true},
        {"restore", [&](const fs::path& p) { return Launch(restoreArgs(p)); }, false},
        {"backup",
         [&](const fs::path& p) {
             return Launch({"--prefix", p.string(), "backup", "--profile", "Outlook", "--items", "111111111",
                            (out / "second.qob").string()});
         },
         false},
        {"automatic run",
         [&](const fs::path& p) {
             Launch l({" sf=Outlookxm=111111111ps=bf=" + (out / "auto.qob").string()},
                      fs::path(QOB_BINARY_DIR) / "quiremail");
             l.env = {{"WINEPREFIX", p.string()}};
             return l;
         },
         false},
    };
    for (const Second& second : seconds) {
        std::set<long> at;
        for (long n = 1; n <= points; ++n) {
            if (second.everyPoint || n == 1 || n == points / 2 || n == points - 1) {
                at.insert(n);
            }
        }
        for (long n : at) {
            SCOPED_TRACE(std::string(second.what) + " started at point " + std::to_string(n) + " of " +
                         std::to_string(points));
            const fs::path prefix = copyOf(base, "victim");
            Launch first(restoreArgs(prefix));
            first.pauseAt = n;
            first.errors = dir / "first.err";
            const pid_t pid = startQob(first, home);
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
            ASSERT_TRUE(WIFSTOPPED(status));
            const ProcessEnd other = waitFor(startQob(second.launch(prefix), home));
            if (second.everyPoint) {
                EXPECT_EQ(other.exitCode, 0);
            }
            ::kill(pid, SIGCONT);
            EXPECT_EQ(waitFor(pid).exitCode, 0) << "the restore failed: " << slurp(first.errors);
            std::vector<std::string> temporaries;
            EXPECT_TRUE(snapshot(prefix, &temporaries) == restored) << "the restore is not whole";
            EXPECT_TRUE(temporaries.empty()) << temporaries.front();
            for (const auto& e : fs::directory_iterator(prefix)) {
                EXPECT_FALSE(e.path().filename().string().starts_with(".quire-restore-")) << e.path();
            }
        }
    }
}

} // namespace
} // namespace qob::test
