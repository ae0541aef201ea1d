#pragma once
// The file a new backup is written to, as a libzip source. libzip's own file target renames its
// temporary file over the old backup without flushing it first, so a power loss right after the
// rename could cost the new backup and the old one alike. This one writes through DurableReplace:
// `<target>.XXXXXX`, private while written and locked by its writer, flushed before the rename
// and the folder flushed after it, the old backup's mode and owner kept.
//
// It only ever creates: it reports no file at the target, so libzip never reads an earlier one.
#include "platform/DurableFile.h"

#include <filesystem>
#include <string>

typedef struct zip_source zip_source_t;

namespace qob {

// nullptr when libzip cannot make the source (then *errorText says why). Failures while writing
// put their reason into *errorText when it is still empty.
zip_source_t* makeArchiveTarget(const std::filesystem::path& target, SyncFunction sync,
                                std::string* errorText);

} // namespace qob
