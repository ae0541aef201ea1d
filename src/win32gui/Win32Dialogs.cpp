#include "win32gui/Win32Dialogs.h"

#include "platform/win32/WideText.h"
#include "win32gui/MessageLoop.h"
#include "win32gui/PasswordWindow.h"

#include <commdlg.h>
#include <shlobj.h>

#include <filesystem>
#include <vector>

namespace qob::win32gui {

namespace {

// The dialogs take paths with backslashes; forms may hand over either kind.
std::wstring nativePath(const std::string& path) {
    std::wstring wide = win32::widen(path);
    for (wchar_t& c : wide) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return wide;
}

std::optional<std::string> fileDialog(HWND owner, bool save, const std::string& title,
                                      const std::string& filter, const std::wstring& folder,
                                      const std::wstring& name) {
    std::vector<wchar_t> buffer(32768, L'\0'); // long paths too
    name.copy(buffer.data(), std::min(name.size(), buffer.size() - 1));
    const std::wstring filterW = Win32Dialogs::filterText(filter);
    const std::wstring titleW = win32::widen(title);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filterW.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = titleW.c_str();
    // The program's own working folder never moves with what the user browses to.
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    ofn.Flags |= save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST;
    const BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen || buffer[0] == L'\0') {
        return std::nullopt;
    }
    return win32::narrow(buffer.data());
}

} // namespace

std::wstring Win32Dialogs::filterText(const std::string& filter) {
    std::wstring out = win32::widen(filter);
    if (out.empty()) {
        return std::wstring(2, L'\0');
    }
    for (wchar_t& c : out) {
        if (c == L'|') {
            c = L'\0';
        }
    }
    out.push_back(L'\0');
    out.push_back(L'\0');
    return out;
}

UINT Win32Dialogs::messageStyle(MsgIcon icon, MsgButtons buttons) {
    UINT style = MB_SETFOREGROUND;
    switch (icon) {
    case MsgIcon::Information:
        style |= MB_ICONINFORMATION;
        break;
    case MsgIcon::Warning:
        style |= MB_ICONWARNING;
        break;
    case MsgIcon::Critical:
        style |= MB_ICONERROR;
        break;
    case MsgIcon::Question:
        style |= MB_ICONQUESTION;
        break;
    case MsgIcon::None:
        break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        style |= MB_OK;
        break;
    case MsgButtons::OkCancel:
        style |= MB_OKCANCEL;
        break;
    case MsgButtons::YesNo:
        style |= MB_YESNO;
        break;
    case MsgButtons::YesNoCancel:
        style |= MB_YESNOCANCEL;
        break;
    }
    return style;
}

MsgAnswer Win32Dialogs::answerOf(int result) {
    switch (result) {
    case IDOK:
        return MsgAnswer::Ok;
    case IDYES:
        return MsgAnswer::Yes;
    case IDNO:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}

MsgAnswer Win32Dialogs::message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                const std::string& title) {
    MsgAnswer answer = MsgAnswer::Cancel;
    callOnWindowThread(owner_, [&] {
        const int result = MessageBoxW(owner_, win32::widen(text).c_str(), win32::widen(title).c_str(),
                                       messageStyle(icon, buttons));
        answer = answerOf(result);
    });
    return answer;
}

std::optional<std::string> Win32Dialogs::openFile(const std::string& title, const std::string& filter,
                                                  const std::string& initialDir) {
    std::optional<std::string> result;
    callOnWindowThread(
        owner_, [&] { result = fileDialog(owner_, false, title, filter, nativePath(initialDir), {}); });
    return result;
}

std::optional<std::string> Win32Dialogs::saveFile(const std::string& title, const std::string& filter,
                                                  const std::string& initialPath) {
    std::optional<std::string> result;
    callOnWindowThread(owner_, [&] {
        const std::filesystem::path path(nativePath(initialPath));
        result =
            fileDialog(owner_, true, title, filter, path.parent_path().wstring(), path.filename().wstring());
    });
    return result;
}

std::optional<std::string> Win32Dialogs::browseFolder(const std::string& title,
                                                      const std::string& initialDir) {
    std::optional<std::string> result;
    callOnWindowThread(owner_, [&] {
        const std::wstring titleW = win32::widen(title);
        const std::wstring start = nativePath(initialDir);
        BROWSEINFOW info{};
        info.hwndOwner = owner_;
        info.lpszTitle = titleW.c_str();
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
        // Opens on the folder the user had.
        info.lpfn = [](HWND window, UINT message, LPARAM, LPARAM data) -> int {
            if (message == BFFM_INITIALIZED && data != 0) {
                SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
            }
            return 0;
        };
        info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
        PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
        if (chosen == nullptr) {
            return;
        }
        std::vector<wchar_t> path(32768, L'\0');
        if (SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) {
            result = win32::narrow(path.data());
        }
        CoTaskMemFree(chosen);
    });
    return result;
}

std::optional<std::string> Win32Dialogs::askPassword(const std::string& prompt) {
    std::optional<std::string> result;
    callOnWindowThread(owner_, [&] { result = PasswordWindow::ask(owner_, prompt); });
    return result;
}

void Win32Dialogs::processEvents() {
    // Only the window's thread has messages to run; a job on a worker reports through the runner.
    if (owner_ == nullptr || GetWindowThreadProcessId(owner_, nullptr) == GetCurrentThreadId()) {
        if (std::optional<int> quit = pumpPending(); quit) {
            PostQuitMessage(*quit); // for the loop that owns it
        }
    }
}

} // namespace qob::win32gui
