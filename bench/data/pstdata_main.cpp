// Writes a PST-like benchmark file (see PstData.h for its make-up).
// Usage: qob_bench_pstdata OUT SIZE_MIB [SEED]
#include "PstData.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool parseNumber(const char* text, std::uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && text[0] != '-';
}

} // namespace

int main(int argc, char** argv) {
    std::uint64_t mib = 0, seed = 1;
    if ((argc != 3 && argc != 4) || !parseNumber(argv[2], mib) || mib > (1ull << 24) ||
        (argc == 4 && !parseNumber(argv[3], seed))) {
        std::fprintf(stderr, "usage: %s OUT SIZE_MIB [SEED]\n", argv[0]);
        return 2;
    }
    const int fd = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    using qob::bench::kPstSegmentBytes;
    const std::uint64_t total = mib << 20;
    const std::uint64_t segments = (total + kPstSegmentBytes - 1) / kPstSegmentBytes;
    // Two threads make a batch of segments, then it is written in order while nothing else runs:
    // simple, and the writes into the page cache are short beside the making.
    constexpr std::size_t kBatch = 8;
    std::vector<unsigned char> batch(kBatch * kPstSegmentBytes);
    for (std::uint64_t first = 0; first < segments; first += kBatch) {
        const std::uint64_t count = std::min<std::uint64_t>(kBatch, segments - first);
        const auto make = [&](std::uint64_t parity) {
            for (std::uint64_t i = parity; i < count; i += 2) {
                const std::uint64_t at = (first + i) * kPstSegmentBytes;
                qob::bench::makePstSegment(
                    seed, first + i, batch.data() + i * kPstSegmentBytes,
                    static_cast<std::size_t>(std::min<std::uint64_t>(kPstSegmentBytes, total - at)));
            }
        };
        std::thread helper(make, 1);
        make(0);
        helper.join();
        const std::uint64_t bytes =
            std::min<std::uint64_t>(count * kPstSegmentBytes, total - first * kPstSegmentBytes);
        if (!writeAll(fd, batch.data(), static_cast<std::size_t>(bytes))) {
            std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
            ::close(fd);
            return 1;
        }
    }
    if (::close(fd) != 0) {
        std::fprintf(stderr, "%s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    return 0;
}
