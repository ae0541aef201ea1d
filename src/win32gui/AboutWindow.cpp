#include "win32gui/AboutWindow.h"

#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"

namespace qob::win32gui {

void AboutWindow::run(HWND owner) {
    showModal(owner);
}

HWND AboutWindow::create(HWND owner) {
    return createModeless(owner);
}

INT_PTR AboutWindow::handle(UINT message, WPARAM wParam, LPARAM) {
    HWND window = window_;
    switch (message) {
    case WM_INITDIALOG: {
        setWindowText(window, form_.caption);
        setControlText(window, IDC_ABOUT_PRODUCT, form_.productLine);
        setControlText(window, IDC_ABOUT_THANKS, form_.thanks);
        setControlText(window, IDC_ABOUT_NOTICE, form_.notice);
        // The product line in bold, as the Qt window has it; the font lives as long as the window.
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
        font.lfWeight = FW_BOLD;
        HFONT bold = CreateFontIndirectW(&font);
        SetPropW(window, L"QuireBoldFont", bold);
        SendDlgItemMessageW(window, IDC_ABOUT_PRODUCT, WM_SETFONT, reinterpret_cast<WPARAM>(bold), FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            closeWith(IDOK);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        unregisterDialog(window);
        if (HANDLE bold = RemovePropW(window, L"QuireBoldFont"); bold != nullptr) {
            DeleteObject(bold);
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace qob::win32gui
