#include "platform/win32/Win32StartupEntry.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <filesystem>
#include <vector>

namespace qob {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string errorText(LSTATUS code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text != nullptr ? win32::narrow(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

} // namespace

Win32StartupEntry::Win32StartupEntry(std::wstring name, std::wstring command)
    : name_(std::move(name)), command_(std::move(command)) {}

Win32StartupEntry Win32StartupEntry::besideThisProgram(std::wstring name) {
    std::vector<wchar_t> path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    const std::filesystem::path exe =
        std::filesystem::path(std::wstring(path.data(), length)).parent_path() / L"quiremail.exe";
    return Win32StartupEntry(std::move(name), L"\"" + exe.wstring() + L"\"");
}

Status Win32StartupEntry::set(bool on) {
    HKEY key = nullptr;
    LSTATUS opened = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0,
                                     KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
    if (opened != ERROR_SUCCESS) {
        return Status::failure("Cannot open HKEY_CURRENT_USER\\" + win32::narrow(kRunKey) + ": " +
                               errorText(opened));
    }
    LSTATUS done = ERROR_SUCCESS;
    if (on) {
        done = RegSetValueExW(key, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command_.c_str()),
                              static_cast<DWORD>((command_.size() + 1) * sizeof(wchar_t)));
    } else {
        done = RegDeleteValueW(key, name_.c_str());
        if (done == ERROR_FILE_NOT_FOUND) {
            done = ERROR_SUCCESS; // nothing to remove
        }
    }
    RegCloseKey(key);
    if (done != ERROR_SUCCESS) {
        return Status::failure(std::string(on ? "Cannot add " : "Cannot remove ") + "the start-up entry \"" +
                               win32::narrow(name_) + "\": " + errorText(done));
    }
    return Status::success();
}

std::wstring Win32StartupEntry::command() const {
    std::vector<wchar_t> data(32768, L'\0');
    DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, name_.c_str(), RRF_RT_REG_SZ, nullptr, data.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return data.data();
}

bool Win32StartupEntry::isSet() const {
    return !command().empty();
}

} // namespace qob
