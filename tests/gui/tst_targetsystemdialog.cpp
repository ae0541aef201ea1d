// The target system window shows the form's prefixes, a picked row reaches the form, and OK hands
// back the prefix to switch to.
#include "gui/TargetSystemDialog.h"

#include "FakeDialogs.h"
#include "TestPaths.h"
#include "demo/DemoTargetSystem.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace qob;

class TstTargetSystemDialog : public QObject {
    Q_OBJECT
private slots:
    void listPickAndOk() {
        test::TempDir dir;
        const auto home = dir / "home";
        std::filesystem::create_directories(home / ".wine" / "drive_c");
        DemoTargetSystem::create(home / ".PlayOnLinux/wineprefix/office");
        std::filesystem::create_directories(dir / "program");
        test::FakeDialogs dialogs;
        TargetSystemForm form(dialogs, dir / "program",
                              PrefixSearch{home.string(), std::nullopt, std::nullopt}, home / ".wine");
        gui::TargetSystemDialog dialog(form);
        auto* list = dialog.findChild<QListWidget*>("prefixList");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentRow(), form.selected);
        QVERIFY(list->item(form.selected)->text().contains("(current)"));
        const int other = 1 - form.selected;
        QVERIFY(list->item(other)->text().contains("Outlook, Second"));
        list->setCurrentRow(other);
        QCOMPARE(form.selected, other);
        dialog.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.chosen());
        QCOMPARE(QString::fromStdString(dialog.chosen()->string()),
                 QString::fromStdString((home / ".PlayOnLinux/wineprefix/office").string()));
    }
};

QTEST_MAIN(TstTargetSystemDialog)
#include "tst_targetsystemdialog.moc"
