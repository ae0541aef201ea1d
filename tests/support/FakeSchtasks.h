#pragma once
// A process runner that stands in for schtasks.exe: it records each command line given whole and
// answers from a script, one answer per command text (the first whose text begins with the key),
// so a test says what the scheduler prints and how it exits.
#include "platform/ProcessRunner.h"

#include <string>
#include <utility>
#include <vector>

namespace qob::test {

class FakeSchtasks : public ProcessRunner {
public:
    struct Call {
        std::string program;
        std::string commandLine;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;
    // (beginning of the command text, answer); commands without an answer exit 0 and print nothing.
    std::vector<std::pair<std::string, ProcessResult>> answers;

    static ProcessResult exits(int code, std::string out = "", std::string err = "") {
        return {true, code, std::move(out), std::move(err), ""};
    }
    void answer(std::string beginning, ProcessResult result) {
        answers.emplace_back(std::move(beginning), std::move(result));
    }
    std::vector<std::string> commandLines() const {
        std::vector<std::string> lines;
        for (const Call& c : calls) {
            lines.push_back(c.commandLine);
        }
        return lines;
    }

    ProcessResult run(const std::vector<std::string>& argv, const std::string&,
                      const std::map<std::string, std::string>&) override {
        std::string line;
        for (const std::string& a : argv) {
            line += (line.empty() ? "" : " ") + a;
        }
        return runCommandLine("", line, "");
    }
    ProcessResult runCommandLine(const std::string& program, const std::string& commandLine,
                                 const std::string&) override {
        calls.push_back({program, commandLine});
        for (const auto& [beginning, result] : answers) {
            if (commandLine.rfind(beginning, 0) == 0) {
                return result;
            }
        }
        return exits(0);
    }
};

} // namespace qob::test
