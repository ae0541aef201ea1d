#pragma once
// The real target system on Windows: the running Windows itself (its registry through advapi32,
// its files by their own paths), built once by an entry point and handed down as a TargetContext. The
// Windows counterpart of the Wine prefix Target in Target.h, with the same members.
#include "app/cli/TargetOpening.h"
#include "platform/Environment.h"
#include "platform/ProcessRunner.h"
#include "platform/StartupEntry.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32RegistryStore.h"
#include "platform/win32/Win32StartupEntry.h"
#include "platform/win32/Win32SystemServices.h"
#include "platform/win32/Win32TargetFileSystem.h"
#include "platform/wine/PrefixChoice.h"
#include "registry/TargetContext.h"
#include "schedule/CatchUpAutostart.h"
#include "schedule/SchtasksScheduler.h"
#include "settings/TempFiles.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace qob::cli {

class Target {
public:
    static std::unique_ptr<Target> open(const std::optional<std::string>& prefixOption, Dialogs& dialogs,
                                        std::string& error, PrefixPolicy = PrefixPolicy::CommandLineTool,
                                        bool completeRestore = true) {
        if (prefixOption) {
            error = "--prefix names a Wine prefix; on Windows the target system is this Windows itself.";
            return nullptr;
        }
        return openTargetSystem<Target>(
            error, completeRestore, [&](const std::filesystem::path& programFolder) {
                // What one run leaves for the next on this Windows (the run lock, a restore's journal)
                // lives in the user's own program data, whichever program folder a run uses.
                const std::string localAppData = Win32SystemServices::localAppData();
                if (localAppData.empty()) {
                    error = "The folder for this user's program data (%LOCALAPPDATA%) is not known.";
                    return std::unique_ptr<Target>();
                }
                const std::filesystem::path systemFolder =
                    std::filesystem::path(win32::widen(localAppData)) / L"Quire Outlook Backup";
                std::error_code ec;
                std::filesystem::create_directories(systemFolder, ec);
                if (ec) {
                    error = "Cannot create " + win32::narrow(systemFolder.wstring()) + ": " + ec.message();
                    return std::unique_ptr<Target>();
                }
                return std::unique_ptr<Target>(new Target(systemFolder, programFolder, dialogs));
            });
    }

    // The automatic run backs up this Windows, as every run does.
    static std::unique_ptr<Target> openForAutomaticRun(Dialogs& dialogs, std::string& error) {
        return open(std::nullopt, dialogs, error);
    }

    // The weekly task lives in the Windows task scheduler, reached through System32's schtasks.exe.
    static std::unique_ptr<Scheduler> scheduler(ProcessRunner& runner) {
        return std::make_unique<SchtasksScheduler>(runner, Win32SystemServices::systemProgram("schtasks.exe"),
                                                   Win32SystemServices::consoleCodePage());
    }
    // The logon entry (a Run value) that makes up missed weekly runs of `quiremail`.
    static std::unique_ptr<StartupEntry> catchUpEntry(const std::filesystem::path& quiremail) {
        return std::make_unique<Win32StartupEntry>(
            kCatchUpRunValueName, L"\"" + quiremail.wstring() + L"\" " + win32::widen(kCatchUpOption));
    }
    // Where the weekly task is kept, for the help of `qob schedule add`.
    static constexpr const char* kTaskPlace = "in the Windows task scheduler";
    // The line of `qob schedule` that says which system the runs back up: a Windows task backs up
    // the Windows it runs on, as the user who registered it.
    static std::string describeRunTarget(const std::string&) {
        return "Target system: this Windows, the Outlook profiles of the user the task runs as";
    }

    TargetContext& platform() { return *platform_; }
    // The folder of this user's state on the target system (the counterpart of a Wine prefix).
    const std::filesystem::path& prefix() const { return systemFolder_; }
    Win32RegistryStore& store() { return *store_; }
    const std::string& note() const { return note_; }

    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

private:
    Target(const std::filesystem::path& systemFolder, const std::filesystem::path& programFolder,
           Dialogs& dialogs)
        : scratchOwner_(std::make_unique<ScratchFilesOwner>(programFolder)), systemFolder_(systemFolder),
          store_(std::make_unique<Win32RegistryStore>()),
          registry_(std::make_unique<Registry>(*store_, dialogs, "Quire Outlook Backup")),
          files_(std::make_unique<Win32TargetFileSystem>()),
          system_(std::make_unique<Win32SystemServices>(systemFolder)),
          platform_(std::make_unique<TargetContext>(TargetContext{
              {*store_, *files_, *system_, dialogs, programFolder, systemFolder}, *registry_})) {}

    std::unique_ptr<ScratchFilesOwner> scratchOwner_;
    std::filesystem::path systemFolder_;
    std::string note_;
    std::unique_ptr<Win32RegistryStore> store_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<Win32TargetFileSystem> files_;
    std::unique_ptr<Win32SystemServices> system_;
    std::unique_ptr<TargetContext> platform_;
};

} // namespace qob::cli
