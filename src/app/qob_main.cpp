// qob: the command-line tool for people and scripts.
#include "app/cli/Cli.h"

#include <iostream>
#include <unistd.h>

#ifdef _WIN32
#include "platform/win32/WideText.h"

#include <windows.h>

#include <shellapi.h>

namespace {

// The arguments as the user typed them, in UTF-8: the argv main() gets is in the ANSI code page,
// which turns every character it lacks ("Почта 2026.qob" under Windows-1252) into '?'.
std::vector<std::string> utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) {
        if (wide != nullptr) {
            LocalFree(wide);
        }
        return std::vector<std::string>(argv + 1, argv + argc);
    }
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        args.push_back(qob::win32::narrow(wide[i]));
    }
    LocalFree(wide);
    return args;
}

} // namespace
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    std::vector<std::string> args = utf8Arguments(argc, argv);
#else
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    try {
        return qob::cli::runCli(args, std::cout, std::cerr, qob::cli::Console{STDERR_FILENO});
    } catch (const std::exception& e) {
        std::cerr << "qob: " << e.what() << "\n";
        return 1;
    }
}
