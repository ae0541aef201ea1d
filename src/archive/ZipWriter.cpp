#include "archive/ZipWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qob {
namespace {

constexpr std::uint32_t kLocalMagic = 0x04034b50;
constexpr std::uint32_t kCentralMagic = 0x02014b50;
constexpr std::uint32_t kEndMagic = 0x06054b50;
constexpr std::uint32_t kZip64EndMagic = 0x06064b50;
constexpr std::uint32_t kZip64LocatorMagic = 0x07064b50;
constexpr std::uint16_t kAesMethod = 99;
constexpr std::uint16_t kFlagEncrypted = 1u << 0;
constexpr std::uint16_t kFlagUtf8 = 1u << 11;
constexpr std::uint16_t kZip64Tag = 0x0001;
constexpr std::uint16_t kAesTag = 0x9901;
constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
// Unix host, zip format 6.3.
constexpr std::uint16_t kMadeBy = (3u << 8) | 63u;
// A regular file readable and writable by all, as restores create it anyway with their own mode.
constexpr std::uint32_t kExternalAttributes = 0100666u << 16;
// From this size on an entry is written as WinZip AE-1, which keeps the CRC; below it as AE-2,
// whose CRC is 0: the CRC of so little data would give too much of it away. No plaintext CRC ever
// sits beside an AE-2 mark.
constexpr std::uint64_t kAesCrcFrom = 20;

void put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void put64(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

bool isAscii(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

void dosTime(std::time_t t, std::uint16_t& time, std::uint16_t& date) {
    std::tm tm{};
    if (!::localtime_r(&t, &tm) || tm.tm_year < 80) {
        tm = std::tm{};
        tm.tm_year = 80; // the earliest a zip can say: 1980-01-01
        tm.tm_mday = 1;
    }
    date = static_cast<std::uint16_t>(((tm.tm_year - 80) << 9) + ((tm.tm_mon + 1) << 5) + tm.tm_mday);
    time = static_cast<std::uint16_t>((tm.tm_hour << 11) + (tm.tm_min << 5) + (tm.tm_sec >> 1));
}

// Vendor version (AE-1 with the CRC, AE-2 without), vendor "AE", strength 3 (AES-256), the real
// compression method.
std::string aesExtra(ZipWriter::Method method, std::uint64_t size) {
    std::string x;
    put16(x, kAesTag);
    put16(x, 7);
    put16(x, size >= kAesCrcFrom ? 1 : 2);
    x += "AE";
    x.push_back(3);
    put16(x, static_cast<std::uint16_t>(method));
    return x;
}

} // namespace

ZipWriter::ZipWriter(int fd, std::string password, Options options)
    : fd_(fd), password_(std::move(password)), options_(options) {
    options_.bufferSize = std::max<std::size_t>(options_.bufferSize, 64 * 1024);
    buffer_.reserve(options_.bufferSize);
}

Status ZipWriter::failed(const std::string& what, int err) {
    if (broken_) {
        const std::string reason = err ? std::strerror(err) : "";
        broken_ = Status::failure(what.empty() ? reason : err ? what + ": " + reason : what);
    }
    return broken_;
}

Status ZipWriter::flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
        ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return failed("", n < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(n);
    }
    flushed_ += buffer_.size();
    buffer_.clear();
    return Status::success();
}

Status ZipWriter::append(const void* data, std::size_t len) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (len > 0) {
        if (buffer_.size() == options_.bufferSize) {
            if (Status s = flush(); !s) {
                return s;
            }
        }
        const std::size_t n = std::min(len, options_.bufferSize - buffer_.size());
        buffer_.insert(buffer_.end(), bytes, bytes + n);
        bytes += n;
        len -= n;
    }
    return Status::success();
}

Status ZipWriter::patch(std::uint64_t offset, const std::string& bytes) {
    // The part already in the file is rewritten there, the rest still sits in the buffer.
    std::size_t done = 0;
    while (done < bytes.size() && offset + done < flushed_) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size() - done, flushed_ - offset - done));
        ssize_t w = ::pwrite(fd_, bytes.data() + done, n, static_cast<off_t>(offset + done));
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return failed("", w < 0 ? errno : ENOSPC);
        }
        done += static_cast<std::size_t>(w);
    }
    if (done < bytes.size()) {
        std::memcpy(buffer_.data() + (offset + done - flushed_), bytes.data() + done, bytes.size() - done);
    }
    return Status::success();
}

