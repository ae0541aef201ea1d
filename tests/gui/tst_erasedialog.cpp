// The erase window bound to its form: the note and the quick-erase box, a refusal that closes it,
// and an erase on a worker during which the window cannot be closed.
#include "gui/EraseDialog.h"

#include "FakeDialogs.h"
#include "SimulatedRecorder.h"
#include "gui/DiscRunner.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace qob;

class TstEraseDialog : public QObject {
    Q_OBJECT
private slots:
    void refusalCloses() {
        test::FakeDialogs dialogs;
        test::SimulatedRecorder engine;
        engine.drives = {test::simulatedDrive("/dev/sr0", disc::MediaType::None, false, 0)};
        EraseForm form(dialogs, engine, "/dev/sr0");
        gui::EraseDialog dialog(form, engine);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QString("Erase Re-Writable CD/DVD"));
        QVERIFY(dialog.findChild<QLabel*>("noteLabel")
                    ->text()
                    .startsWith("NOTE: If not performing a quick erase"));
        QVERIFY(dialog.findChild<QCheckBox*>("quickEraseBox")->isChecked());
        dialog.findChild<QPushButton*>("eraseButton")->click();
        QCOMPARE(dialogs.texts(), std::vector<std::string>{"No Media Loaded."});
        QVERIFY(!dialog.isVisible());
    }

    void busyWhileErasing() {
        test::FakeDialogs dialogs;
        test::SimulatedRecorder engine;
        engine.drives = {test::simulatedDrive("/dev/sr0", disc::MediaType::CdRw, true, 1000)};
        engine.drives[0].capabilities = {disc::Capability::EraseCdRw};
        std::atomic<bool> started{false};
        std::atomic<bool> release{false};
        engine.onErase = [&] {
            started = true;
            while (!release) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        EraseForm form(dialogs, engine, "/dev/sr0");
        gui::EraseDialog dialog(form, engine);
        dialog.show();
        dialog.findChild<QCheckBox*>("quickEraseBox")->setChecked(false);
        dialog.findChild<QPushButton*>("eraseButton")->click();
        QTRY_VERIFY(started.load());
        QTRY_COMPARE(dialog.findChild<QLabel*>("statusLabel")->text(),
                     QString("Erasing Disc...Please Wait!!"));
        QVERIFY(!dialog.close());
        dialog.reject();
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.findChild<QPushButton*>("cancelButton")->isEnabled());
        release = true;
        dialog.runner().waitUntilFinished();
        QCOMPARE(engine.erases, std::vector<bool>{false});
        QCOMPARE(dialogs.texts(), std::vector<std::string>{"Erase Completed!!!"});
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TstEraseDialog)
#include "tst_erasedialog.moc"
