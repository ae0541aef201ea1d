#include "forms/SaveName.h"

namespace qob {

std::string withDefaultExtension(const std::string& path, const std::string& extension) {
    // Both separators: the windows bind these forms on Linux and on Windows.
    const std::size_t nameStart =
        path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
    const std::string name = path.substr(nameStart);
    // A leading dot names a hidden file, not an extension.
    if (name.empty() || name.find('.', 1) != std::string::npos) {
        return path;
    }
    return path + extension;
}

} // namespace qob
