// qob's output while a job runs: the progress line on a terminal (a pseudo-terminal here, with a
// clock the test moves), nothing extra off a terminal, the JSON events and their escaping, the
// choice between them, and Ctrl-C asking the job to stop.
#include "TestPaths.h"
#include "app/cli/Cli.h"
#include "app/cli/CommandOutput.h"
#include "app/cli/Interrupt.h"
#include "app/cli/JsonEvents.h"
#include "app/cli/ProgressLine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pty.h>
#include <sstream>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qob::cli {
namespace {

using namespace std::chrono_literals;
using Time = std::chrono::steady_clock::time_point;

// A pseudo-terminal `columns` wide; the progress line asks its slave side.
class Pty {
public:
    explicit Pty(unsigned short columns) {
        winsize size{};
        size.ws_col = columns;
        size.ws_row = 24;
        ok_ = ::openpty(&master_, &slave_, nullptr, nullptr, &size) == 0;
    }
    ~Pty() {
        if (ok_) {
            ::close(master_);
            ::close(slave_);
        }
    }
    bool ok() const { return ok_; }
    int slave() const { return slave_; }

private:
    int master_ = -1, slave_ = -1;
    bool ok_ = false;
};

// The lines drawn: what stands between each "\r" and its "clear to end of line".
std::vector<std::string> drawnLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while ((at = bytes.find('\r', at)) != std::string::npos) {
        const std::size_t end = bytes.find("\x1b[K", at);
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(bytes.substr(at + 1, end - at - 1));
        at = end;
    }
    return lines;
}

JobProgress at(JobPhase phase, std::uint64_t done, std::uint64_t total, const std::string& file) {
    JobProgress p;
    p.phase = phase;
    p.done = done;
    p.total = total;
    p.file = file;
    return p;
}

TEST(ProgressLine, RedrawsOneLineInPlaceAtMostEveryHundredMilliseconds) {
    Pty pty(100);
    ASSERT_TRUE(pty.ok());
    Time now{};
    std::ostringstream drawn;
    {
        ProgressLine line(drawn, pty.slave(), [&] { return now; });
        ASSERT_TRUE(line.active());
        line.phaseStarted(JobPhase::Writing);
        now += 2s;
        line.progress(at(JobPhase::Writing, 10'000'000, 40'000'000, "Outlook.pst"));
        // 10 MB in 2 s: 5 MB/s, 30 MB still to go: 6 s.
        EXPECT_EQ(drawnLines(drawn.str()).back(), "writing     25%  5.0 MB/s  0:06 left  Outlook.pst");
        const std::size_t before = drawn.str().size();
        now += 50ms;
        line.progress(at(JobPhase::Writing, 11'000'000, 40'000'000, "Outlook.pst"));
        line.status("Copying Signatures...");
        EXPECT_EQ(drawn.str().size(), before) << "held back: the last redraw is 50 ms old";
        now += 50ms;
        line.progress(at(JobPhase::Writing, 40'000'000, 40'000'000, "Outlook.pst"));
        EXPECT_EQ(drawnLines(drawn.str()).size(), 3u);
        EXPECT_EQ(drawnLines(drawn.str()).back().substr(0, 16), "writing    100% ");
        // A new phase is drawn at once; its rate starts again.
        now += 10ms;
        line.phaseStarted(JobPhase::Checking);
        EXPECT_EQ(drawnLines(drawn.str()).back(), "checking  ");
        now += 10ms;
        line.progress(at(JobPhase::Checking, 1'000'000, 3'600'000'000'000, "Outlook.pst")); // held back
        line.phaseStarted(JobPhase::Finished);
        // The held-back state is drawn before the line ends: 1 MB in 10 ms is 100 MB/s.
        EXPECT_EQ(drawnLines(drawn.str()).back(), "checking     0%  100.0 MB/s  10:00:00 left  Outlook.pst");
    }
    const std::string bytes = drawn.str();
    EXPECT_EQ(bytes.find('\n'), bytes.size() - 1) << "one line, ended once at the finish";
    EXPECT_EQ(drawnLines(bytes).size(), 5u);

    // A job that ends without Finished (an exception) still leaves the cursor on a fresh line.
    std::ostringstream cut;
    {
        ProgressLine line(cut, pty.slave(), [&] { return now; });
        line.phaseStarted(JobPhase::Extracting);
    }
    EXPECT_EQ(cut.str(), "\rextracting\x1b[K\n");
}

