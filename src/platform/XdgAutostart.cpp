#include "platform/XdgAutostart.h"

#include "platform/DurableFile.h"
#include "platform/Environment.h"
#include "platform/TextEncoding.h"

#include <system_error>

namespace qob {
namespace fs = std::filesystem;

namespace {

// The string escapes every desktop entry value goes through, applied after the Exec quoting.
std::string escapeValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::string desktopExecArgument(const std::string& argument) {
    // Always quoted: a quoted argument is valid whether or not it needs the quotes, and a path may
    // hold any of the reserved characters.
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
        if (c == '%') {
            quoted += '%';
        }
    }
    quoted += '"';
    return escapeValue(quoted);
}

XdgAutostart::Entry XdgAutostart::programEntry() {
    return {kAutostartFileName,
            "start-up entry",
            "Quire Outlook Backup",
            "Back up and restore Outlook's mail, accounts and settings",
            "",
            false};
}

XdgAutostart::XdgAutostart(fs::path folder, fs::path executable, Entry entry)
    : folder_(std::move(folder)), file_(folder_ / entry.fileName), executable_(std::move(executable)),
      entry_(std::move(entry)) {}

fs::path XdgAutostart::defaultFolder(const std::optional<std::string>& xdgConfigHome,
                                     const std::optional<std::string>& home) {
    if (xdgConfigHome && fs::path(*xdgConfigHome).is_absolute()) {
        return fs::path(*xdgConfigHome) / "autostart";
    }
    if (home && !home->empty()) {
        return fs::path(*home) / ".config" / "autostart";
    }
    return {};
}

XdgAutostart XdgAutostart::forThisProgram() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return XdgAutostart(defaultFolder(environment("XDG_CONFIG_HOME"), environment("HOME")), exe);
}

std::string XdgAutostart::contents() const {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=" +
           entry_.name + "\nComment=" + entry_.comment +
           "\nExec=" + desktopExecArgument(executable_.string()) +
           (entry_.arguments.empty() ? "" : " " + entry_.arguments) + "\nTerminal=false\n" +
           (entry_.hidden ? "NoDisplay=true\n" : "") + "X-GNOME-Autostart-enabled=true\n";
}

Status XdgAutostart::set(bool on) {
    if (folder_.empty()) {
        return Status::failure("Cannot keep the " + entry_.what +
                               ": neither XDG_CONFIG_HOME nor HOME is set");
    }
    std::error_code ec;
    if (!on) {
        if (!fs::remove(file_, ec) && ec) {
            return Status::failure("Cannot remove the " + entry_.what + " " + file_.string() + ": " +
                                   ec.message());
        }
        syncFolder(folder_);
        return Status::success();
    }
    if (executable_.empty()) {
        return Status::failure("Cannot write the " + entry_.what + " " + file_.string() +
                               ": the program's own path is unknown");
    }
    // A desktop entry is UTF-8 text; a path in another encoding would start something else.
    if (!textenc::isValidUtf8(executable_.string())) {
        return Status::failure("Cannot write the " + entry_.what + " " + file_.string() +
                               ": the program's path " + executable_.string() + " is not UTF-8 text");
    }
    fs::create_directories(folder_, ec);
    if (ec) {
        return Status::failure("Cannot create the folder " + folder_.string() + ": " + ec.message());
    }
    Status written = replaceFileDurably(file_, contents(), "." + entry_.fileName + ".");
    if (!written) {
        return Status::failure("Cannot write the " + entry_.what + " " + file_.string() + ": " +
                               written.message);
    }
    return Status::success();
}

bool XdgAutostart::isSet() const {
    std::error_code ec;
    return !folder_.empty() && fs::is_regular_file(file_, ec);
}

} // namespace qob
