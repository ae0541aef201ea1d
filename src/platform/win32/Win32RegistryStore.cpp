#include "platform/win32/Win32RegistryStore.h"

#include "platform/win32/WideText.h"

#include <windows.h>

namespace qob {
namespace {

HKEY hkey(RegHandle h) {
    return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(h));
}
RegHandle handle(HKEY k) {
    return static_cast<RegHandle>(reinterpret_cast<std::uintptr_t>(k));
}
HKEY rootKey(RegRoot root) {
    return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(root));
}

bool isString(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

std::string joinPath(const std::string& parent, const std::string& name) {
    return parent.empty() ? name : parent + "\\" + name;
}

} // namespace

std::vector<std::uint8_t> Win32RegistryStore::stringFromRegistry(const std::vector<std::uint8_t>& utf16) {
    std::wstring text(utf16.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(utf16[2 * i] | (utf16[2 * i + 1] << 8));
    }
    // Exactly one terminating NUL, whether or not the writer counted one.
    if (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    const std::string utf8 = win32::narrow(text);
    std::vector<std::uint8_t> out(utf8.begin(), utf8.end());
    out.push_back(0);
    return out;
}

std::vector<std::uint8_t> Win32RegistryStore::stringToRegistry(const std::vector<std::uint8_t>& utf8) {
    std::string text(utf8.begin(), utf8.end());
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    std::wstring wide = win32::widen(text);
    wide.push_back(L'\0');
    std::vector<std::uint8_t> out;
    out.reserve(wide.size() * 2);
    for (wchar_t c : wide) {
        out.push_back(static_cast<std::uint8_t>(c & 0xff));
        out.push_back(static_cast<std::uint8_t>((c >> 8) & 0xff));
    }
    return out;
}

Win32RegistryStore::~Win32RegistryStore() {
    for (const auto& [h, key] : open_) {
        RegCloseKey(hkey(h));
    }
}

RegResult Win32RegistryStore::result(long code, const char* what) {
    if (code != ERROR_SUCCESS && code != ERROR_NO_MORE_ITEMS && code != ERROR_FILE_NOT_FOUND) {
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        lastError_ =
            std::string(what) + ": " + (text ? win32::narrow(text) : "error " + std::to_string(code));
        if (text) {
            LocalFree(text);
        }
        while (!lastError_.empty() && (lastError_.back() == '\n' || lastError_.back() == '\r')) {
            lastError_.pop_back();
        }
    }
    return code;
}

bool Win32RegistryStore::keyExists(RegRoot root, const std::string& path) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(rootKey(root), win32::widen(path).c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(k);
    return true;
}

RegResult Win32RegistryStore::openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) {
    HKEY k = nullptr;
    const REGSAM access = KEY_READ | (forWrite ? KEY_WRITE : 0);
    const long rc = RegOpenKeyExW(rootKey(root), win32::widen(path).c_str(), 0, access, &k);
    if (rc == ERROR_SUCCESS) {
        out = handle(k);
        open_[out] = {root, path};
    }
    return result(rc, "opening a registry key");
}

RegResult Win32RegistryStore::createKey(RegRoot root, const std::string& path, RegHandle& out) {
    // Every key the call creates (the missing ones above it too) is taken back by discardChanges.
    std::vector<std::string> missing;
    for (std::string p = path; !p.empty() && !keyExists(root, p);) {
        missing.push_back(p);
        const std::size_t cut = p.rfind('\\');
        p = cut == std::string::npos ? "" : p.substr(0, cut);
    }
    HKEY k = nullptr;
    const long rc = RegCreateKeyExW(rootKey(root), win32::widen(path).c_str(), 0, nullptr,
                                    REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &k, nullptr);
    if (rc == ERROR_SUCCESS) {
        out = handle(k);
        open_[out] = {root, path};
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            Undo u;
            u.root = root;
            u.path = *it;
            u.keyCreated = true;
            undo_.push_back(std::move(u));
        }
    }
    return result(rc, "creating a registry key");
}

RegResult Win32RegistryStore::closeKey(RegHandle key) {
    open_.erase(key);
    return result(RegCloseKey(hkey(key)), "closing a registry key");
}

RegResult Win32RegistryStore::enumKey(RegHandle key, std::uint32_t index, std::string& name) {
    wchar_t buffer[256];
    DWORD length = 256;
    const long rc = RegEnumKeyExW(hkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) {
        name = win32::narrow(std::wstring_view(buffer, length));
    }
    return result(rc, "listing registry keys");
}

RegResult Win32RegistryStore::enumValue(RegHandle key, std::uint32_t index, RegValue& out) {
    DWORD nameMax = 0, dataMax = 0;
    long rc = RegQueryInfoKeyW(hkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &nameMax, &dataMax, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) {
        return result(rc, "listing registry values");
    }
    // The sizes may grow between the two calls when another program writes the key: ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::wstring name(nameMax + 1, L'\0');
        std::vector<std::uint8_t> data(dataMax + 2);
        DWORD nameLength = nameMax + 1;
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        rc = RegEnumValueW(hkey(key), index, name.data(), &nameLength, nullptr, &type, data.data(),
                           &dataLength);
        if (rc == ERROR_MORE_DATA) {
            nameMax = nameMax * 2 + 256;
            dataMax = std::max<DWORD>(dataMax * 2, dataLength);
            continue;
        }
        if (rc == ERROR_SUCCESS) {
            name.resize(nameLength);
            data.resize(dataLength);
            out.name = win32::narrow(name);
            out.type = type;
            out.data = isString(type) ? stringFromRegistry(data) : data;
        }
        return result(rc, "listing registry values");
    }
    return result(rc, "listing registry values");
}

