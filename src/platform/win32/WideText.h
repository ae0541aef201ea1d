#pragma once
// UTF-8 ⇄ UTF-16 for the Windows API, and paths in the form CreateFileW takes at any length.
#ifdef _WIN32
#include <string>
#include <string_view>

namespace qob::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// The absolute form of a path (GetFullPathNameW).
std::wstring fullPath(const wchar_t* path);
// A path CreateFileW opens whatever its length: absolute ones of MAX_PATH or more get the "\\?\"
// prefix (with backslashes, which that form requires); others are left as they are.
std::wstring longPath(const wchar_t* path);

} // namespace qob::win32
#endif
