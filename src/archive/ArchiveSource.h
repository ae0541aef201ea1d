#pragma once
// A zip source over one host file that reports every byte it reads, so that write progress can
// follow bytes. It insists on reading exactly the size the file had when it was added: a file
// that vanished, shrank, grew, was rewritten while being read or cannot be read fails the whole
// write instead of giving a short or torn entry.
//
// At a level above 0 it deflates the file itself, on two threads, and hands libzip the finished
// deflate stream with its CRC, so libzip only copies it (and encrypts it when asked). The entry's
// compression must then be ZIP_CM_DEFLATE, which tells libzip the data needs no recompression.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

typedef struct zip zip_t;
typedef struct zip_source zip_source_t;

namespace qob {

struct ArchiveSourceFile {
    std::filesystem::path file;
    std::uint64_t size = 0;
    std::time_t mtime = 0;
    std::function<void(std::uint64_t)> onRead; // bytes just read
    std::function<bool()> stop;                // true: stop reading, the write is cancelled
    // Deflate level 1..9, or 0 to hand libzip the plain bytes; asked when the write starts, since
    // the level may be set after the file was added.
    std::function<int()> level;
    std::string* errorText = nullptr; // receives a readable reason on failure
};

// nullptr when libzip cannot make the source (then *errorText says why).
zip_source_t* makeArchiveSource(zip_t* archive, ArchiveSourceFile spec);

} // namespace qob