TEST(ProgressLine, FitsTheTerminalWidthWhateverTheFileName) {
    const std::string longPath =
        "drive_c/users/me/AppData/Local/Microsoft/Outlook/" + std::string(120, 'x') + "/Outlook.pst";
    struct Case {
        unsigned short columns; // 0: the terminal does not say; 80 is assumed
        std::string file;
        std::string expected;
    };
    const Case cases[] = {
        {40, longPath, "extracting  50%  ..." + std::string(7, 'x') + "/Outlook.pst"}, // 39 columns
        {0, longPath, "extracting  50%  ..." + std::string(47, 'x') + "/Outlook.pst"}, // 79 columns
        // Control characters cannot move the cursor, a line break cannot break the line.
        {60, "a\x1b]0;owned\x07\nb.pst", "extracting  50%  a\\x1B]0;owned\\x07 b.pst"},
        // Wide characters count twice, never cut in the middle.
        {28, "\xe4\xbd\xa0\xe5\xa5\xbd\xe4\xb8\x96\xe7\x95\x8c.pst", "extracting  50%  ...\xe7\x95\x8c.pst"},
        // Too narrow for any of the name: the figures only, cut to the width.
        {12, longPath, "extracting "},
    };
    for (const Case& c : cases) {
        Pty pty(c.columns);
        ASSERT_TRUE(pty.ok());
        Time now{};
        std::ostringstream drawn;
        ProgressLine line(drawn, pty.slave(), [&] { return now; });
        line.progress(at(JobPhase::Extracting, 5, 10, c.file));
        EXPECT_EQ(drawnLines(drawn.str()).back(), c.expected) << c.columns;
    }
}

TEST(ProgressLine, WritesNothingWhenNotATerminal) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    for (int fd : {fds[1], -1}) {
        Time now{};
        std::ostringstream drawn;
        {
            ProgressLine line(drawn, fd, [&] { return now; });
            EXPECT_FALSE(line.active());
            line.phaseStarted(JobPhase::Writing);
            now += 1s;
            line.progress(at(JobPhase::Writing, 1, 2, "Outlook.pst"));
            line.status("Copying Signatures...");
            line.phaseStarted(JobPhase::Finished);
        }
        EXPECT_EQ(drawn.str(), "") << fd;
    }
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(JsonEvents, EscapesEveryStringIntoValidJson) {
    const std::pair<std::string, std::string> table[] = {
        {"Outlook.pst", "\"Outlook.pst\""},
        {"say \"hi\" C:\\Users", "\"say \\\"hi\\\" C:\\\\Users\""},
        {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
        {std::string("\x00\x01\x1b\x1f\x7f", 5), "\"\\u0000\\u0001\\u001b\\u001f\\u007f\""},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x93\xa7\""},
        {"Windows-1252 caf\xe9!", "\"Windows-1252 caf\\ufffd!\""},
        {"cut \xc3", "\"cut \\ufffd\""},
        {"overlong \xc0\xaf", "\"overlong \\ufffd\\ufffd\""},
        {"surrogate \xed\xa0\x80", "\"surrogate \\ufffd\\ufffd\\ufffd\""},
        {"beyond \xf4\x90\x80\x80", "\"beyond \\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"", "\"\""},
    };
    for (const auto& [text, json] : table) {
        EXPECT_EQ(jsonString(text), json);
    }

    std::ostringstream out;
    JsonEvents events(out);
    events.phaseStarted(JobPhase::Writing);
    events.progress(at(JobPhase::Writing, 1048576, 5242880, "Outlook\".pst"));
    events.status("Copying Signatures...");
    events.logLine("12:00\tBackup Signatures\tSucceeded!");
    JsonSummary summary;
    summary.command = "backup";
    summary.result = "incomplete";
    summary.file = "/b/\xff.qob";
    summary.message = "The Backup is Incomplete!\r\n";
    summary.items = {{"Backup Personal Folders", true, "", ""},
                     {"Backup Templates", false, "no folder", ""},
                     {"Restore Templates", false, "not held", "not in the backup"}};
    summary.problems = {"not stored: Outlook.pst"};
    summary.exitCode = 1;
    out << formatSummary(summary) << "\n";
    EXPECT_EQ(
        out.str(),
        "{\"event\":\"phase\",\"phase\":\"writing\"}\n"
        "{\"event\":\"progress\",\"phase\":\"writing\",\"done\":1048576,\"total\":5242880,"
        "\"file\":\"Outlook\\\".pst\"}\n"
        "{\"event\":\"status\",\"text\":\"Copying Signatures...\"}\n"
        "{\"event\":\"log\",\"line\":\"12:00\\tBackup Signatures\\tSucceeded!\"}\n"
        "{\"event\":\"summary\",\"command\":\"backup\",\"result\":\"incomplete\",\"file\":\"/b/\\ufffd.qob\","
        "\"exit\":1,\"message\":\"The Backup is Incomplete!\\r\\n\",\"items\":["
        "{\"name\":\"Backup Personal Folders\",\"result\":\"succeeded\",\"ok\":true,\"reason\":\"\"},"
        "{\"name\":\"Backup Templates\",\"result\":\"failed\",\"ok\":false,\"reason\":\"no folder\"},"
        "{\"name\":\"Restore Templates\",\"result\":\"not in the backup\",\"ok\":false,\"reason\":\"not "
        "held\"}],"
        "\"problems\":[\"not stored: Outlook.pst\"]}\n");
}

