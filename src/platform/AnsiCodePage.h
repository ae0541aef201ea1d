#pragma once
// The target system's ANSI code page: the page Windows programs of the target system (and the
// Windows-era backups made on it) write single-byte text in.
#include "platform/RegistryStore.h"

#include <cstdint>

namespace qob {

// "ACP" under HKLM\System\CurrentControlSet\Control\Nls\CodePage; Windows-1252 when the value is
// missing, not a number, or a page this program cannot convert.
std::uint32_t targetAnsiCodePage(RegistryStore& store);

} // namespace qob
