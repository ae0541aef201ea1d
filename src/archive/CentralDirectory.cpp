#include "archive/CentralDirectory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace qob {
namespace {

constexpr std::uint32_t kEndMagic = 0x06054b50;
constexpr std::uint32_t kZip64EndMagic = 0x06064b50;
constexpr std::uint32_t kZip64LocatorMagic = 0x07064b50;
constexpr std::uint32_t kCentralMagic = 0x02014b50;
constexpr std::uint32_t kLocalMagic = 0x04034b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kLocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr std::size_t kMaxComment = 0xFFFF;
constexpr std::uint16_t kZip64Tag = 0x0001;
constexpr std::uint16_t kAesTag = 0x9901;

std::uint16_t get16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t get32(const unsigned char* p) {
    return static_cast<std::uint32_t>(get16(p)) | (static_cast<std::uint32_t>(get16(p + 2)) << 16);
}
std::uint64_t get64(const unsigned char* p) {
    return static_cast<std::uint64_t>(get32(p)) | (static_cast<std::uint64_t>(get32(p + 4)) << 32);
}

bool readAt(int fd, std::uint64_t offset, void* to, std::size_t len) {
    auto* out = static_cast<char*>(to);
    while (len > 0) {
        const ssize_t n = ::pread(fd, out, len, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        out += n;
        offset += static_cast<std::uint64_t>(n);
        len -= static_cast<std::size_t>(n);
    }
    return true;
}

struct EndRecord {
    std::uint64_t count = 0;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
};

// The end record nearest the end of the file, and the Zip64 one it points to when there is one.
std::optional<EndRecord> findEnd(int fd, std::uint64_t fileSize, std::string& why) {
    const std::size_t tailSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kEndSize + kMaxComment));
    if (tailSize < kEndSize) {
        why = "it is too short to be a zip archive";
        return std::nullopt;
    }
    std::vector<unsigned char> tail(tailSize);
    const std::uint64_t tailStart = fileSize - tailSize;
    if (!readAt(fd, tailStart, tail.data(), tailSize)) {
        why = "it cannot be read";
        return std::nullopt;
    }
    for (std::size_t at = tailSize - kEndSize + 1; at-- > 0;) {
        const unsigned char* p = tail.data() + at;
        if (get32(p) != kEndMagic) {
            continue;
        }
        EndRecord end{get16(p + 10), get32(p + 12), get32(p + 16)};
        const std::uint64_t endPos = tailStart + at;
        unsigned char loc[kLocatorSize];
        if (endPos >= kLocatorSize && readAt(fd, endPos - kLocatorSize, loc, sizeof loc) &&
            get32(loc) == kZip64LocatorMagic) {
            unsigned char z[kZip64EndSize];
            const std::uint64_t zipEnd = get64(loc + 8);
            if (zipEnd > fileSize || fileSize - zipEnd < sizeof z || !readAt(fd, zipEnd, z, sizeof z) ||
                get32(z) != kZip64EndMagic) {
                why = "its Zip64 end record is damaged";
                return std::nullopt;
            }
            end = {get64(z + 32), get64(z + 40), get64(z + 48)};
        }
        return end;
    }
    why = "it holds no zip directory";
    return std::nullopt;
}

// The Zip64 and WinZip AES fields of one entry's extra data.
bool readExtra(const unsigned char* p, std::size_t len, CentralEntry& e, bool bigSize, bool bigCompressed,
               bool farOffset) {
    while (len >= 4) {
        const std::uint16_t tag = get16(p);
        const std::uint16_t size = get16(p + 2);
        if (size > len - 4) {
            return true; // a damaged tail of the extra data: readers ignore it, as libzip does
        }
        const unsigned char* field = p + 4;
        if (tag == kZip64Tag) {
            std::size_t at = 0;
            auto take = [&](bool wanted, std::uint64_t& to) {
                if (!wanted) {
                    return true;
                }
                if (at + 8 > size) {
                    return false;
                }
                to = get64(field + at);
                at += 8;
                return true;
            };
            if (!take(bigSize, e.size) || !take(bigCompressed, e.compressedSize) ||
                !take(farOffset, e.localOffset)) {
                return false;
            }
        } else if (tag == kAesTag && size >= 7) {
            e.aesVersion = get16(field);
            e.aesStrength = field[4];
            e.aesMethod = get16(field + 5);
        }
        p += 4 + size;
        len -= 4 + size;
    }
    return true;
}

} // namespace