// Reports the output mode the command was given, as backup and restore choose it.
int probeCommand(const Args& args, std::ostream& out, std::ostream& err) {
    (void)err;
    const char* names[] = {"progress", "quiet", "json"};
    out << names[static_cast<int>(outputMode(args))] << " " << args.positional.size();
    return 0;
}
CommandRegistration probe({"output-probe", "output-probe (tests only)", {"--items"}, probeCommand});

TEST(OutputMode, JsonBeforeQuietBeforeTheProgressLineGlobalOrPerCommand) {
    const std::pair<std::vector<std::string>, std::string> table[] = {
        {{"output-probe"}, "progress 0"},
        {{"--quiet", "output-probe"}, "quiet 0"},
        {{"output-probe", "--quiet"}, "quiet 0"},
        {{"--json", "output-probe", "--items", "1", "x"}, "json 1"},
        {{"--prefix", "/p", "--quiet", "--json", "output-probe"}, "json 0"},
        {{"--json", "output-probe", "--quiet"}, "json 0"},
    };
    for (const auto& [argv, expected] : table) {
        std::ostringstream out, err;
        EXPECT_EQ(runCli(argv, out, err), 0) << err.str();
        EXPECT_EQ(out.str(), expected) << argv[0];
    }
    // Quiet reports nothing; the progress line on a stream that is no terminal draws nothing.
    for (OutputMode mode : {OutputMode::Quiet, OutputMode::Progress}) {
        std::ostringstream out, err;
        {
            auto observer = makeObserver(mode, Args{}, out, err);
            observer->phaseStarted(JobPhase::Writing);
            observer->progress(at(JobPhase::Writing, 1, 2, "f"));
            observer->phaseStarted(JobPhase::Finished);
        }
        EXPECT_EQ(out.str() + err.str(), "");
    }
}

// What a backup or restore command does with its job's events, its summary and its errors.
TEST(JobCommand, EachOutputModeShowsTheRunItsOwnWay) {
    Pty pty(80);
    ASSERT_TRUE(pty.ok());
    Time now{};
    const auto job = [&](const Args&, std::ostream& out, std::ostream& err, JobObserver& observer,
                         const StopToken&) {
        observer.phaseStarted(JobPhase::Writing);
        now += 1s;
        observer.progress(at(JobPhase::Writing, 5'000'000, 10'000'000, "Outlook.pst"));
        err << "qob: a warning\n";
        now += 1s;
        observer.progress(at(JobPhase::Writing, 10'000'000, 10'000'000, "Outlook.pst"));
        observer.phaseStarted(JobPhase::Finished);
        out << "The Backup was Completed!\n";
        return 0;
    };
    struct Case {
        std::vector<std::string> flags;
        int errFd;
        std::string out, err;
    };
    const Case cases[] = {
        // Piped or run by cron: exactly the words of today.
        {{}, -1, "The Backup was Completed!\n", "qob: a warning\n"},
        // On a terminal: a message shown during the run starts on a line of its own, below it the
        // line goes on.
        {{},
         pty.slave(),
         "The Backup was Completed!\n",
         "\rwriting   \x1b[K\rwriting     50%  5.0 MB/s  0:01 left  Outlook.pst\x1b[K\nqob: a warning\n"
         "\rwriting    100%  5.0 MB/s  Outlook.pst\x1b[K\n"},
        {{"--quiet"}, pty.slave(), "", "qob: a warning\n"},
        {{"--json", "--quiet"},
         pty.slave(),
         "{\"event\":\"phase\",\"phase\":\"writing\"}\n"
         "{\"event\":\"progress\",\"phase\":\"writing\",\"done\":5000000,\"total\":10000000,\"file\":"
         "\"Outlook.pst\"}\n"
         "{\"event\":\"progress\",\"phase\":\"writing\",\"done\":10000000,\"total\":10000000,\"file\":"
         "\"Outlook.pst\"}\n"
         "{\"event\":\"phase\",\"phase\":\"finished\"}\n"
         "{\"event\":\"summary\",\"command\":\"backup\",\"result\":\"completed\",\"file\":\"out.qob\","
         "\"exit\":0,"
         "\"message\":\"The Backup was Completed!\\n\",\"items\":[],\"problems\":[]}\n",
         "qob: a warning\n"},
    };
    for (const Case& c : cases) {
        Args args;
        args.positional = {"out.qob"};
        for (const std::string& flag : c.flags) {
            args.options[flag] = "";
        }
        args.console = Console{c.errFd, [&] { return now; }};
        std::ostringstream out, err;
        EXPECT_EQ(runJobCommand("backup", args, out, err, job), 0);
        EXPECT_EQ(out.str(), c.out) << c.errFd;
        EXPECT_EQ(err.str(), c.err) << c.errFd;
    }
}

