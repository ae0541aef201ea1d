// Every window by keyboard alone: Tab goes once round all its enabled controls in reading order
// (on each page of a window with tabs), and the keys a user expects work: Escape is the Cancel of
// a dialog and asks before it stops a running job, Ctrl+Q quits, F1 opens the help.
#include "DemoPlatform.h"
#include "FakeDialogs.h"
#include "FakeScheduler.h"
#include "FakeStartupEntry.h"
#include "SimulatedRecorder.h"
#include "TabWalk.h"
#include "TestPaths.h"
#include "demo/DemoTargetSystem.h"
#include "forms/BackupRun.h"
#include "forms/EraseForm.h"
#include "forms/SettingsForm.h"
#include "forms/TargetSystemForm.h"
#include "gui/AboutDialog.h"
#include "gui/DiscRunner.h"
#include "gui/DiscWindow.h"
#include "gui/EraseDialog.h"
#include "gui/MainWindow.h"
#include "gui/PasswordDialog.h"
#include "gui/ScheduleDialog.h"
#include "gui/SettingsDialog.h"
#include "gui/Skin.h"
#include "gui/TargetSystemDialog.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

#include <atomic>
#include <fstream>
#include <thread>

using namespace qob;

namespace {

// Every page of a window with tabs, or the window as it is.
void checkEveryPage(QWidget& window, const QString& what) {
    auto* tabs = window.findChild<QTabWidget*>("tabs");
    const int pages = tabs != nullptr ? tabs->count() : 1;
    for (int page = 0; page < pages; ++page) {
        if (tabs != nullptr) {
            tabs->setCurrentIndex(page);
        }
        const QString fault = test::tabChainFault(window);
        QVERIFY2(fault.isEmpty(),
                 qPrintable(what + (tabs ? ", page " + QString::number(page) : "") + ": " + fault));
    }
}

} // namespace

class TstKeyboard : public QObject {
    Q_OBJECT
private slots:
    void mainWindowTabEscapeQuitAndHelp() {
        test::DemoPlatform p;
        MainForm form{p.platform};
        int helpShown = 0;
        gui::MainWindowActions actions;
        actions.showHelp = [&] { ++helpShown; };
        actions.showAbout = [] {};
        actions.chooseTargetSystem = [] {};
        gui::MainWindow window{form, actions, "demo"};
        window.show();
        window.load();
        checkEveryPage(window, "main window");
        // No button of the main window is drawn as the default: it would look focused wherever
        // the focus is.
        for (const QPushButton* button : window.findChildren<QPushButton*>()) {
            QVERIFY2(!button->isDefault(), qPrintable(button->objectName()));
        }

        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(helpShown, 1);

        // Escape while a backup runs asks first: "No" lets it run, "Yes" stops it. (The job
        // counts as running until its end is handled here, so the keys reach it either way.)
        auto* tabs = window.findChild<QTabWidget*>("tabs");
        tabs->setCurrentIndex(0);
        form.state().targetPath = p.dir / "escaped.qob";
        for (CheckBoxState& item : form.backupItem) {
            item.checked = item.enabled;
        }
        window.startBackup();
        QVERIFY(window.jobRunning());
        QCOMPARE(QApplication::focusWidget(), window.findChild<QPushButton*>("cancelButton"));
        p.dialogs.answers = {MsgAnswer::No};
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(p.dialogs.texts().back(), std::string(kStopRunQuestion));
        QVERIFY(window.findChild<QPushButton*>("cancelButton")->isEnabled());
        p.dialogs.answers = {MsgAnswer::Yes};
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.findChild<QPushButton*>("cancelButton")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window.jobRunning(), 60000);

