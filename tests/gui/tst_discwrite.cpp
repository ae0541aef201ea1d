// A whole write through the disc window as a user makes it: the real engine on the image-file
// drive, the real message boxes (answered as they come up), then the window closed. Every box
// runs its own event loop while the write's last reports and its end still arrive; CI runs this
// test under AddressSanitizer, so anything freed under a running report fails it.
#include "gui/DiscWindow.h"

#include "TestPaths.h"
#include "disc/IsoBurnEngine.h"
#include "gui/DiscRunner.h"
#include "gui/QtDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <fstream>
#include <thread>

using namespace qob;

namespace {

// The real boxes; only the save dialog is answered here, with a chosen path.
class AnsweringDialogs : public gui::QtDialogs {
public:
    std::string savePath;
    std::string askedInitialPath;
    std::optional<std::string> saveFile(const std::string&, const std::string&,
                                        const std::string& initialPath) override {
        askedInitialPath = initialPath;
        return savePath;
    }
};

// The real engine; a write waits for the test's word before it starts, so a Cancel can be pressed
// while it runs without timing anything.
class HeldEngine : public disc::IsoBurnEngine {
public:
    std::atomic<bool> hold{false};
    std::atomic<bool> waiting{false};
    Status write(const std::string& address, const disc::DiscImage& image, const disc::WriteOptions& options,
                 disc::DiscEvents& events, const StopToken& stop) override {
        waiting = true;
        while (hold) {
            std::this_thread::yield();
        }
        waiting = false;
        return IsoBurnEngine::write(address, image, options, events, stop);
    }
};

} // namespace

class TstDiscWrite : public QObject {
    Q_OBJECT

    test::TempDir dir;
    QStringList shown; // the boxes' texts, in order
    QList<QMessageBox::Icon> icons;

    // Clicks OK on every message box that comes up, once it has run for a while: the write's end
    // arrives while the box's own event loop runs.
    void answerBoxes(QObject& scope) {
        auto* poll = new QTimer(&scope);
        poll->setInterval(20);
        connect(poll, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) {
                return;
            }
            if (box->property("seen").toBool()) {
                shown << box->text();
                icons << box->icon();
                box->button(QMessageBox::Ok)->click();
            } else {
                box->setProperty("seen", true);
            }
        });
        poll->start();
    }

private slots:
    void writeToAnImageFileAndClose() {
        const std::filesystem::path backup = dir / "backups" / "Outlook Backup.qob";
        std::filesystem::create_directories(backup.parent_path());
        std::ofstream(backup, std::ios::binary) << std::string(3 * 1024 * 1024, 'q');

        AnsweringDialogs dialogs;
        HeldEngine engine;
        QObject scope;
        answerBoxes(scope);
        auto window = std::make_unique<gui::DiscWindow>(dialogs, engine, backup.string());
        dialogs.setOwner(window.get());
        QVERIFY(window->loaded());
        window->show();
        auto* devices = window->findChild<QComboBox*>("deviceList");
        const int imageFile = devices->findText(disc::kImageFileDeviceName);
        QVERIFY(imageFile >= 0);
        devices->setCurrentIndex(imageFile);
        emit devices->activated(imageFile);
        auto* write = window->findChild<QPushButton*>("writeButton");
        auto* cancel = window->findChild<QPushButton*>("cancelButton");

        struct Run {
            bool verify;
            bool cancelled;
            const char* typed; // in the save dialog
            const char* image; // written
            const char* box;
        };
        const Run runs[] = {{false, false, "plain", "plain.iso", "Write Complete!"},
                            {true, false, "verified.iso", "verified.iso", "Write and Verify Complete!"},
                            {false, true, "cancelled.iso", "cancelled.iso", "Write Cancelled!"}};
        for (const Run& run : runs) {
            shown.clear();
            icons.clear();
            dialogs.savePath = (dir / run.typed).string();
            window->findChild<QCheckBox*>("autoVerifyBox")->setChecked(run.verify);
            engine.hold = run.cancelled;
            write->click();
            QVERIFY(window->runner().running());
            if (run.cancelled) {
                QTRY_VERIFY(engine.waiting.load());
                QVERIFY(cancel->isEnabled());
                cancel->click();
                engine.hold = false;
            }
            QTRY_VERIFY_WITH_TIMEOUT(!window->runner().running() && !shown.isEmpty(), 60000);
            QCOMPARE(shown, QStringList{run.box});
            QCOMPARE(std::filesystem::exists(dir / run.image), !run.cancelled);
            QVERIFY(write->isEnabled());
            QVERIFY(!cancel->isEnabled());
        }
        // The image was offered beside the backup.
        QCOMPARE(std::filesystem::path(dialogs.askedInitialPath).parent_path(), backup.parent_path());

        QVERIFY(window->close());
        dialogs.setOwner(nullptr);
        window.reset();
        QCoreApplication::processEvents();
    }
};

QTEST_MAIN(TstDiscWrite)
#include "tst_discwrite.moc"
