#pragma once
// Reads one entry's data out of an open archive, fast. libzip hands over the bytes as stored, an
// AES-256 entry is decrypted and authenticated here (WinZipAes, in large blocks), ISA-L inflates
// them (nearly three times zlib's speed on mail data) and the CRC-32 and the sizes are checked here.
//
// A second thread reads and inflates into a small ring of blocks while the caller's thread takes
// them in order (writes them to the restored file), so inflating and writing overlap on two cores
// and memory stays at the ring's few megabytes whatever the entry's size. A protected entry has a
// third thread in front, which reads, decrypts and authenticates a few blocks ahead of the
// inflater, so that a password costs little more time than none.
#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

typedef struct zip zip_t;

namespace qob {

// The size of one block of the ring: what the caller's `take` gets at most at a time.
inline constexpr std::size_t kEntryBlockSize = 1024 * 1024;
inline constexpr std::size_t kEntryRingBlocks = 4;

struct EntryReadRequest {
    std::uint64_t index = 0;
    std::string name;       // for the messages
    std::uint64_t size = 0; // the uncompressed size recorded in the archive
    std::string password;   // used only when the entry is encrypted
};

struct EntryReadHandlers {
    // Gets every block of plain data in order, on the caller's thread; `done` counts the bytes
    // taken so far, this block included. A failure stops the read and becomes its result.
    std::function<Status(const char* data, std::size_t len, std::uint64_t done)> take;
    // Asked before each block; true stops the read with a cancelled Status.
    std::function<bool()> stopNow;
};

// Reads the entry to its end. Nothing beyond the recorded size is ever handed to `take`; a
// damaged or truncated entry, a wrong password, a CRC mismatch or a method other than stored or
// deflated fail with a message that starts with the entry's quoted name. The data taken before a
// failure is not to be kept.
Status readEntryData(zip_t* zip, const EntryReadRequest& request, const EntryReadHandlers& handlers);

// Words for the libzip codes a user can meet when reading an entry.
std::string entryReadProblem(int zipCode, const std::string& fallback);

} // namespace qob
