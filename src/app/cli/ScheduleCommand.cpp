// qob schedule add|show|remove: the schedule window from the command line. The task goes to the
// system's scheduler (the user's crontab; on Windows the task scheduler) and starts quiremail
// (beside qob) on the target system qob works on.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "backup/BackupTarget.h"
#include "forms/AutomaticBackup.h"
#include "forms/MainForm.h"
#include "platform/AsciiCase.h"
#include "platform/Environment.h"
#include "platform/ExecutablePath.h"
#include "schedule/SchtasksCommands.h"
#include "schedule/WeeklyBackup.h"
#include "settings/AutoBackupSettings.h"
#include "settings/ProgramFolder.h"

#include <algorithm>
#include <ostream>
#include <sstream>

namespace qob::cli {
namespace {

namespace fs = std::filesystem;

// "Mon,Fri" (names of three letters, any case), or "daily".
std::optional<std::array<bool, 7>> parseDays(const std::string& text) {
    static const char* const names[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    std::array<bool, 7> days{};
    if (lowerAscii(text) == "daily" || text == "*") {
        return days;
    }
    std::istringstream list(text);
    std::string day;
    bool any = false;
    while (std::getline(list, day, ',')) {
        auto it = std::find(std::begin(names), std::end(names), lowerAscii(day));
        if (it == std::end(names)) {
            return std::nullopt;
        }
        days[static_cast<std::size_t>(it - std::begin(names))] = any = true;
    }
    return any ? std::optional(days) : std::nullopt;
}

// What `show` adds to the task's line: the prefix its runs back up and the files they write, in
// the mode the runs will read from the settings.
std::string describeRuns(const WeeklyBackup& backup) {
    std::filesystem::path programFolder = backup.programFolder;
    if (programFolder.empty()) {
        (void)resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder);
    }
    const bool newFile = autoBackupToNewFile(programFolder);
    AutoCommandLine line;
    line.profile = backup.profile;
    line.flags = backup.items;
    line.backupFile = backup.backupFile;
    const auto now = std::chrono::system_clock::now();
    std::string file = autoBackupTarget(line, newFile, now);
    // The run's own stamp, written as its pattern.
    const std::string sample = newFileTarget("", now); // "-<stamp>.qob"
    const std::string stamp = sample.substr(1, sample.size() - 5);
    const bool stamped = file != backup.backupFile;
    if (const std::size_t at = file.rfind(stamp); stamped && at != std::string::npos) {
        file.replace(at, stamp.size(), "MM-DD-YYYY-HH-MM");
    }
    return Target::describeRunTarget(backup.targetSystem) + "\n" +
           (stamped ? "Each run writes a new file: " + file + " (the run's month, day, year, hour and minute)"
                    : "Each run replaces: " + file);
}

int runSchedule(const Args& args, std::ostream& out, std::ostream& err) {
    const std::string usage = "usage: qob schedule add --profile P --items 111111111 --days Mon,Fri --time "
                              "9:00 [--password-file F] "
                              "FILE.qob\n       qob schedule show\n       qob schedule remove\n";
    const std::string action = args.positional.empty() ? "" : args.positional[0];
    if (action != "add" && action != "show" && action != "remove") {
        err << usage;
        return 2;
    }
    PosixProcessRunner runner;
    const std::unique_ptr<Scheduler> systemScheduler = Target::scheduler(runner);
    Scheduler& scheduler = *systemScheduler;
    fs::path programFolder;
    if (Status found = resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder); !found) {
        err << "qob: " << found.message << "\n";
        return 1;
    }
    if (action == "show") {
        std::optional<WeeklyBackup> backup;
        if (Status read = readWeeklyBackup(scheduler, backup, programFolder); !read) {
            err << "qob: " << read.message << "\n";
            return 1;
        }
        out << (backup ? describeWeeklyBackup(*backup) + "\n" + describeRuns(*backup)
                       : "No backup is scheduled.")
            << "\n";
        return 0;
    }
    std::error_code ec;
    // quiremail beside qob, with qob's own ending (quiremail.exe beside qob.exe).
    const fs::path qob = runningExecutable(ec);
    const fs::path quiremail = qob.parent_path() / ("quiremail" + qob.extension().string());
    const std::unique_ptr<StartupEntry> entry = Target::catchUpEntry(quiremail);
    if (action == "remove") {
        // Only the task, the password file and the autostart entry change: the prefix the task
        // was made for may be gone, and removing the task must still work.
        ScheduleContext context{scheduler, programFolder, quiremail,
                                {},        entry.get(),   std::chrono::system_clock::now()};
        if (Status removed = unscheduleWeeklyBackup(context); !removed) {
            err << "qob: " << removed.message << "\n";
            return 1;
        }
        out << "Task " << kScheduledTaskName << " has been Delete.\n";
        return 0;
    }

