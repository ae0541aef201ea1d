#pragma once
// Notifications of the archive component. The form registers them; they are called on the caller's
// own thread from inside the archive operations, so a handler may repaint or let window events run.
#include "platform/Status.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qob {

struct ArchiveEvents {
    // A file became an entry (bare entry name).
    std::function<void(const std::string& name)> fileAdded;
    // Whole-archive write progress, 0..100, called only when the integer value changes; follows
    // the bytes of the added files, not the number of entries.
    std::function<void(int percent)> writeProgress;
    // The write is over, successfully or not; called before writeArchive() returns.
    std::function<void(const Status& result)> writeFinished;
    // An entry was written to its destination (bare entry name).
    std::function<void(const std::string& name)> fileExtracted;
    // Progress of one extraction or verification, 0..100, integer changes only.
    std::function<void(int percent)> extractProgress;
    // Bytes as they go, once per block: while writing, the file being read and the bytes of the
    // whole archive; while extracting or verifying, the entry and its own bytes. Called from the
    // writing thread (a compressor thread while writing), so it must not touch a window.
    std::function<void(const std::string& name, std::uint64_t done, std::uint64_t total)> bytes;
    // Asked between blocks of a write, a read-back or an extraction; true stops the operation,
    // which then fails with a cancelled Status and leaves nothing half written. Any thread.
    std::function<bool()> stopRequested;
};

} // namespace qob
