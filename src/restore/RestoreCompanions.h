#pragma once
// The companion folders of signatures and stationery ("<name>_files"), restored beside the files
// of their item. Their entry names come from the backup and are not trusted: each must have the
// companion layout exactly, and every file lands inside its companion folder inside the item's
// folder. Files are written as the item's files are (through the transaction when there is one);
// a folder is only ever created, never put in place of a file.
#include "restore/RestoreItems.h"
#include "settings/CompanionEntries.h"

#include <optional>
#include <string>

namespace qob {

struct CompanionEntry {
    std::string folder; // "Work_files"
    std::string file;   // "image001.png"
};
// The folder and file an entry name read from a backup puts the file in, or nullopt when the name
// is not "<kind folder>/<name>_files/<file>" for `kind`, with both names plain file names.
std::optional<CompanionEntry> parseCompanionEntry(ItemKind kind, const std::string& entryName);

// Restores the companions the opened backup lists for `kind` into `targetFolder`; true when there
// were none or every one was restored. A file that cannot be restored is reported and the others
// are still written.
bool restoreCompanions(RestoreContext& ctx, const std::string& targetFolder, ItemKind kind);

} // namespace qob
