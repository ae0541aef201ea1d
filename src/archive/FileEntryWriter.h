#pragma once
// One host file streamed into an archive as one entry: read, deflated on two threads
// (ParallelDeflate) or stored, and handed to the ZipWriter, with every byte read reported so that
// progress follows bytes. It insists on reading exactly the size the file had when it was added: a
// file that vanished, shrank, grew, was rewritten while being read or cannot be read fails the
// whole write instead of giving a short or torn entry.
#include "archive/ZipWriter.h"
#include "platform/Status.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

namespace qob {

struct FileEntrySpec {
    std::filesystem::path file;
    std::string name;
    std::uint64_t size = 0; // as found when the file was added
    std::time_t mtime = 0;
    int level = 6;                             // deflate level 1..9, or 0 to store
    std::function<void(std::uint64_t)> onRead; // bytes just read (or compressed, when deflating)
    std::function<bool()> stop;                // true: the write is cancelled
};

// On failure the message says why in words for the user (the file's name included); after a stop
// it is a cancelled Status.
Status writeFileEntry(ZipWriter& zip, const FileEntrySpec& spec);

} // namespace qob
