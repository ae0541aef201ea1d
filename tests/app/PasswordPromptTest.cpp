// --password: typed at the terminal without echo, twice for a new backup and once to open one;
// refused with the reason when the two differ, when it is empty or longer than the window's prompt
// takes, or when there is no terminal to ask at.
#include "app/cli/PasswordPrompt.h"
#include "DemoCli.h"

#include <gtest/gtest.h>

#include <deque>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace qob {
namespace {

namespace fs = std::filesystem;

// Answers the prompts in turn from `typed`, and keeps the prompts it was shown; out of answers it
// says that no one can type (as at the end of input).
struct TypedAnswers {
    std::deque<std::string> typed;
    std::vector<std::string> prompts;
    cli::Console console() {
        cli::Console console;
        console.readSecret = [this](const std::string& prompt) -> std::optional<std::string> {
            prompts.push_back(prompt);
            if (typed.empty()) {
                return std::nullopt;
            }
            std::string answer = typed.front();
            typed.pop_front();
            return answer;
        };
        return console;
    }
};

struct Case {
    std::vector<std::string> argv; // after "--prefix P"; "OUT" stands for the backup file
    std::vector<std::string> typed;
    int code;
    std::string said;                 // on stderr, or on stdout for exit 0
    std::vector<std::string> prompts; // the prompts shown, in order
};

TEST(PasswordPrompt, AskedTwiceForANewBackupOnceToOpenOneAndRefusedWithTheReason) {
    test::DemoCli cli;
    const std::string out = (cli.dir / "p.qob").string();
    const std::string other = (cli.dir / "other.qob").string();
    const std::string file = (cli.dir / "pw.txt").string();
    std::ofstream(file) << "secret\n";
    const std::string longest = "abcdefghijklmnopqrst"; // 20 characters: the most the prompt takes
    const std::vector<std::string> twice = {"New password: ", "Repeat the password: "};
    const std::vector<std::string> once = {"Password: "};
    const std::vector<std::string> backup = {"backup",  "--profile", "Outlook",
                                             "--items", "data",      "--password"};
    auto with = [](std::vector<std::string> argv, std::vector<std::string> more) {
        argv.insert(argv.end(), more.begin(), more.end());
        return argv;
    };
    const Case cases[] = {
        // Refusals first: none of them writes a backup.
        {with(backup, {other}), {"secret", "secreT"}, 2, "the two passwords differ", twice},
        {with(backup, {other}), {longest + "u"}, 2, "longer than 20 characters", {"New password: "}},
        {with(backup, {other}), {""}, 2, "the password is empty", {"New password: "}},
        {with(backup, {other}), {}, 2, "--password asks at the terminal", {"New password: "}},
        {with(backup, {"--password-file", file, other}), {}, 2, "not both", {}},
        // Made with a typed password, opened with it, and refused with another.
        {with(backup, {out}), {"secret", "secret"}, 0, "", twice},
        {{"info", "--password", out}, {"secret"}, 0, "Items: data", once},
        {{"verify", "--password", out}, {"secret"}, 0, "all good", once},
        {{"info", "--password", out}, {"Secret"}, 1, "wrong password", once},
        {{"info", out}, {}, 1, "give --password, --password-file F or set QOB_PASSWORD", {}},
        {{"info", "--password-file", file, out}, {}, 0, "Items: data", {}},
        // The longest password the window takes is taken here too.
        {with(backup, {other}), {longest, longest}, 0, "", twice},
        {{"restore", out, "--profile", "Second", "--items", "data", "--password"}, {"secret"}, 0, "", once},
        {{"schedule", "add", "--profile", "Outlook", "--items", "data", "--days", "Mon", "--time", "9:00",
          "--password", out},
         {"a", "b"},
         2,
         "the two passwords differ",
         twice},
    };
    for (const Case& c : cases) {
        TypedAnswers answers{{c.typed.begin(), c.typed.end()}, {}};
        std::vector<std::string> argv = {"--prefix", cli.prefix.string()};
        argv.insert(argv.end(), c.argv.begin(), c.argv.end());
        const bool makesOther = c.argv.back() == other && c.code != 0;
        cli.out.str("");
        cli.err.str("");
        const std::string what = c.argv[0] + " typed " + std::to_string(c.typed.size());
        EXPECT_EQ(cli::runCli(argv, cli.out, cli.err, answers.console()), c.code) << what << "\n"
                                                                                  << cli.err.str();
        EXPECT_NE((c.code == 0 ? cli.out : cli.err).str().find(c.said), std::string::npos)
            << what << "\n"
            << cli.out.str() << cli.err.str();
        EXPECT_EQ(answers.prompts, c.prompts) << what;
        if (makesOther) {
            EXPECT_FALSE(fs::exists(other)) << what;
        }
    }
}

// The real prompt on a pseudo-terminal that is the controlling terminal of a child process: the
// prompt is shown, what is typed is not echoed, and the echo is back afterwards.
TEST(PasswordPrompt, ReadsFromTheTerminalWithoutEcho) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(master);
        ::close(result[0]);
        ::setsid();
        ::ioctl(slave, TIOCSCTTY, 0);
        const std::optional<std::string> typed = cli::readSecretFromTerminal("Password: ");
        struct termios after;
        ::tcgetattr(slave, &after);
        const std::string answer =
            (typed ? "got:" + *typed : std::string("none")) + ((after.c_lflag & ECHO) ? "|echo" : "|quiet");
        (void)!::write(result[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(slave);
    ::close(result[1]);
    // Typed once the prompt is there, so that it is read with the echo off.
    std::string shown;
    char buffer[256];
    while (shown.find("Password: ") == std::string::npos) {
        pollfd p{master, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 10000), 0) << "no prompt: " << shown;
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        ASSERT_GT(got, 0);
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    ASSERT_EQ(::write(master, "hunter2\n", 8), 8);
    std::string answer;
    for (ssize_t got; (got = ::read(result[0], buffer, sizeof buffer)) > 0;) {
        answer.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    pollfd p{master, POLLIN, 0};
    while (::poll(&p, 1, 100) > 0) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        shown.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(master);
    ::close(result[0]);
    EXPECT_EQ(answer, "got:hunter2|echo");
    EXPECT_EQ(shown.find("hunter2"), std::string::npos) << shown;
}

} // namespace
} // namespace qob
