#pragma once
// The registry as the program sees it: the few operations of the Win32 registry API that the
// registry module needs, with Win32 result codes. Implemented over a Wine prefix's registry
// files on Linux and over advapi32 on Windows.
//
// Text crosses this boundary as UTF-8. String values (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are
// stored as UTF-16 behind it; like the "A" functions of Win32, reads hand them back converted,
// and always with exactly one terminating NUL byte counted in their length, whether or not the
// writer counted one, so that a value written by an import is exported whole by the next backup.
#include <cstdint>
#include <string>
#include <vector>

namespace qob {

using RegResult = long;
inline constexpr RegResult kRegSuccess = 0;
inline constexpr RegResult kRegNotFound = 2;
inline constexpr RegResult kRegAccessDenied = 5;
inline constexpr RegResult kRegInvalidData = 13;
inline constexpr RegResult kRegWriteFault = 29; // a change could not be saved (full disk, I/O error)
inline constexpr RegResult kRegMoreData = 234;
inline constexpr RegResult kRegNoMoreItems = 259;

// Predefined root keys, by the values Win32 gives them.
enum class RegRoot : std::uint32_t {
    None = 0,
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
    Users = 0x80000003u,
    PerformanceData = 0x80000004u,
    CurrentConfig = 0x80000005u,
    DynData = 0x80000006u,
};

// Registry value type codes.
enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegLink = 6,
    kRegMultiSz = 7,
    kRegQword = 11,
};

// An open key. 0 is never a valid handle.
using RegHandle = std::uint64_t;

struct RegValue {
    std::string name;               // UTF-8; "" is the default value
    std::uint32_t type = kRegNone;  // any code, not only the ones above
    std::vector<std::uint8_t> data; // strings: UTF-8 with one terminating NUL counted
};

class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    // Opens an existing key. path is below the root ("" names the root itself), components
    // separated by '\' and matched without regard to case.
    virtual RegResult openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) = 0;
    // Opens the key, creating it and every missing key above it.
    virtual RegResult createKey(RegRoot root, const std::string& path, RegHandle& out) = 0;
    virtual RegResult closeKey(RegHandle key) = 0;

    // Subkeys and values by index from 0, in the store's enumeration order; kRegNoMoreItems at the end.
    virtual RegResult enumKey(RegHandle key, std::uint32_t index, std::string& name) = 0;
    virtual RegResult enumValue(RegHandle key, std::uint32_t index, RegValue& out) = 0;

    // One value by name (case-insensitive); kRegNotFound when missing.
    virtual RegResult queryValue(RegHandle key, const std::string& name, RegValue& out) = 0;
    // Writes a value. For string types, data is UTF-8 with or without a terminating NUL.
    virtual RegResult setValue(RegHandle key, const std::string& name, std::uint32_t type,
                               const std::vector<std::uint8_t>& data) = 0;
    virtual RegResult deleteValue(RegHandle key, const std::string& name) = 0;
    // Deletes the subkey `name` of `parent`; kRegAccessDenied when it has subkeys of its own.
    virtual RegResult deleteKey(RegHandle parent, const std::string& name) = 0;

    // Makes every change so far durable (a Wine prefix saves its registry files here). Writes are
    // refused with kRegAccessDenied when they could not be made durable at all; kRegWriteFault
    // when saving them failed.
    virtual RegResult flush() = 0;
    // Drops every change made since the last flush: the store reads as what was last saved. A run
    // that gathers its registry changes in memory and then fails takes them back this way.
    virtual RegResult discardChanges() = 0;

    // Why the last failing call failed, in words, when the store knows ("" otherwise).
    virtual std::string lastError() const { return {}; }
};

} // namespace qob
