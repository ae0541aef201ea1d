#pragma once
// PST-like benchmark data: the pages a mail store of a few years is made of, so that deflate meets
// the mix it meets on a user's data file rather than one repeated line or plain noise.
//
// Byte shares of the mix (each run of pages is one kind; the figures are the target shares):
//   plain mail text     30 %  headers, greetings, Zipf-distributed words from a 4,000-word vocabulary,
//                             quoted replies, signatures; a third of the runs stored as UTF-16LE as a
//                             Unicode store keeps its strings
//   HTML mail bodies    14 %  tags, inline styles, tables with figures
//   base64 blocks        8 %  encoded attachments (76-column lines), mostly of compressed content
//   compressed data     15 %  JPEG/ZIP-like attachments: high-entropy bytes behind a file header
//   zero pages          17 %  free pages of the store
//   sparse pages         6 %  allocation maps: a short bitmap, then zeros
//   index pages         10 %  B-tree pages of 24-byte entries with rising keys
// Text, HTML, base64 and compressed runs use 8 KiB pages, the others 4 KiB pages; every page but a free
// one ends in a 16-byte trailer (type, signature, checksum, block id). gzip -6 leaves about 34 % of it.
//
// The bytes depend only on the seed and the size: the data is cut into 4 MiB segments, each made from
// its own random stream, so that segments can be made in parallel.
#include <cstddef>
#include <cstdint>
#include <string>

namespace qob::bench {

inline constexpr std::size_t kPstSegmentBytes = 4u << 20;

// Fills `out` (kPstSegmentBytes long, or less for the last segment) with segment `index` of the data
// for `seed`.
void makePstSegment(std::uint64_t seed, std::uint64_t index, unsigned char* out, std::size_t size);

// The first `size` bytes of the data for `seed`.
std::string pstLikeBytes(std::size_t size, std::uint64_t seed);

} // namespace qob::bench
