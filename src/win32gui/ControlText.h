#pragma once
// Texts of Win32 controls in the program's UTF-8.
#include <windows.h>

#include <string>
#include <vector>

namespace qob::win32gui {

std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);
// The dialog's control `id`.
std::string controlText(HWND dialog, int id);
// Sets it only when it differs: an edit box being typed in keeps its caret and selection.
void setControlText(HWND dialog, int id, const std::string& text);
// For WM_CTLCOLORSTATIC and WM_CTLCOLORBTN of a window whose pages sit on a tab control: labels,
// boxes and frames of the page shown (`page`, control ids) take the page's colour (a themed tab
// control draws its body in the window colour); the brush, or FALSE for the dialog's own colour.
INT_PTR pageColour(WPARAM dc, LPARAM control, const std::vector<int>& page);
// Line ends as an edit box shows them (CR LF).
std::string withCrLf(const std::string& text);

} // namespace qob::win32gui
