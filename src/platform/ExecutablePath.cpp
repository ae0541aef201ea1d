#include "platform/ExecutablePath.h"

#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

namespace qob {

std::filesystem::path runningExecutable(std::error_code& ec) {
#ifdef _WIN32
    std::wstring buffer(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0 || n >= buffer.size()) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return {};
    }
    ec.clear();
    buffer.resize(n);
    return std::filesystem::path(buffer);
#else
    return std::filesystem::read_symlink("/proc/self/exe", ec);
#endif
}

} // namespace qob
