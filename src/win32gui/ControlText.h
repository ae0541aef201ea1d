#pragma once
// Texts of Win32 controls in the program's UTF-8.
#include <windows.h>

#include <string>

namespace qob::win32gui {

std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);
// The dialog's control `id`.
std::string controlText(HWND dialog, int id);
// Sets it only when it differs: an edit box being typed in keeps its caret and selection.
void setControlText(HWND dialog, int id, const std::string& text);
// Line ends as an edit box shows them (CR LF).
std::string withCrLf(const std::string& text);

} // namespace qob::win32gui
