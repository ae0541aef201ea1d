// The about window shows the caption it is given and its picture, and Exit closes it; every window
// takes the style sheet skin when the program folder has one.
#include "gui/AboutDialog.h"
#include "gui/Skin.h"

#include "TestPaths.h"
#include "forms/AboutForm.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <fstream>

using namespace qob;

class TstAboutDialog : public QObject {
    Q_OBJECT
private slots:
    void showsCaptionPictureAndCloses() {
        gui::AboutDialog dialog("Quire Outlook Backup 9.8.7", {});
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowTitle(), QString("About Quire Outlook Backup"));
        QCOMPARE(dialog.findChild<QLabel*>("productLabel")->text(), QString("Quire Outlook Backup 9.8.7"));
        QCOMPARE(dialog.findChild<QLabel*>("thanksLabel")->text(),
                 QString("Thank you for using our product."));
        QVERIFY(!dialog.findChild<QLabel*>("pictureLabel")->pixmap().isNull());
        dialog.findChild<QPushButton*>("exitButton")->click();
        QVERIFY(!dialog.isVisible());
    }

    void captionNamesTheBuildsVersion() {
        QCOMPARE(QString::fromStdString(mainWindowCaption()),
                 QString("Quire Outlook Backup " QOB_TEST_VERSION));
    }

    void skinAppliesWhenPresent() {
        test::TempDir folder;
        QWidget window;
        QVERIFY(!gui::applySkin(window, folder.path()));
        QCOMPARE(window.styleSheet(), QString());
        std::filesystem::create_directory(folder / "skins");
        const char sheet[] = "QPushButton { color: rgb(200, 30, 30); }";
        std::ofstream(folder / "skins" / "frmmain.qss") << sheet;
        QVERIFY(gui::applySkin(window, folder.path()));
        QCOMPARE(window.styleSheet(), QString(sheet));
        gui::AboutDialog dialog("x", folder.path());
        QCOMPARE(dialog.styleSheet(), QString(sheet));
    }
};

QTEST_MAIN(TstAboutDialog)
#include "tst_aboutdialog.moc"
