#include "app/WindowRun.h"

#include "app/InterruptedRestorePrompt.h"
#include "app/cli/Target.h"
#include "disc/IsoBurnEngine.h"
#include "forms/AboutForm.h"
#include "forms/FailedRunNotice.h"
#include "forms/MainForm.h"
#include "forms/ScheduleForm.h"
#include "forms/TargetSystemForm.h"
#include "gui/AboutDialog.h"
#include "gui/DesktopActions.h"
#include "gui/DiscWindow.h"
#include "gui/MainWindow.h"
#include "gui/ProductIcon.h"
#include "gui/QtDialogs.h"
#include "gui/ScheduleDialog.h"
#include "gui/SettingsDialog.h"
#include "gui/Skin.h"
#include "gui/TargetSystemDialog.h"
#include "platform/ProcessRunner.h"
#include "platform/XdgAutostart.h"
#include "restore/RestoreTransaction.h"
#include "schedule/CatchUpAutostart.h"
#include "settings/HelpFile.h"
#include "settings/TargetSystemSetting.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>
#include <fstream>

namespace qob {

namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// The target system window; the prefix to switch to when the user picked another one.
std::optional<std::filesystem::path> chooseTargetSystem(Dialogs& dialogs,
                                                        const std::filesystem::path& programFolder,
                                                        const std::filesystem::path& current,
                                                        QWidget* parent) {
    PrefixSearch search{environment("HOME"), environment("WINEPREFIX"),
                        readTargetSystemChoice(programFolder)};
    TargetSystemForm form(dialogs, programFolder, search, current);
    gui::TargetSystemDialog dialog(form, parent);
    gui::applySkin(dialog, programFolder);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.chosen();
}

// A failed automatic run the user has not been told of: said once, in a box that offers the log.
void tellOfFailedRun(QWidget& window, const std::filesystem::path& programFolder,
                     const std::function<void(const std::filesystem::path&)>& openPath) {
    const std::optional<FailedRunNotice> notice = unseenFailedRun(programFolder);
    if (!notice) {
        return;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(notice->title),
                    QString::fromStdString(notice->text), QMessageBox::NoButton, &window);
    QPushButton* showLog = box.addButton(QStringLiteral("Show Log File"), QMessageBox::ActionRole);
    box.addButton(QMessageBox::Ok);
    // Said once: a window closed or killed while the box is up does not say it again.
    markFailedRunSeen(programFolder);
    box.exec();
    if (box.clickedButton() == showLog && openPath) {
        openPath(programFolder / "brlog.dat");
    }
}

enum class WindowEnd { Quit, SwitchTarget };

// One main window on one target system, until it is closed.
WindowEnd runMainWindow(cli::Target& target, gui::QtDialogs& dialogs, const WindowRunOptions& options) {
    TargetContext& platform = target.platform();
    const std::filesystem::path programFolder = platform.programFolder;
    const std::filesystem::path prefix = target.prefix();
    MainForm form(platform);
    WindowEnd end = WindowEnd::Quit;

    gui::MainWindowActions actions;
    QWidget* owner = nullptr; // the window, once it exists
    actions.openPath = [](const std::filesystem::path& path) { return gui::openOnDesktop(path); };
    actions.startOutlook = [prefix](const std::string& exe) { return gui::startInPrefix(prefix, exe); };
    const auto openOrSay = [&dialogs](const std::filesystem::path& path) {
        if (!gui::openOnDesktop(path)) {
            dialogs.message(noProgramCouldOpen(path), MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        }
    };
    actions.showHelp = [&dialogs, programFolder] {
        const std::filesystem::path help = findHelpFile(HelpFileSources::forProgram(programFolder));
        if (help.empty()) {
            dialogs.message(kHelpNotInstalled, MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
        } else if (!gui::openOnDesktop(help)) {
            dialogs.message(noProgramCouldOpen(help), MsgIcon::Warning, MsgButtons::Ok, kApplicationTitle);
        }
    };
    actions.showSettings = [&owner, programFolder] {
        XdgAutostart startup = XdgAutostart::forThisProgram();
        gui::SettingsDialog::open(owner, startup, programFolder);
    };
    actions.showAbout = [&owner, programFolder] {
        gui::AboutDialog about(mainWindowCaption(), programFolder, owner);
        about.exec();
    };
    actions.chooseTargetSystem = [&] {
        if (chooseTargetSystem(dialogs, programFolder, prefix, owner)) {
            end = WindowEnd::SwitchTarget;
            owner->close();
        }
    };
    actions.showTaskScheduler = [&form, &owner, programFolder, prefix] {
        PosixProcessRunner runner;
        const std::unique_ptr<Scheduler> scheduler = cli::Target::scheduler(runner);
        // The weekly task starts this very program by its absolute path (cron's PATH is short).
        const std::filesystem::path quiremail = QCoreApplication::applicationFilePath().toStdString();
        const std::unique_ptr<StartupEntry> catchUp = cli::Target::catchUpEntry(quiremail);
        ScheduleForm schedule(
            form, ScheduleContext{*scheduler, programFolder, quiremail, prefix, catchUp.get(), {}});
        gui::ScheduleDialog dialog(schedule, programFolder, owner);
        dialog.exec();
    };
    actions.burnDisc = [&dialogs, &owner](const std::string&, const std::filesystem::path& file) {
        disc::IsoBurnEngine engine;
        gui::DiscWindow window(dialogs, engine, file.string(), owner);
        if (window.loaded()) {
            window.exec();
        }
    };
    // QUIRE_WINDOW_TRACE=FILE: the smoke test's view of the progress panel, one line per redraw.
    if (const std::optional<std::string> trace = environment("QUIRE_WINDOW_TRACE");
        trace && !trace->empty()) {
        actions.trace = [file = *trace](const std::string& line) {
            std::ofstream(file, std::ios::app) << line << '\n';
        };
    }

    gui::MainWindow window(form, actions, QString::fromStdString(prefix.string()));
    owner = &window;
    window.setWindowTitle(QString::fromStdString(mainWindowCaption()));
    gui::applySkin(window, programFolder);
    dialogs.setOwner(&window);
    dialogs.setProgramFolder(programFolder);
    window.show();
    if (!target.note().empty()) {
        dialogs.message(target.note(), MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
    }
    window.load();
    tellOfFailedRun(window, programFolder, openOrSay);
    if (options.openFile) {
        window.openBackupFile(*options.openFile);
    }
    QApplication::exec();
    dialogs.setOwner(nullptr);
    return end;
}

} // namespace

int runWindows(int argc, char** argv, const WindowRunOptions& options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("quire-outlook-backup");
    // No display name: the window manager would add it to every title ("Quire Outlook Backup
    // 0.1.0 - Quire Outlook Backup"); each window names the program itself.
    QApplication::setDesktopFileName("quire-outlook-backup");
    QApplication::setWindowIcon(gui::productIcon());

    gui::QtDialogs dialogs;
    WindowRunOptions first = options;
    for (;;) {
        std::string error;
        std::unique_ptr<cli::Target> target = openWindowTarget(dialogs, error);
        if (!target) {
            // No usable prefix: say why, then let the user point at one instead of just quitting.
            dialogs.message(error, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
            std::filesystem::path programFolder;
            if (!resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder) ||
                !chooseTargetSystem(dialogs, programFolder, {}, nullptr)) {
                return 1;
            }
            continue;
        }
        if (runMainWindow(*target, dialogs, first) == WindowEnd::Quit) {
            return 0;
        }
        first.openFile.reset(); // a file given at start-up belonged to the first window
    }
}

} // namespace qob
