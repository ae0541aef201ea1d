#pragma once
// `quiremail --catch-up`, started by the session's autostart entry: when a time of the weekly
// task has passed since the last automatic run (the machine was off then), the registered task
// runs once now, headless, exactly as the scheduler would have started it.
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"
#include "schedule/AutoRunState.h"

#include <chrono>
#include <iosfwd>

namespace qob {

// The latest time at or before `now` (local time) at which the task was due.
std::chrono::system_clock::time_point lastDueTime(const ScheduledTask& task,
                                                  std::chrono::system_clock::time_point now);
// A due time has passed since the last run (or, with none recorded, since the registration).
bool catchUpDue(const ScheduledTask& task, const AutoRunState& state,
                std::chrono::system_clock::time_point now);

// Reads the task; runs it through `runner` when one was missed. The exit code of the run, or 0
// when nothing was due; messages go to `err`.
int catchUp(Scheduler& scheduler, ProcessRunner& runner, std::chrono::system_clock::time_point now,
            std::ostream& err);

} // namespace qob
