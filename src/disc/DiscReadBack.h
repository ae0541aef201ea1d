#pragma once
// Reads a written disc (or image file) back through libisofs and compares every file of the
// composed tree with its source, byte for byte. Reports per file through DiscEvents.
#include "disc/DiscEngine.h"
#include "disc/LibburnDrive.h"

#include <cstdint>

namespace qob::disc {

// `startBlock`: where the session to read begins on the medium.
VerifySummary readBackAndCompare(GrabbedDrive& drive, std::uint32_t startBlock, const DiscImage& tree,
                                 DiscEvents& events, const StopToken& stop);

} // namespace qob::disc
