// The password prompt's binding: what is typed (at most 20 characters) is what OK or Enter
// returns; Cancel or Escape returns nothing; the Qt Dialogs ask through it.
#include "gui/PasswordDialog.h"
#include "gui/QtDialogs.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace qob;

class TstPasswordDialog : public QObject {
    Q_OBJECT
private slots:
    void typedTextIsTheAnswer() {
        struct Case {
            QString typed;
            int key; // Qt::Key_Return, Qt::Key_Escape, or 0 to click OK
            std::optional<std::string> answer;
        };
        const Case cases[] = {
            {"  secret  ", Qt::Key_Return, "  secret  "},
            {"abcdefghij0123456789XYZ", Qt::Key_Return, "abcdefghij0123456789"},
            {"", 0, ""},
            {"typed", Qt::Key_Escape, std::nullopt},
        };
        for (const Case& c : cases) {
            gui::PasswordDialog dialog({}, kPasswordLabel);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            auto* edit = dialog.findChild<QLineEdit*>("passwordEdit");
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QCOMPARE(edit->maxLength(), 20);
            QTest::keyClicks(edit, c.typed);
            if (c.key != 0) {
                QTest::keyClick(edit, Qt::Key(c.key));
            } else {
                dialog.findChild<QPushButton*>("okButton")->click();
            }
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.form().answer(), c.answer);
        }
    }

    void captions() {
        gui::PasswordDialog dialog({}, kPasswordLabel);
        QCOMPARE(dialog.windowTitle(), QString("Please enter password"));
        QCOMPARE(dialog.findChild<QGroupBox*>("securityFrame")->title(), QString("Security"));
        QCOMPARE(dialog.findChild<QLabel*>("promptLabel")->text(), QString("Please enter password:"));
        QCOMPARE(dialog.findChild<QPushButton*>("okButton")->text(), QString("OK"));
        QCOMPARE(dialog.findChild<QPushButton*>("cancelButton")->text(), QString("Cancel"));
    }

    // The question a protected backup asks reaches this prompt and its answer comes back.
    void qtDialogsAskThroughThePrompt() {
        for (bool confirm : {true, false}) {
            QObject scope;
            bool otherWindow = false;
            QTimer poll(&scope);
            poll.setInterval(10);
            connect(&poll, &QTimer::timeout, [&] {
                QWidget* shown = QApplication::activeModalWidget();
                if (shown == nullptr) {
                    return;
                }
                auto* dialog = qobject_cast<gui::PasswordDialog*>(shown);
                if (dialog == nullptr) {
                    otherWindow = true; // some other prompt: close it so the test fails, not hangs
                    poll.stop();
                    if (auto* other = qobject_cast<QDialog*>(shown)) {
                        other->reject();
                    }
                    return;
                }
                poll.stop();
                auto* edit = dialog->findChild<QLineEdit*>("passwordEdit");
                QTest::keyClicks(edit, "p w"); // keyClicks takes ASCII only
                edit->insert(QString::fromUtf8("ä"));
                QTest::keyClick(edit, confirm ? Qt::Key_Return : Qt::Key_Escape);
                if (dialog->isVisible()) {
                    dialog->reject(); // a broken binding fails the test instead of hanging it
                }
            });
            poll.start();
            gui::QtDialogs dialogs;
            const auto answer = dialogs.askPassword("Please enter password:");
            QVERIFY(!otherWindow);
            QCOMPARE(answer, confirm ? std::optional<std::string>("p wä") : std::nullopt);
        }
    }
};

QTEST_MAIN(TstPasswordDialog)
#include "tst_passworddialog.moc"
