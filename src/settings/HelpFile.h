#pragma once
// The program's help: one HTML page that ships with it. A portable copy beside the program wins
// over the installed one, so that a build folder or an unpacked archive shows its own help.
#include <filesystem>

namespace qob {

// What the window says when no help file is found; a missing help is not an error.
inline constexpr char kHelpNotInstalled[] = "The help file is not installed.";

struct HelpFileSources {
    std::filesystem::path programFolder;    // where settings.dat lives
    std::filesystem::path executableFolder; // folder of the running executable; empty if unknown
    std::filesystem::path installedHelp;    // <datadir>/quire-outlook-backup/help/index.html of the build

    // The running program's: its executable folder and the install location it was built for.
    static HelpFileSources forProgram(const std::filesystem::path& programFolder);
};

// The first help page that exists: <program folder>/help/index.html, <executable folder>/help/
// index.html (a build folder, where the build copies it), <executable folder>/../share/
// quire-outlook-backup/help/index.html (an installed tree moved elsewhere), then the installed
// one. Empty when there is none.
std::filesystem::path findHelpFile(const HelpFileSources& sources);

} // namespace qob
