#pragma once
// The program's own picture (data/icons/quire-outlook-backup.svg, built into the program), for
// window icons and the about window.
#include <QIcon>

namespace qob::gui {

QIcon productIcon();

} // namespace qob::gui
