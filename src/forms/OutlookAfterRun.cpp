#include "forms/OutlookAfterRun.h"

namespace qob {

std::string startOutlookAfterRun(TargetContext& platform, const StartOutlook& start) {
    std::string folder = platform.registry.getStringValue(
        "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE", "Path");
    folder = folder.substr(0, folder.find('\0'));
    if (folder == "Error" || folder.empty()) {
        return "Outlook was not started: the target system names no Outlook program.";
    }
    if (folder.back() == '\\') {
        folder.pop_back();
    }
    const std::string exe = folder + "\\OUTLOOK.EXE";
    if (!platform.files.fileExists(exe)) {
        return "Outlook was not started: " + exe + " is not in the target system.";
    }
    if (!start(exe)) {
        return "Outlook could not be started (" + exe + ").";
    }
    return "";
}

} // namespace qob