    if (args.positional.size() != 2 || !args.has("--profile") || !args.has("--items") ||
        !args.has("--days") || !args.has("--time")) {
        err << usage;
        return 2;
    }
    WeeklyBackup backup;
    backup.profile = args.get("--profile");
    std::optional<std::string> items = itemBoxes(args.get("--items"), err);
    if (!items) {
        return 2;
    }
    // The task keeps the nine flags, whichever way they were given.
    backup.items = *items;
    backup.backupFile = fs::absolute(args.positional[1], ec).string();
    {
        // A run into a folder that is not there fails every week without a word at the terminal.
        const fs::path file(backup.backupFile);
        const fs::path folder = file.has_filename() ? file.parent_path() : file;
        if (!fs::is_directory(folder, ec)) {
            err << "qob: the backup folder " << folder.string() << " does not exist\n";
            return 2;
        }
    }
    if (backup.items == "000000000") {
        err << "qob: Please select at least one item.\n";
        return 2;
    }
    auto days = parseDays(args.get("--days"));
    auto time = parseStartTime(args.get("--time"));
    if (!days || !time) {
        err << "qob: --days takes day names joined by \",\" (Mon,Fri) or daily; --time hours and minutes "
               "(9:00)\n";
        return 2;
    }
    backup.days = *days;
    backup.hour = time->hour;
    backup.minute = time->minute;
    if (args.has("--password-file") || args.has("--password")) {
        std::string error;
        backup.password = readPassword(args, error, PasswordUse::New);
        if (!error.empty() || !backup.password || backup.password->empty()) {
            err << "qob: " << (error.empty() ? "the password file holds no password" : error) << "\n";
            return 2;
        }
    }
    if (auto refusal = refuseWeeklyBackup(backup)) {
        err << "qob: " << *refusal << "\n";
        return 2;
    }
    StderrDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    ScheduleContext context{scheduler,   target->platform().programFolder, quiremail, target->prefix(),
                            entry.get(), std::chrono::system_clock::now()};
    MainForm form(target->platform());
    if (!loadFormOrReport(form, *target, err)) {
        return 1;
    }
    const auto& profiles = form.cbSource.items;
    if (std::find(profiles.begin(), profiles.end(), backup.profile) == profiles.end()) {
        err << "qob: no mail profile named \"" << backup.profile << "\" (qob profiles lists them)\n";
        return 1;
    }
    {
        // The file the runs would write (as `show` describes it), checked as each run checks it: a
        // file the run refuses to write over is said now, not in a log after a week of failed runs.
        AutoCommandLine line;
        line.profile = backup.profile;
        line.flags = backup.items;
        line.backupFile = backup.backupFile;
        const bool newFile = autoBackupToNewFile(target->platform().programFolder);
        const std::string file = autoBackupTarget(line, newFile, std::chrono::system_clock::now());
        if (const std::string refused = backupTargetRefusal(target->platform(), file); !refused.empty()) {
            err << "qob: " << refused << "\n";
            return 2;
        }
    }
    if (!fs::exists(quiremail, ec)) {
        err << "qob: the task starts " << quiremail.string() << ", which is not there\n";
        return 1;
    }
    if (Status registered = scheduleWeeklyBackup(context, backup); !registered) {
        err << "qob: Task " << kScheduledTaskName << " was not scheduled: " << registered.message << "\n";
        return 1;
    }
    backup.targetSystem = target->prefix().string();
    backup.programFolder = target->platform().programFolder.string();
    out << "Task " << kScheduledTaskName << " has been scheduled.\n"
        << describeWeeklyBackup(backup) << "\n"
        << describeRuns(backup) << "\n";
    return 0;
}

// Each action is a command of its own, so that each has its own options and help.
Command scheduleAction(const std::string& action, const std::string& usage,
                       std::vector<std::string> valueOptions, std::vector<std::string> arguments,
                       std::vector<std::string> required, std::vector<std::string> flags = {}) {
    return {.name = "schedule " + action,
            .usage = usage,
            .valueOptions = std::move(valueOptions),
            .run =
                [action](const Args& args, std::ostream& out, std::ostream& err) {
                    Args withAction = args;
                    withAction.positional.insert(withAction.positional.begin(), action);
                    return runSchedule(withAction, out, err);
                },
            .flags = std::move(flags),
            .arguments = std::move(arguments),
            .required = std::move(required)};
}

const CommandRegistration addCommand{
    scheduleAction("add",
                   "schedule add --profile P --items ITEMS --days Mon,Fri --time 9:00 [--password | "
                   "--password-file F] FILE.qob   back up weekly (" +
                       std::string(Target::kTaskPlace) + ")",
                   {"--profile", "--items", "--days", "--time", "--password-file"}, {"FILE.qob"},
                   {"--profile", "--items", "--days", "--time"}, {"--password"})};
const CommandRegistration showCommand{
    scheduleAction("show", "schedule show            the weekly backup, if one is scheduled", {}, {}, {})};
const CommandRegistration removeCommand{
    scheduleAction("remove", "schedule remove          stop the weekly backup", {}, {}, {})};

} // namespace
} // namespace qob::cli
