#pragma once
#include "platform/SystemServices.h"

#include <string>

namespace qob {

// KillProcessByName: terminates every process of the target system whose executable name equals
// `name` without regard to case; returns how many were terminated.
int killProcessByName(SystemServices& system, const std::string& name);

} // namespace qob
