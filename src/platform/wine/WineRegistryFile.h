#pragma once
// One Wine registry file (user.reg, system.reg, userdef.reg) as a tree of keys, loaded and saved
// in the wineserver's own format, so that a file we load and save again keeps every line we did
// not change byte for byte.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qob::wine {

struct WineRegistryValue {
    std::u16string name;            // "" is the default value
    std::uint32_t type = 0;         // any code
    std::vector<std::uint8_t> data; // as stored: strings are UTF-16LE with their terminating NUL
};

class WineRegistryKey {
public:
    explicit WineRegistryKey(std::u16string name, WineRegistryKey* parent = nullptr)
        : name_(std::move(name)), parent_(parent) {}

    const std::u16string& name() const { return name_; }
    WineRegistryKey* parent() const { return parent_; }

    // Last-write time as a FILETIME; 0 while a load has not given it one yet.
    std::uint64_t modified = 0;
    // The class as the file holds it (UTF-16 code units, a loaded one with its terminating NUL).
    std::optional<std::u16string> className;
    bool isLink = false;

    // Children and values, kept in the wineserver's order (case-insensitive, shorter prefix first).
    const std::vector<std::shared_ptr<WineRegistryKey>>& subkeys() const { return subkeys_; }
    const std::vector<WineRegistryValue>& values() const { return values_; }

    WineRegistryKey* findSubkey(std::u16string_view name) const;
    std::shared_ptr<WineRegistryKey> subkeyPtr(std::u16string_view name) const;
    // Returns the subkey, creating it (with time 0) when missing; `created` says which.
    WineRegistryKey* ensureSubkey(std::u16string_view name, bool* created = nullptr);
    // Removes the subkey; returns false when there is none.
    bool removeSubkey(std::u16string_view name);

    const WineRegistryValue* findValue(std::u16string_view name) const;
    // Returns the value, inserting an empty REG_NONE one when missing.
    WineRegistryValue& ensureValue(std::u16string_view name);
    bool removeValue(std::u16string_view name);

private:
    std::size_t subkeyIndex(std::u16string_view name, bool& found) const;
    std::size_t valueIndex(std::u16string_view name, bool& found) const;

    std::u16string name_;
    WineRegistryKey* parent_;
    std::vector<std::shared_ptr<WineRegistryKey>> subkeys_;
    std::vector<WineRegistryValue> values_;
};

// What went wrong while loading; the load goes on past bad lines, as Wine's does.
struct WineRegistryLoadResult {
    bool ok = true;                    // false: the whole file was refused (see error)
    std::string error;                 // "user.reg:1: not a Wine registry file ..." when !ok
    std::vector<std::string> warnings; // "user.reg:38: Malformed value '\"badhex\"=hex:zz,01'"
};

class WineRegistryFile {
public:
    // An empty hive whose file, when saved, starts with the header Wine writes for `rootPath`
    // (the ";; All keys relative to" path, e.g. "REGISTRY\\Machine") and `arch` ("win64").
    explicit WineRegistryFile(std::string rootPath = "REGISTRY\\Machine", std::string arch = "win64",
                              std::uint64_t now = 0);

    // Parses `text`. `fileName` names the file in messages ("user.reg"); keys given no time by
    // the file get `loadTime` (a FILETIME), as Wine gives them the time of loading.
    static WineRegistryFile parse(std::string_view text, const std::string& fileName, std::uint64_t loadTime,
                                  WineRegistryLoadResult& result);
    // Reads and parses a file; a missing or unreadable file is reported in result.error.
    static WineRegistryFile load(const std::filesystem::path& path, std::uint64_t loadTime,
                                 WineRegistryLoadResult& result);

    // The file's text as the wineserver would write this tree, after the header as it was read.
    std::string serialize() const;

    WineRegistryKey& root() { return *root_; }
    const WineRegistryKey& root() const { return *root_; }
    const std::shared_ptr<WineRegistryKey>& rootPtr() const { return root_; }
    // The "#arch=" of the header ("win32", "win64"), or "" when the file has none.
    const std::string& arch() const { return arch_; }
    const std::string& header() const { return header_; }

private:
    std::string header_;  // exact bytes up to the last non-blank line before the first key
    std::string trailer_; // blank lines after the last section, kept as read
    std::string arch_;
    std::shared_ptr<WineRegistryKey> root_;
};

// The ";; All keys relative to" path Wine uses for each of the prefix's files.
inline constexpr std::string_view kUserRootPath = "REGISTRY\\User\\S-1-5-21-0-0-0-1000";
inline constexpr std::string_view kMachineRootPath = "REGISTRY\\Machine";
inline constexpr std::string_view kUserDefaultRootPath = "REGISTRY\\User\\.Default";

} // namespace qob::wine
