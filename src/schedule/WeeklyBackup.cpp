#include "schedule/WeeklyBackup.h"

#include "schedule/AutoRunState.h"
#include "schedule/PasswordFile.h"
#include "schedule/SchtasksCommands.h"
#include "settings/PasswordRule.h"

namespace qob {

namespace fs = std::filesystem;

namespace {

bool hasLineBreak(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// The password file the registered task names, if any.
std::optional<fs::path> registeredPasswordFile(Scheduler& scheduler) {
    std::optional<ScheduledTask> task;
    if (!scheduler.readTask(task) || !task) {
        return std::nullopt;
    }
    auto it = task->environment.find(kPasswordFileVariable);
    if (it == task->environment.end()) {
        return std::nullopt;
    }
    return fs::path(it->second);
}

} // namespace

std::optional<std::string> refuseWeeklyBackup(const WeeklyBackup& backup) {
    if (backup.password) {
        if (auto refused = refusePassword(*backup.password)) {
            return refused;
        }
    }
    if (backup.password && backup.password->find('=') != std::string::npos) {
        return "The password cannot contain \"=\": the scheduled backup would read its fields wrongly.";
    }
    if (backup.profile.find('=') != std::string::npos) {
        return "The profile name contains \"=\", which the scheduled backup cannot carry.";
    }
    if (backup.backupFile.find('=') != std::string::npos) {
        return "The backup file name cannot contain \"=\": the scheduled backup would read its fields "
               "wrongly.";
    }
    if (hasLineBreak(backup.profile) || hasLineBreak(backup.backupFile) ||
        (backup.password && hasLineBreak(*backup.password))) {
        return "The profile, the backup file and the password cannot hold a line break.";
    }
    return std::nullopt;
}

namespace {

// A crontab line names the password file in a variable: the new file is written, the task
// registered, and the earlier file removed once the new task no longer names it.
Status registerNamingPasswordFile(const ScheduleContext& context, const WeeklyBackup& backup,
                                  ScheduledTask task) {
    const std::optional<fs::path> earlierPasswordFile = registeredPasswordFile(context.scheduler);
    task.environment[kTargetSystemVariable] = context.targetSystem.string();
    task.environment[kProgramFolderVariable] = context.programFolder.string();
    fs::path passwordFile;
    if (backup.password && !backup.password->empty()) {
        // The password stays off the command line: "ps=" is empty and the run reads the file.
        if (Status written = writePasswordFile(context.programFolder, *backup.password, passwordFile);
            !written) {
            return written;
        }
        task.environment[kPasswordFileVariable] = passwordFile.string();
    }
    if (Status registered = context.scheduler.registerTask(task); !registered) {
        if (!passwordFile.empty()) {
            removePasswordFile(context.programFolder, passwordFile);
        }
        return registered;
    }
    if (earlierPasswordFile && *earlierPasswordFile != passwordFile) {
        removePasswordFile(context.programFolder, *earlierPasswordFile);
    }
    return Status::success();
}

// A Windows task sets no variables: its run finds the program folder itself and the password in
// the one fixed file there. That file changes only once the new task stands, so a refused task
// never leaves the earlier one with another password, and a task without a password never finds
// an earlier one's file (its backups would be protected with a password the user dropped).
Status registerWithFixedPasswordFile(const ScheduleContext& context, const WeeklyBackup& backup,
                                     const ScheduledTask& task) {
    std::optional<fs::path> written;
    if (backup.password && !backup.password->empty()) {
        fs::path file;
        if (Status made = writePasswordFile(context.programFolder, *backup.password, file); !made) {
            return made;
        }
        written = file;
    }
    if (Status registered = context.scheduler.registerTask(task); !registered) {
        if (written) {
            removePasswordFile(context.programFolder, *written);
        }
        // The scheduler may have removed the earlier task before it refused the new one.
        std::optional<ScheduledTask> left;
        if (context.scheduler.readTask(left) && !left) {
            (void)placeTaskPasswordFile(context.programFolder, std::nullopt);
        }
        return registered;
    }
    if (Status placed = placeTaskPasswordFile(context.programFolder, written); !placed) {
        // A task whose run would miss its password or use another one must not stay.
        (void)context.scheduler.removeTask();
        if (written) {
            removePasswordFile(context.programFolder, *written);
        }
        return Status::failure("The task was not kept: " + placed.message);
    }
    return Status::success();
}

} // namespace

Status scheduleWeeklyBackup(const ScheduleContext& context, const WeeklyBackup& backup) {
    if (auto refusal = refuseWeeklyBackup(backup)) {
        return Status::failure(*refusal);
    }
    ScheduledTask task;
    task.days = backup.days;
    task.hour = backup.hour;
    task.minute = backup.minute;
    task.program = context.program.string();
    task.arguments = autoArgumentText(backup.profile, backup.items, "", backup.backupFile);
    if (Status registered = context.scheduler.setsVariables()
                                ? registerNamingPasswordFile(context, backup, task)
                                : registerWithFixedPasswordFile(context, backup, task);
        !registered) {
        return registered;
    }
    // A registration made after this week's time is not a missed run.
    Status recorded = recordRegistration(context.programFolder, context.now);
    Status entry = context.catchUp ? context.catchUp->set(true) : Status::success();
    if (!recorded) {
        return Status::failure("The task was registered, but missed runs will not be made up: " +
                               recorded.message);
    }
    if (!entry) {
        return Status::failure("The task was registered, but missed runs will not be made up: " +
                               entry.message);
    }
    return Status::success();
}

Status unscheduleWeeklyBackup(const ScheduleContext& context) {
    const std::optional<fs::path> passwordFile = registeredPasswordFile(context.scheduler);
    if (Status removed = context.scheduler.removeTask(); !removed) {
        return removed;
    }
    if (passwordFile) {
        removePasswordFile(context.programFolder, *passwordFile);
    }
    if (!context.scheduler.setsVariables()) {
        if (Status gone = placeTaskPasswordFile(context.programFolder, std::nullopt); !gone) {
            return Status::failure("The task was removed, but its password stays: " + gone.message);
        }
    }
    return context.catchUp ? context.catchUp->set(false) : Status::success();
}

Status readWeeklyBackup(Scheduler& scheduler, std::optional<WeeklyBackup>& backup,
                        const fs::path& programFolder) {
    backup.reset();
    std::optional<ScheduledTask> task;
    if (Status read = scheduler.readTask(task); !read) {
        return read;
    }
    if (!task) {
        return Status::success();
    }
    std::optional<AutoCommandLine> line = parseAutoCommandLine(task->arguments);
    if (!line) {
        return Status::failure("The scheduled task does not start a backup this program can read: " +
                               task->arguments);
    }
    WeeklyBackup b;
    b.days = task->days;
    b.hour = task->hour;
    b.minute = task->minute;
    b.profile = line->profile;
    b.items = line->flags;
    b.backupFile = line->backupFile;
    std::error_code ec;
    b.passwordInFile = task->environment.count(kPasswordFileVariable) != 0 ||
                       (!scheduler.setsVariables() && !programFolder.empty() &&
                        fs::exists(taskPasswordFile(programFolder), ec));
    if (auto it = task->environment.find(kTargetSystemVariable); it != task->environment.end()) {
        b.targetSystem = it->second;
    }
    if (auto it = task->environment.find(kProgramFolderVariable); it != task->environment.end()) {
        b.programFolder = it->second;
    }
    if (!line->password.empty()) {
        b.password = line->password;
    }
    backup = b;
    return Status::success();
}

std::string describeWeeklyBackup(const WeeklyBackup& backup) {
    const std::string days = schtasksDayList(backup.days);
    const bool protectedBackup = backup.passwordInFile || backup.password;
    return (days == "*" ? std::string("Every day") : days) + " at " + std::to_string(backup.hour) + ":" +
           (backup.minute < 10 ? "0" : "") + std::to_string(backup.minute) + ", profile " + backup.profile +
           ", items " + backup.items + ", to " + backup.backupFile + (protectedBackup ? " (protected)" : "");
}

} // namespace qob
