#include "schedule/CatchUpAutostart.h"

#include "platform/DurableFile.h"
#include "platform/TextEncoding.h"
#include "platform/XdgAutostart.h"

namespace qob {

namespace fs = std::filesystem;

CatchUpAutostart::CatchUpAutostart(fs::path folder, fs::path executable)
    : folder_(std::move(folder)), file_(folder_ / kCatchUpAutostartFileName),
      executable_(std::move(executable)) {}

std::string CatchUpAutostart::contents() const {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quire Outlook Backup (missed weekly backup)\n"
           "Comment=Makes up the weekly backup when the computer was off at its time\n"
           "Exec=" +
           desktopExecArgument(executable_.string()) + " " + kCatchUpOption +
           "\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "X-GNOME-Autostart-enabled=true\n";
}

Status CatchUpAutostart::set(bool on) {
    if (folder_.empty()) {
        return Status::failure("Cannot keep the catch-up entry: neither XDG_CONFIG_HOME nor HOME is set");
    }
    std::error_code ec;
    if (!on) {
        if (!fs::remove(file_, ec) && ec) {
            return Status::failure("Cannot remove the catch-up entry " + file_.string() + ": " +
                                   ec.message());
        }
        syncFolder(folder_);
        return Status::success();
    }
    if (executable_.empty() || !textenc::isValidUtf8(executable_.string())) {
        return Status::failure("Cannot write the catch-up entry " + file_.string() +
                               ": the program's path is unknown or not UTF-8 text");
    }
    fs::create_directories(folder_, ec);
    if (ec) {
        return Status::failure("Cannot create the folder " + folder_.string() + ": " + ec.message());
    }
    Status written = replaceFileDurably(file_, contents(), ".quire-outlook-backup-catch-up.desktop.");
    if (!written) {
        return Status::failure("Cannot write the catch-up entry " + file_.string() + ": " + written.message);
    }
    return Status::success();
}

bool CatchUpAutostart::isSet() const {
    std::error_code ec;
    return !folder_.empty() && fs::is_regular_file(file_, ec);
}

} // namespace qob
