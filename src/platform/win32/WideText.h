#pragma once
// UTF-8 ⇄ UTF-16 for the Windows API, and paths in the form CreateFileW takes at any length.
#ifdef _WIN32
#include <string>
#include <string_view>

namespace qob::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// An environment variable's value in UTF-8; "" when it is not set.
std::string environmentVariable(const char* name);
// The absolute form of a path (GetFullPathNameW).
std::wstring fullPath(const wchar_t* path);
// A path CreateFileW opens whatever its length: absolute ones of MAX_PATH or more get the "\\?\"
// prefix (with backslashes, which that form requires); others are left as they are.
std::wstring longPath(const wchar_t* path);
// Windows' own words for an error code (GetLastError, a registry call's result, an HRESULT), without
// the line break FormatMessage ends them with; "error N" when it has none.
std::string errorText(unsigned long code);

} // namespace qob::win32
#endif
