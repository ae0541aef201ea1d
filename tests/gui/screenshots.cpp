// Saves a picture of every window of the program into a folder: the README shows them, and they
// are how layouts are looked at (clipped text, overlapping controls) at any scale
// (QT_SCALE_FACTOR). The windows run on a demo target system, the same the tests use; message boxes
// are answered by the test fakes, so nothing waits for a person.
// Usage: gui_screenshots OUTPUT_FOLDER
#include "DemoPlatform.h"
#include "FakeScheduler.h"
#include "FakeStartupEntry.h"
#include "SimulatedRecorder.h"
#include "backup/BackupJob.h"
#include "forms/AboutForm.h"
#include "forms/ScheduleForm.h"
#include "forms/SettingsForm.h"
#include "forms/TargetSystemForm.h"
#include "gui/AboutDialog.h"
#include "gui/DiscWindow.h"
#include "gui/MainWindow.h"
#include "gui/PasswordDialog.h"
#include "gui/ScheduleDialog.h"
#include "gui/SettingsDialog.h"
#include "gui/TargetSystemDialog.h"

#include <QApplication>

#include <QDeadlineTimer>
#include <QDir>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTabWidget>
#include <QThread>
#include <fstream>

#include <cstdio>
#include <functional>

using namespace qob;

namespace {

class Camera {
public:
    explicit Camera(QString folder) : folder_(std::move(folder)) {}

    // Shows `window` (once), lets it lay itself out and paint, and saves it as NAME.png.
    void shoot(QWidget& window, const QString& name) {
        if (!window.isVisible()) {
            window.show();
        }
        settle();
        const QString file = QDir(folder_).filePath(name + ".png");
        if (window.grab().save(file)) {
            // The smallest size its layout allows, to compare with small screens at high scales.
            const QSize least = window.minimumSizeHint().expandedTo(window.minimumSize());
            std::printf("%s  %dx%d, at least %dx%d\n", qPrintable(file), window.width(), window.height(),
                        least.width(), least.height());
        } else {
            std::fprintf(stderr, "gui_screenshots: cannot write %s\n", qPrintable(file));
            ok_ = false;
        }
    }
    // Every tab of the window's tab widget `tabs` in turn, as NAME-<tab index>-<tab name>.png.
    void shootTabs(QWidget& window, const QString& name) {
        auto* tabs = window.findChild<QTabWidget*>("tabs");
        if (tabs == nullptr) {
            shoot(window, name);
            return;
        }
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            QString tab = tabs->tabText(i).remove('&').toLower();
            tab.replace(QRegularExpression("[^a-z0-9]+"), "-");
            shoot(window, QString("%1-%2-%3").arg(name).arg(i + 1).arg(tab));
        }
    }
    bool ok() const { return ok_; }

private:
    static void settle() {
        for (int i = 0; i < 5; ++i) {
            QApplication::processEvents();
        }
    }

    QString folder_;
    bool ok_ = true;
};

// Runs the event loop until `done` holds, or fails after a minute.
bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer limit(60000);
    while (!done()) {
        if (limit.hasExpired()) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return true;
}

