#include "platform/OwnerOnly.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace qob {

Status makeOwnerOnly(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return Status::failure("Cannot read the permissions of " + file.string() + ": " +
                               std::strerror(errno));
    }
    // Already private (how the program creates its files): no change, so a file system that
    // cannot change modes but shows them private is no error.
    if ((st.st_mode & 077) == 0) {
        return Status::success();
    }
    if (::chmod(file.c_str(), 0600) != 0) {
        return Status::failure("Cannot make " + file.string() +
                               " readable by you alone: " + std::strerror(errno));
    }
    return Status::success();
}

} // namespace qob
