#pragma once
// Files only their owner may open: the scheduled task's password and the program folder's scratch
// files (registry text naming accounts and servers). Mode 0600 on Linux; on Windows a DACL that
// grants the user alone, protected from what the folder would pass down.
#include "platform/Status.h"

#include <filesystem>

namespace qob {

// Makes `file` readable and writable by the running user only. Fails, saying why, when the
// system or the file system refuses.
Status makeOwnerOnly(const std::filesystem::path& file);

} // namespace qob
