#include "platform/win32/Win32StartupEntry.h"

#include "platform/ExecutablePath.h"
#include "platform/win32/WideText.h"

#include <windows.h>

namespace qob {
Win32StartupEntry::Win32StartupEntry(std::filesystem::path programFolder, std::string runKey,
                                     std::string valueName)
    : programFolder_(std::move(programFolder)), runKey_(std::move(runKey)), valueName_(std::move(valueName)) {
}

Win32StartupEntry Win32StartupEntry::forThisProgram() {
    std::error_code ec;
    const std::filesystem::path exe = runningExecutable(ec);
    return Win32StartupEntry(ec ? std::filesystem::path() : exe.parent_path());
}

std::string Win32StartupEntry::command() const {
    std::wstring folder = programFolder_.wstring();
    // "C:\" + "\quiremail.exe" must not double the backslash.
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) {
        folder.pop_back();
    }
    for (wchar_t& c : folder) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return "\"" + win32::narrow(folder) + "\\quiremail.exe\"";
}

Status Win32StartupEntry::set(bool on) {
    const std::wstring key = win32::widen(runKey_);
    const std::wstring name = win32::widen(valueName_);
    if (!on) {
        HKEY handle = nullptr;
        LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle);
        if (rc == ERROR_FILE_NOT_FOUND) {
            return Status::success();
        }
        if (rc == ERROR_SUCCESS) {
            rc = RegDeleteValueW(handle, name.c_str());
            RegCloseKey(handle);
        }
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
            return Status::failure("Cannot remove the start-up entry \"" + valueName_ +
                                   "\" under HKEY_CURRENT_USER\\" + runKey_ + ": " +
                                   win32::errorText(static_cast<unsigned long>(rc)));
        }
        return Status::success();
    }
    if (programFolder_.empty()) {
        return Status::failure("Cannot write the start-up entry: the program's own folder is unknown");
    }
    const std::wstring data = win32::widen(command());
    HKEY handle = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(handle);
    }
    if (rc != ERROR_SUCCESS) {
        return Status::failure("Cannot write the start-up entry \"" + valueName_ +
                               "\" under HKEY_CURRENT_USER\\" + runKey_ + ": " +
                               win32::errorText(static_cast<unsigned long>(rc)));
    }
    return Status::success();
}

bool Win32StartupEntry::isSet() const {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, win32::widen(runKey_).c_str(), 0, KEY_QUERY_VALUE, &handle) !=
        ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    const LONG rc =
        RegQueryValueExW(handle, win32::widen(valueName_).c_str(), nullptr, &type, nullptr, nullptr);
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ);
}

} // namespace qob
