#pragma once
// The restore item handlers: each takes the item value that the opening of the backup read,
// extracts the named entries from the open archive into the place this machine's Outlook expects
// them, and for the registry kinds, data files and address books brings the target profile in line.
// Each returns true or false and never throws; why a handler failed is kept in `problems`.
#include "archive/Archive.h"
#include "outlook/AppState.h"
#include "platform/Job.h"
#include "registry/TargetContext.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// Far above the registry text of any profile or options key (a large profile's is well under a
// megabyte); the text is extracted and read whole, so a crafted entry could otherwise fill the disk
// and the memory.
inline constexpr std::uint64_t kMaxRegistryTextBytes = std::uint64_t{64} << 20;

class RestoreTransaction;

struct RestoreContext {
    TargetContext& platform;
    AppState& state;
    Archive& archive;
    // Bytes free on the file system of a host folder; a test injects a full disk here.
    std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace = Archive::freeSpace;
    // One line per failure, in words, for the command-line tool and for tests.
    std::vector<std::string> problems;
    // When set, files are gathered under temporary names and moved into place by its commit;
    // otherwise each file replaces its target at once.
    RestoreTransaction* transaction = nullptr;
    // The data files and address books the target profile named when the run started.
    std::optional<std::vector<std::string>> targetFilesBefore;
    // Asked between the files of an item: once a stop is asked for, the run is rolled back, so
    // extracting the rest of a folder would only cost time.
    const StopToken* stop = nullptr;

    RestoreContext(TargetContext& p, AppState& s, Archive& a) : platform(p), state(s), archive(a) {}
    // Records why the current handler fails; returns false so handlers can `return fail(...)`.
    bool fail(std::string why);
    bool stopRequested() const { return stop && stop->stopRequested(); }
    // Writes an entry to a host file, through the transaction when there is one.
    Status writeEntry(const ArchiveEntry& entry, const std::filesystem::path& hostFile);
    // Removes a host file, at the commit when there is a transaction.
    Status removeFile(const std::string& targetPath);
    // The registry key will be changed by this run.
    void touchKey(const std::string& keyPath);
};

// Target folders of this machine, worked out anew at each call (target paths).
std::string restoreLocalDataFolder(const AppState& state);
std::string restoreRoamingDataFolder(const AppState& state);
std::string restoreSignaturesFolder(const AppState& state);
std::string restoreTemplatesFolder(const AppState& state);
std::string restoreContactsFolder(const AppState& state);
// "" when Office 12.0-16.0's shared-files folder cannot be read.
std::string restoreStationeryFolder(Registry& registry, const AppState& state);
std::string restoreProfileKey(const AppState& state, const std::string& profile);
std::string restoreAccountsKey(const AppState& state, const std::string& profile);
std::string restoreOptionsKey(const AppState& state);

// How much of the backed-up profile configuration a restore takes.
enum class ConfigScope {
    WholeProfile,            // the profile key is replaced, data files follow (box 0)
    MissingWithAddressBooks, // only branches the target lacks, no data-file services (box 4)
    MissingWithoutFiles,     // the same without address books either (box 1)
};

bool restoreConfig(RestoreContext& ctx, const std::string& profile,
                   ConfigScope scope = ConfigScope::WholeProfile);
bool restoreAccounts(RestoreContext& ctx, const std::string& profile);
bool restoreConfigsetting(RestoreContext& ctx);
bool restoreDatas(RestoreContext& ctx, const std::string& profile);
bool restorePab(RestoreContext& ctx, const std::string& profile);
bool restoreRules(RestoreContext& ctx, const std::string& profile);
bool restoreSignatures(RestoreContext& ctx);
bool restoreStationery(RestoreContext& ctx);
bool restoreTemplates(RestoreContext& ctx);
// The preferences folder also holds every profile's rules file; only the target profile's own is
// restored with it, so restoring another profile's backup never reverts this machine's other rules.
bool restoreSetting(RestoreContext& ctx, const std::string& profile);
bool restoreContacts(RestoreContext& ctx);

// --- shared by the handlers ---
// The entry for a name of an item value: refused when the name is not a plain file name, missing
// from the archive, a symbolic link, or larger than the free space of `hostFolder`.
std::optional<ArchiveEntry> checkedEntry(RestoreContext& ctx, const std::string& name,
                                         const std::filesystem::path& hostFolder);
// Extracts the named entries of an item value into a target folder; false when any of them could
// not be restored (reported; the others are still written). `extracted` receives the entry names
// written. `fileNameFor`, when given, names the file an entry is written to (default: the entry name).
bool extractNames(RestoreContext& ctx, const std::string& value, const std::string& targetFolder,
                  std::vector<std::string>* extracted = nullptr,
                  const std::function<std::string(const std::string&)>& fileNameFor = {});
// Creates a target folder and, when `withParents`, every missing folder above it.
bool ensureTargetFolder(RestoreContext& ctx, const std::string& targetFolder, bool withParents);
// Removes the accounts' "Delivery Store EntryID" values that name a data file the target did not
// use before (imported accounts would deliver into another profile's mail file); Outlook then
// delivers to the profile's default store.
void dropForeignDeliveryStores(RestoreContext& ctx, const std::string& profile);
// The first data file the profile names now that is on this machine, that the profile did not name
// when the run started and that this run does not write; "" when there is none.
std::string foreignReference(RestoreContext& ctx, const std::string& profile);
// The data files and address books a profile names (target paths as the profile spells them).
std::vector<std::string> filesOfProfile(RestoreContext& ctx, const std::string& profile);
// The profile names a key below the profiles root: not empty, and a plain name.
bool checkProfile(RestoreContext& ctx, const std::string& profile);

} // namespace qob
