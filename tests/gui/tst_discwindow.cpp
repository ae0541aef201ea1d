// The disc window bound to its form, against the simulated recorder: what it shows at load, the
// pop-up menus, drops, and a write that runs on a worker while the window stays responsive, cannot
// be closed, and is cancelled.
#include "gui/DiscWindow.h"

#include "FakeDialogs.h"
#include "SimulatedRecorder.h"
#include "TestPaths.h"
#include "gui/DiscRunner.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <fstream>

using namespace qob;

class TstDiscWindow : public QObject {
    Q_OBJECT

    test::TempDir dir;
    test::FakeDialogs dialogs;
    test::SimulatedRecorder engine;
    std::string backup;

    void init() {
        dialogs = {};
        engine = {};
        backup = (dir / "backup.qob").string();
        std::ofstream(backup) << std::string(3000, 'q');
        test::SimulatedDrive dvd = test::simulatedDrive("/dev/sr0", disc::MediaType::DvdR, false, 2295104);
        dvd.capabilities = {disc::Capability::BufferProtection};
        engine.drives = {dvd};
    }

    template <typename T> static T* child(QWidget& window, const char* name) {
        T* found = window.findChild<T*>(name);
        if (!found) {
            qFatal("no %s", name);
        }
        return found;
    }

private slots:
    void showsTheHandedOverBackup() {
        init();
        gui::DiscWindow window(dialogs, engine, backup);
        QVERIFY(window.loaded());
        QCOMPARE(window.windowTitle(), QString("Backup Outlook Data to CD/DVD"));
        auto* list = child<QTreeWidget>(window, "fileList");
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("backup.qob"));
        QCOMPARE(list->topLevelItem(0)->text(1), QString("3.00 KB"));
        QCOMPARE(child<QTreeWidget>(window, "folderTree")->topLevelItem(0)->text(0),
                 QString("Outlook Data Backup CD"));
        QCOMPARE(child<QLineEdit>(window, "volumeIdEdit")->text(), QString("Outlook Data Backup CD"));
        QCOMPARE(child<QLabel>(window, "fileCountPanel")->text(), QString("Files: 1"));
        auto* types = child<QComboBox>(window, "volumeTypeList");
        auto* model = qobject_cast<QStandardItemModel*>(types->model());
        for (int i = 0; i < types->count(); ++i) {
            QCOMPARE(model->item(i)->isEnabled(), !types->itemText(i).contains("UDF"));
        }
        QCOMPARE(types->currentText(), QString("ISO9660/Joliet Bridge"));
        QVERIFY(child<QCheckBox>(window, "bufferProtectBox")->isChecked());
        QVERIFY(!child<QPushButton>(window, "cancelButton")->isEnabled());

        // The pop-up menus hide what does not belong to what was clicked, then show all again.
        QStringList shown;
        QTimer::singleShot(0, &window, [&] {
            for (QAction* a : window.fileMenu()->actions()) {
                if (a->isVisible() && !a->isSeparator()) {
                    shown << a->text();
                }
            }
            window.fileMenu()->close();
        });
        window.popupFileMenu(DiscPopup::List, QPoint(0, 0));
        QCOMPARE(shown, QStringList({"Add File", "Clear All Items", "Remove File", "Rename File"}));
        for (QAction* a : window.fileMenu()->actions()) {
            QVERIFY(a->isVisible());
        }

        // Drops land in the image; the root cannot be renamed.
        std::filesystem::create_directories(dir / "dropped/inner");
        window.dropPaths({QString::fromStdString((dir / "dropped").string())}, true);
        QCOMPARE(child<QLabel>(window, "folderCountPanel")->text(), QString("Folders: 2"));
        window.dropPaths({}, false);
        auto* tree = child<QTreeWidget>(window, "folderTree");
        tree->setCurrentItem(tree->topLevelItem(0));
        window.form().nodeClick("\\");
        window.fileMenuAction(DiscFileMenu::RenameFolder)->trigger();
        QCOMPARE(dialogs.texts(), std::vector<std::string>{"Root directory can not be renamed."});
    }

    void writeRunsOnAWorkerAndCanBeCancelled() {
        init();
        std::atomic<bool> reached{false};
        std::atomic<bool> release{false};
        engine.onWriteProgress = [&](int percent) {
            if (percent == 50) {
                reached = true;
                while (!release) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        };
        gui::DiscWindow window(dialogs, engine, backup);
        window.show();
        child<QPushButton>(window, "writeButton")->click();
        QTRY_VERIFY(reached.load());
        QVERIFY(window.runner().running());
        QVERIFY(!window.close());
        QVERIFY(window.isVisible());
        QVERIFY(!child<QPushButton>(window, "writeButton")->isEnabled());
        QVERIFY(!child<QTreeWidget>(window, "folderTree")->isEnabled());
        QVERIFY(!window.fileMenu()->isEnabled());
        auto* cancel = child<QPushButton>(window, "cancelButton");
        QVERIFY(cancel->isEnabled());
        cancel->click();
        QCOMPARE(child<QLabel>(window, "imageSizePanel")->text(), QString("Aborting Write...Please Wait!"));
        release = true;
        window.runner().waitUntilFinished();
        QCOMPARE(child<QLabel>(window, "imageSizePanel")->text(), QString("Write Cancelled...."));
        QCOMPARE(dialogs.texts(), std::vector<std::string>{"Write Cancelled!"});
        QVERIFY(child<QPushButton>(window, "writeButton")->isEnabled());
        QVERIFY(!cancel->isEnabled());

        engine.onWriteProgress = nullptr;
        child<QCheckBox>(window, "autoVerifyBox")->setChecked(true);
        child<QPushButton>(window, "writeButton")->click();
        window.runner().waitUntilFinished();
        QCOMPARE(dialogs.texts().back(), std::string("Write and Verify Complete!"));
        QVERIFY(engine.lastOptions.autoVerify);
        QVERIFY(window.close());
    }
};

QTEST_MAIN(TstDiscWindow)
#include "tst_discwindow.moc"
