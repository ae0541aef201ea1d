#pragma once
// Reads a written disc (or image file) back through libisofs and compares every file of the
// composed tree with its source, byte for byte. Reports per file through DiscEvents.
#include "disc/DiscEngine.h"

#include <cstdint>

struct iso_data_source;

namespace qob::disc {

// The blocks of the written medium as libisofs reads them; the caller's reference is kept.
// `startBlock`: where the session to read begins on the medium.
VerifySummary readBackAndCompare(iso_data_source* medium, std::uint32_t startBlock, const DiscImage& tree,
                                 DiscEvents& events, const StopToken& stop);

} // namespace qob::disc

#ifndef _WIN32
#include "disc/LibburnDrive.h"

namespace qob::disc {

// The same from a grabbed drive (a recorder, or libburn's image-file drive).
VerifySummary readBackAndCompare(GrabbedDrive& drive, std::uint32_t startBlock, const DiscImage& tree,
                                 DiscEvents& events, const StopToken& stop);

} // namespace qob::disc
#endif
