#pragma once
// Writes a zip archive into a fresh, seekable file, one entry after the other: the local header,
// the entry's data as the caller hands it over (already deflated, or stored), then the local
// header again with the sizes and CRC filled in, so no data descriptor is needed. The central
// directory and the end records close the archive. Zip64 fields appear only where a size, an
// offset or the entry count needs them. Names are UTF-8 (flagged as such when not plain ASCII).
//
// With a password every entry is WinZip AES-256 encrypted (method 99, the real method in the
// 0x9901 extra field): AE-1 with the real CRC for entries of 20 bytes or more, AE-2 with a CRC of
// 0 below that, as WinZip writes them. Output goes through one
// large buffer, encrypted in place there, so the file sees few large writes.
#include "archive/WinZipAes.h"
#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace qob {

class ZipWriter {
public:
    struct Options {
        std::size_t bufferSize = std::size_t{4} << 20;
        // Sizes and offsets from this value up go into Zip64 fields. Only tests lower it, to see
        // the Zip64 layout on small data.
        std::uint64_t zip64From = 0xFFFFFFFFull;
    };

    enum class Method : std::uint16_t { Store = 0, Deflate = 8 };

    struct EntryStart {
        std::string name; // UTF-8, as it goes into the archive
        std::time_t mtime = 0;
        Method method = Method::Deflate;
        // The most bytes the caller may hand over for this entry: decides, before the data, whether
        // the local header carries Zip64 sizes.
        std::uint64_t maxDataSize = 0;
        std::uint64_t size = 0; // the uncompressed size as far as it is known now
    };

    // Writes from offset 0 of `fd`, which the writer does not own. An empty password: no encryption.
    ZipWriter(int fd, std::string password, Options options);
    ZipWriter(int fd, std::string password) : ZipWriter(fd, std::move(password), Options{}) {}

    Status beginEntry(const EntryStart& entry);
    // The entry's data, in order, in pieces of any size.
    Status write(const std::uint8_t* data, std::size_t len);
    // Completes the entry: `crc` and `size` of the uncompressed data.
    Status endEntry(std::uint32_t crc, std::uint64_t size);
    // The central directory and the end records; everything is handed to the file.
    Status finish();

    // Bytes of the archive so far (written or buffered).
    std::uint64_t position() const { return flushed_ + buffer_.size(); }

private:
    struct Entry {
        std::string name;
        std::uint16_t flags = 0;
        Method method = Method::Deflate;
        std::uint16_t dosTime = 0;
        std::uint16_t dosDate = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        std::uint64_t offset = 0;
        bool localZip64 = false;
    };

    std::string localHeader(const Entry& e) const;
    std::string centralHeader(const Entry& e, bool& zip64) const;
    bool isAes() const { return !password_.empty(); }
    Status append(const void* data, std::size_t len);
    Status flush();
    Status patch(std::uint64_t offset, const std::string& bytes);
    Status failed(const std::string& what, int err);

    int fd_;
    std::string password_;
    Options options_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t flushed_ = 0; // bytes already handed to the file
    std::vector<Entry> entries_;
    std::optional<WinZipAes> aes_;
    bool inEntry_ = false;
    std::uint64_t dataStart_ = 0;
    Status broken_ = Status::success(); // the first failure; everything after it fails the same way
};

} // namespace qob
