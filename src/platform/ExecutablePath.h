#pragma once
// The running program's own file (/proc/self/exe on Linux, GetModuleFileNameW on Windows).
#include <filesystem>
#include <system_error>

namespace qob {

std::filesystem::path runningExecutable(std::error_code& ec);

} // namespace qob
