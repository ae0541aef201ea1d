// The Qt Dialogs: a question asked from a worker thread is shown on the window's thread and its
// answer reaches the worker.
#include "gui/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <thread>

class TstQtDialogs : public QObject {
    Q_OBJECT
private slots:
    void filterTurnsIntoQtForm() {
        QCOMPARE(qob::gui::QtDialogs::qtFilter("Quire Outlook Backup File (*.qob)|*.qob"),
                 QString("Quire Outlook Backup File (*.qob)"));
        QCOMPARE(qob::gui::QtDialogs::qtFilter("A (*.a)|*.a|B (*.b)|*.b"), QString("A (*.a);;B (*.b)"));
    }

    void messageFromWorkerIsAnsweredOnWindowThread() {
        qob::gui::QtDialogs dialogs;
        QObject scope;
        QThread* windowThread = QThread::currentThread();
        QThread* shownOn = nullptr;
        QString shownText;
        QTimer poll(&scope);
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            shownOn = box->thread();
            shownText = box->text();
            box->button(QMessageBox::Cancel)->click();
        });
        poll.start();
        std::atomic<int> answer{-1};
        std::thread worker([&] {
            answer = static_cast<int>(dialogs.message("line one\r\nline two", qob::MsgIcon::Information,
                                                      qob::MsgButtons::OkCancel, "Title"));
        });
        QTRY_VERIFY_WITH_TIMEOUT(answer.load() != -1, 10000);
        worker.join();
        QCOMPARE(answer.load(), static_cast<int>(qob::MsgAnswer::Cancel));
        QCOMPARE(shownOn, windowThread);
        QCOMPARE(shownText, QString("line one\nline two"));
    }
};

QTEST_MAIN(TstQtDialogs)
#include "tst_qtdialogs.moc"
