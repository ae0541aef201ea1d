#include "app/cli/PasswordPrompt.h"

#include "app/cli/Cli.h"
#include "settings/PasswordRule.h"

#include <cerrno>
#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace qob::cli {
#ifdef _WIN32

// The console, echo off: "CONIN$" and "CONOUT$" reach it even when the standard streams are
// redirected, as /dev/tty does elsewhere.
std::optional<std::string> readSecretFromTerminal(const std::string& prompt) {
    HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) {
        ::CloseHandle(in);
        if (out != INVALID_HANDLE_VALUE) {
            ::CloseHandle(out);
        }
        return std::nullopt;
    }
    DWORD written = 0;
    if (out != INVALID_HANDLE_VALUE) {
        ::WriteConsoleA(out, prompt.data(), static_cast<DWORD>(prompt.size()), &written, nullptr);
    }
    ::SetConsoleMode(in, (mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::wstring line;
    wchar_t c = 0;
    DWORD got = 0;
    bool ended = true;
    while (::ReadConsoleW(in, &c, 1, &got, nullptr) && got == 1) {
        if (c == L'\n') {
            ended = false;
            break;
        }
        if (c != L'\r') {
            line += c;
        }
    }
    ::SetConsoleMode(in, mode);
    if (out != INVALID_HANDLE_VALUE) {
        ::WriteConsoleA(out, "\r\n", 2, &written, nullptr);
        ::CloseHandle(out);
    }
    ::CloseHandle(in);
    if (ended && line.empty()) {
        return std::nullopt;
    }
    std::string utf8;
    if (!line.empty()) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                               nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(size));
        ::WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), utf8.data(), size,
                              nullptr, nullptr);
    }
    return utf8;
}

#else
namespace {

// The terminal's settings while echo is off, for the signal handler to put back.
int gTerminal = -1;
struct termios gSaved;

extern "C" void restoreTerminalAndDie(int signal) {
    if (gTerminal >= 0) {
        ::tcsetattr(gTerminal, TCSAFLUSH, &gSaved);
        (void)!::write(gTerminal, "\n", 1);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

} // namespace

std::optional<std::string> readSecretFromTerminal(const std::string& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        return std::nullopt;
    }
    struct termios saved;
    if (::tcgetattr(tty, &saved) != 0) {
        ::close(tty);
        return std::nullopt;
    }
    struct termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHOE | ECHOK | ECHONL));
    quiet.c_lflag |= ICANON;
    gSaved = saved;
    gTerminal = tty;
    struct sigaction handler {
    }, oldInt{}, oldTerm{}, oldHup{};
    handler.sa_handler = restoreTerminalAndDie;
    ::sigemptyset(&handler.sa_mask);
    ::sigaction(SIGINT, &handler, &oldInt);
    ::sigaction(SIGTERM, &handler, &oldTerm);
    ::sigaction(SIGHUP, &handler, &oldHup);
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
    (void)!::write(tty, prompt.data(), prompt.size());

    std::string line;
    bool ended = true;
    char c = 0;
    for (;;) {
        const ssize_t got = ::read(tty, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        if (c == '\n') {
            ended = false;
            break;
        }
        line += c;
    }
    ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);
    ::sigaction(SIGHUP, &oldHup, nullptr);
    gTerminal = -1;
    ::close(tty);
    if (ended && line.empty()) {
        return std::nullopt; // end of input (Ctrl-D) before anything was typed
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

#endif

std::optional<std::string> askPassword(const Console& console, PasswordUse use, std::string& error) {
    const auto read = console.readSecret ? console.readSecret : readSecretFromTerminal;
    const std::string noTerminal =
        "--password asks at the terminal, and there is none or its input ended; give --password-file F "
        "or set QOB_PASSWORD";
    std::optional<std::string> password = read(use == PasswordUse::New ? "New password: " : "Password: ");
    if (!password) {
        error = noTerminal;
        return std::nullopt;
    }
    if (use == PasswordUse::Existing) {
        return password;
    }
    if (password->empty()) {
        error = "the password is empty; nothing was done";
        return std::nullopt;
    }
    if (auto refused = refusePassword(*password)) {
        error = *refused;
        return std::nullopt;
    }
    const std::optional<std::string> again = read("Repeat the password: ");
    if (!again) {
        error = noTerminal;
        return std::nullopt;
    }
    if (*again != *password) {
        error = "the two passwords differ; nothing was done";
        return std::nullopt;
    }
    return password;
}

} // namespace qob::cli
