#pragma once
// The companion folders of HTML signatures and stationery ("<name>_files": the pictures and the
// XML file list of "<name>.htm"). The item lists of the information file name top-level files only,
// and older readers know nothing else, so the companions travel apart from them: each file is an
// entry "<kind folder>/<name>_files/<file>" (the kind folder keeps a signature's and a stationery's
// companions of one name apart), and the entry names are listed, joined by "|" (which no Windows
// file name holds), under a key of our own after the item's line. Readers that do not know the key
// ignore it and the entries.
#include "outlook/AppState.h"

#include <string>
#include <vector>

namespace qob {

// "BackupSignaturesCompanions" / "BackupStationeryCompanions"; nullptr for the other kinds.
const char* companionsKey(ItemKind kind);

// The companion folder that belongs to a top-level file of the item ("Work.htm" -> "Work_files"),
// or "" when the file is no HTML page.
std::string companionFolderOf(const std::string& fileName);

std::string companionEntryName(ItemKind kind, const std::string& folder, const std::string& file);

std::string joinCompanions(const std::vector<std::string>& entryNames);
std::vector<std::string> splitCompanions(const std::string& value);

} // namespace qob
