#pragma once
// The weekly task in the Windows task scheduler, made, read and removed through its command-line
// tool schtasks.exe with the command texts of SchtasksCommands.h, each given whole to the tool, its
// exit code and output read. A Windows task sets no variables: the program folder and the password
// file are found by the run itself (WeeklyBackup.h).
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"

#include <cstdint>
#include <string>

namespace qob {

// The program a Windows task starts: the automatic run, beside qob.exe.
inline constexpr char kWindowsRunProgram[] = "quiremail.exe";

// The /create command text for `task`, or a failure saying why the task cannot travel in it:
// the program must be quiremail.exe by its absolute Windows path, and the arguments cannot hold a
// double quote, a line break or a final backslash, each of which would end the quoted action
// early and hand the rest of the text to schtasks as options of its own.
Status schtasksCreateCommandFor(const ScheduledTask& task, std::string& command);

class SchtasksScheduler : public Scheduler {
public:
    // `schtasks`: the tool by its full path (System32's), so that no schtasks.exe of the current
    // folder or the PATH is started in its place. `codePage`: what the tool writes its output in
    // when that is neither UTF-16 nor UTF-8 (the console's code page).
    SchtasksScheduler(ProcessRunner& runner, std::string schtasks, std::uint32_t codePage)
        : runner_(runner), schtasks_(std::move(schtasks)), codePage_(codePage) {}

    // Ends a running instance, removes the task and creates it anew, as always done. A refusal of
    // the new task after the old one was removed says so.
    Status registerTask(const ScheduledTask& task) override;
    Status readTask(std::optional<ScheduledTask>& task) override;
    Status removeTask() override;
    bool setsVariables() const override { return false; }
    // The program and its arguments as one command line, as the scheduler starts the action.
    ProcessResult runNow(ProcessRunner& runner, const ScheduledTask& task) override;

private:
    struct Outcome {
        bool ok = false;
        std::string text; // what the tool printed (or why it could not be started), as UTF-8
    };
    Outcome run(const std::string& command);
    // Whether the scheduler lists the task; nullopt (with `why`) when it cannot be asked.
    std::optional<bool> taskExists(std::string& why);

    ProcessRunner& runner_;
    std::string schtasks_;
    std::uint32_t codePage_;
};

} // namespace qob
