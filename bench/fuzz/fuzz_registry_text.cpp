// The registry text file inside a backup: each value line through the line parser, and the whole
// file through Registry::importKey into a registry held in memory.
#include "FakeDialogs.h"
#include "MemoryRegistryStore.h"
#include "registry/Registry.h"
#include "registry/RegistryText.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// One file per process, gone when the process ends (the replay in ctest runs it thousands of times).
struct ScratchFile {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("qob-fuzz-regtext-" + std::to_string(::getpid()) + ".reg");
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

std::filesystem::path scratchFile() {
    static const ScratchFile file;
    return file.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Every line alone.
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] != '\\') {
            qob::RegValue value;
            std::string why;
            if (qob::regtext::parseValueLine(line, value, why) == qob::regtext::LineParse::Value) {
                (void)qob::regtext::formatValueLine(value);
            }
        }
        start = end + 1;
    }
    // The whole file.
    {
        std::ofstream out(scratchFile(), std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    qob::test::MemoryRegistryStore store;
    qob::test::FakeDialogs dialogs;
    qob::Registry registry(store, dialogs, "Quire Outlook Backup");
    store.putString("HKEY_CURRENT_USER\\Software\\Fuzz\\Target\\Old", "kept", "before");
    const std::string before = store.dump("HKEY_CURRENT_USER\\Software\\Fuzz");
    if (!registry.importKey("HKEY_CURRENT_USER\\Software\\Fuzz\\Target", scratchFile()) &&
        store.dump("HKEY_CURRENT_USER\\Software\\Fuzz") != before) {
        std::abort(); // a refused file must change nothing
    }
    if (store.exists("HKEY_CURRENT_USER\\Software\\Fuzz\\Target")) {
        // What was imported must export again.
        registry.exportKey("HKEY_CURRENT_USER\\Software\\Fuzz\\Target", "", scratchFile());
    }
    return 0;
}
