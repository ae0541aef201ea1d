// The backup's information file (quirebox.dat) as a damaged backup may hold it, read by getINI
// for each key the restore side asks for.
#include "settings/InfoFile.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("qob-fuzz-info-" + std::to_string(::getpid()) + ".dat");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    for (const char* key : {"BackupComputer", "BackupItem", "BackupInformation", "", "=", "backupitem"}) {
        (void)qob::getINI(key, file);
    }
    return 0;
}
