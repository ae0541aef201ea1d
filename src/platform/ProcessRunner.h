#pragma once
// Runs a program, feeds it a text on its standard input, waits for it and hands back what it
// printed and how it ended: what the scheduler backends need of `crontab` and `schtasks`, and
// what the catch-up needs to start the registered task. Tests put a scripted fake in its place.
#include <map>
#include <string>
#include <vector>

namespace qob {

struct ProcessResult {
    bool started = false; // false: the program could not be run at all (`error` says why)
    int exitCode = -1;    // the exit status; -1 when it was ended by a signal
    std::string out;
    std::string err;
    std::string error;
};

class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    // argv[0] is looked up in PATH when it holds no "/". `environment` is added to (or replaces
    // in) the caller's environment for the child.
    virtual ProcessResult run(const std::vector<std::string>& argv, const std::string& input,
                              const std::map<std::string, std::string>& environment = {}) = 0;
    // Starts `program` (its full path) with `commandLine` handed over whole, as Windows passes a
    // command line: for texts that must reach the program exactly as written, quotes and double
    // blanks included (the task scheduler's commands, a task's own action). Only Windows has
    // command lines; elsewhere the program is not started and `error` says so.
    virtual ProcessResult runCommandLine(const std::string& program, const std::string& commandLine,
                                         const std::string& input) {
        (void)program;
        (void)commandLine;
        (void)input;
        ProcessResult result;
        result.error = "a command line can be passed whole only on Windows";
        return result;
    }
};

// fork/exec with pipes; the child's output is read while its input is written, so neither side
// blocks on a full pipe.
class PosixProcessRunner : public ProcessRunner {
public:
    ProcessResult run(const std::vector<std::string>& argv, const std::string& input,
                      const std::map<std::string, std::string>& environment = {}) override;
#ifdef _WIN32
    ProcessResult runCommandLine(const std::string& program, const std::string& commandLine,
                                 const std::string& input) override;
#endif
};

} // namespace qob
