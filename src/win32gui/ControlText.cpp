#include "win32gui/ControlText.h"

#include "platform/win32/WideText.h"

#include <uxtheme.h>

#include <algorithm>

namespace qob::win32gui {

std::string windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return win32::narrow(text);
}

void setWindowText(HWND window, const std::string& text) {
    if (windowText(window) != text) {
        SetWindowTextW(window, win32::widen(text).c_str());
    }
}

std::string controlText(HWND dialog, int id) {
    return windowText(GetDlgItem(dialog, id));
}

void setControlText(HWND dialog, int id, const std::string& text) {
    setWindowText(GetDlgItem(dialog, id), text);
}

INT_PTR pageColour(WPARAM dc, LPARAM control, const std::vector<int>& page) {
    HWND window = reinterpret_cast<HWND>(control);
    wchar_t kind[16] = {};
    GetClassNameW(window, kind, 16);
    // Edit boxes keep theirs: a read-only one is grey on purpose.
    if (_wcsicmp(kind, L"Edit") == 0 ||
        std::find(page.begin(), page.end(), GetDlgCtrlID(window)) == page.end()) {
        return FALSE;
    }
    SetBkMode(reinterpret_cast<HDC>(dc), TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(IsAppThemed() ? COLOR_WINDOW : COLOR_BTNFACE));
}

std::string withCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

} // namespace qob::win32gui
