#pragma once
// The operating system's task scheduler, as far as the program uses it: one weekly task of its
// own, registered (replacing the one before), read back and removed. Errors carry the
// scheduler's own words, so the user learns why it refused.
#include "platform/ProcessRunner.h"
#include "platform/Status.h"

#include <array>
#include <map>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kScheduledTaskName[] = "Quire Outlook AutoBackup";

struct ScheduledTask {
    // Monday … Sunday; none ticked means every day of the week.
    std::array<bool, 7> days{};
    int hour = 9;
    int minute = 0;
    std::string program;   // absolute path of the program the task starts
    std::string arguments; // passed as one argument, exactly as given
    // Variables set for the program's run (the target system, the program folder, ...).
    std::map<std::string, std::string> environment;

    // No day or all seven ticked.
    bool everyDay() const {
        int ticked = 0;
        for (bool day : days) {
            ticked += day ? 1 : 0;
        }
        return ticked == 0 || ticked == 7;
    }
    bool operator==(const ScheduledTask&) const = default;
};

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Registers the task, replacing the program's earlier one.
    virtual Status registerTask(const ScheduledTask& task) = 0;
    // The program's task as the scheduler holds it now; nullopt in `task` when there is none.
    virtual Status readTask(std::optional<ScheduledTask>& task) = 0;
    // Removes the task; removing a task that does not exist is no error.
    virtual Status removeTask() = 0;
    // Whether the task sets `environment` for its run. A Windows task cannot: its run starts with
    // the user's own environment and finds what the variables would say by itself.
    virtual bool setsVariables() const { return true; }
    // Starts the task's program now as the scheduler starts it, and waits for it (a missed run
    // made up at the session's start).
    virtual ProcessResult runNow(ProcessRunner& runner, const ScheduledTask& task) {
        return runner.run({task.program, task.arguments}, "", task.environment);
    }
};

} // namespace qob
