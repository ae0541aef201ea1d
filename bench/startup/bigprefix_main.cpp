// Makes the start-up benchmark's target system: the demo prefix, grown to PROFILES mail profiles (each
// a copy of the demo's "Outlook" profile with its own data file path) and a user.reg of about USER_REG_MB
// megabytes, the rest being the settings other programs keep (strings, numbers, binary blobs), as a
// long-used Windows account has them.
// Usage: qob_bench_bigprefix FOLDER [PROFILES, default 50] [USER_REG_MB, default 40]
#include "demo/DemoTargetSystem.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace qob;

void check(RegResult r, const std::string& what) {
    if (r != kRegSuccess) {
        throw std::runtime_error(what + " failed (code " + std::to_string(r) + ")");
    }
}

std::vector<std::uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

// Copies the key `from` (below HKCU) and everything under it to `to`; `edit` may change a value.
void copyTree(RegistryStore& store, const std::string& from, const std::string& to,
              const std::string& profileName) {
    RegHandle source = 0, target = 0;
    check(store.openKey(RegRoot::CurrentUser, from, false, source), "open " + from);
    check(store.createKey(RegRoot::CurrentUser, to, target), "create " + to);
    RegValue value;
    for (std::uint32_t i = 0; store.enumValue(source, i, value) == kRegSuccess; ++i) {
        if (value.name == "001f6700") { // the data file path: one file per profile
            const std::string path = "C:\\users\\quire\\Documents\\Outlook Files\\" + profileName + ".pst";
            std::vector<std::uint8_t> wide(520, 0);
            for (std::size_t k = 0; k < path.size() && 2 * k + 1 < wide.size(); ++k) {
                wide[2 * k] = static_cast<std::uint8_t>(path[k]);
            }
            value.data = wide;
        }
        check(store.setValue(target, value.name, value.type, value.data), "set " + to + "\\" + value.name);
    }
    std::vector<std::string> children;
    std::string name;
    for (std::uint32_t i = 0; store.enumKey(source, i, name) == kRegSuccess; ++i) {
        children.push_back(name);
    }
    store.closeKey(source);
    store.closeKey(target);
    for (const std::string& child : children) {
        copyTree(store, from + "\\" + child, to + "\\" + child, profileName);
    }
}

// One application's settings key: a few strings and numbers, a most-recently-used list and a blob.
// Returns roughly how many bytes of registry text it adds.
std::size_t addSettingsKey(RegistryStore& store, std::uint64_t n) {
    static const char* kVendors[] = {"Adobe",
                                     "Mozilla",
                                     "Google",
                                     "Microsoft\\Office\\15.0\\Word",
                                     "Wine",
                                     "Classes\\CLSID",
                                     "Microsoft\\Windows\\CurrentVersion\\Explorer"};
    const std::string key = std::string("Software\\") + kVendors[n % 7] + "\\Bench\\Section" +
                            std::to_string(n / 7 % 500) + "\\Item" + std::to_string(n);
    RegHandle h = 0;
    check(store.createKey(RegRoot::CurrentUser, key, h), "create " + key);
    std::size_t size = key.size() + 40;
    std::uint64_t x = n * 0x9e3779b97f4a7c15ull + 1;
    const auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    for (int i = 0; i < 6; ++i) {
        const std::string v = "C:\\users\\quire\\Documents\\Project " + std::to_string(next() % 100000) +
                              "\\file" + std::to_string(i) + ".docx";
        check(store.setValue(h, "MRU" + std::to_string(i), kRegSz, bytesOf(v)), "set");
        size += v.size() + 12;
    }
    check(store.setValue(h, "Flags", kRegDword, {1, 0, 0, static_cast<std::uint8_t>(n)}), "set");
    std::vector<std::uint8_t> blob(200 + next() % 1200);
    for (auto& b : blob) {
        b = static_cast<std::uint8_t>(next() % 7 == 0 ? next() : 0); // window placements, mostly zero
    }
    check(store.setValue(h, "Settings", kRegBinary, blob), "set");
    size += blob.size() * 3 + blob.size() / 25 * 4 + 20;
    store.closeKey(h);
    return size;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s FOLDER [PROFILES] [USER_REG_MB]\n", argv[0]);
        return 2;
    }
    const int profiles = argc > 2 ? std::atoi(argv[2]) : 50;
    const double megabytes = argc > 3 ? std::atof(argv[3]) : 40;
    try {
        const std::filesystem::path folder = argv[1];
        const DemoTargetSystem demo = DemoTargetSystem::create(folder);
        WinePrefixRegistry store(folder);
        const std::string root = demo.profilesRootKey.substr(std::string("HKEY_CURRENT_USER\\").size());
        for (int i = static_cast<int>(demo.profiles.size()); i < profiles; ++i) {
            const std::string name = "Profile " + std::to_string(i + 1);
            copyTree(store, root + "\\Outlook", root + "\\" + name, name);
        }
        const auto file = folder / "user.reg";
        const auto target = static_cast<std::uintmax_t>(megabytes * 1e6);
        std::uint64_t n = 0;
        for (std::uintmax_t size = std::filesystem::file_size(file); size < target;) {
            std::size_t added = 0;
            while (size + added < target) {
                added += addSettingsKey(store, n++);
            }
            check(store.flush(), "saving user.reg");
            size = std::filesystem::file_size(file);
        }
        check(store.flush(), "saving user.reg");
        std::printf("%s: %d profiles, user.reg %ju bytes\n", folder.c_str(), profiles,
                    static_cast<std::uintmax_t>(std::filesystem::file_size(file)));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qob_bench_bigprefix: %s\n", e.what());
        return 1;
    }
    return 0;
}
