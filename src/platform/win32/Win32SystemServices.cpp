#include "platform/win32/Win32SystemServices.h"

#include "platform/AsciiCase.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>
#include <tlhelp32.h>

namespace qob {
namespace {

std::string knownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string out;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK && path != nullptr) {
        out = win32::narrow(path);
    }
    CoTaskMemFree(path);
    return out;
}

bool sameName(const std::string& a, const std::string& b) {
    return equalsIgnoreCase(a, b);
}

} // namespace

Win32SystemServices::Win32SystemServices(std::filesystem::path runLockFolder,
                                         std::chrono::milliseconds closeRequestLimit)
    : runLockFolder_(std::move(runLockFolder)), closeRequestLimit_(closeRequestLimit) {}

std::string Win32SystemServices::computerName() const {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &n) ? win32::narrow(std::wstring_view(name, n)) : std::string();
}

std::string Win32SystemServices::logonUser() const {
    wchar_t name[257];
    DWORD n = 257;
    return GetUserNameW(name, &n) && n > 0 ? win32::narrow(std::wstring_view(name, n - 1)) : std::string();
}

std::string Win32SystemServices::windowsFolder() const {
    wchar_t path[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryW(path, MAX_PATH + 1);
    return win32::narrow(std::wstring_view(path, n));
}

std::string Win32SystemServices::expandEnvironment(const std::string& text) const {
    const std::wstring wide = win32::widen(text);
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (n == 0) {
        return text;
    }
    std::wstring out(n, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(wide.c_str(), out.data(), n);
    out.resize(written > 0 ? written - 1 : 0);
    return win32::narrow(out);
}

WindowsVersion Win32SystemServices::windowsVersion() const {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    WindowsVersion v;
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFn>(
                                     reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (rtlGetVersion && rtlGetVersion(&info) == 0) {
        v.major = info.dwMajorVersion;
        v.minor = info.dwMinorVersion;
        v.build = info.dwBuildNumber;
    }
    return v;
}

std::vector<ProcessInfo> Win32SystemServices::processes() const {
    std::vector<ProcessInfo> out;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return out;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        out.push_back({static_cast<std::int64_t>(entry.th32ProcessID), win32::narrow(entry.szExeFile)});
    }
    CloseHandle(snapshot);
    return out;
}

namespace {

struct CloseRequest {
    std::vector<DWORD> pids;
    int asked = 0;
};

BOOL CALLBACK askWindow(HWND window, LPARAM data) {
    auto* request = reinterpret_cast<CloseRequest*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    for (DWORD p : request->pids) {
        if (p == pid && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
            if (PostMessageW(window, WM_CLOSE, 0, 0)) {
                ++request->asked;
            }
        }
    }
    return TRUE;
}

} // namespace

bool Win32SystemServices::askToClose(const std::string& exeName) {
    CloseRequest request;
    for (const ProcessInfo& p : processes()) {
        if (sameName(p.exeName, exeName)) {
            request.pids.push_back(static_cast<DWORD>(p.pid));
        }
    }
    if (request.pids.empty()) {
        return true;
    }
    EnumWindows(askWindow, reinterpret_cast<LPARAM>(&request));
    return request.asked > 0;
}

RunLockPlace Win32SystemServices::runLockPlace() const {
    if (runLockFolder_.empty()) {
        return {};
    }
    return {runLockFolder_ / "run.lock",
            "this Windows user's backups (" + win32::narrow(runLockFolder_.wstring()) + ")"};
}

std::string Win32SystemServices::userProfile() {
    return knownFolder(FOLDERID_Profile);
}
std::string Win32SystemServices::localAppData() {
    return knownFolder(FOLDERID_LocalAppData);
}

std::string Win32SystemServices::systemProgram(const std::string& name) {
    wchar_t folder[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) {
        return name;
    }
    return win32::narrow(std::wstring(folder, n)) + "\\" + name;
}

std::uint32_t Win32SystemServices::consoleCodePage() {
    return GetOEMCP();
}

} // namespace qob
