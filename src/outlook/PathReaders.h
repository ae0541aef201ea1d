#pragma once
// GetBinaryPathWide / GetBinaryPathAnsi: the path of a data file out of a binary registry value.
//
// The value "01020fff" of a profile's service key is a store entry ID with a fixed head: flags
// (bytes 0-3), the store-wrap UID (4-19), version and flag (20-21), the provider DLL name padded
// with zero bytes up to byte 35, the provider's UID (36-51) and one reserved byte (52). A PST
// store's path starts at byte 53: as single-byte text ending in NUL (profiles from the ANSI era,
// kept through every upgrade since), or, in the Unicode form, byte 53 is that text's NUL (empty)
// and the path follows from byte 54 as UTF-16LE. The path buffer "001f6700" holds the bare
// UTF-16LE path with no head. A value laid out in none of these ways is read the old way, with
// zero bytes dropped, so that no reference found before is missed now. The backup reads these
// paths to find the data files, the restore to find the references it rewrites.
#include "registry/Registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kPathError[] = "Error";
// The byte where a store entry ID's single-byte path starts, and its Unicode path.
inline constexpr std::size_t kStorePathOffset = 53;
inline constexpr std::size_t kStoreEntryIdHeader = 54;

enum class PathForm { Wide, Ansi };

// Where a value holds its path: `length` bytes from `offset`, in `form`; `path` is that text as
// UTF-8. Only the layouts above are located this way.
struct PathInValue {
    std::string path;
    PathForm form = PathForm::Wide;
    std::size_t offset = 0;
    std::size_t length = 0;
};

// The provider DLL a store entry ID's head names ("mspst.dll"), lower-cased; "" when the value
// has no such head.
std::string storeProviderDll(const std::vector<std::uint8_t>& bytes);
// True when the value should name a file: a PST store's entry ID, or a value of no known layout.
// An entry ID of another provider (a server mailbox) holds no path and needs none.
bool namesDataFile(const std::vector<std::uint8_t>& bytes);

// The path at the place the value's layout puts it: the single-byte path at byte 53 or the
// UTF-16LE path at byte 54 of a store entry ID, the UTF-16LE path from byte 0 of a bare buffer.
std::optional<PathInValue> locatePath(const std::vector<std::uint8_t>& bytes);

// The path in the value bytes as UTF-16LE (surrogate pairs included): where the layout puts it,
// else the old reading (zero bytes skipped, runs of non-zero bytes taken in pairs); "Error" when
// no drive or network path is found.
std::string decodeWidePath(const std::vector<std::uint8_t>& bytes);
// The same for single-byte (Windows-1252) text; the old reading drops every zero byte.
std::string decodeAnsiPath(const std::vector<std::uint8_t>& bytes);
// The path part of decoded text: "X:\..." or "\\server\share\...", else "Error".
std::string pathFromText(const std::string& text);

// The bytes of the REG_BINARY value whose name equals `valueName` exactly (case-sensitive);
// nullopt when the key or such a value is missing.
std::optional<std::vector<std::uint8_t>> readBinaryValue(Registry& registry, const std::string& keyPath,
                                                         const std::string& valueName);

// Reads the REG_BINARY value `valueName` (name compared exactly) of the key and decodes it.
std::string getBinaryPathWide(Registry& registry, const std::string& keyPath, const std::string& valueName);
std::string getBinaryPathAnsi(Registry& registry, const std::string& keyPath, const std::string& valueName);

// The data file named by the bytes of a "01020fff" value: where its layout puts it, else the old
// wide reading, else the old single-byte one; "Error" when none finds a path.
std::string dataFilePathOf(const std::vector<std::uint8_t>& bytes);
// The data file a profile's service key points at through "01020fff" (see dataFilePathOf).
std::string getDataFilePath(Registry& registry, const std::string& serviceKey);

} // namespace qob
