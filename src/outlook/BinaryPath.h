#pragma once
// The data-file references of a mail profile are REG_BINARY values (a store entry ID "01020fff",
// the path buffer "001f6700") with the file's path somewhere inside, as UTF-16LE or, in older
// profiles, as single-byte text. These swap such a path for another in place; the path itself is
// read by the readers of backup/PathReaders.h.
#include "platform/RegistryStore.h"
#include "registry/Registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qob {

// Writes a REG_BINARY value and makes it durable; the store's code on failure.
RegResult writeBinaryValue(Registry& registry, const std::string& keyPath, const std::string& valueName,
                           const std::vector<std::uint8_t>& bytes);

// GetBinaryValueHex: the value's bytes as upper-case hex without leading zeros joined by "=";
// "Error" when the key or value is missing.
std::string getBinaryValueHex(Registry& registry, const std::string& keyPath, const std::string& valueName);
// WideToHexText / AnsiToHexText: the search forms of a path, one "=" after every byte.
std::string wideToHexText(const std::string& text);
// nullopt when the text holds a character the single-byte code page (Windows-1252) cannot hold.
std::optional<std::string> ansiToHexText(const std::string& text);

// UTF-8 text as UTF-16LE bytes, and as Windows-1252 bytes (nullopt when not representable).
std::vector<std::uint8_t> utf16leBytes(const std::string& text);
std::optional<std::vector<std::uint8_t>> windows1252Bytes(const std::string& text);

// Replaces every occurrence of `from` that is followed by at least one more byte by `to`.
// Returns the number of replacements.
std::size_t replaceBytes(std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& from,
                         const std::vector<std::uint8_t>& to);

// ReplaceBinaryPath: swaps `oldPath` for `newPath` inside the value. Where the value's layout
// puts its path (backup/PathReaders.h) and that path is `oldPath`, the new one is written there in
// the same form, single-byte or UTF-16LE; kRegInvalidData when `newPath` cannot be written in a
// single-byte form the value uses. Otherwise every occurrence is replaced in its wide form, or
// when that is not found in its single-byte form. The value grows or shrinks with the path. A
// missing value changes nothing (kRegSuccess). The value is written only when it changed.
RegResult replaceBinaryPath(Registry& registry, const std::string& keyPath, const std::string& valueName,
                            const std::string& oldPath, const std::string& newPath);

} // namespace qob
