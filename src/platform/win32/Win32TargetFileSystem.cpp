#include "platform/win32/Win32TargetFileSystem.h"

#include "platform/win32/WideText.h"

#include <windows.h>

#include <algorithm>

namespace qob {
namespace {

// A drive path ("C:\…") or a network one ("\\server\share\…"); relative text is no target path.
bool isWindowsPath(const std::string& p) {
    const bool drive = p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' &&
                       (p[2] == '\\' || p[2] == '/');
    const bool unc = p.size() > 2 && p[0] == '\\' && p[1] == '\\';
    return drive || unc;
}

DWORD attributesOf(const std::string& targetPath) {
    if (!isWindowsPath(targetPath)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    return GetFileAttributesW(win32::longPath(win32::widen(targetPath).c_str()).c_str());
}

std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out = text ? win32::narrow(text) : "error " + std::to_string(code);
    if (text) {
        LocalFree(text);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

// Name order without regard to case, as Windows compares file names (and as the Wine backend
// lists them), so both backends list a folder alike.
bool lessIgnoringCase(const std::string& a, const std::string& b) {
    const std::wstring x = win32::widen(a), y = win32::widen(b);
    const int order = CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                           static_cast<int>(y.size()), TRUE);
    return order == CSTR_EQUAL ? a < b : order == CSTR_LESS_THAN;
}

std::vector<std::string> list(const std::string& folder, bool folders, bool includeHidden) {
    std::vector<std::string> out;
    if (!isWindowsPath(folder)) {
        return out;
    }
    std::wstring pattern = win32::widen(folder);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') {
        pattern += L'\\';
    }
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(win32::longPath(pattern.c_str()).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
        return out;
    }
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const bool isFolder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        const bool hidden = found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN;
        if (isFolder == folders && (folders || includeHidden || !hidden)) {
            out.push_back(win32::narrow(name));
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(out.begin(), out.end(), lessIgnoringCase);
    return out;
}

} // namespace

// Components that exist take the case they have on disk (as the Wine backend gives them), so
// two spellings of one file ("Outlook.RWZ", "Outlook.rwz") are one host path; missing ones are
// kept as given.
std::optional<std::filesystem::path> Win32TargetFileSystem::toHostPath(const std::string& targetPath) const {
    if (!isWindowsPath(targetPath)) {
        return std::nullopt;
    }
    const std::wstring given = win32::widen(targetPath);
    if (given[0] == L'\\') {
        return std::filesystem::path(given);
    }
    std::wstring out = given.substr(0, 2) + L"\\";
    bool exists = true;
    std::size_t at = 3;
    while (at <= given.size()) {
        std::size_t end = given.find_first_of(L"\\/", at);
        if (end == std::wstring::npos) {
            end = given.size();
        }
        std::wstring part = given.substr(at, end - at);
        if (!part.empty()) {
            if (exists && part != L"." && part != L".." && part.find_first_of(L"*?") == std::wstring::npos) {
                WIN32_FIND_DATAW found;
                HANDLE h = FindFirstFileW(win32::longPath((out + part).c_str()).c_str(), &found);
                if (h != INVALID_HANDLE_VALUE) {
                    part = found.cFileName;
                    FindClose(h);
                } else {
                    exists = false;
                }
            }
            out += part;
            if (end < given.size()) {
                out += L'\\';
            }
        }
        at = end + 1;
    }
    return std::filesystem::path(out);
}

bool Win32TargetFileSystem::fileExists(const std::string& targetPath) const {
    const DWORD a = attributesOf(targetPath);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32TargetFileSystem::folderExists(const std::string& targetPath) const {
    const DWORD a = attributesOf(targetPath);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> Win32TargetFileSystem::listFiles(const std::string& targetFolder,
                                                          bool includeHidden) const {
    return list(targetFolder, false, includeHidden);
}

std::vector<std::string> Win32TargetFileSystem::listFolders(const std::string& targetFolder) const {
    return list(targetFolder, true, true);
}

Status Win32TargetFileSystem::createFolder(const std::string& targetPath) {
    if (!isWindowsPath(targetPath)) {
        return Status::failure("Cannot create the folder " + targetPath +
                               ": not a valid path of the target system.");
    }
    if (CreateDirectoryW(win32::longPath(win32::widen(targetPath).c_str()).c_str(), nullptr) ||
        (GetLastError() == ERROR_ALREADY_EXISTS && folderExists(targetPath))) {
        return Status::success();
    }
    return Status::failure("Cannot create the folder " + targetPath + ": " + systemMessage(GetLastError()));
}

Status Win32TargetFileSystem::deleteFile(const std::string& targetPath) {
    if (!isWindowsPath(targetPath)) {
        return Status::failure("Cannot delete " + targetPath + ": not a valid path of the target system.");
    }
    if (DeleteFileW(win32::longPath(win32::widen(targetPath).c_str()).c_str())) {
        return Status::success();
    }
    return Status::failure("Cannot delete " + targetPath + ": " + systemMessage(GetLastError()));
}

Status Win32TargetFileSystem::renameFile(const std::string& fromTargetPath, const std::string& toTargetPath) {
    const std::string what = "Cannot rename " + fromTargetPath + " to " + toTargetPath + ": ";
    if (!isWindowsPath(fromTargetPath) || !isWindowsPath(toTargetPath)) {
        return Status::failure(what + "not a valid path of the target system.");
    }
    // Without REPLACE_EXISTING: "the destination exists" is one test with the rename itself.
    if (MoveFileExW(win32::longPath(win32::widen(fromTargetPath).c_str()).c_str(),
                    win32::longPath(win32::widen(toTargetPath).c_str()).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Status::success();
    }
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        return Status::failure(what + "the destination already exists.");
    }
    if (error == ERROR_FILE_NOT_FOUND) {
        return Status::failure(what + "the file does not exist.");
    }
    return Status::failure(what + systemMessage(error));
}

} // namespace qob
