#pragma once
// What a save dialog's answer becomes: a name typed without an extension gets the one of the file
// kind saved, so the file can be found and opened again by its kind.
#include <string>

namespace qob {

// `path` with `extension` (".qob", ".iso") appended when its file name has none; otherwise as is.
std::string withDefaultExtension(const std::string& path, const std::string& extension);

} // namespace qob
