#pragma once
// Opening a backup file on the restore tab (cmdSourceFile_Click): the archive is opened (asking for
// the password of a protected one), its information file read and shown, and the restore boxes of
// the items it holds enabled. The archive stays open for the restore run.
#include "archive/Archive.h"
#include "backup/InfoFileReader.h"
#include "forms/MainForm.h"

#include <filesystem>

namespace qob {

inline constexpr char kWrongPasswordMessage[] = "Incorect Password or Invalid backup file!";
inline constexpr char kInvalidBackupMessage[] = "Invalid backup file";
inline constexpr char kOpenBackupTitle[] = "Restore Date from a backup file";
// "All files" too: a backup saved under another name can still be opened.
inline constexpr char kBackupFileFilter[] = "Quire Outlook Backup File (*.qob)|*.qob|All files (*)|*";
// Passwords asked for one protected backup before the opening gives up.
inline constexpr int kPasswordTries = 3;

enum class OpenResult {
    Opened,        // read completely; the held items' boxes are enabled
    Cancelled,     // no file chosen, or the password prompt cancelled (nothing shown)
    WrongPassword, // protected and no password typed opens it (each wrong one said)
    Invalid,       // not a backup of this program (message shown)
};

// The key of each item kind in the information file, by ItemKind.
extern const std::array<const char*, kItemKindCount> kItemInfoKeys;

// cmdSourceFile_Click: clears the restore side, lets the user choose a file and opens it.
OpenResult cmdSourceFileClick(MainForm& form, Archive& archive);
// The steps after the file has been chosen; the command-line tool starts here.
OpenResult openBackupFile(MainForm& form, Archive& archive, const std::filesystem::path& file);
// The first steps of both: closes the archive and clears boxes, texts and the valid-file flag.
void clearRestoreSide(MainForm& form, Archive& archive);

} // namespace qob
