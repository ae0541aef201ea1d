#pragma once
// The command-line tool's plumbing: arguments, the target system it works on, and the table of
// commands. Each command lives in a file of its own and registers itself in commandTable().
#include "app/cli/PasswordPrompt.h"
#include "platform/Dialogs.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qob::cli {

// What a command may learn about where its output goes, beyond the streams: a progress line is
// drawn only when the descriptor behind the error stream is a terminal.
struct Console {
    int errFd = -1; // -1: not a descriptor (a test's string stream)
    std::function<std::chrono::steady_clock::time_point()> clock = std::chrono::steady_clock::now;
    // Reads one line typed without echo after showing the prompt (--password); nullopt when no one
    // can type it. Empty: the controlling terminal (readSecretFromTerminal).
    std::function<std::optional<std::string>(const std::string& prompt)> readSecret = {};
};

struct CommandReport;

// Parsed command line: positional arguments and --name value / --flag options.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options; // "--prefix" -> "DIR"; flags map to ""
    Console console;
    // Set by --json's runner: a job command fills it with its items and result.
    CommandReport* report = nullptr;
    bool has(const std::string& name) const { return options.count(name) != 0; }
    std::string get(const std::string& name, const std::string& fallback = "") const;
};

// Options that take a value; every other --name is a flag.
Args parseArgs(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions);

// Messages go to stderr; questions get the safe answer (no person is there to ask).
class StderrDialogs : public SilentDialogs {
public:
    explicit StderrDialogs(std::ostream& err) : err_(err) {}
    MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                      const std::string& title) override;

private:
    std::ostream& err_;
};

// The password of a protected backup: typed at the terminal (--password; twice for a new backup),
// else --password-file F (first line), else $QOB_PASSWORD. Never an argument: command lines are
// visible to every user of the machine. nullopt without `error` when none is given.
std::optional<std::string> readPassword(const Args& args, std::string& error,
                                        PasswordUse use = PasswordUse::Existing);

// The nine 0/1 flags of --items, given as flags or by name; nullopt after saying why on `err`.
std::optional<std::string> itemBoxes(const std::string& items, std::ostream& err);

// A run's summary for a terminal: its tab layout reads oddly there, and "\r" has no place in it.
std::string forTerminal(const std::string& text);

struct Command {
    std::string name;  // "reg export", "backup" ...
    std::string usage; // the synopsis after "qob ", then what the command does, for the command list
    std::vector<std::string> valueOptions;
    std::function<int(const Args&, std::ostream& out, std::ostream& err)> run;
    // Options without a value; --quiet, --json and --help hold for every command.
    std::vector<std::string> flags = {};
    // The operands in order: "FILE" one, "[FILE]" one or none, "FILES..." one or more, "[FILES...]"
    // any number.
    std::vector<std::string> arguments = {"[ARGS...]"};
    // Options the command cannot run without.
    std::vector<std::string> required = {};
};

std::vector<Command>& commandTable();

// Registers a command at static-initialisation time of its file.
struct CommandRegistration {
    explicit CommandRegistration(Command command) { commandTable().push_back(std::move(command)); }
};

// --prefix DIR, --quiet and --json may stand before the command words as well as after them.
// Returns the command's exit code (ExitCodes.h); a wrong command line is told on `err` and gives 2.
int runCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err,
           const Console& console = {});

} // namespace qob::cli
