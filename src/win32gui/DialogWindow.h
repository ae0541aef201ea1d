#pragma once
// What every window made from a dialog template shares: shown modally over its owner, or modeless
// (the tests drive it so, and the dialog manager's keys then go through the program's own message
// loop); its procedure hands each message to the object (`Derived::handle`), and it closes the way
// it was opened. The derived window destroys a modeless window still open in its own destructor,
// while the object is whole, since WM_DESTROY still reaches its handler.
#include "win32gui/MessageLoop.h"

#include <windows.h>

namespace qob::win32gui {

template <class Derived> class DialogWindow {
public:
    HWND window() const { return window_; }

protected:
    explicit DialogWindow(int templateId) : templateId_(templateId) {}

    INT_PTR showModal(HWND owner) {
        modal_ = true;
        return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, dialogProc,
                               reinterpret_cast<LPARAM>(this));
    }
    HWND createModeless(HWND owner, HACCEL accelerators = nullptr) {
        modal_ = false;
        HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(this));
        if (window != nullptr) {
            registerDialog(window, accelerators);
            ShowWindow(window, SW_SHOW);
        }
        return window;
    }
    // `result` is what a modal run returns.
    void closeWith(INT_PTR result) {
        if (modal_) {
            EndDialog(window_, result);
        } else {
            DestroyWindow(window_);
        }
    }
    void destroyIfOpen() {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
    }

    HWND window_ = nullptr;
    bool modal_ = true;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(window, DWLP_USER, lParam);
            reinterpret_cast<DialogWindow*>(lParam)->window_ = window;
        }
        auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
        return self != nullptr ? static_cast<Derived*>(self)->handle(message, wParam, lParam) : FALSE;
    }

    int templateId_;
};

} // namespace qob::win32gui
