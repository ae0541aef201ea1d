// Writes PST-like test data: 64 KiB blocks, alternately random bytes (attachments, compressed
// streams) and mail header/body text with varying numbers, so deflate meets both kinds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <output file> <size in MiB>\n", argv[0]);
        return 2;
    }
    const std::uint64_t total = std::strtoull(argv[2], nullptr, 10) * 1024 * 1024;
    std::FILE* out = std::fopen(argv[1], "wb");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    constexpr std::size_t kBlock = 64 * 1024;
    std::vector<unsigned char> block(kBlock);
    std::uint64_t x = 0x9e3779b97f4a7c15ull;
    std::uint64_t written = 0, n = 0;
    while (written < total) {
        if (n % 2 == 0) {
            for (std::size_t i = 0; i < kBlock; i += 8) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                for (int b = 0; b < 8; ++b) {
                    block[i + b] = static_cast<unsigned char>(x >> (8 * b));
                }
            }
        } else {
            std::string text;
            while (text.size() < kBlock) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                text += "From: user" + std::to_string(x % 97) + "@example.com\r\nTo: team" +
                        std::to_string(x % 13) + "@example.org\r\nSubject: Re: order " +
                        std::to_string(x % 100000) + "\r\nDate: Mon, " + std::to_string(1 + x % 28) +
                        " Mar 2024 10:" + std::to_string(10 + x % 50) +
                        ":00 +0100\r\n\r\nHello, please find the figures for week " + std::to_string(x % 52) +
                        " attached. Regards\r\n\r\n";
            }
            std::copy(text.begin(), text.begin() + kBlock, block.begin());
        }
        std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, total - written));
        if (std::fwrite(block.data(), 1, len, out) != len) {
            std::perror(argv[1]);
            return 1;
        }
        written += len;
        ++n;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
