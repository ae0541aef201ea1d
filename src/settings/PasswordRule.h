#pragma once
// The one rule for a backup's password: the password prompt takes at most 20 characters, so a
// backup protected with a longer one could never be opened in the window. Every way of making a
// protected backup (qob backup, the weekly task) refuses such a password before anything is made.
#include <cstddef>
#include <optional>
#include <string>

namespace qob {

inline constexpr std::size_t kMaxPasswordChars = 20;

// Why the password cannot protect a backup, or nullopt. Characters are UTF-8 code points, as the
// prompt counts them.
std::optional<std::string> refusePassword(const std::string& password);

} // namespace qob
