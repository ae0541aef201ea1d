// A Wine registry file (user.reg, system.reg, userdef.reg) as a hand-edited or damaged file may
// hold it: parsing must give warnings or a clean error, and what parsed must save and parse again.
// A load that reads values on first use must give what reading every line at once gives.
// The first byte picks the target: the whole file, or the escaped-string reader on its own.
#include "platform/wine/WineRegistryFile.h"
#include "platform/wine/WineRegistryText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Whether two trees hold the same keys with the same times, classes and links (the values are
// compared through the saved text).
bool sameKeys(const qob::wine::WineRegistryKey& a, const qob::wine::WineRegistryKey& b) {
    if (a.name() != b.name() || a.modified != b.modified || a.className != b.className ||
        a.isLink != b.isLink || a.subkeys().size() != b.subkeys().size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.subkeys().size(); ++i) {
        if (!sameKeys(*a.subkeys()[i], *b.subkeys()[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0: {
        static const char ends[] = {']', '"', '\0', '\\'};
        std::u16string out;
        const std::ptrdiff_t used = qob::wine::parseEscaped(text, ends[(data[0] >> 2) % 4], out);
        if (used > static_cast<std::ptrdiff_t>(text.size())) {
            std::abort(); // consumed more than it was given
        }
        std::string escaped;
        qob::wine::appendEscaped(out, "\"\"", escaped);
        break;
    }
    default: {
        qob::wine::WineRegistryLoadResult result;
        auto file = qob::wine::WineRegistryFile::parse(text, "user.reg", 0x01d9000000000000ull, result);
        qob::wine::WineRegistryLoadResult lazyResult;
        auto lazy = qob::wine::WineRegistryFile::parse(std::string(text), "user.reg", 0x01d9000000000000ull,
                                                       lazyResult, qob::wine::ValueReading::OnFirstUse);
        if (lazyResult.ok != result.ok || lazyResult.error != result.error ||
            !sameKeys(lazy.root(), file.root()) || lazy.serialize() != file.serialize() ||
            lazy.warnings() != result.warnings) {
            std::abort();
        }
        if (result.ok) {
            const std::string saved = file.serialize();
            qob::wine::WineRegistryLoadResult again;
            auto reparsed =
                qob::wine::WineRegistryFile::parse(saved, "user.reg", 0x01d9000000000000ull, again);
            // What we write, we must read back whole.
            if (!again.ok) {
                std::abort();
            }
            // ... and saving it again settles: a load and save keeps every line. (One first
            // change is allowed: a key name ending in a NUL is written without it, as Wine does,
            // and then merges with its namesake.)
            const std::string second = reparsed.serialize();
            qob::wine::WineRegistryLoadResult third;
            if (qob::wine::WineRegistryFile::parse(second, "user.reg", 0x01d9000000000000ull, third)
                    .serialize() != second) {
                std::abort();
            }
        }
        break;
    }
    }
    return 0;
}
