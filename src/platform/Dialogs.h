#pragma once
// Every modal interaction of the program goes through this interface: Qt implements it for the
// windows, the command-line tool prints to stderr, the automatic run shows nothing, and tests use a
// scripted fake that records every message.
#include <optional>
#include <string>

namespace qob {

enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box captioned `title`; returns the button pressed.
    virtual MsgAnswer message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                              const std::string& title) = 0;
    // File pickers; nullopt when the user cancels. Paths are host paths.
    virtual std::optional<std::string> openFile(const std::string& title, const std::string& filter,
                                                const std::string& initialDir) = 0;
    virtual std::optional<std::string> saveFile(const std::string& title, const std::string& filter,
                                                const std::string& initialPath) = 0;
    virtual std::optional<std::string> browseFolder(const std::string& title,
                                                    const std::string& initialDir) = 0;
    // Asks for a backup's password; nullopt when the user cancels.
    virtual std::optional<std::string> askPassword(const std::string& prompt) = 0;
    // Lets pending window events run during a long operation.
    virtual void processEvents() = 0;
};

// For runs that must show nothing (the automatic backup): every question is answered with the
// safe default and nothing is displayed.
class SilentDialogs : public Dialogs {
public:
    MsgAnswer message(const std::string&, MsgIcon, MsgButtons buttons, const std::string&) override {
        switch (buttons) {
        case MsgButtons::Ok:
            return MsgAnswer::Ok;
        case MsgButtons::OkCancel:
            return MsgAnswer::Cancel;
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return MsgAnswer::No;
        }
        return MsgAnswer::Cancel;
    }
    std::optional<std::string> openFile(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> saveFile(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> browseFolder(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> askPassword(const std::string&) override { return std::nullopt; }
    void processEvents() override {}
};

} // namespace qob
