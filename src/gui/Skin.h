#pragma once
// The program's look follows the desktop. A Qt style sheet `skins/frmmain.qss` in the program
// folder, beside where the old skin file was looked for, restyles every window that applies it.
#include <QWidget>

#include <filesystem>

namespace qob::gui {

// Host path of the style sheet in `programFolder`.
std::filesystem::path skinPath(const std::filesystem::path& programFolder);

// Gives `window` the style sheet when the file exists and can be read; returns whether it did. A
// missing or unreadable file leaves the window's look as it was (a failing skin step is skipped).
bool applySkin(QWidget& window, const std::filesystem::path& programFolder);

} // namespace qob::gui
