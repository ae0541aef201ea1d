// libisofs' process-wide start and its messages on Windows, where libburn is not there to share
// them; and the image-file addresses, which both systems spell as libburn does.
#include "disc/win32/IsoLibraryWin32.h"
#include "disc/DiscAddress.h"

#include <cstdint>
#include <libisofs/libisofs.h>

#include <mutex>

namespace qob::disc {
namespace {
struct LibraryCount {
    std::mutex mutex;
    int users = 0;
    bool ok = false;
};
LibraryCount& libraryCount() {
    static LibraryCount count;
    return count;
}
} // namespace

IsoLibrary::IsoLibrary() {
    LibraryCount& count = libraryCount();
    std::lock_guard<std::mutex> lock(count.mutex);
    if (count.users++ == 0) {
        count.ok = iso_init() >= 0;
        if (count.ok) {
            // Names reach libisofs as UTF-8, as on Linux, so both make the same names.
            iso_set_local_charset(const_cast<char*>("UTF-8"), 0);
            iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                                    const_cast<char*>("libisofs: "));
        }
    }
    ok_ = count.ok;
}

IsoLibrary::~IsoLibrary() {
    LibraryCount& count = libraryCount();
    std::lock_guard<std::mutex> lock(count.mutex);
    if (--count.users == 0) {
        if (count.ok) {
            iso_finish();
        }
        count.ok = false;
    }
}

std::string takeDiscMessages() {
    std::string text;
    char message[ISO_MSGS_MESSAGE_LEN];
    char severity[80];
    int code = 0;
    int imageId = 0;
    while (iso_obtain_msgs(const_cast<char*>("SORRY"), &code, &imageId, message, severity) == 1) {
        if (message[0] != '\0') {
            text += (text.empty() ? "" : "\n") + std::string(message);
        }
    }
    return text;
}

bool isStdioAddress(const std::string& address) {
    return address.rfind("stdio:", 0) == 0;
}

std::string stdioPath(const std::string& address) {
    return isStdioAddress(address) ? address.substr(6) : std::string();
}

} // namespace qob::disc
