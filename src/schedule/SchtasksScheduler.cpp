#include "schedule/SchtasksScheduler.h"

#include "platform/AsciiCase.h"
#include "schedule/SchtasksCommands.h"
#include "schedule/SchtasksTaskXml.h"

#include <cctype>

namespace qob {

namespace {

bool isAbsoluteWindowsPath(const std::string& path) {
    const bool drive = path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
                       path[1] == ':' && path[2] == '\\';
    return drive || path.rfind("\\\\", 0) == 0;
}

// The task scheduler puts an environment variable's value in place of "%NAME%" in the action, and
// offers no way to escape it; which names are defined is only known when the task runs.
bool holdsVariableReference(const std::string& text) {
    const std::size_t open = text.find('%');
    if (open == std::string::npos) {
        return false;
    }
    const std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) {
        return false;
    }
    return close > open + 1 || holdsVariableReference(text.substr(close));
}

std::string trimmed(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    return first == std::string::npos ? "" : text.substr(first);
}

} // namespace

Status schtasksCreateCommandFor(const ScheduledTask& task, std::string& command) {
    const std::string ending = std::string("\\") + kWindowsRunProgram;
    const std::string& program = task.program;
    if (!isAbsoluteWindowsPath(program) || program.size() <= ending.size() ||
        lowerAscii(program.substr(program.size() - ending.size())) != ending ||
        program.find('"') != std::string::npos) {
        return Status::failure("The weekly task starts " + std::string(kWindowsRunProgram) +
                               " by its full path, not \"" + program + "\".");
    }
    if (task.hour < 0 || task.hour > 23 || task.minute < 0 || task.minute > 59) {
        return Status::failure("The start time is not a time of day.");
    }
    if (task.arguments.find_first_of(std::string("\"\r\n\0", 4)) != std::string::npos) {
        return Status::failure("The profile and the backup file cannot hold a double quote (\") "
                               "or a line break: the Windows task scheduler cannot carry them.");
    }
    if (holdsVariableReference(program) || holdsVariableReference(task.arguments)) {
        return Status::failure("The program folder, the profile and the backup file cannot hold a name "
                               "between two percent signs (%...%): the Windows task scheduler would put "
                               "an environment variable's value in its place.");
    }
    if (!task.arguments.empty() && task.arguments.back() == '\\') {
        return Status::failure("The backup file name cannot end with a backslash (\\).");
    }
    StartTime start{task.hour, task.minute};
    command = schtasksCreateCommand(schtasksDayList(task.days), startTimeText(start),
                                    program.substr(0, program.size() - ending.size()), task.arguments);
    return Status::success();
}

SchtasksScheduler::Outcome SchtasksScheduler::run(const std::string& command) {
    ProcessResult r = runner_.runCommandLine(schtasks_, command, "");
    if (!r.started) {
        return {false, "The Windows task scheduler cannot be reached: " + r.error};
    }
    const std::string out = schtasksOutputText(r.out, codePage_);
    const std::string err = schtasksOutputText(r.err, codePage_);
    if (r.exitCode != 0) {
        const std::string said = trimmed(err.empty() ? out : err);
        return {false, said.empty() ? "schtasks ended with exit code " + std::to_string(r.exitCode) : said};
    }
    return {true, out};
}

std::optional<bool> SchtasksScheduler::taskExists(std::string& why) {
    Outcome listed = run(schtasksListCommand());
    if (!listed.ok) {
        why = listed.text;
        return std::nullopt;
    }
    // Tasks of the root folder are listed as "\Name"; task names do not tell case apart.
    const std::string name = lowerAscii(std::string("\"\\") + kScheduledTaskName + "\"");
    return lowerAscii(listed.text).find(name) != std::string::npos;
}

Status SchtasksScheduler::registerTask(const ScheduledTask& task) {
    std::string create;
    if (Status made = schtasksCreateCommandFor(task, create); !made) {
        return made;
    }
    // Ending fails when no instance runs, which is the usual case: its answer is not a refusal.
    (void)run(schtasksEndCommand());
    if (Outcome removed = run(schtasksDeleteCommand()); !removed.ok) {
        // A task that is not there needs no removing; one that stays would make /create ask
        // whether to replace it, a question no one answers here.
        std::string why;
        const std::optional<bool> exists = taskExists(why);
        if (!exists || *exists) {
            return Status::failure("The earlier task could not be removed: " + removed.text);
        }
    }
    if (Outcome created = run(create); !created.ok) {
        return Status::failure(created.text);
    }
    return Status::success();
}

Status SchtasksScheduler::readTask(std::optional<ScheduledTask>& task) {
    task.reset();
    Outcome queried = run(schtasksQueryCommand());
    if (!queried.ok) {
        // The tool says "not found" in the language of Windows; the list of tasks does not depend on it.
        std::string why;
        const std::optional<bool> exists = taskExists(why);
        if (exists && !*exists) {
            return Status::success();
        }
        return Status::failure("The Windows task scheduler did not show the task: " + queried.text);
    }
    task = parseTaskXml(queried.text);
    if (!task) {
        return Status::failure("The Windows task scheduler holds a task \"" +
                               std::string(kScheduledTaskName) +
                               "\" that this program cannot read: " + trimmed(queried.text));
    }
    return Status::success();
}

Status SchtasksScheduler::removeTask() {
    (void)run(schtasksEndCommand());
    Outcome removed = run(schtasksDeleteCommand());
    if (removed.ok) {
        return Status::success();
    }
    std::string why;
    const std::optional<bool> exists = taskExists(why);
    if (exists && !*exists) {
        return Status::success();
    }
    return Status::failure(removed.text);
}

ProcessResult SchtasksScheduler::runNow(ProcessRunner& runner, const ScheduledTask& task) {
    return runner.runCommandLine(task.program, "\"" + task.program + "\"" + task.arguments, "");
}

} // namespace qob
