#pragma once
// A scheduler that holds its one task in memory and can be made to refuse, as cron or the
// Windows scheduler would, with its own words.
#include "platform/Scheduler.h"

#include <optional>

namespace qob::test {

class FakeScheduler : public Scheduler {
public:
    std::optional<ScheduledTask> task;
    Status refusal; // failed: every call answers with it
    int registrations = 0;
    bool variables = true; // false: a Windows task, which sets no variables for its run
    bool setsVariables() const override { return variables; }

    Status registerTask(const ScheduledTask& t) override {
        if (!refusal) {
            return refusal;
        }
        ++registrations;
        task = t;
        return Status::success();
    }
    Status readTask(std::optional<ScheduledTask>& t) override {
        t = task;
        return Status::success();
    }
    Status removeTask() override {
        if (!refusal) {
            return refusal;
        }
        task.reset();
        return Status::success();
    }
};

} // namespace qob::test
