#pragma once
// The zip's central directory as stored, read by this program itself: what libzip does not tell
// (where each entry's local header sits, the WinZip AES version), so that an archive whose entries
// overlap is refused before any of its data is read. Every size and offset is checked against the
// file; a hostile directory fails with a reason, never reads outside its bounds.
#include "platform/Status.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qob {

struct CentralEntry {
    std::string rawName; // the bytes as stored
    std::uint16_t flags = 0;
    std::uint16_t method = 0; // as stored: 99 for WinZip AES
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
    std::uint64_t localOffset = 0;
    std::uint16_t aesVersion = 0; // 1 (AE-1) or 2 (AE-2) when a WinZip AES field is present
    std::uint8_t aesStrength = 0; // 1, 2, 3: AES-128, -192, -256
    std::uint16_t aesMethod = 0;  // the real compression method of an AES entry
};

struct CentralDirectory {
    std::vector<CentralEntry> entries;
    std::uint64_t offset = 0; // where the directory starts: no entry's data may reach past it
    std::uint64_t fileSize = 0;
};

// Reads the directory of the zip open as `fd`; nullopt with the reason in `why`.
std::optional<CentralDirectory> readCentralDirectory(int fd, std::string& why);

// Each entry's span, from its local header to the end of its data, must lie before the directory
// and apart from every other entry's: overlapping entries are a crafted file (one stored block
// counted many times). Looks at the local headers only, never at the data. `names` are the
// entries' names as shown to the user, by index.
Status checkEntrySpans(int fd, const CentralDirectory& dir, const std::vector<std::string>& names);

} // namespace qob
