#include "gui/QtDialogs.h"

#include "gui/PasswordDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QThread>

namespace qob::gui {

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons qtButtons(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

MsgAnswer answerOf(int button) {
    switch (button) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}

std::optional<std::string> chosen(const QString& path) {
    if (path.isEmpty()) {
        return std::nullopt;
    }
    return path.toStdString();
}

} // namespace

QString QtDialogs::qtFilter(const std::string& filter) {
    // "Name (*.a)|*.a|Other (*.b)|*.b": the names are every other part.
    const QStringList parts = q(filter).split('|');
    QStringList names;
    for (int i = 0; i < parts.size(); i += 2) {
        names << parts[i];
    }
    return names.join(";;");
}

void QtDialogs::onWindowThread(const std::function<void()>& ask) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        ask();
        return;
    }
    QMetaObject::invokeMethod(app, ask, Qt::BlockingQueuedConnection);
}

MsgAnswer QtDialogs::message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                             const std::string& title) {
    MsgAnswer answer = MsgAnswer::Cancel;
    onWindowThread([&] {
        // Message texts keep the CR LF line ends they were written with; Qt wants LF alone.
        QString body = q(text);
        body.replace("\r\n", "\n");
        QMessageBox box(qtIcon(icon), q(title), body, qtButtons(buttons), owner_);
        box.setObjectName("messageBox");
        answer = answerOf(box.exec());
    });
    return answer;
}

std::optional<std::string> QtDialogs::openFile(const std::string& title, const std::string& filter,
                                               const std::string& initialDir) {
    std::optional<std::string> result;
    onWindowThread([&] {
        result = chosen(QFileDialog::getOpenFileName(owner_, q(title), q(initialDir), qtFilter(filter)));
    });
    return result;
}

std::optional<std::string> QtDialogs::saveFile(const std::string& title, const std::string& filter,
                                               const std::string& initialPath) {
    std::optional<std::string> result;
    onWindowThread([&] {
        result = chosen(QFileDialog::getSaveFileName(owner_, q(title), q(initialPath), qtFilter(filter)));
    });
    return result;
}

std::optional<std::string> QtDialogs::browseFolder(const std::string& title, const std::string& initialDir) {
    std::optional<std::string> result;
    onWindowThread(
        [&] { result = chosen(QFileDialog::getExistingDirectory(owner_, q(title), q(initialDir))); });
    return result;
}

std::optional<std::string> QtDialogs::askPassword(const std::string& prompt) {
    std::optional<std::string> result;
    onWindowThread([&] { result = PasswordDialog::ask(owner_, programFolder_, prompt); });
    return result;
}

void QtDialogs::processEvents() {
    // Only the window's thread has events to run; a job on a worker reports through queued events.
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() == app->thread()) {
        QCoreApplication::processEvents();
    }
}

} // namespace qob::gui
