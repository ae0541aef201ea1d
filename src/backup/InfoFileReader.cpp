#include "backup/InfoFileReader.h"

#include "platform/TextEncoding.h"
#include "settings/InfoFile.h"

namespace qob {

Status InfoFileReader::read(Archive& archive) {
    read_ = false;
    text_.clear();
    codePage_ = archive.codePage();
    auto entry = archive.findEntry(kInfoEntryName);
    if (!entry) {
        return Status::failure("it holds no " + std::string(kInfoEntryName));
    }
    if (entry->info().symlink) {
        return Status::failure("its " + std::string(kInfoEntryName) + " is a symbolic link");
    }
    if (entry->info().size > kMaxInfoFileBytes) {
        return Status::failure("its " + std::string(kInfoEntryName) + " holds " +
                               std::to_string(entry->info().size) + " bytes");
    }
    if (Status s = archive.readToMemory(entry->info(), kMaxInfoFileBytes, text_); !s) {
        return s;
    }
    read_ = true;
    return Status::success();
}

std::string InfoFileReader::get(const std::string& key) const {
    return read_ ? valueIn(text_, key, codePage_) : std::string();
}

std::string InfoFileReader::valueIn(const std::string& text, const std::string& key, std::uint32_t codePage) {
    // Each value is decoded on its own: one file may hold our UTF-8 lines after ANSI ones (a value
    // copied over from an older backup), and UTF-8 validity is decided best per value.
    return textenc::storedTextToUtf8(findINI(key, text), codePage);
}

} // namespace qob
