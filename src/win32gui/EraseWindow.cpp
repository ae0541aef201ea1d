#include "win32gui/EraseWindow.h"

#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/Win32Dialogs.h"

#include <commctrl.h>

namespace qob::win32gui {

EraseWindow::EraseWindow(EraseForm& form, disc::DiscEngine& engine, Win32Dialogs* owned)
    : form_(form), engine_(engine), owned_(owned),
      call_([this](std::function<void()> call) { queue_.post(std::move(call)); }) {}

EraseWindow::~EraseWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

void EraseWindow::run(HWND owner) {
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ERASE), owner, dialogProc,
                    reinterpret_cast<LPARAM>(this));
}

HWND EraseWindow::create(HWND owner) {
    modal_ = false;
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ERASE), owner,
                                     dialogProc, reinterpret_cast<LPARAM>(this));
    if (window != nullptr) {
        registerDialog(window);
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

void EraseWindow::waitForErase() {
    pumpWhile([this] { return call_.running(); });
}

INT_PTR CALLBACK EraseWindow::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<EraseWindow*>(lParam)->window_ = window;
    }
    auto* self = reinterpret_cast<EraseWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

void EraseWindow::initialize() {
    setWindowText(window_, kEraseWindowCaption);
    setControlText(window_, IDC_ERASE_NOTE, kEraseNote);
    queue_.setWindow(window_);
    if (owned_ != nullptr) {
        earlierOwner_ = owned_->owner();
        owned_->setOwner(window_);
    }
    SendDlgItemMessageW(window_, IDC_ERASE_PROGRESS, PBM_SETRANGE32, 0, 100);
    refresh();
}

void EraseWindow::refresh() {
    if (window_ == nullptr) {
        return;
    }
    const bool running = call_.running();
    CheckDlgButton(window_, IDC_QUICK_ERASE, form_.quickErase ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(window_, IDC_ERASE), form_.eraseEnabled && !running);
    EnableWindow(GetDlgItem(window_, IDCANCEL), form_.cancelEnabled && !running);
    EnableWindow(GetDlgItem(window_, IDC_QUICK_ERASE), form_.eraseEnabled && !running);
    SendDlgItemMessageW(window_, IDC_ERASE_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(form_.progress), 0);
    setControlText(window_, IDC_ERASE_STATUS, form_.statusText);
    if (form_.closeRequested && closable()) {
        form_.closeRequested = false;
        close();
    }
}

void EraseWindow::eraseClicked() {
    if (!form_.eraseClick()) {
        refresh(); // refused: the message was shown and the window closes
        return;
    }
    const std::string address = form_.address();
    const bool quick = form_.quickErase;
    disc::DiscEngine& engine = engine_;
    call_.start(
        [&engine, address, quick](disc::DiscEvents& events) { return engine.erase(address, quick, events); },
        form_, [this] { refresh(); },
        [this](const Status& result) {
            form_.eraseReturned(result);
            refresh();
        });
    refresh();
}

void EraseWindow::close() {
    if (modal_) {
        EndDialog(window_, IDOK);
    } else {
        DestroyWindow(window_);
    }
}

INT_PTR EraseWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (handleCall(message, lParam)) {
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        initialize();
        return TRUE;
    case kJobEventMessage:
        queue_.deliver();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_QUICK_ERASE:
            form_.quickErase = IsDlgButtonChecked(window_, IDC_QUICK_ERASE) == BST_CHECKED;
            return TRUE;
        case IDC_ERASE:
            eraseClicked();
            return TRUE;
        case IDCANCEL:
            // Escape, "Cancel" and the close box: refused while the erase runs (it cannot be stopped).
            if (closable()) {
                close();
            }
            return TRUE;
        default:
            break;
        }
        break;
    case WM_DESTROY:
        unregisterDialog(window_);
        if (owned_ != nullptr) {
            owned_->setOwner(earlierOwner_);
        }
        window_ = nullptr;
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace qob::win32gui