        // Ctrl+Q quits.
        QVERIFY(window.isVisible());
        QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!window.isVisible());
    }

    // From the moment it opens the window holds a focused control, so the first Tab moves on from
    // it (Tab into a window without one went nowhere, and nothing ever looked focused), and every
    // stop looks different focused than not, with and without a skin.
    void mainWindowFocusFromTheStartAndAVisibleMark() {
        test::TempDir skin;
        std::filesystem::create_directory(skin / "skins");
        std::ofstream(skin / "skins" / "frmmain.qss")
            << "QWidget { background: rgb(236, 240, 248); color: rgb(20, 30, 60); }\n"
               "QPushButton { border: 1px solid rgb(120, 130, 160); padding: 3px 10px; }\n";
        for (const bool skinned : {false, true}) {
            test::DemoPlatform p;
            MainForm form{p.platform};
            gui::MainWindow window{form, {}, "demo"};
            QVERIFY(!skinned || gui::applySkin(window, skin.path()));
            window.show();
            window.load();
            window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QWidget* const start = QApplication::focusWidget();
            QVERIFY2(start != nullptr, "the window opens with no control focused");
            // The keys go where a keyboard's go: to the focused control of the active window.
            for (int i = 0; i < 3; ++i) {
                QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Tab);
            }
            QWidget* const third = QApplication::focusWidget();
            QVERIFY(third != nullptr && third != start);
            for (QWidget* stop : test::tabStops(window)) {
                stop->setFocus(Qt::TabFocusReason);
                QCOMPARE(QApplication::focusWidget(), stop);
                const QImage focused = stop->grab().toImage();
                stop->clearFocus();
                const QImage plain = stop->grab().toImage();
                QVERIFY2(focused != plain, qPrintable(test::nameOf(stop) + (skinned ? " (skinned)" : "") +
                                                      " looks the same focused and not"));
            }
        }
    }

    // Each menu of the menu bar opens by Alt and a letter of its own, which no control of the
    // page shown takes.
    void mainWindowMenusHaveTheirOwnMnemonics() {
        test::DemoPlatform p;
        MainForm form{p.platform};
        gui::MainWindow window{form, {}, "demo"};
        window.show();
        window.load();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QStringList taken;
        for (const QWidget* w : window.findChildren<QWidget*>()) {
            const auto* label = qobject_cast<const QLabel*>(w);
            const auto* button = qobject_cast<const QAbstractButton*>(w);
            if (w->isVisible() && (label || button)) {
                taken << QKeySequence::mnemonic(label ? label->text() : button->text()).toString();
            }
        }
        for (const QAction* entry : window.menuBar()->actions()) {
            QMenu* menu = entry->menu();
            QVERIFY(menu != nullptr);
            const QString key = QKeySequence::mnemonic(menu->title()).toString();
            QVERIFY2(!key.isEmpty(), qPrintable(menu->objectName() + " has no mnemonic"));
            QVERIFY2(!taken.contains(key), qPrintable(menu->objectName() + ": " + key + " is taken"));
            taken << key;
            QTest::keyClick(&window, QKeySequence(key)[0].key(), Qt::AltModifier);
            QTRY_VERIFY2(menu->isVisible(), qPrintable(key + " does not open " + menu->objectName()));
            QTest::keyClick(menu, Qt::Key_Escape);
            QTRY_VERIFY(!menu->isVisible());
            QTest::keyClick(&window, Qt::Key_Escape); // leaves the menu bar
        }
        QCOMPARE(window.findChild<QMenu*>("toolsMenu")->title().remove('&'), QString("Tools"));
    }

    void discWindowTabAndEscapeWhileWriting() {
        test::TempDir dir;
        test::FakeDialogs dialogs;
        test::SimulatedRecorder engine;
        engine.drives = {test::simulatedDrive("/dev/sr0", disc::MediaType::DvdR, false, 2295104)};
        const std::string backup = (dir / "backup.qob").string();
        std::ofstream(backup) << "q";
        std::atomic<bool> reached{false}, release{false};
        engine.onWriteProgress = [&](int percent) {
            if (percent == 50) {
                reached = true;
                while (!release) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        };
        gui::DiscWindow window(dialogs, engine, backup);
        checkEveryPage(window, "disc window");

        window.findChild<QPushButton*>("writeButton")->click();
        QTRY_VERIFY(reached.load());
        // Escape asks; "No" goes on writing, "Yes" stops the write. The window stays until it ends.
        dialogs.answers = {MsgAnswer::No};
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(dialogs.texts().back(), std::string(kDiscStopWriteQuestion));
        QVERIFY(!window.form().stopToken().stopRequested());
        dialogs.answers = {MsgAnswer::Yes};
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(window.form().stopToken().stopRequested());
        QVERIFY(window.isVisible());
        release = true;
        window.runner().waitUntilFinished();
        QCOMPARE(dialogs.texts().back(), std::string("Write Cancelled!"));
        // Idle, Escape closes it.
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isVisible());
    }

    void dialogsTabAndEscape() {
        test::DemoPlatform p;
        MainForm main(p.platform);
        main.formLoad();
        test::FakeScheduler scheduler;
        test::FakeStartupEntry entry;
        ScheduleForm schedule(main, ScheduleContext{scheduler, p.programFolder, "/q", "/pfx", &entry, {}});
        gui::ScheduleDialog scheduleDialog(schedule, p.programFolder);

        test::FakeStartupEntry startup;
        SettingsForm settings(p.dialogs, startup, p.programFolder);
        gui::SettingsDialog settingsDialog(settings, p.programFolder);

        gui::PasswordDialog passwordDialog({}, "Please enter password:");
        gui::AboutDialog aboutDialog("Quire Outlook Backup 0.1.0", {});

        test::TempDir dir;
        const auto home = dir / "home";
        std::filesystem::create_directories(home / ".wine" / "drive_c");
        DemoTargetSystem::create(home / ".PlayOnLinux/wineprefix/office");
        TargetSystemForm target(p.dialogs, dir / "program",
                                PrefixSearch{home.string(), std::nullopt, std::nullopt}, home / ".wine");
        gui::TargetSystemDialog targetDialog(target);

        test::SimulatedRecorder engine;
        engine.drives = {test::simulatedDrive("/dev/sr0", disc::MediaType::CdRw, true, 1000)};
        engine.drives[0].capabilities = {disc::Capability::EraseCdRw};
        EraseForm erase(p.dialogs, engine, "/dev/sr0");
        gui::EraseDialog eraseDialog(erase, engine);

        const std::pair<QDialog*, QString> dialogs[] = {
            {&scheduleDialog, "Task Scheduler"}, {&settingsDialog, "Settings"},
            {&passwordDialog, "password"},       {&aboutDialog, "About"},
            {&targetDialog, "Target system"},    {&eraseDialog, "Erase"}};
        for (const auto& [dialog, what] : dialogs) {
            checkEveryPage(*dialog, what);
            QTest::keyClick(dialog, Qt::Key_Escape);
            QVERIFY2(!dialog->isVisible(), qPrintable(what + " stays open on Escape"));
            QCOMPARE(dialog->result(), int(QDialog::Rejected));
        }
    }
};

QTEST_MAIN(TstKeyboard)
#include "tst_keyboard.moc"
