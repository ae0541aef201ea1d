#pragma once
// The weekly backup as the schedule window and `qob schedule` register it: the choices, the task
// that carries them (the automatic run's argument text, the target system and the program folder,
// the password in a file of its own), registration step by step, and reading it back.
#include "platform/Scheduler.h"
#include "platform/StartupEntry.h"
#include "schedule/AutoCommandLine.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace qob {

// Variables the task sets for the automatic run.
inline constexpr char kTargetSystemVariable[] = "WINEPREFIX";
inline constexpr char kProgramFolderVariable[] = "QUIRE_HOME";

struct WeeklyBackup {
    std::array<bool, 7> days{}; // Monday … Sunday; none: every day
    int hour = 9;
    int minute = 0;
    std::string profile;
    std::string items; // nine "0"/"1", one per item box
    // Set: the backups are protected with it. Read back, it is never known: see passwordInFile.
    std::optional<std::string> password;
    std::string backupFile;
    bool passwordInFile = false; // read back: the task reads its password from a file
    // Read back: the Wine prefix the task's line sets (the one its runs back up) and the program
    // folder whose settings the runs read; "" when the line sets none.
    std::string targetSystem;
    std::string programFolder;
};

// Why these choices cannot travel in the argument text (a value holding "=" would shift the
// fields the automatic run reads by position; a line break ends the task's line), or nullopt.
std::optional<std::string> refuseWeeklyBackup(const WeeklyBackup& backup);

struct ScheduleContext {
    Scheduler& scheduler;
    std::filesystem::path programFolder; // QUIRE_HOME of the run, home of the password file
    std::filesystem::path program;       // quiremail, by its absolute path
    std::filesystem::path targetSystem;  // the Wine prefix the run backs up (WINEPREFIX)
    StartupEntry* catchUp = nullptr;     // the session-start entry for missed runs
    std::chrono::system_clock::time_point now;
};

// Registers the task (replacing the one before): the password file first, then the scheduler,
// then the catch-up entry and the registration time. When the scheduler refuses, the new password
// file is removed and the earlier one stays with the earlier task, if the scheduler kept it; the
// message is the scheduler's. A scheduler that sets no variables gets none (see PasswordFile.h).
Status scheduleWeeklyBackup(const ScheduleContext& context, const WeeklyBackup& backup);
// Removes the task, its password file and the catch-up entry.
Status unscheduleWeeklyBackup(const ScheduleContext& context);
// The registered task's choices; nullopt when none is registered. `programFolder`: where a task
// that sets no variables keeps its password file (to tell whether its backups are protected).
Status readWeeklyBackup(Scheduler& scheduler, std::optional<WeeklyBackup>& backup,
                        const std::filesystem::path& programFolder = {});
// One line for people: "Mon,Fri at 9:00, profile Outlook, items 110000000, to /b/q.qob".
std::string describeWeeklyBackup(const WeeklyBackup& backup);

} // namespace qob
