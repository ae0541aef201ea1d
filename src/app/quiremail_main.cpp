// quiremail: the program. With a command line it runs the automatic backup and quits (the weekly
// task starts it so, without a display); with none, or with options of our own (they begin with
// "--"), the main window.
#include "app/cli/Target.h"
#include "forms/AboutForm.h"
#include "forms/AutomaticBackup.h"
#include "forms/FailedRunNotice.h"
#include "forms/MainForm.h"
#include "platform/Environment.h"
#include "schedule/CatchUp.h"
#include "schedule/CatchUpAutostart.h"
#include "schedule/PasswordFile.h"
#include "settings/ProgramFolder.h"

#include <cstdlib>
#include <iostream>

#ifdef QOB_WITH_GUI
#include "app/WindowRun.h"
#elif defined(QOB_WITH_WIN32GUI)
#include "app/Win32WindowRun.h"

#include <windows.h>
#endif
#ifdef _WIN32
#include "platform/win32/WideText.h"
#include "schedule/AutoCommandLine.h"

#include <windows.h>
#endif

namespace {

// The window needs a display; without one Qt would abort with a message about plugins.
bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

constexpr const char* kUsage =
    "usage: quiremail [--open FILE.qob]\n"
    "       quiremail \" sf=<profile>xm=<9 flags>ps=<password>bf=<file>\"\n"
    "       quiremail --catch-up | --help | --version\n"
    "\n"
#ifdef _WIN32
    "Backs up and restores the user data of Outlook of this Windows user (the target system).\n"
    "Without arguments it opens the main window; --open FILE.qob opens it on the restore tab with\n"
    "that backup (what a double-click of a .qob does). With the automatic backup's command line\n"
    "(the weekly task's; it never begins with --) it backs up without a window and quits.\n"
    "--catch-up makes up a weekly backup the computer was off for (started at logon).\n"
    "The command-line tool is qob.exe (qob.exe --help).\n"
#else
    "Backs up and restores the user data of Outlook run under Wine (a Wine prefix, the target\n"
    "system). Without arguments it opens the main window; --open FILE.qob opens it on the restore\n"
    "tab with that backup. With the automatic backup's command line (the weekly task's; it never\n"
    "begins with --) it backs up without a window and quits. --catch-up makes up a weekly backup\n"
    "the computer was off for (the session's autostart runs it).\n"
    "The command-line tool is qob (qob --help); man quiremail tells more.\n"
#endif
    "Exit codes: 0 done whole, 1 failed or partly failed, 2 wrong command line.\n";

int runInteractive(int argc, char** argv) {
    std::optional<std::string> openFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Answered before anything else: neither needs a display or a target system.
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "quiremail (Quire Outlook Backup) " << qob::productVersion() << "\n";
            return 0;
        }
        if (arg == "--open") {
            // The desktop passes the file; started without one, the plain window opens.
            if (i + 1 < argc) {
                openFile = argv[++i];
            }
        } else {
            std::cerr << "quiremail: unknown option " << arg
                      << " (options: --open FILE.qob, --catch-up, --help, --version; the automatic backup's "
                         "command line does not begin with --)\n";
            return 2;
        }
    }
#ifdef QOB_WITH_GUI
    if (!displayAvailable()) {
        std::cerr << "quiremail: no display (DISPLAY or WAYLAND_DISPLAY is not set); the window cannot open. "
                     "The command-line tool qob works without one.\n";
        return 2;
    }
    return qob::runWindows(argc, argv, qob::WindowRunOptions{openFile});
#elif defined(QOB_WITH_WIN32GUI)
    (void)displayAvailable;
    // Started from the Start menu or Explorer, Windows gave this console program a console of its
    // own: the window does not need it. One shared with a Command Prompt stays.
    DWORD attached[2];
    if (GetConsoleProcessList(attached, 2) == 1) {
        FreeConsole();
    }
    return qob::runWin32Windows(qob::WindowRunOptions{openFile});
#else
    (void)displayAvailable;
    std::cerr << "quiremail: this build has no windows (built with QOB_BUILD_GUI=OFF); give the automatic "
                 "backup's command line (\" sf=<profile>xm=<items>ps=<password>bf=<file>\") or use qob\n";
    return 2;
#endif
}

// Keeps how the run ended for the window's next start and, when the user's desktop session can
// show it, announces a failure at once: cron shows nothing of a run.
void reportRun(std::filesystem::path programFolder, const qob::AutoBackupResult& result) {
    if (programFolder.empty() &&
        !qob::resolveProgramFolder(qob::ProgramFolderSources::fromEnvironment(), programFolder)) {
        return;
    }
    qob::PosixProcessRunner runner;
    qob::FreedesktopNotifier notifier(runner);
    const bool notify = qob::sessionBusAvailable(qob::environment("DBUS_SESSION_BUS_ADDRESS"));
    if (qob::Status reported = qob::reportAutomaticRun(programFolder, result, notify ? &notifier : nullptr);
        !reported) {
        std::cerr << "quiremail: note: " << reported.message << "\n";
    }
}

qob::AutoBackupResult notRun(const std::string& why) {
    qob::AutoBackupResult result;
    result.reason = why;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    // The scheduled task passes its text as one argument; joined, several arguments read the same.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);
    }
#ifdef _WIN32
    // The task scheduler hands over the action's text as it was registered: read as written.
    commandLine = qob::argumentsOfCommandLine(qob::win32::narrow(GetCommandLineW()));
#endif
    // Started at the session's start: makes up a weekly backup the machine was off for.
    if (argc == 2 && std::string(argv[1]) == qob::kCatchUpOption) {
        qob::PosixProcessRunner runner;
        const auto scheduler = qob::cli::Target::scheduler(runner);
        return qob::catchUp(*scheduler, runner, std::chrono::system_clock::now(), std::cerr);
    }
    // The automatic run's text never begins with "--": anything that does is ours (and -h).
    if (argc < 2 || std::string(argv[1]).rfind("--", 0) == 0 || std::string(argv[1]) == "-h") {
        return runInteractive(argc, argv);
    }
    try {
        // Cron starts us without a display: nothing may be shown.
        qob::SilentDialogs dialogs;
        std::string error;
        auto target = qob::cli::Target::openForAutomaticRun(dialogs, error);
        if (!target) {
            std::cerr << "quiremail: " << error << "\n";
            reportRun({}, notRun(error));
            return 1;
        }
        if (!target->note().empty()) {
            std::cerr << "quiremail: note: " << target->note() << "\n";
        }
        qob::MainForm form(target->platform());
        form.state().commandLine = commandLine;
        form.formLoad();
        // The password file the task names, or the one a Windows task (which names none) keeps in
        // the program folder.
        qob::AutoRunOptions options;
        if (auto file = qob::runPasswordFile(qob::environment(qob::kPasswordFileVariable),
                                             target->platform().programFolder)) {
            options.passwordFile = file->string();
        }
        qob::AutoBackupResult result = qob::runAutoBackup(form, commandLine, options);
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
        reportRun(target->platform().programFolder, result);
        // The scheduler shows the exit code as the task's last result: only a whole backup is 0.
        return result.ran && result.complete ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "quiremail: " << e.what() << "\n";
        reportRun({}, notRun(e.what()));
    }
    return 1;
}
