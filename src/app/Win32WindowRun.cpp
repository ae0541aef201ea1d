#include "app/Win32WindowRun.h"

#include "app/InterruptedRestorePrompt.h"
#include "app/cli/Target.h"
#include "disc/win32/Win32DiscEngine.h"
#include "forms/AboutForm.h"
#include "forms/FailedRunNotice.h"
#include "forms/MainForm.h"
#include "forms/ScheduleForm.h"
#include "platform/Environment.h"
#include "platform/ProcessRunner.h"
#include "platform/Scheduler.h"
#include "platform/win32/WideText.h"
#include "settings/HelpFile.h"
#include "win32gui/AboutWindow.h"
#include "win32gui/CommandLine.h"
#include "win32gui/DiscWindow.h"
#include "win32gui/MainWindow.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ScheduleWindow.h"
#include "win32gui/SettingsWindow.h"
#include "win32gui/Win32Dialogs.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <fstream>
#include <vector>

namespace qob {

namespace {

// The desktop's own program for a file or folder (the log in the editor, a folder in Explorer).
bool openOnDesktop(const std::filesystem::path& path, int show = SW_SHOWNORMAL) {
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", path.wstring().c_str(), nullptr, nullptr, show);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

// The weekly task's scheduler on this Windows: the task scheduler through schtasks.exe, as qob.exe
// uses it. Its runner keeps no state, so one serves every window.
std::unique_ptr<Scheduler> windowsScheduler() {
    static PosixProcessRunner runner;
    return cli::Target::scheduler(runner);
}

// The running quiremail.exe by its absolute path: what the weekly task starts.
std::filesystem::path thisProgram() {
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::filesystem::path(std::wstring(path.data(), length));
}

// A failed automatic run the user has not been told of: said once, in a box that offers the log.
void tellOfFailedRun(HWND owner, const std::filesystem::path& programFolder, Dialogs& dialogs) {
    const std::optional<FailedRunNotice> notice = unseenFailedRun(programFolder);
    if (!notice) {
        return;
    }
    // Said once: a window closed or killed while the box is up does not say it again.
    markFailedRunSeen(programFolder);
    const std::wstring title = win32::widen(notice->title);
    const std::wstring text = win32::widen(notice->text);
    constexpr int kShowLog = 100;
    const TASKDIALOG_BUTTON buttons[] = {{kShowLog, L"Show Log File"}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = TD_WARNING_ICON;
    config.pszContent = text.c_str();
    config.cButtons = 1;
    config.pButtons = buttons;
    config.nDefaultButton = IDOK;
    int pressed = IDOK;
    if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) {
        // Without the task dialog (an old comctl32): the same text in a plain box.
        dialogs.message(notice->text, MsgIcon::Warning, MsgButtons::Ok, notice->title);
        return;
    }
    const std::filesystem::path log = programFolder / "brlog.dat";
    if (pressed == kShowLog && !openOnDesktop(log)) {
        dialogs.message(noProgramCouldOpen(log), MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
    }
}

int runMainWindow(cli::Target& target, win32gui::Win32Dialogs& dialogs, const WindowRunOptions& options) {
    TargetContext& platform = target.platform();
    const std::filesystem::path programFolder = platform.programFolder;
    MainForm form(platform);
    HWND owner = nullptr; // the window, once it exists

    MainWindowActions actions;
    actions.openPath = [](const std::filesystem::path& path) { return openOnDesktop(path); };
    // Outlook starts minimized and is not waited for, as after a run on Linux.
    actions.startOutlook = [](const std::string& exe) {
        return openOnDesktop(std::filesystem::path(win32::widen(exe)), SW_SHOWMINNOACTIVE);
    };
    actions.showHelp = [&dialogs, programFolder] {
        const std::filesystem::path help = findHelpFile(HelpFileSources::forProgram(programFolder));
        if (help.empty()) {
            dialogs.message(kHelpNotInstalled, MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
        } else if (!openOnDesktop(help)) {
            dialogs.message(noProgramCouldOpen(help), MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        }
    };
    actions.showAbout = [&owner] { win32gui::AboutWindow(AboutForm(mainWindowCaption())).run(owner); };
    actions.showSettings = [&owner, programFolder] { win32gui::SettingsWindow::open(owner, programFolder); };
    actions.showTaskScheduler = [&form, &owner, programFolder, systemFolder = target.prefix()] {
        std::unique_ptr<Scheduler> scheduler = windowsScheduler();
        const std::unique_ptr<StartupEntry> catchUp = cli::Target::catchUpEntry(thisProgram());
        ScheduleForm schedule(
            form, ScheduleContext{*scheduler, programFolder, thisProgram(), systemFolder, catchUp.get(), {}});
        win32gui::ScheduleWindow(schedule).run(owner);
    };
    // The target system is this Windows itself: there is no other to choose, so the window offers
    // no choice (chooseTargetSystem stays empty).
    // The disc window, from the Tools menu with an empty image and after a backup (the "burndvd"
    // setting) with the new file: images through libisofs, recorders through IMAPI2.
    actions.burnDisc = [&dialogs, &owner](const std::string&, const std::filesystem::path& file) {
        disc::Win32DiscEngine engine;
        win32gui::DiscWindow window(dialogs, engine, file.empty() ? std::string() : file.string(), &dialogs);
        if (window.load()) {
            window.run(owner);
        }
    };
    // QUIRE_WINDOW_TRACE=FILE: the smoke test's view of the progress panel, one line per redraw.
    if (const std::optional<std::string> trace = environment("QUIRE_WINDOW_TRACE");
        trace && !trace->empty()) {
        actions.trace = [file = std::filesystem::path(win32::widen(*trace))](const std::string& line) {
            std::ofstream(file, std::ios::app) << line << '\n';
        };
    }

    // The target system is the running Windows; its name says which, as a prefix's folder does.
    win32gui::MainWindow window(form, actions, "This Windows (" + platform.system.computerName() + ")");
    if (!window.create()) {
        dialogs.message("The main window could not be created.", MsgIcon::Critical, MsgButtons::Ok,
                        kApplicationTitle);
        return 1;
    }
    owner = window.window();
    window.setQuitOnClose(true);
    dialogs.setOwner(owner);
    window.show();
    if (!target.note().empty()) {
        dialogs.message(target.note(), MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
    }
    window.load();
    tellOfFailedRun(owner, programFolder, dialogs);
    if (options.openFile) {
        // The name as Windows passed it, whatever characters it holds.
        const std::optional<std::filesystem::path> wide =
            win32gui::openArgument(win32gui::processArguments());
        window.openBackupFile(wide ? *wide : std::filesystem::path(*options.openFile));
    }
    const int code = win32gui::runMessageLoop();
    dialogs.setOwner(nullptr);
    return code;
}

} // namespace

int runWin32Windows(const WindowRunOptions& options) {
    // The folder browser and the shell's file dialogs want a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_TAB_CLASSES |
                                                        ICC_PROGRESS_CLASS | ICC_BAR_CLASSES |
                                                        ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    win32gui::Win32Dialogs dialogs;
    int code = 1;
    std::string error;
    if (std::unique_ptr<cli::Target> target = openWindowTarget(dialogs, error)) {
        code = runMainWindow(*target, dialogs, options);
    } else {
        dialogs.message(error, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return code;
}

} // namespace qob
