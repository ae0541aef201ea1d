#include "win32gui/ControlText.h"

#include "platform/win32/WideText.h"

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
