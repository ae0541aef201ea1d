#pragma once
// The program folder: home of settings.dat, brlog.dat, quirebox.dat and the scratch files.
#include "platform/Status.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

// Where the program folder may come from; fromEnvironment() fills it for the running process,
// tests fill it by hand.
struct ProgramFolderSources {
    std::optional<std::string> quireHome;   // $QUIRE_HOME
    std::filesystem::path executableFolder; // folder of the running executable; empty if unknown
    std::optional<std::string> xdgDataHome; // $XDG_DATA_HOME
    std::optional<std::string> home;        // $HOME

    static ProgramFolderSources fromEnvironment();
};

// Chooses the program folder and creates it when missing: QUIRE_HOME when set; else the
// executable's folder when it is writable (a portable install, the build folder) and not the bin
// folder of an installed tree (one with share/quire-outlook-backup beside it); else
// $XDG_DATA_HOME/quire-outlook-backup, else ~/.local/share/quire-outlook-backup. An empty or
// relative XDG_DATA_HOME is ignored, as the XDG rules say.
Status resolveProgramFolder(const ProgramFolderSources& sources, std::filesystem::path& folder);

} // namespace qob
