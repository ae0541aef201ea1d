// A load that reads each key's values on first use must give exactly what reading every line at
// once gives: the same keys, times, classes, links, values, warnings and saved bytes, whatever
// order the keys are asked in.
#include "platform/wine/WineRegistryFile.h"
#include "platform/wine/WineRegistryText.h"

#include "TestPaths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace qob::wine {
namespace {

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string describe(const WineRegistryKey& key) {
    std::string out = toUtf8(key.name()) + " t=" + std::to_string(key.modified) + (key.isLink ? " link" : "");
    if (key.className)
        out += " class=" + toUtf8(*key.className);
    for (const auto& value : key.values()) {
        out += "\n  " + toUtf8(value.name) + " " + std::to_string(value.type) + ":";
        for (std::uint8_t b : value.data)
            out += " " + std::to_string(b);
    }
    out += "\n  subkeys:";
    for (const auto& sub : key.subkeys())
        out += " " + toUtf8(sub->name());
    return out;
}

// Every key under `key`, deepest and last first, so that a lazy tree is asked out of file order.
void keysBackwards(const WineRegistryKey& key, const std::string& path,
                   std::vector<std::pair<std::string, const WineRegistryKey*>>& out) {
    for (auto it = key.subkeys().rbegin(); it != key.subkeys().rend(); ++it)
        keysBackwards(**it, path + "\\" + toUtf8((*it)->name()), out);
    out.emplace_back(path, &key);
}

void expectSameLoad(const std::string& text, const std::string& name) {
    WineRegistryLoadResult whole;
    const auto full = WineRegistryFile::parse(std::string_view(text), name, 77, whole);
    // Asked key by key, backwards, then for its warnings; and for its warnings before anything else.
    WineRegistryLoadResult lazy, lazyFirst;
    const auto asked = WineRegistryFile::parse(std::string(text), name, 77, lazy, ValueReading::OnFirstUse);
    const auto warned =
        WineRegistryFile::parse(std::string(text), name, 77, lazyFirst, ValueReading::OnFirstUse);
    ASSERT_EQ(lazy.ok, whole.ok);
    EXPECT_EQ(lazy.error, whole.error);
    EXPECT_EQ(warned.warnings(), whole.warnings);
    std::vector<std::pair<std::string, const WineRegistryKey*>> fullKeys, lazyKeys;
    keysBackwards(full.root(), "", fullKeys);
    keysBackwards(asked.root(), "", lazyKeys);
    ASSERT_EQ(lazyKeys.size(), fullKeys.size());
    for (std::size_t i = 0; i < fullKeys.size(); ++i) {
        ASSERT_EQ(lazyKeys[i].first, fullKeys[i].first);
        EXPECT_EQ(describe(*lazyKeys[i].second), describe(*fullKeys[i].second)) << lazyKeys[i].first;
    }
    EXPECT_EQ(asked.warnings(), whole.warnings);
    EXPECT_EQ(asked.serialize(), full.serialize());
    EXPECT_EQ(warned.serialize(), full.serialize());
    EXPECT_EQ(asked.header(), full.header());
    EXPECT_EQ(asked.arch(), full.arch());
}

TEST(WineRegistryLazyLoadTest, ReadsWhatAWholeLoadReadsForEveryKey) {
    for (const char* name : {"user.reg", "system.reg", "userdef.reg", "user-api-edgecases.reg",
                             "hand-edit-resaved.reg", "hand-edit-input.reg"}) {
        SCOPED_TRACE(name);
        expectSameLoad(readAll(test::fixture(name)), name);
    }
    const std::string head = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\n\n#arch=win64\n";
    // Lines only a hand or a damaged file makes. Those marked (*) can only be placed by reading the
    // values, since a hex value goes on at a backslash whatever the next line holds.
    using namespace std::string_view_literals; // the NUL bytes in some lines are kept
    const std::string_view bodies[] = {
        "\n[A] 5\n\"v\"=hex:01,\\\n[B] 6\n\"w\"=\"x\"\n"sv, // (*) a header taken as a continuation
        "\n[A] 5\n\"v\"=hex:01,\\\n#time=1d000000000000\n\"w\"=dword:1\n"sv, // (*) an option taken as one
        "\n[A] 5\n\"v\"=hex:01,\\\n  02,\\\n\n\n"sv,                         // (*) the trailer's first line
        "\n[A] 5\n\"v\"=hex:01,\\\n  02\n\n\n"sv,                            // a real trailer
        "\n[A] 5\n\"p\"=\"C:\\\\x\"\n[B] 6\n\"q\"=\"y\"\n"sv,                // a path just before a header
        "\n[A] 5\n\"v\"=hex:zz,\\\n[B] 6\n"sv,                               // a malformed value before one
        "\n[A] 5\n\"a\"=\"1\"\n#class=\"C\"\n\"b\"=\"2\"\n#link\n\"c\"=\"3\"\n"sv, // options among values
        "\n[A] 5\n\"a\"=\"1\"\n\n[B] 6\n\"x\"=\"y\"\n\n[a] 7\n\"A\"=\"2\"\n\"b\"=\"3\"\n"sv, // two sections
        "\n[A\\\\B] 5\n\"a\"=\"1\"\n\n[A] 9\n#time=1d000000000001\n\"c\"=\"3\"\n"sv, // parent after child
        "\n[A] 5\n  ; a comment\n\tjunk line\n@=\"default\"\n  \"spaced\" = dword:2\n"sv, // odd lines
        "\n[A] 5\n\"n\"=\"a\0b\"\n\"m\"=hex:01,\0\\\n[B\0] 6\n\"o\"=\"x\"\r\n"sv,         // NUL bytes, CR
        "\n[Broken\n\"lost\"=\"x\"\n#arch=win64\n  00,01\n[C] 1\n\"k\"=\"v\"\n"sv,        // no key
        "\n[Broken\n\"lost\"=hex:01,\\\n[C] 1\n\"k\"=\"v\"\n"sv,                          // no key, hex
        "\n[A] 5\n\"v\"=hex:01,\\"sv,   // a continuation at the end
        "\n[A] 5\n\"v\"=hex:01,\\\n"sv, // ... of a last line
        "\n[A] 5\n\n\n"sv,              // an empty section
        "\n[A] 5\n#time=1d000000000000\n\"s\"=str(2):\"%x%\"\n\"t\"=hex(7):41,00,00,00\n"sv,
        ""sv,
    };
    for (const std::string_view body : bodies) {
        const std::string text = head + std::string(body);
        SCOPED_TRACE(text);
        expectSameLoad(text, "user.reg");
    }
}

TEST(WineRegistryLazyLoadTest, AKeysValuesAreReadOnlyWhenAskedAndChangesSaveAsOnAWholeLoad) {
    const std::string text = "WINE REGISTRY Version 2\n"
                             "\n[Asked] 5\n\"good\"=dword:00000001\n\"bad\"=hex:zz\n"
                             "\n[Left] 6\n\"worse\"=hex(:\n"
                             "\n[Changed] 7\n\"keep\"=\"1\"\n\"drop\"=\"2\"\n";
    WineRegistryLoadResult whole, lazy;
    auto full = WineRegistryFile::parse(std::string_view(text), "user.reg", 1, whole);
    auto file = WineRegistryFile::parse(std::string(text), "user.reg", 1, lazy, ValueReading::OnFirstUse);
    ASSERT_EQ(whole.warnings.size(), 2u);
    EXPECT_TRUE(lazy.warnings.empty()) << "no value line was read by the load itself";
    ASSERT_NE(file.root().findSubkey(u"Asked")->findValue(u"good"), nullptr);
    EXPECT_EQ(file.warnings(), whole.warnings) << "the rest is read when the warnings are asked";

    // A change to a key whose lines are still unread lands on top of them, as on a whole load.
    WineRegistryLoadResult again;
    auto unread = WineRegistryFile::parse(std::string(text), "user.reg", 1, again, ValueReading::OnFirstUse);
    for (WineRegistryFile* f : {&full, &unread}) {
        WineRegistryKey* changed = f->root().findSubkey(u"Changed");
        EXPECT_TRUE(changed->removeValue(u"drop"));
        WineRegistryValue& added = changed->ensureValue(u"added");
        added.type = 4;
        added.data = {1, 0, 0, 0};
        f->root().ensureSubkey(u"Left")->ensureSubkey(u"New");
    }
    EXPECT_EQ(unread.serialize(), full.serialize());
}

} // namespace
} // namespace qob::wine
