#pragma once
// The start-up entry as an XDG autostart file: `<autostart folder>/quire-outlook-backup.desktop`,
// which every XDG desktop (GNOME, KDE, Xfce, ...) runs at logon.
#include "platform/StartupEntry.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

inline constexpr char kAutostartFileName[] = "quire-outlook-backup.desktop";

class XdgAutostart : public StartupEntry {
public:
    // What one autostart file says beside the program it starts.
    struct Entry {
        std::string fileName;  // in the autostart folder
        std::string what;      // for messages: "start-up entry"
        std::string name;      // Name=
        std::string comment;   // Comment=
        std::string arguments; // after the program on the Exec line ("" for none), already quoted
        bool hidden = false;   // NoDisplay=true: not listed in menus
    };
    // The program's own start-up entry ("startonwindows").
    static Entry programEntry();

    // `folder` holds the autostart files; `executable` is the program the entry starts.
    XdgAutostart(std::filesystem::path folder, std::filesystem::path executable,
                 Entry entry = programEntry());

    // $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart; an empty or relative
    // XDG_CONFIG_HOME is ignored, as the XDG rules say. Empty when neither is usable.
    static std::filesystem::path defaultFolder(const std::optional<std::string>& xdgConfigHome,
                                               const std::optional<std::string>& home);
    // The entry for the running program, from the process environment and /proc/self/exe.
    static XdgAutostart forThisProgram();

    Status set(bool on) override;
    bool isSet() const override;

    const std::filesystem::path& file() const { return file_; }
    // The whole text of the entry file.
    std::string contents() const;

private:
    std::filesystem::path folder_;
    std::filesystem::path file_;
    std::filesystem::path executable_;
    Entry entry_;
};

// One Exec argument as a desktop entry must hold it: quoted when it has a character the Exec
// syntax reserves, with `"`, `` ` ``, `$` and `\` escaped inside the quotes, `%` doubled, and then
// the string escapes of every desktop entry value applied (`\` doubled, line breaks as `\n`).
std::string desktopExecArgument(const std::string& argument);

} // namespace qob
