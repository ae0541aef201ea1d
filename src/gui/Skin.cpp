#include "gui/Skin.h"

#include <QFile>

namespace qob::gui {

namespace {
// A style sheet is a few kilobytes; a file far larger is not one, and reading it would stall
// every window's opening.
constexpr qint64 kMaxSkinBytes = 4 * 1024 * 1024;
} // namespace

std::filesystem::path skinPath(const std::filesystem::path& programFolder) {
    return programFolder / "skins" / "frmmain.qss";
}

bool applySkin(QWidget& window, const std::filesystem::path& programFolder) {
    QFile file(skinPath(programFolder));
    if (!file.exists() || file.size() > kMaxSkinBytes || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray sheet = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return false;
    }
    window.setStyleSheet(QString::fromUtf8(sheet));
    return true;
}

} // namespace qob::gui
