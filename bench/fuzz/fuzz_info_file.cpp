// The backup's information file (quirebox.dat) as a damaged backup may hold it, read by getINI
// for each key the restore side asks for, and each value decoded as the information-file reader
// does (UTF-8, else the target system's ANSI code page: single- and double-byte ones).
#include "FuzzVerdict.h"
#include "backup/InfoFileReader.h"
#include "settings/InfoFile.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// One file per process, gone when the process ends (the replay in ctest runs it thousands of times).
struct ScratchFile {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("qob-fuzz-info-" + std::to_string(::getpid()) + ".dat");
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFile scratch;
    const std::filesystem::path& file = scratch.path;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const char* key : {"BackupComputer", "BackupItem", "BackupInformation", "", "=", "backupitem"}) {
        const auto value = qob::getINI(key, file);
        qob::fuzz::note(value ? qob::fuzz::digest(*value) : "-");
        for (std::uint32_t codePage : {1252u, 1251u, 932u, 65001u}) {
            qob::fuzz::note(qob::fuzz::digest(qob::InfoFileReader::valueIn(text, key, codePage)));
        }
    }
    return 0;
}
