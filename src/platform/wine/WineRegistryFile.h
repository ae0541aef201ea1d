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
#include <utility>
#include <vector>

namespace qob::wine {

struct WineRegistryValue {
    std::u16string name;            // "" is the default value
    std::uint32_t type = 0;         // any code
    std::vector<std::uint8_t> data; // as stored: strings are UTF-16LE with their terminating NUL
};

class LoadedText; // a file's bytes, kept while some of its value lines are still unread
// Value lines of one key that a load left for later: bytes [begin, end) of the file, the line
// before `begin` being number `lineBefore`.
struct UnreadLines {
    std::shared_ptr<const LoadedText> text;
    std::size_t begin = 0;
    std::size_t end = 0;
    int lineBefore = 0;
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
    // The values of a key loaded with ValueReading::OnFirstUse are read from the file's text here,
    // on the first call that looks at them; not safe against another thread using the same key.
    const std::vector<WineRegistryValue>& values() const {
        readUnreadLines();
        return values_;
    }
    const std::vector<std::shared_ptr<WineRegistryKey>>& subkeys() const { return subkeys_; }

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
    friend struct KeyLoading; // the loader, which fills values_ and unread_ directly

    std::size_t subkeyIndex(std::u16string_view name, bool& found) const;
    std::size_t valueIndex(std::u16string_view name, bool& found) const;
    void readUnreadLines() const {
        if (!unread_.empty())
            readUnreadLinesNow();
    }
    void readUnreadLinesNow() const;

    std::u16string name_;
    WineRegistryKey* parent_;
    std::vector<std::shared_ptr<WineRegistryKey>> subkeys_;
    // Filled from unread_ on first use, which is why both may change under a const key.
    mutable std::vector<WineRegistryValue> values_;
    mutable std::vector<UnreadLines> unread_; // in file order: a key may have several sections
};

// What went wrong while loading; the load goes on past bad lines, as Wine's does.
struct WineRegistryLoadResult {
    bool ok = true;    // false: the whole file was refused (see error)
    std::string error; // "user.reg:1: not a Wine registry file ..." when !ok
    // "user.reg:38: Malformed value '\"badhex\"=hex:zz,01'"; of a load that left value lines
    // unread, only those of the lines it read (WineRegistryFile::warnings() has them all).
    std::vector<std::string> warnings;
};

// When a load reads the value lines. A large user.reg is mostly values of other programs, and a
// listing of profiles needs a few dozen keys: OnFirstUse reads the key sections' structure (names,
// times, classes, links) at once and each key's values when something first looks at them. Both
// give the same tree, values, times and warnings; a file whose sections cannot be told apart without
// reading the values (hand-made lines only) is read at once.
enum class ValueReading { AtOnce, OnFirstUse };

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
    // The same, keeping `text` for the value lines it leaves unread.
    static WineRegistryFile parse(std::string&& text, const std::string& fileName, std::uint64_t loadTime,
                                  WineRegistryLoadResult& result, ValueReading reading);
    // Reads and parses a file; a missing or unreadable file is reported in result.error.
    static WineRegistryFile load(const std::filesystem::path& path, std::uint64_t loadTime,
                                 WineRegistryLoadResult& result, ValueReading reading = ValueReading::AtOnce);

    // Every warning of the load, in the file's order; reads the value lines still unread.
    std::vector<std::string> warnings() const;

    // The file's text as the wineserver would write this tree, after the header as it was read.
    std::string serialize() const;

    WineRegistryKey& root() { return *root_; }
    const WineRegistryKey& root() const { return *root_; }
    const std::shared_ptr<WineRegistryKey>& rootPtr() const { return root_; }
    // The "#arch=" of the header ("win32", "win64"), or "" when the file has none.
    const std::string& arch() const { return arch_; }
    const std::string& header() const { return header_; }

private:
    // Reads `text` into this (empty) file. With `lazy`, value lines stay unread in their keys; false
    // when a section's end cannot be found that way, leaving this file half read.
    bool read(std::string_view text, const std::string& fileName, std::uint64_t loadTime,
              WineRegistryLoadResult& result, const std::shared_ptr<const LoadedText>& lazy);

    std::string header_;  // exact bytes up to the last non-blank line before the first key
    std::string trailer_; // blank lines after the last section, kept as read
    std::string arch_;
    std::shared_ptr<WineRegistryKey> root_;
    // The load's warnings by line number, shared with the unread lines, which add theirs when read.
    std::shared_ptr<std::vector<std::pair<int, std::string>>> warnings_;
};

// The ";; All keys relative to" path Wine uses for each of the prefix's files.
inline constexpr std::string_view kUserRootPath = "REGISTRY\\User\\S-1-5-21-0-0-0-1000";
inline constexpr std::string_view kMachineRootPath = "REGISTRY\\Machine";
inline constexpr std::string_view kUserDefaultRootPath = "REGISTRY\\User\\.Default";

} // namespace qob::wine
