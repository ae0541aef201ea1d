// The settings window's binding: the form's values reach the widgets, a click on a widget reaches
// the form, OK (Enter) saves and closes, Cancel (Escape) writes nothing.
#include "gui/SettingsDialog.h"

#include "FakeDialogs.h"
#include "FakeStartupEntry.h"
#include "TestPaths.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QTabWidget>
#include <QtTest>

using namespace qob;

namespace {

// Clicks the box's indicator: a click at the centre of a stretched box misses it.
void clickBox(QAbstractButton* box) {
    QStyleOptionButton opt;
    opt.initFrom(box);
    const QPoint at = box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box).center();
    QTest::mouseClick(box, Qt::LeftButton, {}, at);
}

QString plain(QString caption) {
    return caption.remove('&');
}

struct Window {
    test::TempDir dir;
    test::FakeDialogs dialogs;
    test::FakeStartupEntry startup;
    SettingsForm form{dialogs, startup, dir.path()};
    std::unique_ptr<gui::SettingsDialog> dialog;

    // The program starts at logon: the box shows the entry, so it starts ticked as the others do.
    Window() { startup.on = true; }

    void open() {
        dialog = std::make_unique<gui::SettingsDialog>(form, dir.path());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    template <typename T> T* find(const char* name) const {
        T* widget = dialog->findChild<T*>(name);
        if (widget == nullptr) {
            qFatal("no widget %s", name);
        }
        return widget;
    }
    std::string stored(const char* section, const char* key) const {
        return readSetting(settingsPath(dir.path()), section, key);
    }
};

} // namespace

class TstSettingsDialog : public QObject {
    Q_OBJECT
private slots:
    void storedValuesShowInTheWidgets() {
        Window w;
        QVERIFY(writeSetting(settingsPath(w.dir.path()), "General", "burndvd", "0"));
        QVERIFY(writeSetting(settingsPath(w.dir.path()), "autobackup", "autobackupfile", "1"));
        QVERIFY(writeSetting(settingsPath(w.dir.path()), "Backup", "backupfolder", "/srv/backups"));
        w.open();
        QCOMPARE(w.dialog->windowTitle(), QString("Settings"));
        QCOMPARE(w.find<QLineEdit>("backupFolderEdit")->text(), QString("/srv/backups"));
        QVERIFY(!w.find<QCheckBox>("burnDvdBox")->isChecked());
        QVERIFY(w.find<QCheckBox>("startOnWindowsBox")->isChecked());
        QVERIFY(w.find<QRadioButton>("newAutoBackupRadio")->isChecked());
        QVERIFY(!w.find<QRadioButton>("replaceAutoBackupRadio")->isChecked());
        auto* tabs = w.find<QTabWidget>("tabs");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(0), QString("General"));
        QCOMPARE(tabs->tabText(1), QString("Backup"));
        QCOMPARE(tabs->tabText(2), QString("Scheduled Backup"));
        QCOMPARE(w.find<QGroupBox>("backupFilesFrame")->title(), QString("Bacukup Files"));
        QCOMPARE(plain(w.find<QRadioButton>("replaceAutoBackupRadio")->text()),
                 QString(kReplaceAutoBackupCaption));
        QCOMPARE(plain(w.find<QRadioButton>("newAutoBackupRadio")->text()), QString(kNewAutoBackupCaption));
    }

    // Each box, found by its caption, drives its own key and no other.
    void eachBoxClickReachesItsKey() {
        for (std::size_t i = 0; i < kSettingsBoxCount; ++i) {
            Window w;
            std::filesystem::create_directory(w.dir / "backups");
            QVERIFY(writeSetting(settingsPath(w.dir.path()), "Backup", "backupfolder",
                                 (w.dir / "backups").string()));
            w.open();
            QCheckBox* box = nullptr;
            for (QCheckBox* candidate : w.dialog->findChildren<QCheckBox*>()) {
                if (plain(candidate->text()) == kSettingsBoxes[i].caption) {
                    box = candidate;
                }
            }
            QVERIFY2(box != nullptr, kSettingsBoxes[i].caption);
            w.find<QTabWidget>("tabs")->setCurrentWidget(box->parentWidget()->parentWidget());
            clickBox(box);
            QVERIFY(!box->isChecked());
            QTest::keyClick(w.dialog.get(), Qt::Key_Return); // OK is the default button
            QCOMPARE(w.dialog->result(), int(QDialog::Accepted));
            for (std::size_t k = 0; k < kSettingsBoxCount; ++k) {
                QCOMPARE(w.stored(kSettingsBoxes[k].section, kSettingsBoxes[k].key), k == i ? "0" : "1");
            }
            QCOMPARE(w.startup.calls, std::vector<bool>{i != 0});
        }
    }

    void okAndCancelButtons() {
        {
            Window w; // the radio and the folder box reach the form
            std::filesystem::create_directory(w.dir / "backups");
            w.open();
            w.find<QRadioButton>("newAutoBackupRadio")->click();
            w.find<QLineEdit>("backupFolderEdit")
                ->setText(QString::fromStdString((w.dir / "backups").string()));
            w.find<QPushButton>("okButton")->click();
            QCOMPARE(w.dialog->result(), int(QDialog::Accepted));
            QCOMPARE(w.stored("autobackup", "autobackupfile"), std::string("1"));
            QCOMPARE(w.stored("backup", "backupfolder"), (w.dir / "backups").string());
        }
        {
            Window w; // a cancelled browse empties the box; OK then stays open and writes nothing
            w.open();
            w.dialogs.folderAnswers.push_back(std::nullopt);
            w.find<QPushButton>("browseButton")->click();
            QCOMPARE(w.find<QLineEdit>("backupFolderEdit")->text(), QString());
            QTest::keyClick(w.dialog.get(), Qt::Key_Return);
            QVERIFY(w.dialog->isVisible());
            QCOMPARE(w.dialogs.texts(), std::vector<std::string>{kEnterBackupFolderMessage});
            QVERIFY(!std::filesystem::exists(settingsPath(w.dir.path())));
        }
        {
            Window w; // Escape after changes writes nothing
            w.open();
            clickBox(w.find<QCheckBox>("startOnWindowsBox"));
            QTest::keyClick(w.dialog.get(), Qt::Key_Escape);
            QCOMPARE(w.dialog->result(), int(QDialog::Rejected));
            QVERIFY(!w.dialog->isVisible());
            QVERIFY(!std::filesystem::exists(settingsPath(w.dir.path())));
            QVERIFY(w.startup.calls.empty());
        }
    }
};

QTEST_MAIN(TstSettingsDialog)
#include "tst_settingsdialog.moc"
