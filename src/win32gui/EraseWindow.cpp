#include "win32gui/EraseWindow.h"

#include "win32gui/ControlText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/ResourceIds.h"
#include "win32gui/Win32Dialogs.h"

#include <commctrl.h>

namespace qob::win32gui {

EraseWindow::EraseWindow(EraseForm& form, disc::DiscEngine& engine, Win32Dialogs* owned)
    : DialogWindow(IDD_ERASE), form_(form), engine_(engine), owned_(owned),
      call_([this](std::function<void()> call) { queue_.post(std::move(call)); }) {}

EraseWindow::~EraseWindow() {
    destroyIfOpen();
}

void EraseWindow::run(HWND owner) {
    showModal(owner);
}

HWND EraseWindow::create(HWND owner) {
    return createModeless(owner);
}

void EraseWindow::waitForErase() {
    pumpWhile([this] { return call_.running(); });
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
    closeWith(IDOK);
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
