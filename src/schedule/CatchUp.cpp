#include "schedule/CatchUp.h"

#include "platform/Environment.h"
#include "schedule/WeeklyBackup.h"
#include "settings/ProgramFolder.h"

#include <ctime>
#include <ostream>

namespace qob {

using Clock = std::chrono::system_clock;

Clock::time_point lastDueTime(const ScheduledTask& task, Clock::time_point now) {
    const std::time_t t = Clock::to_time_t(now);
    std::tm today{};
    localtime_r(&t, &today);
    // Eight days back always reach a due day of a weekly task.
    for (int back = 0; back <= 7; ++back) {
        std::tm day = today;
        day.tm_mday -= back;
        day.tm_hour = task.hour;
        day.tm_min = task.minute;
        day.tm_sec = 0;
        day.tm_isdst = -1;
        const std::time_t due = std::mktime(&day); // also normalises tm_wday
        const std::size_t monday0 = static_cast<std::size_t>((day.tm_wday + 6) % 7);
        if (due <= t && (task.everyDay() || task.days[monday0])) {
            return Clock::from_time_t(due);
        }
    }
    return Clock::from_time_t(t);
}

bool catchUpDue(const ScheduledTask& task, const AutoRunState& state, Clock::time_point now) {
    std::optional<Clock::time_point> since = state.lastRun;
    if (state.registered && (!since || *state.registered > *since)) {
        since = state.registered;
    }
    // Nothing recorded: a run is made rather than a week without a backup.
    return !since || *since < lastDueTime(task, now);
}

int catchUp(Scheduler& scheduler, ProcessRunner& runner, Clock::time_point now, std::ostream& err) {
    std::optional<ScheduledTask> task;
    if (Status read = scheduler.readTask(task); !read) {
        err << "quiremail: " << read.message << "\n";
        return 1;
    }
    if (!task) {
        return 0;
    }
    std::filesystem::path programFolder;
    auto home = task->environment.find(kProgramFolderVariable);
    if (home != task->environment.end()) {
        programFolder = home->second;
    } else if (Status found = resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder);
               !found) {
        err << "quiremail: " << found.message << "\n";
        return 1;
    }
    if (!catchUpDue(*task, readAutoRunState(programFolder), now)) {
        return 0;
    }
    ProcessResult r = scheduler.runNow(runner, *task);
    err << r.out << r.err;
    if (!r.started) {
        err << "quiremail: the missed weekly backup could not be started: " << r.error << "\n";
        return 1;
    }
    return r.exitCode < 0 ? 1 : r.exitCode;
}

} // namespace qob
