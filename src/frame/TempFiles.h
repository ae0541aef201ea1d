#pragma once
// Scratch files in the program folder and whole-file replacement. An interactive run and a
// scheduled one may work in the same folder at once, so every name is claimed atomically.
#include "platform/Status.h"

#include <filesystem>
#include <string>

namespace qob {

// Creates a new, empty file named <prefix><hex>.tmp in `folder` and stores its full host path in
// `created`. The name is claimed with an exclusive create and another is tried on a collision, so
// two callers (threads or processes) never get the same file. Fails when the folder is missing or
// not writable, or when the prefix holds a path separator or a NUL.
Status sGetTempFile(const std::filesystem::path& folder, const std::string& prefix,
                    std::filesystem::path& created);

// Replaces the contents of `file` with `bytes`: written to a temporary file in the same folder,
// flushed and renamed over the original, which keeps its permissions. A reader sees the old file
// or the new one, never a part; on failure the original is untouched and no scratch file remains.
Status replaceFileContents(const std::filesystem::path& file, const std::string& bytes);

} // namespace qob
