#pragma once
// --password: the password typed at the terminal without echo, as people know it from other
// tools that protect files. Twice for a new backup, so that a typing error does not lock the
// user out of it; once to open a backup.
#include <optional>
#include <string>

namespace qob::cli {

struct Console;

enum class PasswordUse {
    Existing, // to open a backup: asked once
    New,      // to protect a new backup: asked twice, held to what the window's prompt takes
};

// Asks on the controlling terminal (/dev/tty), echo off; nullopt when there is none or the input
// ended. Ctrl-C while it asks gives the terminal its echo back before the program ends.
std::optional<std::string> readSecretFromTerminal(const std::string& prompt);

// The password typed at the terminal (Console::readSecret, else readSecretFromTerminal); nullopt
// with the reason in `error` when there is no terminal, the two entries differ, or a new password
// is empty or longer than the window's prompt takes.
std::optional<std::string> askPassword(const Console& console, PasswordUse use, std::string& error);

} // namespace qob::cli