RegResult Win32RegistryStore::queryValue(RegHandle key, const std::string& name, RegValue& out) {
    const std::wstring wide = win32::widen(name);
    DWORD type = 0, length = 0;
    long rc = RegQueryValueExW(hkey(key), wide.c_str(), nullptr, &type, nullptr, &length);
    for (int attempt = 0; rc == ERROR_SUCCESS && attempt < 4; ++attempt) {
        std::vector<std::uint8_t> data(length + 2);
        DWORD got = static_cast<DWORD>(data.size());
        rc = RegQueryValueExW(hkey(key), wide.c_str(), nullptr, &type, data.data(), &got);
        if (rc == ERROR_MORE_DATA) {
            length = got;
            rc = ERROR_SUCCESS;
            continue;
        }
        if (rc == ERROR_SUCCESS) {
            data.resize(got);
            out.name = name;
            out.type = type;
            out.data = isString(type) ? stringFromRegistry(data) : data;
        }
        break;
    }
    return result(rc, "reading a registry value");
}

void Win32RegistryStore::noteValue(RegHandle key, const std::string& name) {
    auto it = open_.find(key);
    if (it == open_.end()) {
        return;
    }
    Undo u;
    u.root = it->second.root;
    u.path = it->second.path;
    u.value = name;
    RegValue old;
    if (queryValue(key, name, old) == kRegSuccess) {
        u.old = std::move(old);
    }
    undo_.push_back(std::move(u));
}

RegResult Win32RegistryStore::setValue(RegHandle key, const std::string& name, std::uint32_t type,
                                       const std::vector<std::uint8_t>& data) {
    noteValue(key, name);
    const std::vector<std::uint8_t> bytes = isString(type) ? stringToRegistry(data) : data;
    return result(RegSetValueExW(hkey(key), win32::widen(name).c_str(), 0, type,
                                 bytes.empty() ? nullptr : bytes.data(), static_cast<DWORD>(bytes.size())),
                  "writing a registry value");
}

RegResult Win32RegistryStore::deleteValue(RegHandle key, const std::string& name) {
    noteValue(key, name);
    return result(RegDeleteValueW(hkey(key), win32::widen(name).c_str()), "deleting a registry value");
}

RegResult Win32RegistryStore::deleteKey(RegHandle parent, const std::string& name) {
    const std::wstring wide = win32::widen(name);
    HKEY k = nullptr;
    long rc = RegOpenKeyExW(hkey(parent), wide.c_str(), 0, KEY_READ, &k);
    if (rc != ERROR_SUCCESS) {
        return result(rc, "deleting a registry key");
    }
    DWORD subkeys = 0;
    RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    Undo u;
    auto it = open_.find(parent);
    if (it != open_.end()) {
        u.root = it->second.root;
        u.path = joinPath(it->second.path, name);
        RegValue v;
        for (DWORD i = 0; enumValue(handle(k), i, v) == kRegSuccess; ++i) {
            u.deletedValues.push_back(v);
        }
    }
    RegCloseKey(k);
    if (subkeys > 0) {
        return result(ERROR_ACCESS_DENIED, "deleting a registry key that has subkeys");
    }
    rc = RegDeleteKeyW(hkey(parent), wide.c_str());
    if (rc == ERROR_SUCCESS && it != open_.end()) {
        undo_.push_back(std::move(u));
    }
    return result(rc, "deleting a registry key");
}

RegResult Win32RegistryStore::flush() {
    for (RegRoot root : {RegRoot::CurrentUser, RegRoot::LocalMachine}) {
        RegFlushKey(rootKey(root));
    }
    undo_.clear();
    return kRegSuccess;
}

RegResult Win32RegistryStore::discardChanges() {
    RegResult worst = kRegSuccess;
    for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
        const Undo& u = *it;
        const std::wstring path = win32::widen(u.path);
        long rc = ERROR_SUCCESS;
        if (u.keyCreated) {
            rc = RegDeleteKeyW(rootKey(u.root), path.c_str());
        } else {
            HKEY k = nullptr;
            rc = RegCreateKeyExW(rootKey(u.root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_WRITE, nullptr, &k, nullptr);
            if (rc == ERROR_SUCCESS) {
                auto put = [&](const RegValue& v) {
                    const auto bytes = isString(v.type) ? stringToRegistry(v.data) : v.data;
                    return RegSetValueExW(k, win32::widen(v.name).c_str(), 0, v.type,
                                          bytes.empty() ? nullptr : bytes.data(),
                                          static_cast<DWORD>(bytes.size()));
                };
                for (const RegValue& v : u.deletedValues) {
                    rc = put(v);
                }
                if (u.value) {
                    rc = u.old ? put(*u.old) : RegDeleteValueW(k, win32::widen(*u.value).c_str());
                    if (rc == ERROR_FILE_NOT_FOUND) {
                        rc = ERROR_SUCCESS;
                    }
                }
                RegCloseKey(k);
            }
        }
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) {
            worst = result(rc, "taking back a registry change");
        }
    }
    undo_.clear();
    return worst;
}

} // namespace qob
