// quiremail: the program. With a command line it runs the automatic backup and quits; the window
// for interactive use is not part of this build yet.
#include "app/cli/Target.h"
#include "forms/AutomaticBackup.h"
#include "forms/MainForm.h"

#include <iostream>

int main(int argc, char** argv) {
    // The scheduled task passes its text as one argument; joined, several arguments read the same.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    if (argc < 2) {
        std::cerr << "quiremail: the main window is not built yet; give the automatic backup's command line "
                     "(\" sf=<profile>xm=<items>ps=<password>bf=<file>\")\n";
        return 2;
    }
    try {
        // Cron starts us without a display: nothing may be shown.
        qob::SilentDialogs dialogs;
        std::string error;
        // Cron starts us without WINEPREFIX: the prefix picked in the window comes first.
        auto target = qob::cli::Target::open(std::nullopt, dialogs, error, qob::PrefixPolicy::Program);
        if (!target) {
            std::cerr << "quiremail: " << error << "\n";
            return 1;
        }
        if (!target->note().empty()) {
            std::cerr << "quiremail: note: " << target->note() << "\n";
        }
        qob::MainForm form(target->platform());
        form.state().commandLine = commandLine;
        form.formLoad();
        qob::AutoBackupResult result = qob::runAutoBackup(form, commandLine);
        if (!result.ran || !result.succeeded) {
            std::cerr << "quiremail: automatic backup " << (result.ran ? "failed: " : "not run: ")
                      << result.reason << "\n";
        } else if (!result.complete) {
            std::cerr << "quiremail: automatic backup incomplete: " << result.file << "\n";
            if (!result.reason.empty()) {
                std::cerr << "quiremail: " << result.reason << "\n";
            }
        }
        for (const std::string& item : result.failedItems) {
            std::cerr << "quiremail: " << item << " Fail!\n";
        }
        for (const std::string& missing : result.notStored) {
            std::cerr << "quiremail: not stored: " << missing << "\n";
        }
        // The scheduler shows the exit code as the task's last result: only a whole backup is 0.
        return result.ran && result.complete ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "quiremail: " << e.what() << "\n";
    }
    return 1;
}
