#include "platform/win32/WideText.h"

#include <windows.h>

namespace qob::win32 {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(std::wstring_view utf16) {
    if (utf16.empty()) {
        return {};
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::string environmentVariable(const char* name) {
    const std::wstring wideName = widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        const DWORD n =
            GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (n == 0) {
            return {};
        }
        if (n < value.size()) {
            value.resize(n);
            return narrow(value);
        }
        value.resize(n); // n counts the terminating zero when the buffer was too small
    }
}

std::wstring fullPath(const wchar_t* path) {
    const DWORD n = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (n == 0) {
        return path;
    }
    std::wstring out(n, L'\0');
    const DWORD written = GetFullPathNameW(path, n, out.data(), nullptr);
    out.resize(written);
    return out;
}

std::wstring longPath(const wchar_t* path) {
    std::wstring p = path;
    if (p.size() < MAX_PATH - 12 || p.rfind(L"\\\\?\\", 0) == 0) {
        return p;
    }
    p = fullPath(p.c_str());
    for (wchar_t& c : p) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    if (p.rfind(L"\\\\", 0) == 0) {
        return L"\\\\?\\UNC\\" + p.substr(2);
    }
    return L"\\\\?\\" + p;
}

std::string errorText(unsigned long code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text ? narrow(text) : "error " + std::to_string(code);
    if (text) {
        LocalFree(text);
    }
    while (!out.empty() &&
           (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) {
        out.pop_back();
    }
    return out;
}

} // namespace qob::win32