std::string ZipWriter::localHeader(const Entry& e) const {
    const bool aes = isAes();
    const std::uint64_t limit = options_.zip64From;
    std::string h;
    put32(h, kLocalMagic);
    put16(h, aes ? 51 : e.localZip64 ? 45 : e.method == Method::Deflate ? 20 : 10);
    put16(h, e.flags);
    put16(h, aes ? kAesMethod : static_cast<std::uint16_t>(e.method));
    put16(h, e.dosTime);
    put16(h, e.dosDate);
    put32(h, aes && e.size < kAesCrcFrom ? 0 : e.crc);
    if (e.localZip64 && (e.compressedSize >= limit || e.size >= limit)) {
        // With Zip64 sizes in a local header both of its 32-bit sizes point there.
        put32(h, kMax32);
        put32(h, kMax32);
    } else {
        put32(h, static_cast<std::uint32_t>(e.compressedSize));
        put32(h, static_cast<std::uint32_t>(e.size));
    }
    put16(h, static_cast<std::uint16_t>(e.name.size()));
    put16(h, static_cast<std::uint16_t>((e.localZip64 ? 20 : 0) + (aes ? 11 : 0)));
    h += e.name;
    // The AES field first, then Zip64: the order libzip writes, which readers are used to.
    if (aes) {
        h += aesExtra(e.method, e.size);
    }
    if (e.localZip64) {
        put16(h, kZip64Tag);
        put16(h, 16);
        put64(h, e.size);
        put64(h, e.compressedSize);
    }
    return h;
}

std::string ZipWriter::centralHeader(const Entry& e, bool& zip64) const {
    const bool aes = isAes();
    const std::uint64_t limit = options_.zip64From;
    const bool bigSize = e.size >= limit;
    const bool bigCompressed = e.compressedSize >= limit;
    const bool farOffset = e.offset >= limit;
    zip64 = bigSize || bigCompressed || farOffset;
    std::string extra = aes ? aesExtra(e.method, e.size) : std::string();
    if (zip64) {
        put16(extra, kZip64Tag);
        put16(extra, static_cast<std::uint16_t>(8 * (bigSize + bigCompressed + farOffset)));
        if (bigSize) {
            put64(extra, e.size);
        }
        if (bigCompressed) {
            put64(extra, e.compressedSize);
        }
        if (farOffset) {
            put64(extra, e.offset);
        }
    }
    std::string h;
    put32(h, kCentralMagic);
    put16(h, kMadeBy);
    put16(h, aes ? 51 : zip64 ? 45 : e.method == Method::Deflate ? 20 : 10);
    put16(h, e.flags);
    put16(h, aes ? kAesMethod : static_cast<std::uint16_t>(e.method));
    put16(h, e.dosTime);
    put16(h, e.dosDate);
    put32(h, aes && e.size < kAesCrcFrom ? 0 : e.crc);
    put32(h, bigCompressed ? kMax32 : static_cast<std::uint32_t>(e.compressedSize));
    put32(h, bigSize ? kMax32 : static_cast<std::uint32_t>(e.size));
    put16(h, static_cast<std::uint16_t>(e.name.size()));
    put16(h, static_cast<std::uint16_t>(extra.size()));
    put16(h, 0); // comment
    put16(h, 0); // disk
    put16(h, 0); // internal attributes
    put32(h, kExternalAttributes);
    put32(h, farOffset ? kMax32 : static_cast<std::uint32_t>(e.offset));
    h += e.name;
    h += extra;
    return h;
}

