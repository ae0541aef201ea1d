// The main window's binding: a widget event reaches the main form, the form's changes reach the
// widgets, and backups and restores started from the window run on a worker while the window's
// event loop keeps going. Behaviour itself is tested on the forms.
#include "DemoPlatform.h"
#include "backup/BackupJob.h"
#include "gui/MainWindow.h"
#include "outlook/NoProfileMessage.h"
#include "restore/RestoreJob.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <thread>

using namespace qob;

namespace {

// A demo target system, its main form and window, loaded.
struct Fixture {
    test::DemoPlatform p;
    MainForm form{p.platform};
    gui::MainWindow window{form, {}, "demo"};

    Fixture() {
        window.show();
        window.load();
    }
    template <typename T> T* find(const char* name) { return window.findChild<T*>(name); }
    QCheckBox* box(const char* side, int i) { return find<QCheckBox>((side + std::to_string(i)).c_str()); }
    bool messageShown(const std::string& start) const {
        for (const std::string& text : p.dialogs.texts()) {
            if (text.rfind(start, 0) == 0) {
                return true;
            }
        }
        return false;
    }
    std::filesystem::path backup(const std::string& name) {
        find<QTabWidget>("tabs")->setCurrentIndex(0);
        for (int i = 0; i < 9; ++i) {
            if (box("backupItem", i)->isEnabled() && !box("backupItem", i)->isChecked()) {
                box("backupItem", i)->click();
            }
        }
        const std::filesystem::path file = p.dir / name;
        QLineEdit* edit = find<QLineEdit>("backupFileEdit");
        edit->clear();
        QTest::keyClicks(edit, QString::fromStdString(file.string()));
        find<QPushButton>("applyButton")->click();
        return file;
    }
};

} // namespace

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    // A prefix without Outlook: besides the load step's message, where the program looked and how
    // to pick another prefix.
    void aPrefixWithoutProfilesSaysWhereItLooked() {
        test::DemoPlatform p(false);
        MainForm form{p.platform};
        gui::MainWindow window{form, {}, "demo"};
        window.load();
        const std::vector<std::string> texts = p.dialogs.texts();
        // One box, not two in a row.
        QCOMPARE(texts.size(), std::size_t{1});
        QCOMPARE(texts[0], "Your Windows System have not install MS Outlook or MS Outlook Error!\n\n" +
                               noProfileMessage(p.demo.prefix) +
                               ".\n\nTarget system: Change... picks another.");
        QVERIFY(!window.findChild<QPushButton*>("applyButton")->isEnabled());
    }
    void widgetsAndFormFollowEachOther() {
        Fixture f;
        auto* source = f.find<QComboBox>("sourceProfileCombo");
        QCOMPARE(source->count(), static_cast<int>(f.form.cbSource.items.size()));
        QVERIFY(source->count() >= 2);
        for (int i = 0; i < 9; ++i) {
            QCOMPARE(f.box("backupItem", i)->isEnabled(),
                     f.form.backupItem[static_cast<std::size_t>(i)].enabled);
            QCOMPARE(f.box("backupItem", i)->text().toStdString(),
                     std::string(kItemCaptions[static_cast<std::size_t>(i)]));
            QVERIFY(!f.box("restoreItem", i)->isEnabled());
        }
        f.box("backupItem", 2)->click();
        QVERIFY(f.form.backupItem[2].checked);
        f.form.deselectAllItems(false);
        QVERIFY(!f.box("backupItem", 2)->isChecked());

        // The protect box enables and empties both password fields through the form.
        auto* password = f.find<QLineEdit>("passwordEdit");
        QVERIFY(!password->isEnabled());
        f.find<QCheckBox>("protectBox")->click();
        QVERIFY(password->isEnabled());
        QTest::keyClicks(password, "secret");
        QCOMPARE(f.form.txtPassword, std::string("secret"));
        f.find<QCheckBox>("protectBox")->click();
        f.find<QCheckBox>("protectBox")->click();
        QCOMPARE(password->text(), QString());

        // Tabs: the action button's caption, and the log on the Logs tab.
        auto* tabs = f.find<QTabWidget>("tabs");
        auto* apply = f.find<QPushButton>("applyButton");
        const std::pair<int, QString> captions[] = {
            {1, "Restore Now"}, {2, "Show Log File"}, {3, "Help"}, {0, "Backup Now"}};
        for (const auto& [tab, caption] : captions) {
            tabs->setCurrentIndex(tab);
            QCOMPARE(apply->text(), caption);
        }
        // A typed backup path is the one the next backup writes.
        f.find<QLineEdit>("backupFileEdit")->clear();
        QTest::keyClicks(f.find<QLineEdit>("backupFileEdit"), "/tmp/typed.qob");
        QCOMPARE(f.form.state().targetPath, std::filesystem::path("/tmp/typed.qob"));
    }

    void backupRunsOnAWorkerAndItsProgressReachesTheWindow() {
        Fixture f;
        auto* bar = f.find<QProgressBar>("progressBar");
        QSignalSpy barMoves(bar, &QProgressBar::valueChanged);
        bool panelShown = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout,
                         [&] { panelShown = panelShown || f.find<QWidget>("progressPanel")->isVisible(); });
        watch.start(0);
        const std::filesystem::path file = f.backup("window.qob");
        // The click returned while the job runs: the window's commands wait for it.
        QVERIFY(f.window.jobRunning());
        QVERIFY(!f.find<QPushButton>("applyButton")->isEnabled());
        QVERIFY(!f.find<QWidget>("backupTab")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.jobRunning(), 60000);
        QVERIFY2(f.messageShown(kBackupCompleted), f.p.dialogs.texts().back().c_str());
        QVERIFY(std::filesystem::exists(file));
        QVERIFY(barMoves.count() > 1);
        QVERIFY(panelShown);
        QVERIFY(!f.find<QWidget>("progressPanel")->isVisible());
        QVERIFY(f.find<QPushButton>("applyButton")->isEnabled());
        QVERIFY(f.find<QListWidget>("logList")->count() > 0);

        // Dropped on the window, the backup opens on the restore tab; a dropped text file does not.
        QMimeData other;
        other.setUrls({QUrl::fromLocalFile("/tmp/notes.txt")});
        QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window, &refused);
        QVERIFY(!refused.isAccepted());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&f.window, &drop);
        QCOMPARE(f.find<QTabWidget>("tabs")->currentIndex(), 1);
        QCOMPARE(f.find<QLineEdit>("restoreFileEdit")->text().toStdString(), f.form.txtSourceFile);
        QVERIFY(f.box("restoreItem", 0)->isEnabled());

        // Restored into the second profile through the window (the confirmation answered OK).
        f.find<QComboBox>("targetProfileCombo")->setCurrentIndex(1);
        emit f.find<QComboBox>("targetProfileCombo")->activated(1);
        QCOMPARE(f.form.cbTarget.selected, 1);
        f.box("restoreItem", 2)->click();
        f.find<QPushButton>("applyButton")->click();
        QVERIFY(f.window.jobRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.jobRunning(), 60000);
        QVERIFY2(f.messageShown("The Restore was Completed!"), f.p.dialogs.texts().back().c_str());
    }

    void cancelAndQuitStopTheJobAndKeepNothingHalfWritten() {
        Fixture f;
        const std::filesystem::path file = f.backup("cancelled.qob");
        QVERIFY(f.window.jobRunning());
        f.find<QPushButton>("cancelButton")->click();
        // A figure the job reports after the stop was asked leaves "Stopping..." in place.
        if (f.window.jobRunning()) {
            f.form.label1 = "Compressing file...";
            f.form.notify(FormChange::Progress);
            QCOMPARE(f.find<QLabel>("statusLabel")->text(), QStringLiteral("Stopping..."));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!f.window.jobRunning(), 60000);
        QVERIFY2(f.messageShown(kBackupCancelled), f.p.dialogs.texts().back().c_str());
        QVERIFY(!std::filesystem::exists(file));

        // Closing while a job runs asks first; "No" keeps the window and the job.
        f.backup("quit.qob");
        f.p.dialogs.answers = {MsgAnswer::No};
        QVERIFY(!f.window.close());
        QVERIFY(f.window.isVisible());
        // "Yes" stops the job, waits for it, then closes, with no summary to dismiss first. (The
        // job counts as running until its end has been handled on this thread, which has not run
        // its events since the question.)
        QVERIFY(f.window.jobRunning());
        f.p.dialogs.answers = {MsgAnswer::Yes};
        const std::size_t boxes = f.p.dialogs.messages.size();
        QVERIFY(f.window.close());
        QVERIFY(!f.window.jobRunning());
        QCOMPARE(f.p.dialogs.messages.size(), boxes + 1);
        QCOMPARE(f.p.dialogs.messages.back().buttons, MsgButtons::YesNo);
        for (const auto& entry : std::filesystem::directory_iterator(f.p.dir.path())) {
            QVERIFY2(entry.path().filename().string().find("qobtmp") == std::string::npos,
                     entry.path().c_str());
        }
    }
};

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
