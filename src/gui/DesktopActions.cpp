#include "gui/DesktopActions.h"

#include <QDesktopServices>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QUrl>

namespace qob::gui {

bool openOnDesktop(const std::filesystem::path& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path.string())));
}

bool startInPrefix(const std::filesystem::path& prefix, const std::string& windowsProgram) {
    const QString wine = QStandardPaths::findExecutable("wine");
    if (wine.isEmpty()) {
        return false;
    }
    QProcess process;
    process.setProgram(wine);
    process.setArguments({QString::fromStdString(windowsProgram)});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", QString::fromStdString(prefix.string()));
    process.setProcessEnvironment(environment);
    // Wine's own output would only clutter the terminal the window was started from.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace qob::gui
