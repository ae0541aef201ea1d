#pragma once
// quiremail.exe's own options read from Windows' UTF-16 command line: the narrow argv main() gets
// is in the ANSI code page, which cannot spell every file name a user double-clicks.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qob::win32gui {

// The file after "--open" (the desktop's "open" verb passes the .qob so); nullopt without one.
std::optional<std::filesystem::path> openArgument(const std::vector<std::wstring>& arguments);
// This process's arguments, the program's name first (CommandLineToArgvW of GetCommandLineW).
std::vector<std::wstring> processArguments();

} // namespace qob::win32gui
