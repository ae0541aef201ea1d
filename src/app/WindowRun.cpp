#include "app/WindowRun.h"

#include "app/cli/Target.h"
#include "forms/MainForm.h"
#include "gui/DesktopActions.h"
#include "gui/MainWindow.h"
#include "gui/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <fstream>

namespace qob {

int runWindows(int argc, char** argv, const WindowRunOptions& options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("quire-outlook-backup");
    QApplication::setApplicationDisplayName(kApplicationTitle);
    QApplication::setDesktopFileName("quire-outlook-backup");

    gui::QtDialogs dialogs;
    std::string error;
    std::unique_ptr<cli::Target> target = cli::Target::open(std::nullopt, dialogs, error);
    if (!target) {
        dialogs.message(error, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return 1;
    }
    MainForm form(target->platform());
    const std::filesystem::path prefix = target->prefix();
    gui::MainWindowActions actions;
    actions.openPath = [&dialogs](const std::filesystem::path& path) {
        if (!gui::openOnDesktop(path)) {
            dialogs.message("No program of the desktop could open " + path.string() + ".", MsgIcon::Warning,
                            MsgButtons::Ok, kApplicationTitle);
        }
    };
    actions.startOutlook = [&dialogs, prefix](const std::string& exe) {
        if (!gui::startInPrefix(prefix, exe)) {
            dialogs.message("Outlook could not be started: Wine was not found.", MsgIcon::Warning,
                            MsgButtons::Ok, kApplicationTitle);
        }
    };
    // QUIRE_WINDOW_TRACE=FILE: the smoke test's view of the progress panel, one line per redraw.
    if (const char* trace = std::getenv("QUIRE_WINDOW_TRACE"); trace != nullptr && *trace != '\0') {
        actions.trace = [file = std::string(trace)](const std::string& line) {
            std::ofstream(file, std::ios::app) << line << '\n';
        };
    }
    gui::MainWindow window(form, actions, QString::fromStdString(prefix.string()));
    dialogs.setOwner(&window);
    window.show();
    window.load();
    if (options.openFile) {
        window.openBackupFile(*options.openFile);
    }
    return app.exec();
}

} // namespace qob
