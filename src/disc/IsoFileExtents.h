#pragma once
// Where the image libisofs laid out keeps each file's bytes, read from the directory records it
// wrote (ISO 9660 with Rock Ridge names): what lets the image's file data be copied straight from
// the files while libisofs makes only the blocks around them.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qob::disc {

struct FileExtent {
    std::uint32_t block = 0; // on the medium: the first of the file's blocks
    std::uint64_t size = 0;  // bytes; the blocks after the last byte are zeros up to the next block
    std::string imagePath;   // "\folder\name", as DiscImage names it
};

// `blockAt(n)`: the image's 2048 bytes at medium block n, or null when the image has no such block
// or it cannot be had. `startBlock`: where the session begins on the medium. The files with data
// (not empty ones), each once (a file under several names once, by its first name met), in block
// order; `highestRecordBlock` is the last block a directory record or its continuation was read
// from. False with `why` when the records are not what libisofs writes.
bool findFileExtents(const std::function<const unsigned char*(std::uint32_t)>& blockAt,
                     std::uint32_t startBlock, std::vector<FileExtent>& files,
                     std::uint32_t& highestRecordBlock, std::string& why);

} // namespace qob::disc
