#pragma once
// The weekly task as one line of the user's crontab, read and written only through `crontab -l`
// and `crontab -` (the spool files are cron's own). The line carries a trailing comment with the
// task's name so it is found again; every other line of the crontab stays byte for byte.
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"

#include <optional>
#include <string>
#include <vector>

namespace qob {

// The comment that marks the program's line.
inline constexpr char kCronMarker[] = " # Quire Outlook AutoBackup";

// The crontab line for `task`: "M H * * DAYS NAME='value' … 'program' 'arguments'" and the marker.
// Values are single-quoted for sh, with "%" (a line break to cron) written as an escaped "\%"
// outside the quotes. Refuses what a crontab line cannot hold (a line break, NUL) or what would
// start something else (a program path that is not absolute, a variable name sh does not take).
Status cronLine(const ScheduledTask& task, std::string& line);
// The task a line written by cronLine holds; nullopt for any other line.
std::optional<ScheduledTask> parseCronLine(const std::string& line);
// A line of the crontab that is the program's (it ends with the marker and is not a comment).
bool isTaskLine(const std::string& line);
// `crontab` with every task line taken out and `line` (when given) added at the end; every
// other line as it was.
std::string replaceTaskLine(const std::string& crontab, const std::optional<std::string>& line);

class CrontabScheduler : public Scheduler {
public:
    // `user`: the crontab of that user (`crontab -u`, for root only); none: the caller's own.
    explicit CrontabScheduler(ProcessRunner& runner, std::optional<std::string> user = std::nullopt)
        : runner_(runner), user_(std::move(user)) {}

    Status registerTask(const ScheduledTask& task) override;
    Status readTask(std::optional<ScheduledTask>& task) override;
    Status removeTask() override;

private:
    Status readCrontab(std::string& text);
    Status writeCrontab(const std::string& text);
    std::vector<std::string> command(const std::string& last) const;

    ProcessRunner& runner_;
    std::optional<std::string> user_;
};

} // namespace qob
