#pragma once
// The information file (quirebox.dat) of an open backup, read whole into memory once: the one
// place its values are read. A value comes out as UTF-8: as stored when it is valid UTF-8 (what
// this program writes), else read in the archive's ANSI code page, which the Windows-era program
// wrote it in (so "Köln" and "Grüße.htm" come out right either way).
#include "archive/Archive.h"
#include "platform/Status.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qob {

// An information file is a handful of short lines; anything far larger is not ours.
inline constexpr std::uint64_t kMaxInfoFileBytes = 1024 * 1024;

class InfoFileReader {
public:
    // Reads the information file of `archive` (open for reading, its password set), its values in
    // archive.codePage(). Fails when there is none, it is too large or cannot be read.
    Status read(Archive& archive);
    bool isRead() const { return read_; }
    // The value of `key` (matched as the information file's lines always were: first line whose
    // key equals it without regard to ASCII case, up to the first empty line); "" when missing or
    // the file was not read.
    std::string get(const std::string& key) const;
    // The same straight from the text of an information file (bytes as stored).
    static std::string valueIn(const std::string& text, const std::string& key, std::uint32_t codePage);

private:
    std::string text_;
    std::uint32_t codePage_ = 1252;
    bool read_ = false;
};

} // namespace qob