TEST(JobCommand, CtrlCStopsTheJobAndTheCommandExitsWith130) {
    // The job sees the stop at its next check and ends cancelled; a job that had already finished
    // whole keeps its success.
    for (const int jobCode : {1, 0}) {
        bool sawStop = false;
        const auto job = [&](const Args&, std::ostream&, std::ostream&, JobObserver&, const StopToken& stop) {
            std::raise(SIGINT);
            sawStop = stop.stopRequested();
            return jobCode;
        };
        Args args;
        args.options["--json"] = "";
        std::ostringstream out, err;
        EXPECT_EQ(runJobCommand("restore", args, out, err, job), jobCode == 0 ? 0 : 130);
        EXPECT_TRUE(sawStop);
        EXPECT_NE(out.str().find(jobCode == 0 ? "\"result\":\"completed\""
                                              : "\"result\":\"cancelled\",\"file\":\"\","
                                                "\"exit\":130"),
                  std::string::npos)
            << out.str();
    }
}

int outsideHandlerCalls = 0;
extern "C" void countOutside(int) {
    ++outsideHandlerCalls;
}

TEST(InterruptScope, CtrlCAsksTheJobToStopAndTheOldHandlerComesBack) {
    struct sigaction outside {
    }, saved{};
    outside.sa_handler = countOutside;
    sigemptyset(&outside.sa_mask);
    ASSERT_EQ(sigaction(SIGINT, &outside, &saved), 0);
    {
        StopToken token;
        InterruptScope scope(token);
        EXPECT_EQ(scope.signal(), 0);
        {
            StopToken inner;
            InterruptScope innerScope(inner);
            std::raise(SIGTERM);
            EXPECT_TRUE(inner.stopRequested());
            EXPECT_EQ(innerScope.exitCode(), 143);
        }
        EXPECT_FALSE(token.stopRequested()) << "the inner command's signal was its own";
        std::raise(SIGINT);
        EXPECT_TRUE(token.stopRequested());
        EXPECT_EQ(scope.signal(), SIGINT);
        EXPECT_EQ(scope.exitCode(), 130);
        EXPECT_EQ(outsideHandlerCalls, 0);
    }
    std::raise(SIGINT);
    EXPECT_EQ(outsideHandlerCalls, 1) << "the handler from before the command is back";
    struct sigaction term {};
    sigaction(SIGTERM, nullptr, &term);
    EXPECT_EQ(term.sa_handler, SIG_DFL);
    sigaction(SIGINT, &saved, nullptr);
}

} // namespace
} // namespace qob::cli

namespace qob::cli {
namespace {

TEST(QobBackup, ShowsAProgressLineOnATerminalAndPrintsTodaysWordsWhenPiped) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.path() / "home");
    setenv("QUIRE_HOME", (dir.path() / "home").c_str(), 1);
    const std::string prefix = (dir.path() / "pfx").string();
    std::ostringstream out, err;
    ASSERT_EQ(runCli({"demo-prefix", prefix}, out, err), 0) << err.str();
    Pty pty(100);
    ASSERT_TRUE(pty.ok());
    std::string outs[2], errs[2];
    for (int fd : {-1, pty.slave()}) {
        const int i = fd < 0 ? 0 : 1;
        std::ostringstream o, e;
        EXPECT_EQ(runCli({"--prefix", prefix, "backup", "--profile", "Outlook", "--items", "100000000",
                          (dir.path() / "b.qob").string()},
                         o, e, Console{fd}),
                  0)
            << e.str();
        outs[i] = o.str();
        errs[i] = e.str();
    }
    EXPECT_EQ(outs[0], outs[1]);
    EXPECT_EQ(errs[0], "");
    EXPECT_NE(errs[1].find("\rwriting"), std::string::npos) << errs[1];
    EXPECT_NE(errs[1].find("\rchecking"), std::string::npos) << errs[1];
    EXPECT_TRUE(!errs[1].empty() && errs[1].back() == '\n') << "the line is ended";
    std::ostringstream quiet, quietErr;
    EXPECT_EQ(runCli({"--prefix", prefix, "--quiet", "backup", "--profile", "Outlook", "--items", "100000000",
                      (dir.path() / "q.qob").string()},
                     quiet, quietErr, Console{pty.slave()}),
              0);
    EXPECT_EQ(quiet.str() + quietErr.str(), "");
    unsetenv("QUIRE_HOME");
}

} // namespace
} // namespace qob::cli
