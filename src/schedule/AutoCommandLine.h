#pragma once
// The automatic run's argument text, as the weekly task passes it and the run reads it.
#include <optional>
#include <string>

namespace qob {

// The task's command line " sf=<profile>xm=<flags>ps=<password>bf=<file>", read by position.
struct AutoCommandLine {
    std::string profile;
    std::string flags; // nine "0"/"1", one per box of the schedule window
    std::string password;
    std::string backupFile;
};

// Split at every "=", the last two characters (the next key) cut from every piece but the first
// and the last. nullopt when it has fewer than four "=", when the profile, flags or file is empty,
// or when it has more than four "=": a value holding "=" would shift the file path to the wrong
// piece, and a backup written to a wrong path is worse than none.
std::optional<AutoCommandLine> parseAutoCommandLine(const std::string& commandLine);

// The arguments of a whole Windows command line, as given: the program's name (quoted or up to
// the first blank, as the C runtime reads it) and the blanks after it cut off; arguments given as
// one quoted text lose those two quotes. The task's text is read so because the C runtime's split
// would fold a profile's double blanks into one.
std::string argumentsOfCommandLine(const std::string& commandLine);

// " sf=<profile>xm=<items>ps=<password>bf=<file>": the text parseAutoCommandLine reads back.
std::string autoArgumentText(const std::string& profile, const std::string& items,
                             const std::string& password, const std::string& backupFile);

} // namespace qob
