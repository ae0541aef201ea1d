// The schedule window's binding: the form's values reach the widgets, the widgets' values reach
// the registration, and the window closes once the task is scheduled.
#include "gui/ScheduleDialog.h"

#include "DemoPlatform.h"
#include "FakeScheduler.h"
#include "FakeStartupEntry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace qob;

class TstScheduleDialog : public QObject {
    Q_OBJECT
private slots:
    void widgetsAndRegistration() {
        test::DemoPlatform p;
        MainForm main(p.platform);
        main.formLoad();
        test::FakeScheduler scheduler;
        test::FakeStartupEntry entry;
        ScheduleForm form(
            main, ScheduleContext{scheduler, p.programFolder, "/opt/q/quiremail", "/pfx", &entry, {}});
        gui::ScheduleDialog dialog(form, p.programFolder);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto find = [&dialog](auto* type, const char* name) {
            auto* widget = dialog.findChild<std::remove_pointer_t<decltype(type)>*>(name);
            if (widget == nullptr) {
                qFatal("no widget %s", name);
            }
            return widget;
        };
        auto* profiles = find((QComboBox*)nullptr, "profileCombo");
        QCOMPARE(profiles->count(), 2);
        QCOMPARE(profiles->currentText(), QString("Outlook"));
        QCOMPARE(find((QComboBox*)nullptr, "startTimeCombo")->currentText(), QString("9:00"));
        QCOMPARE(find((QComboBox*)nullptr, "startTimeCombo")->count(), 48);
        QCOMPARE(find((QLineEdit*)nullptr, "targetFileEdit")->text(),
                 QString::fromStdString((p.programFolder / "qarch-Outlook.qob").string()));
        QCOMPARE(find((QLabel*)nullptr, "registeredTaskLabel")->text(), QString("No backup is scheduled."));
        QVERIFY(!find((QLineEdit*)nullptr, "passwordEdit")->isEnabled());

        find((QCheckBox*)nullptr, "dailyBox")->click();
        QVERIFY(find((QCheckBox*)nullptr, "sundayBox")->isChecked());
        find((QCheckBox*)nullptr, "protectBox")->click();
        QVERIFY(find((QLineEdit*)nullptr, "passwordEdit")->isEnabled());
        find((QLineEdit*)nullptr, "passwordEdit")->setText("pw");
        find((QLineEdit*)nullptr, "passwordAgainEdit")->setText("pw");
        find((QCheckBox*)nullptr, "signaturesBox")->setChecked(true);
        find((QComboBox*)nullptr, "startTimeCombo")->setCurrentText("23:30");
        find((QPushButton*)nullptr, "addTaskButton")->click();
        QVERIFY(scheduler.task.has_value());
        QCOMPARE(scheduler.task->hour, 23);
        QCOMPARE(scheduler.task->minute, 30);
        QVERIFY(scheduler.task->everyDay());
        QCOMPARE(QString::fromStdString(scheduler.task->arguments),
                 QString::fromStdString(" sf=Outlookxm=001000000ps=bf=" +
                                        (p.programFolder / "qarch-Outlook.qob").string()));
        QCOMPARE(QString::fromStdString(p.dialogs.texts().back()),
                 QString("Task Quire Outlook AutoBackup has been scheduled."));
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TstScheduleDialog)
#include "tst_scheduledialog.moc"
