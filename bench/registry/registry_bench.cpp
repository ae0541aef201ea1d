// Timings of the Wine registry backend: a real system.reg loaded and saved, and a generated tree
// of 20,000 keys and 100,000 values written through the store, flushed, reloaded, enumerated, then
// exported to registry text and imported under another key through the registry module.
// Usage: registry_bench [path/to/system.reg]   (default: /tmp/qob-bench-prefix/system.reg, which
// `WINEPREFIX=/tmp/qob-bench-prefix wineboot -i` creates)
#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineRegistryFile.h"
#include "registry/Registry.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int benchRealFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::printf("skipped: %s not found (boot a prefix with wineboot -i first)\n", path.c_str());
        return 0;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    double best = 1e9, bestSave = 1e9, bestFile = 1e9;
    std::string saved;
    for (int round = 0; round < 5; ++round) {
        qob::wine::WineRegistryLoadResult result;
        auto start = Clock::now();
        const auto file = qob::wine::WineRegistryFile::parse(text, "system.reg", 1, result);
        best = std::min(best, msSince(start));
        start = Clock::now();
        saved = file.serialize();
        bestSave = std::min(bestSave, msSince(start));
        start = Clock::now();
        qob::wine::WineRegistryFile::load(path, 1, result);
        bestFile = std::min(bestFile, msSince(start));
    }
    std::printf("real %s: %zu bytes: parse %.1f ms, read+parse %.1f ms, save %.1f ms, round trip %s\n",
                path.c_str(), text.size(), best, bestFile, bestSave, saved == text ? "identical" : "DIFFERS");
    return saved == text ? 0 : 1;
}

int benchGenerated() {
    char dirTemplate[] = "/tmp/qob-regbench-XXXXXX";
    if (!mkdtemp(dirTemplate))
        return 1;
    const std::filesystem::path prefix = dirTemplate;
    constexpr int kGroups = 200, kKeysPerGroup = 100, kValuesPerKey = 5;
    std::size_t values = 0, keys = 0;
    {
        qob::WinePrefixRegistry store(prefix);
        auto start = Clock::now();
        for (int g = 0; g < kGroups; ++g) {
            for (int k = 0; k < kKeysPerGroup; ++k) {
                qob::RegHandle key = 0;
                const std::string path = "Software\\Bench\\Group" + std::to_string(g) + "\\Key" +
                                         std::to_string(k * 7919 % kKeysPerGroup);
                if (store.createKey(qob::RegRoot::CurrentUser, path, key) != qob::kRegSuccess)
                    return 1;
                ++keys;
                for (int v = 0; v < kValuesPerKey; ++v) {
                    const std::string text = "value " + std::to_string(v) + " of " + path;
                    std::vector<std::uint8_t> data(text.begin(), text.end());
                    if (v == 4)
                        data.assign(40, static_cast<std::uint8_t>(v));
                    store.setValue(key, "Name" + std::to_string(v), v == 4 ? qob::kRegBinary : qob::kRegSz,
                                   data);
                    ++values;
                }
                store.closeKey(key);
            }
        }
        std::printf("generated: create %zu keys, %zu values: %.1f ms\n", keys, values, msSince(start));
        start = Clock::now();
        if (store.flush() != qob::kRegSuccess) {
            std::printf("flush failed: %s\n", store.lastError().c_str());
            return 1;
        }
        std::printf("generated: flush %ju bytes: %.1f ms\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size(prefix / "user.reg")),
                    msSince(start));
    }
    {
        qob::WinePrefixRegistry store(prefix);
        auto start = Clock::now();
        qob::RegHandle bench = 0;
        if (store.openKey(qob::RegRoot::CurrentUser, "Software\\Bench", false, bench) != qob::kRegSuccess)
            return 1;
        std::printf("generated: reload: %.1f ms\n", msSince(start));
        start = Clock::now();
        std::size_t seenKeys = 0, seenValues = 0;
        std::string group;
        for (std::uint32_t g = 0; store.enumKey(bench, g, group) == qob::kRegSuccess; ++g) {
            qob::RegHandle groupKey = 0;
            store.openKey(qob::RegRoot::CurrentUser, "Software\\Bench\\" + group, false, groupKey);
            std::string name;
            for (std::uint32_t k = 0; store.enumKey(groupKey, k, name) == qob::kRegSuccess; ++k) {
                qob::RegHandle key = 0;
                store.openKey(qob::RegRoot::CurrentUser, "Software\\Bench\\" + group + "\\" + name, false,
                              key);
                ++seenKeys;
                qob::RegValue value;
                for (std::uint32_t v = 0; store.enumValue(key, v, value) == qob::kRegSuccess; ++v)
                    ++seenValues;
                store.closeKey(key);
            }
            store.closeKey(groupKey);
        }
        std::printf("generated: enumerate %zu keys, %zu values: %.1f ms\n", seenKeys, seenValues,
                    msSince(start));
        if (seenKeys != keys || seenValues != values)
            return 1;
    }
    {
        // The registry transfer of a backup and a restore, through the registry module and the
        // registry files: export the tree to registry text, import it under another key, save.
        qob::WinePrefixRegistry store(prefix);
        qob::SilentDialogs dialogs;
        qob::Registry registry(store, dialogs, "bench");
        const std::filesystem::path text = prefix / "bench.txt";
        auto start = Clock::now();
        registry.exportKey("HKEY_CURRENT_USER\\Software\\Bench", "", text);
        std::printf("module: export to registry text (%ju bytes): %.1f ms\n",
                    static_cast<std::uintmax_t>(std::filesystem::file_size(text)), msSince(start));
        start = Clock::now();
        const qob::Status imported = registry.importKey("HKEY_CURRENT_USER\\Software\\Copy", text);
        if (!imported) {
            std::printf("import failed: %s\n", imported.message.c_str());
            return 1;
        }
        std::printf("module: import under another key, checked first, then saved: %.1f ms\n", msSince(start));
    }
    std::filesystem::remove_all(prefix);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path real = argc > 1 ? argv[1] : "/tmp/qob-bench-prefix/system.reg";
    int rc = benchRealFile(real);
    rc |= benchGenerated();
    return rc;
}
