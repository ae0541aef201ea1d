#pragma once
// The registry of a Wine prefix, read from and written to the prefix's own files:
//   HKEY_CURRENT_USER                      <-> user.reg
//   HKEY_LOCAL_MACHINE                     <-> system.reg
//   HKEY_USERS\.Default                    <-> userdef.reg
//   HKEY_USERS\S-1-5-21-0-0-0-1000         <-> user.reg (the one user SID Wine gives everybody)
//   HKEY_CLASSES_ROOT                      <-> HKLM\Software\Classes overlaid by HKCU\Software\Classes
// Other roots hold nothing.
//
// HKEY_CLASSES_ROOT follows Windows' merged view: a key that exists under HKCU\Software\Classes
// is the one read and written (its values only, not merged with the machine's); otherwise the
// machine's key is used, and keys are created under HKLM\Software\Classes. Subkey enumeration
// lists the union of both sides.
//
// Hives load on first use; a missing file is an empty hive. Changes stay in memory until flush(),
// which writes each changed file whole to a temporary file and renames it over the original.
// While the prefix's wineserver runs, every write is refused with kRegAccessDenied and no file is
// touched: the server would overwrite the file with its own copy when it exits. A save that fails
// for any other reason (a full disk) answers kRegWriteFault, and lastError() says why.
#include "platform/RegistryStore.h"
#include "platform/wine/WineRegistryFile.h"
#include "platform/wine/WineServerProbe.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qob {

// Result codes beyond those of RegistryStore.h, with their Win32 values.
inline constexpr RegResult kRegBadDb = 1009;      // the hive's file could not be loaded
inline constexpr RegResult kRegKeyDeleted = 1018; // the handle's key was deleted meanwhile

class WinePrefixRegistry : public RegistryStore {
public:
    struct Options {
        // The current time as a FILETIME; changed keys get it as their last-write time.
        std::function<std::uint64_t()> clock;
        // How often an unchanged hive's file is looked at for changes made by someone else (Wine
        // saves every 30 s, so a short delay loses nothing; a stat per call would dominate reads).
        std::chrono::milliseconds reloadCheckInterval{100};
        // How saved files are flushed to disk (fsync when unset); tests watch it.
        std::function<int(int fd)> sync;
    };

    explicit WinePrefixRegistry(std::filesystem::path prefix);
    WinePrefixRegistry(std::filesystem::path prefix, Options options);
    ~WinePrefixRegistry() override;

    RegResult openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) override;
    RegResult createKey(RegRoot root, const std::string& path, RegHandle& out) override;
    RegResult closeKey(RegHandle key) override;
    RegResult enumKey(RegHandle key, std::uint32_t index, std::string& name) override;
    RegResult enumValue(RegHandle key, std::uint32_t index, RegValue& out) override;
    RegResult queryValue(RegHandle key, const std::string& name, RegValue& out) override;
    RegResult setValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::vector<std::uint8_t>& data) override;
    RegResult deleteValue(RegHandle key, const std::string& name) override;
    RegResult deleteKey(RegHandle parent, const std::string& name) override;
    RegResult flush() override;
    RegResult discardChanges() override;

    const std::filesystem::path& prefix() const { return prefix_; }
    // Whether the prefix's wineserver runs right now (see WineServerProbe).
    bool serverRunning() const;
    // Why the last failing call failed, in words ("" after a success).
    std::string lastError() const override { return lastError_; }
    // Lines the loaded hives skipped or repaired, "user.reg:38: Malformed value '...'".
    std::vector<std::string> loadWarnings() const;
    // Files that could not be loaded at all, with the reason; their roots answer kRegBadDb.
    std::vector<std::string> loadErrors() const;

private:
    struct Hive;
    struct Handle;
    struct Location;

    Hive* hiveAt(int index);
    RegResult ensureLoaded(int index);
    void loadHive(int index);
    std::string prefixArch();
    RegResult checkWritable(int hiveIndex);
    RegResult fail(RegResult code, std::string why);
    RegResult walk(int hiveIndex, const std::vector<std::u16string>& path, bool create, Location& out);
    RegResult locate(RegRoot root, const std::vector<std::u16string>& path, bool create, Location& out);
    RegResult resolve(RegHandle handle, Location& out, Handle** entry = nullptr);
    RegHandle addHandle(Handle handle);
    void touch(int hiveIndex, wine::WineRegistryKey& key);
    RegResult writeHive(int index);

    std::filesystem::path prefix_;
    Options options_;
    std::array<std::unique_ptr<Hive>, 3> hives_;
    std::map<RegHandle, Handle> handles_;
    RegHandle nextHandle_ = 1;
    bool serverRunningNow(bool thorough) const;

    mutable wine::WineServerProbe probe_;
    // Writes ask "does the server run?" each time; a fresh answer costs several system calls,
    // so one is reused for a moment. flush() and serverRunning() always look again.
    mutable std::chrono::steady_clock::time_point serverCheckedAt_{};
    mutable bool serverWasRunning_ = false;
    std::string arch_;
    std::string lastError_;
};

} // namespace qob
