#pragma once
// The real target system (a Wine prefix) and the program folder, built once by an entry point and
// handed down as a TargetContext (the Platform and the one Registry on its store). Shared by the
// qob commands and by quiremail's start-up, so it is header-only: quiremail does not link the
// command objects.
#ifdef _WIN32
#include "app/cli/Win32Target.h"
#else
#include "app/cli/TargetOpening.h"
#include "platform/Environment.h"
#include "platform/ProcessRunner.h"
#include "platform/XdgAutostart.h"
#include "platform/wine/PrefixChoice.h"
#include "platform/wine/WinePrefix.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineSystemServices.h"
#include "platform/wine/WineTargetFileSystem.h"
#include "registry/TargetContext.h"
#include "schedule/CatchUpAutostart.h"
#include "schedule/CrontabScheduler.h"
#include "settings/TargetSystemSetting.h"
#include "settings/TempFiles.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#endif

namespace qob {
class MainForm;
}

namespace qob::cli {

struct Args;

#ifndef _WIN32
// Owns every object the TargetContext refers to; keep it alive (and in place) while it is used.
class Target {
public:
    // prefixOption: the --prefix value when given. Without it the policy decides between
    // $WINEPREFIX, the target system remembered in settings.dat and ~/.wine (see PrefixChoice.h).
    // Returns nullptr and says why in `error` when there is no usable prefix or program folder.
    // A remembered choice that was passed over is told in note() (or in `error` on failure).
    // completeRestore false: a restore left unfinished is not touched (for undoing it).
    static std::unique_ptr<Target> open(const std::optional<std::string>& prefixOption, Dialogs& dialogs,
                                        std::string& error,
                                        PrefixPolicy policy = PrefixPolicy::CommandLineTool,
                                        bool completeRestore = true) {
        return openTargetSystem<Target>(
            error, completeRestore, [&](const std::filesystem::path& programFolder) {
                const PrefixChoice choice =
                    choosePrefix({prefixOption, environment("WINEPREFIX"), environment("HOME"),
                                  readTargetSystemChoice(programFolder)},
                                 policy);
                const std::string notePrefix = choice.note.empty() ? "" : choice.note + " ";
                if (choice.prefix.empty()) {
                    error = notePrefix +
                            "No Wine prefix: give --prefix DIR or set WINEPREFIX (HOME is not set either).";
                    return std::unique_ptr<Target>();
                }
                Status valid = checkWinePrefix(choice.prefix);
                if (!valid) {
                    error = notePrefix + (valid.message.empty()
                                              ? choice.prefix.string() + " is not a Wine prefix."
                                              : valid.message);
                    return std::unique_ptr<Target>();
                }
                auto target = std::unique_ptr<Target>(new Target(choice.prefix, programFolder, dialogs));
                target->note_ = choice.note;
                return target;
            });
    }

    // The automatic run's target system. The weekly task's line sets WINEPREFIX to the prefix it
    // was registered for, and that prefix is the one backed up, even when the window has been
    // pointed at another since; a run started by hand without WINEPREFIX takes the remembered
    // choice, as the window does.
    static std::unique_ptr<Target> openForAutomaticRun(Dialogs& dialogs, std::string& error) {
        return open(std::nullopt, dialogs, error, PrefixPolicy::CommandLineTool);
    }

    // The weekly task lives in the user's crontab.
    static std::unique_ptr<Scheduler> scheduler(ProcessRunner& runner) {
        return std::make_unique<CrontabScheduler>(runner);
    }
    // The session-start entry that makes up missed weekly runs of `quiremail`.
    static std::unique_ptr<StartupEntry> catchUpEntry(const std::filesystem::path& quiremail) {
        return std::make_unique<CatchUpAutostart>(
            XdgAutostart::defaultFolder(environment("XDG_CONFIG_HOME"), environment("HOME")), quiremail);
    }
    // Where the weekly task is kept, for the help of `qob schedule add`.
    static constexpr const char* kTaskPlace = "in the user's crontab";
    // The line of `qob schedule` that says which system the runs back up: the prefix the task sets.
    static std::string describeRunTarget(const std::string& taskTarget) {
        return "Wine prefix: " + (taskTarget.empty() ? std::string("(not set by the task)") : taskTarget);
    }

    TargetContext& platform() { return *platform_; }
    const std::filesystem::path& prefix() const { return prefix_; }
    WinePrefixRegistry& store() { return *store_; }
    // The remembered prefix that was passed over because it is gone, in words; "" when none was.
    const std::string& note() const { return note_; }

    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

private:
    Target(const std::filesystem::path& prefix, const std::filesystem::path& programFolder, Dialogs& dialogs)
        : scratchOwner_(std::make_unique<ScratchFilesOwner>(programFolder)), prefix_(prefix),
          store_(std::make_unique<WinePrefixRegistry>(prefix)),
          registry_(std::make_unique<Registry>(*store_, dialogs, "Quire Outlook Backup")),
          files_(std::make_unique<WineTargetFileSystem>(prefix)),
          system_(std::make_unique<WineSystemServices>(prefix, *store_)),
          platform_(std::make_unique<TargetContext>(
              TargetContext{{*store_, *files_, *system_, dialogs, programFolder, prefix}, *registry_})) {}

    // Marks this process's scratch files as a live run's; clears those of killed runs.
    std::unique_ptr<ScratchFilesOwner> scratchOwner_;
    std::filesystem::path prefix_;
    std::string note_;
    std::unique_ptr<WinePrefixRegistry> store_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<WineTargetFileSystem> files_;
    std::unique_ptr<WineSystemServices> system_;
    std::unique_ptr<TargetContext> platform_;
};

#endif

// The same for a qob command: --prefix from the parsed arguments.
std::unique_ptr<Target> openTarget(const Args& args, Dialogs& dialogs, std::string& error);
// openTarget for a command that cannot go on without it: the reason goes to `err`.
std::unique_ptr<Target> openTargetOrReport(const Args& args, Dialogs& dialogs, std::ostream& err);
// Loads the target system's mail profiles into `form`, as the window does at its start; false when
// it cannot, with the reason on `err` when the prefix holds no Outlook profile at all.
bool loadFormOrReport(MainForm& form, const Target& target, std::ostream& err);

} // namespace qob::cli