Status ZipWriter::beginEntry(const EntryStart& start) {
    if (!broken_) {
        return broken_;
    }
    if (inEntry_) {
        return failed("an entry was begun before the previous one ended", 0);
    }
    if (start.name.empty() || start.name.size() > 0xFFFF) {
        return failed("the entry name \"" + start.name + "\" cannot be stored", 0);
    }
    Entry e;
    e.name = start.name;
    e.method = start.method;
    e.flags = static_cast<std::uint16_t>((isAscii(e.name) ? 0 : kFlagUtf8) | (isAes() ? kFlagEncrypted : 0));
    dosTime(start.mtime, e.dosTime, e.dosDate);
    e.offset = position();
    const std::uint64_t overhead = isAes() ? WinZipAes::kOverhead : 0;
    e.localZip64 = start.maxDataSize + overhead >= options_.zip64From || start.size >= options_.zip64From;
    e.size = start.size;
    if (Status s = append(localHeader(e).data(), localHeader(e).size()); !s) {
        return s;
    }
    if (isAes()) {
        std::string why;
        aes_ = WinZipAes::forWriting(password_, why);
        if (!aes_) {
            return failed("cannot encrypt \"" + e.name + "\": " + why, 0);
        }
        const auto header = aes_->header();
        if (Status s = append(header.data(), header.size()); !s) {
            return s;
        }
    }
    dataStart_ = position();
    entries_.push_back(std::move(e));
    inEntry_ = true;
    return Status::success();
}

Status ZipWriter::write(const std::uint8_t* data, std::size_t len) {
    if (!broken_) {
        return broken_;
    }
    while (len > 0) {
        if (buffer_.size() == options_.bufferSize) {
            if (Status s = flush(); !s) {
                return s;
            }
        }
        const std::size_t n = std::min(len, options_.bufferSize - buffer_.size());
        const std::size_t at = buffer_.size();
        buffer_.insert(buffer_.end(), data, data + n);
        if (aes_) {
            aes_->encrypt(buffer_.data() + at, n); // in the buffer: no second copy of the data
        }
        data += n;
        len -= n;
    }
    return Status::success();
}

Status ZipWriter::endEntry(std::uint32_t crc, std::uint64_t size) {
    if (!broken_) {
        return broken_;
    }
    if (!inEntry_) {
        return failed("an entry was ended that was never begun", 0);
    }
    inEntry_ = false;
    Entry& e = entries_.back();
    if (aes_) {
        const auto trailer = aes_->trailer();
        aes_.reset();
        if (Status s = append(trailer.data(), trailer.size()); !s) {
            return s;
        }
    }
    e.crc = crc;
    e.size = size;
    e.compressedSize = position() - dataStart_ + (isAes() ? WinZipAes::kHeaderSize : 0);
    if (!e.localZip64 && (e.size >= options_.zip64From || e.compressedSize >= options_.zip64From)) {
        // The header before the data has no room for the sizes; an archive that lied about them
        // would be worse than none.
        return failed("\"" + e.name + "\" came out larger than its entry was prepared for", 0);
    }
    return patch(e.offset, localHeader(e));
}

Status ZipWriter::finish() {
    if (!broken_) {
        return broken_;
    }
    if (inEntry_) {
        return failed("the archive was closed in the middle of an entry", 0);
    }
    const std::uint64_t limit = options_.zip64From;
    const std::uint64_t cdStart = position();
    bool anyZip64 = false;
    for (const Entry& e : entries_) {
        bool zip64 = false;
        std::string h = centralHeader(e, zip64);
        anyZip64 = anyZip64 || zip64;
        if (Status s = append(h.data(), h.size()); !s) {
            return s;
        }
    }
    const std::uint64_t cdSize = position() - cdStart;
    const std::uint64_t count = entries_.size();
    std::string end;
    if (anyZip64 || count >= 0xFFFF || cdStart >= limit || cdSize >= limit) {
        const std::uint64_t zip64End = position();
        put32(end, kZip64EndMagic);
        put64(end, 44); // the record's size after this field
        put16(end, 45); // made by
        put16(end, 45); // needed
        put32(end, 0);  // this disk
        put32(end, 0);  // the disk where the directory starts
        put64(end, count);
        put64(end, count);
        put64(end, cdSize);
        put64(end, cdStart);
        put32(end, kZip64LocatorMagic);
        put32(end, 0);
        put64(end, zip64End);
        put32(end, 1); // disks in all
    }
    put32(end, kEndMagic);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF)));
    put16(end, static_cast<std::uint16_t>(std::min<std::uint64_t>(count, 0xFFFF)));
    put32(end, cdSize >= limit ? kMax32 : static_cast<std::uint32_t>(cdSize));
    put32(end, cdStart >= limit ? kMax32 : static_cast<std::uint32_t>(cdStart));
    put16(end, 0); // comment
    if (Status s = append(end.data(), end.size()); !s) {
        return s;
    }
    return flush();
}

} // namespace qob