bool shootMainWindow(Camera& camera, test::DemoPlatform& p) {
    MainForm form(p.platform);
    // The entries the program wires up are enabled, as a user sees them; here they do nothing.
    gui::MainWindowActions actions;
    actions.openPath = [](const std::filesystem::path&) { return true; };
    actions.showHelp = actions.showSettings = actions.showAbout = actions.chooseTargetSystem = [] {};
    gui::MainWindow window(form, actions, "/home/quire/.wine");
    window.show();
    window.load();
    auto* tabs = window.findChild<QTabWidget*>("tabs");

    form.selectAllItems(false);
    window.findChild<QPlainTextEdit*>("descriptionEdit")
        ->setPlainText("Weekly backup before the move to the new laptop");
    camera.shoot(window, "main-1-backup");

    // The progress panel as a run shows it halfway, with a long file name.
    form.picCon3Visible = true;
    form.pbShow = 42;
    form.label1 = backupStepStatus(ItemKind::Datas);
    form.skinLabel9 = "Adding File C:\\users\\quire\\AppData\\Local\\Microsoft\\Outlook\\Archiv Übersicht "
                      "2019-2024 (Kunden und Lieferanten).pst";
    form.notify(FormChange::Progress);
    camera.shoot(window, "main-2-progress");
    form.picCon3Visible = false;
    form.notify(FormChange::Progress);

    // A real backup, for the Logs tab and for the backup the Restore tab opens.
    const std::filesystem::path file = p.dir / "program" / "Outlook-weekly.qob";
    form.targetFileEdited(file.string());
    window.startBackup();
    if (!waitFor([&] { return !window.jobRunning(); }) || !std::filesystem::exists(file)) {
        std::fprintf(stderr, "gui_screenshots: the backup for the Restore and Logs tabs failed\n");
        return false;
    }
    window.openBackupFile(file);
    form.selectAllItems(true);
    camera.shoot(window, "main-3-restore");
    tabs->setCurrentIndex(2);
    camera.shoot(window, "main-4-logs");
    tabs->setCurrentIndex(3);
    camera.shoot(window, "main-5-about");
    return true;
}

void shootDialogs(Camera& camera, test::DemoPlatform& p) {
    test::FakeStartupEntry startup;
    SettingsForm settings(p.dialogs, startup, p.programFolder);
    gui::SettingsDialog settingsDialog(settings, p.programFolder);
    camera.shootTabs(settingsDialog, "settings");

    gui::PasswordDialog password(p.programFolder, kPasswordLabel);
    camera.shoot(password, "password");

    gui::AboutDialog about(mainWindowCaption(), p.programFolder);
    camera.shoot(about, "about");

    // Three prefixes to choose from: ~/.wine, the current one with Outlook ($WINEPREFIX), and one
    // where a Wine front end keeps its prefixes, without Outlook profiles.
    const std::filesystem::path home = p.dir / "home";
    DemoTargetSystem::create(home / ".wine");
    const std::filesystem::path office = home / ".local/share/wineprefixes/office2013";
    DemoTargetSystem::create(office);
    DemoTargetSystem::createFiles(home / ".local/share/wineprefixes/games");
    TargetSystemForm target(p.dialogs, p.programFolder,
                            PrefixSearch{home.string(), office.string(), std::nullopt}, office);
    target.load();
    gui::TargetSystemDialog targetDialog(target);
    camera.shoot(targetDialog, "target-system");

    MainForm main(p.platform);
    main.formLoad();
    test::FakeScheduler scheduler;
    test::FakeStartupEntry catchUp;
    ScheduleForm schedule(
        main, ScheduleContext{
                  scheduler, p.programFolder, "/usr/bin/quiremail", p.platform.systemFolder, &catchUp, {}});
    gui::ScheduleDialog scheduleDialog(schedule, p.programFolder);
    camera.shoot(scheduleDialog, "schedule");

    // The disc window as "burndvd" opens it: the new backup already in the image, a DVD recorder.
    const std::filesystem::path backup = p.programFolder / "Outlook-weekly.qob";
    if (!std::filesystem::exists(backup)) {
        std::ofstream(backup) << std::string(1 << 20, 'q');
    }
    test::SimulatedRecorder engine;
    engine.drives = {test::simulatedDrive("/dev/sr0", disc::MediaType::DvdR, false, 2295104)};
    gui::DiscWindow discWindow(p.dialogs, engine, backup.string());
    if (discWindow.loaded()) {
        camera.shoot(discWindow, "disc");
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    if (!QDir().mkpath(argv[1])) {
        std::fprintf(stderr, "gui_screenshots: cannot create %s\n", argv[1]);
        return 1;
    }
    Camera camera(argv[1]);
    test::DemoPlatform p;
    const bool mainShown = shootMainWindow(camera, p);
    shootDialogs(camera, p);
    return mainShown && camera.ok() ? 0 : 1;
}
