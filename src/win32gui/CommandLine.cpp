#include "win32gui/CommandLine.h"

#include <windows.h>

#include <shellapi.h>

namespace qob::win32gui {

std::optional<std::filesystem::path> openArgument(const std::vector<std::wstring>& arguments) {
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == L"--open") {
            return std::filesystem::path(arguments[i + 1]);
        }
    }
    return std::nullopt;
}

std::vector<std::wstring> processArguments() {
    std::vector<std::wstring> out;
    int count = 0;
    wchar_t** list = CommandLineToArgvW(GetCommandLineW(), &count);
    if (list == nullptr) {
        return out;
    }
    for (int i = 0; i < count; ++i) {
        out.emplace_back(list[i]);
    }
    LocalFree(list);
    return out;
}

} // namespace qob::win32gui
