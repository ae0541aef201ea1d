#pragma once
// Which Wine prefix a program works on. The command-line tool follows what the person typing
// says (--prefix, then $WINEPREFIX); the program follows what the user picked in its window,
// because cron starts the weekly backup without $WINEPREFIX and that backup must go to the
// prefix the user chose.
#include "platform/wine/PrefixCandidates.h"

#include <filesystem>
#include <optional>
#include <string>

namespace qob {

enum class PrefixPolicy {
    CommandLineTool, // --prefix, else $WINEPREFIX, else the remembered choice, else ~/.wine
    Program,         // --prefix, else the remembered choice, else $WINEPREFIX, else ~/.wine
};

struct PrefixSources {
    std::optional<std::string> option;     // --prefix
    std::optional<std::string> winePrefix; // $WINEPREFIX
    std::optional<std::string> home;       // $HOME
    std::optional<std::string> remembered; // the choice kept in settings.dat
};

struct PrefixChoice {
    std::filesystem::path prefix; // absolute; empty when no source names one
    PrefixOrigin origin = PrefixOrigin::DefaultPrefix;
    // Said to the user, not an error: a remembered choice that is no longer a prefix is passed over.
    std::string note;
};

// The prefix to use. The remembered choice is taken only while checkWinePrefix accepts it; the
// other sources are taken as given (opening the prefix then says what is wrong with it).
PrefixChoice choosePrefix(const PrefixSources& sources, PrefixPolicy policy);

} // namespace qob
