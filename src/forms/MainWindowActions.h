#pragma once
// What a main window asks of the desktop and of the program around it, the same for the Qt window
// and the Win32 one; each may be empty (the entry is then disabled or skipped).
#include "forms/OutlookAfterRun.h"

#include <filesystem>
#include <functional>
#include <string>

namespace qob {

struct MainWindowActions {
    // Shows a file or folder in the desktop's own program (the log in the text editor, the backup's
    // folder in the file manager); false when no program could. It shows no box of its own: the
    // window says it where it fits (the log: a box; the folder: the backup's summary).
    std::function<bool(const std::filesystem::path&)> openPath;
    // Starts Outlook in the target system (target path of OUTLOOK.EXE); false when it could not.
    StartOutlook startOutlook;
    // The help; the window says so when it is not installed.
    std::function<void()> showHelp;
    std::function<void()> showSettings;
    std::function<void()> showAbout;
    // Lets the user pick another target system; the program then reopens the window on it.
    std::function<void()> chooseTargetSystem;
    // Later windows: the weekly task and the disc window (disabled until they exist).
    std::function<void()> showTaskScheduler;
    std::function<void(const std::string& name, const std::filesystem::path& file)> burnDisc;
    // Hears each redraw of the progress panel ("progress <percent> <status>"): how a test outside
    // the process sees that progress reached the window while a job ran.
    std::function<void(const std::string& line)> trace;
};

// The box shown when the desktop has no program for the log or the help.
inline std::string noProgramCouldOpen(const std::filesystem::path& path) {
    return "No program of the desktop could open " + path.string() + ".";
}

} // namespace qob
