#pragma once
// The restore journal and the staging list: what a restore writes down so that another run can
// finish or undo it after a kill, and who wrote it, so that no other run touches the files of a
// restore that is still working. Shared by the transaction (which writes them) and the recovery
// (which reads them).
//
// Journal lines (every field hex, so names of any bytes fit one word):
//   QOB-RESTORE-JOURNAL 2
//   O <pid> <start>                  the restore that wrote it
//   F <temp> <target> <aside>        a file to move into place; temp "x": the target is removed;
//                                    aside "x": there was no file at the target before
//   K <key> <0|1>, then k/v lines    a registry key as the restore leaves it
//   B <key> <0|1>, then k/v lines    the same key as it was before the restore
//   END
// The staging list holds "O <pid> <start>", one "T <target>" line per file being extracted and one
// "D <folder>" line per folder about to be made, top down.
#include "registry/Registry.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qob::journal {

inline constexpr char kHeadV1[] = "QOB-RESTORE-JOURNAL 1";
inline constexpr char kHead[] = "QOB-RESTORE-JOURNAL 2";

std::string hex(const std::string& bytes);
bool unhex(const std::string& text, std::string& out);

// A process, told apart from a later one that got the same pid by its start time.
struct Owner {
    long pid = 0;
    unsigned long long start = 0;
};
Owner currentOwner();
std::string ownerLine(const Owner& owner);
// "O pid start"; false for anything else.
bool parseOwner(const std::string& line, Owner& owner);
// The process is no longer running. This process counts as gone: its callers hold the run lock, so
// any restore of its own has ended.
bool ownerGone(const Owner& owner);

struct Key {
    std::string path;
    bool exists = false;
    std::vector<std::string> keys; // relative paths, parents first
    std::vector<std::pair<std::string, RegValue>> values;
};

struct Rename {
    std::filesystem::path temp; // empty: the target is removed
    std::filesystem::path target;
    std::filesystem::path aside; // where the replaced file waits; empty: the target was new
};

struct Journal {
    bool hasOwner = false;
    Owner owner;
    bool canRollBack = false; // written by a version that keeps the earlier state
    std::vector<Rename> renames;
    std::vector<Key> after;
    std::vector<Key> before; // in the order the restore first touched them
};

// The tree of one key as journal lines, tagged `tag` ('K' or 'B').
void recordKey(Registry& registry, const std::string& keyPath, char tag, std::string& out);
std::string renameLine(const Rename& rename);
bool parseJournal(const std::string& text, Journal& journal);

// Puts each key into the state it records (changes held, saved by the caller).
Status replayKeys(Registry& registry, const std::vector<Key>& keys);

// Moves each file into place: the replaced one is first kept aside (a second name, so the target
// is never missing), then the new one is renamed over it. Renames already done are skipped, so a
// second pass completes a first that was cut short. The failures in words, "" when none.
std::string rollForwardFiles(const std::vector<Rename>& renames);
// Takes away the folders a restore made for itself (given top down), deepest first; one that holds
// anything now (the user saved a file into it meanwhile) stays, and so do the ones above it.
void removeFoldersMade(const std::vector<std::filesystem::path>& folders);
// Undoes rollForwardFiles as far as it went: every replaced file back from aside, every new file
// gone, every temporary file removed. The failures in words, "" when none.
std::string rollBackFiles(const std::vector<Rename>& renames);
void removeJournal(const std::filesystem::path& journal);
std::string savedFailure(RegResult rc);

// Drops the files kept aside, once the restore is final.
void removeAsides(const std::vector<Rename>& renames);
// Every move of the commit was made (the asides may still be there).
bool movesDone(const std::vector<Rename>& renames);

} // namespace qob::journal
