#pragma once
// A demo target system (a Wine-prefix-shaped folder, its registry in memory) with the main form
// loaded on it, plus a builder of backup files made directly with the archive and the information
// file, so that restore tests need no backup run and can build damaged and hostile backups.
#include "DemoPlatform.h"
#include "FakeDialogs.h"
#include "MemoryRegistryStore.h"
#include "TestPaths.h"
#include "archive/Archive.h"
#include "demo/DemoTargetSystem.h"
#include "forms/MainForm.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qob::test {

// One demo machine with a loaded main form and the form's archive.
struct RestoreWorld {
    TempDir dir;
    DemoTargetSystem demo;
    MemoryRegistryStore store;
    FakeDialogs dialogs;
    Registry registry{store, dialogs, "Quire Outlook Backup"};
    // The Wine prefix's own file mapping on Linux; on Windows the demo's paths are the host's.
    std::unique_ptr<TargetFileSystem> files;
    std::unique_ptr<DemoSystemServices> system;
    std::unique_ptr<TargetContext> platform;
    std::unique_ptr<MainForm> form;
    Archive archive;

    RestoreWorld();
    std::filesystem::path programFolder() const { return dir / "program"; }
    std::filesystem::path host(const std::string& targetPath) const { return demo.hostPath(targetPath); }
    // Selects the restore target by name ("" selects nothing).
    void target(const std::string& profile);
    void tickRestore(std::initializer_list<int> boxes);
};

struct BackupEntry {
    std::string name;
    std::string data;
    bool symlink = false;
};

// What goes into a backup file built by a test.
struct BackupSpec {
    std::vector<std::pair<std::string, std::string>> infoLines; // in order; quirebox.dat
    std::vector<BackupEntry> entries;                           // before quirebox.dat
    bool withInfo = true;
    std::string password; // "" = not protected
};

// Builds the file with the archive component (or hand-made zip for symlinks and duplicates).
void writeBackup(const std::filesystem::path& file, const BackupSpec& spec);

// The backup of every item of `profile` in `world`, as the backup side stores it: registry text of
// the profile key, the accounts key and the options key, the data files, rules, the folders' files
// and the address book, with the six fixed lines and the flags.
BackupSpec backupOfProfile(RestoreWorld& world, const std::string& profile);

// The six fixed lines + flags (item lines are added by the caller before the flags line).
BackupSpec minimalSpec(const std::string& flags);
// Inserts an item line before the final "BackupItem" line.
void addItemLine(BackupSpec& spec, const std::string& key, const std::string& value);

// Every value of a key tree: "sub\key|value name" -> type + data (key names relative to `root`,
// upper-cased, so trees under different profiles compare). Empty keys appear as "sub\key|".
using RegistryDump = std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>>;
RegistryDump dumpTree(RegistryStore& store, const std::string& keyPath);

// Every regular file below a folder, relative path -> content (links are not followed).
std::map<std::string, std::string> snapshotFiles(const std::filesystem::path& folder);

// Hidden temporary files of a restore anywhere below a folder.
std::vector<std::string> leftovers(const std::filesystem::path& folder);

std::string readFile(const std::filesystem::path& file);
// Lines joined with line ends, for failure messages.
std::string joined(const std::vector<std::string>& lines);
std::vector<std::uint8_t> utf16(const std::string& text, bool terminate);

} // namespace qob::test
