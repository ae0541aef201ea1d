#pragma once
// How the main window's controls follow its size: the lists, the log and the text fields grow, the
// buttons keep to their edges.
#include "win32gui/AnchorLayout.h"

#include <span>

namespace qob::win32gui {

std::span<const Anchor> mainWindowAnchors();
// The smallest client area, in dialog units: every page's controls still apart.
SIZE mainWindowMinimumClient();

} // namespace qob::win32gui
