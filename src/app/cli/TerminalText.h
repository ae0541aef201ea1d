#pragma once
// Text read from a backup file, made safe to print on a terminal: a crafted description could
// otherwise move the cursor, retitle the window or rewrite what was printed before it.
#include <cstddef>
#include <string>

namespace qob::cli {

// Length of the well-formed UTF-8 sequence that starts at `at` (no overlong forms, surrogates or
// code points above U+10FFFF), or 0 when the byte there starts none.
std::size_t utf8SequenceLength(const std::string& text, std::size_t at);

// Keeps printable text, valid UTF-8 included, tabs and line breaks (CR LF becomes LF); every
// other control character (C0, DEL, C1) and every byte that is not part of valid UTF-8 is shown
// as \xNN.
std::string escapeControls(const std::string& text);

} // namespace qob::cli
