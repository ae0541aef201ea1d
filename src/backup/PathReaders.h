#pragma once
// GetBinaryPathWide / GetBinaryPathAnsi: the path of a data file out of a binary registry value.
// The value "01020fff" of a profile's service key is a PST store entry ID: a 54-byte header, then
// the path as NUL-terminated text (UTF-16LE in current profiles, single-byte in older ones). The
// path buffer "001f6700" holds the bare path with no header; the decoders read both layouts. The
// backup reads these paths to find the data files, the restore to find the references it rewrites.
#include "registry/Registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kPathError[] = "Error";
inline constexpr std::size_t kStoreEntryIdHeader = 54;

// The path in the value bytes read as UTF-16LE (surrogate pairs included) up to the first 0 code
// unit, after the store entry ID header, or from the first byte when no path follows a header (a
// bare path, or a value too short to have one); "Error" when no drive or network path is found.
std::string decodeWidePath(const std::vector<std::uint8_t>& bytes);
// The same for single-byte (Windows-1252) text up to the first NUL.
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

// The data file a profile's service key points at through "01020fff": the wide reading, or the
// single-byte one when that finds nothing (a wide path whose file is missing is not retried);
// "Error" when neither finds a path.
std::string getDataFilePath(Registry& registry, const std::string& serviceKey);

} // namespace qob
