#pragma once
// What the windows hand to the desktop: a file or folder shown in the user's own program, and a
// Windows program started inside the target system's Wine prefix.
#include <QString>

#include <filesystem>
#include <string>

namespace qob::gui {

// Opens `path` (a file: its program, e.g. the text editor; a folder: the file manager). False when
// the desktop has nothing to open it with.
bool openOnDesktop(const std::filesystem::path& path);

// Starts a Windows program (target path, e.g. "C:\Program Files\...\OUTLOOK.EXE") under Wine in
// `prefix`, without waiting for it. False when Wine could not be started.
bool startInPrefix(const std::filesystem::path& prefix, const std::string& windowsProgram);

} // namespace qob::gui