std::optional<CentralDirectory> readCentralDirectory(int fd, std::string& why) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 0) {
        why = std::strerror(errno);
        return std::nullopt;
    }
    CentralDirectory dir;
    dir.fileSize = static_cast<std::uint64_t>(st.st_size);
    const auto end = findEnd(fd, dir.fileSize, why);
    if (!end) {
        return std::nullopt;
    }
    if (end->offset > dir.fileSize || end->size > dir.fileSize - end->offset ||
        end->count > end->size / kCentralSize) {
        why = "its directory lies outside the file";
        return std::nullopt;
    }
    dir.offset = end->offset;
    std::vector<unsigned char> cd(static_cast<std::size_t>(end->size));
    if (!cd.empty() && !readAt(fd, end->offset, cd.data(), cd.size())) {
        why = "its directory cannot be read";
        return std::nullopt;
    }
    dir.entries.reserve(static_cast<std::size_t>(end->count));
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < end->count; ++i) {
        if (cd.size() - at < kCentralSize || get32(cd.data() + at) != kCentralMagic) {
            why = "its directory is damaged at entry #" + std::to_string(i);
            return std::nullopt;
        }
        const unsigned char* p = cd.data() + at;
        const std::size_t nameLen = get16(p + 28);
        const std::size_t extraLen = get16(p + 30);
        const std::size_t commentLen = get16(p + 32);
        if (cd.size() - at - kCentralSize < nameLen + extraLen + commentLen) {
            why = "its directory is damaged at entry #" + std::to_string(i);
            return std::nullopt;
        }
        CentralEntry e;
        e.flags = get16(p + 8);
        e.method = get16(p + 10);
        e.crc = get32(p + 16);
        e.compressedSize = get32(p + 20);
        e.size = get32(p + 24);
        e.localOffset = get32(p + 42);
        e.rawName.assign(reinterpret_cast<const char*>(p + kCentralSize), nameLen);
        if (!readExtra(p + kCentralSize + nameLen, extraLen, e, e.size == 0xFFFFFFFFu,
                       e.compressedSize == 0xFFFFFFFFu, e.localOffset == 0xFFFFFFFFu)) {
            why = "the Zip64 field of entry #" + std::to_string(i) + " is damaged";
            return std::nullopt;
        }
        dir.entries.push_back(std::move(e));
        at += kCentralSize + nameLen + extraLen + commentLen;
    }
    return dir;
}

Status checkEntrySpans(int fd, const CentralDirectory& dir, const std::vector<std::string>& names) {
    struct Span {
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        std::size_t index = 0;
    };
    auto nameOf = [&](std::size_t i) {
        return "\"" + (i < names.size() ? names[i] : "#" + std::to_string(i)) + "\"";
    };
    std::vector<Span> spans;
    spans.reserve(dir.entries.size());
    for (std::size_t i = 0; i < dir.entries.size(); ++i) {
        const CentralEntry& e = dir.entries[i];
        // The local header's own name and extra lengths where it can be read; a damaged one counts
        // with the directory's name length, and its entry fails when it is read.
        std::uint64_t header = kLocalSize + e.rawName.size();
        unsigned char local[kLocalSize];
        if (e.localOffset <= dir.fileSize && dir.fileSize - e.localOffset >= kLocalSize &&
            readAt(fd, e.localOffset, local, sizeof local) && get32(local) == kLocalMagic) {
            header = kLocalSize + get16(local + 26) + get16(local + 28);
        }
        const std::uint64_t start = e.localOffset;
        if (start > dir.offset || dir.offset - start < header ||
            dir.offset - start - header < e.compressedSize) {
            return Status::failure("the entry " + nameOf(i) + " reaches past the end of the entries' data");
        }
        spans.push_back({start, start + header + e.compressedSize, i});
    }
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
        return a.start != b.start ? a.start < b.start : a.index < b.index;
    });
    for (std::size_t k = 1; k < spans.size(); ++k) {
        if (spans[k].start < spans[k - 1].end) {
            const std::size_t a = std::min(spans[k - 1].index, spans[k].index);
            const std::size_t b = std::max(spans[k - 1].index, spans[k].index);
            return Status::failure("the entries " + nameOf(a) + " and " + nameOf(b) +
                                   " overlap (a crafted file)");
        }
    }
    return Status::success();
}

} // namespace qob
