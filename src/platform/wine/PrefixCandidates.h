#pragma once
// The Wine prefixes of this machine that could serve as the target system: the one named by
// $WINEPREFIX, ~/.wine, the one the user picked earlier, and those the Wine front ends keep in
// their usual folders. Outlook under Wine often lives in a prefix of its own, so the user needs
// to see them all to pick the right one.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// Where a prefix was found. A prefix found in several ways lists each of them.
enum class PrefixOrigin {
    Option,             // --prefix on the command line
    Remembered,         // the choice kept in settings.dat
    WinePrefixVariable, // $WINEPREFIX
    DefaultPrefix,      // ~/.wine
    Winetricks,         // ~/.local/share/wineprefixes/*
    PlayOnLinux,        // ~/.PlayOnLinux/wineprefix/*
    Bottles,            // ~/.local/share/bottles/bottles/*
    BottlesFlatpak,     // ~/.var/app/com.usebottles.bottles/data/bottles/bottles/*
    CrossOver,          // ~/.cxoffice/*
    Games,              // ~/Games/* (where game launchers such as Lutris put their prefixes)
};

// Short words for people: "$WINEPREFIX", "~/.wine", "Bottles" ...
std::string prefixOriginText(PrefixOrigin origin);

// What the search looks at; an entry point fills it from its environment and settings, tests by hand.
struct PrefixSearch {
    std::optional<std::string> home;       // $HOME
    std::optional<std::string> winePrefix; // $WINEPREFIX
    std::optional<std::string> remembered; // the stored choice, when there is one
};

struct PrefixCandidate {
    std::filesystem::path path;        // absolute, as first found (a link is not resolved here)
    std::filesystem::path canonical;   // every link resolved: what tells two candidates apart
    std::vector<PrefixOrigin> origins; // every way it was found, first one first
};

// Every folder that checkWinePrefix accepts among those places, each once (by canonical path):
// the remembered choice first, then $WINEPREFIX, then ~/.wine, then the others sorted by path.
// Folders that are gone, unreadable or not prefixes are left out without complaint.
std::vector<PrefixCandidate> findWinePrefixes(const PrefixSearch& search);

// The canonical form of a folder for comparing prefixes; the absolute, normalised path when the
// folder does not exist.
std::filesystem::path canonicalPrefixPath(const std::filesystem::path& folder);

} // namespace qob
