#include "backup/BackupItems.h"
#include "platform/AsciiCase.h"
#include "settings/CompanionEntries.h"
#include "settings/InfoFile.h"

namespace qob {

namespace fs = std::filesystem;

void BackupItems::companionFolders(const std::string& folder, ItemKind kind,
                                   const std::vector<std::string>& files) {
    const auto hostFolder = platform_.files.toHostPath(folder);
    if (!hostFolder) {
        return;
    }
    const std::vector<std::string> subfolders = platform_.files.listFolders(folder);
    std::vector<std::string> entries;
    for (const std::string& file : files) {
        const std::string wanted = companionFolderOf(file);
        if (wanted.empty()) {
            continue;
        }
        // Windows finds "Work_files" for "WORK.htm" too.
        for (const std::string& sub : subfolders) {
            if (lowerAscii(sub) != lowerAscii(wanted)) {
                continue;
            }
            const std::string subPath = folder + "\\" + sub;
            std::error_code ec;
            if (fs::is_symlink(*hostFolder / sub, ec)) {
                notStored_.push_back(subPath + ": a link to another folder, not stored");
                continue;
            }
            // Word writes these folders flat; a folder inside one is named rather than lost silently.
            for (const std::string& deeper : platform_.files.listFolders(subPath)) {
                notStored_.push_back(subPath + "\\" + deeper +
                                     ": folders inside a companion folder are not stored");
            }
            for (const std::string& name : platform_.files.listFiles(subPath, false)) {
                const std::string entry = companionEntryName(kind, sub, name);
                if (name.find('|') != std::string::npos || !Archive::isSafeEntryPath(entry)) {
                    notStored_.push_back(subPath + "\\" + name + ": the name cannot be stored");
                    continue;
                }
                const std::string stored = add(*hostFolder / sub / name, entry);
                if (stored.empty()) {
                    continue; // add() named it
                }
                if (stored != entry) {
                    // Only a second folder differing in case alone gets here; its file would come
                    // back under a numbered name, so it is named instead.
                    notStored_.push_back(subPath + "\\" + name +
                                         ": another file of that name is already stored");
                    continue;
                }
                entries.push_back(entry);
            }
        }
    }
    if (!entries.empty()) {
        if (Status s = saveINI(companionsKey(kind), joinCompanions(entries), infoFile_); !s) {
            notStored_.push_back(folder +
                                 ": the list of the companion folders' files could not be written (" +
                                 s.message + ")");
        }
    }
}

} // namespace qob
