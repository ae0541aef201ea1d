#include "MemoryRegistryStore.h"

#include <gtest/gtest.h>

namespace qob::test {
namespace {

std::vector<std::uint8_t> bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

TEST(MemoryRegistryStore, SortsWithoutCaseAndFindsAnyCase) {
    MemoryRegistryStore store;
    RegHandle h;
    ASSERT_EQ(store.createKey(RegRoot::CurrentUser, "S\\Zulu", h), kRegSuccess);
    store.closeKey(h);
    for (const char* name : {"alpha", "Mike", "bravo"}) {
        ASSERT_EQ(store.createKey(RegRoot::CurrentUser, std::string("S\\") + name, h), kRegSuccess);
        store.closeKey(h);
    }
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, "s", true, h), kRegSuccess);
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; store.enumKey(h, i, name) == kRegSuccess; ++i) {
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "bravo", "Mike", "Zulu"}));
    // Out-of-order indexes still answer right after the sequential walk.
    ASSERT_EQ(store.enumKey(h, 1, name), kRegSuccess);
    EXPECT_EQ(name, "bravo");
    EXPECT_EQ(store.enumKey(h, 4, name), kRegNoMoreItems);

    ASSERT_EQ(store.setValue(h, "zeta", kRegSz, bytes("z")), kRegSuccess);
    ASSERT_EQ(store.setValue(h, "Beta", kRegDword, {1, 0, 0, 0}), kRegSuccess);
    ASSERT_EQ(store.setValue(h, "", kRegSz, bytes("d")), kRegSuccess);
    RegValue v;
    ASSERT_EQ(store.enumValue(h, 0, v), kRegSuccess);
    EXPECT_EQ(v.name, "");
    ASSERT_EQ(store.enumValue(h, 1, v), kRegSuccess);
    EXPECT_EQ(v.name, "Beta");
    ASSERT_EQ(store.queryValue(h, "ZETA", v), kRegSuccess);
    EXPECT_EQ(v.name, "zeta");
    EXPECT_EQ(store.queryValue(h, "missing", v), kRegNotFound);
    store.closeKey(h);
    EXPECT_EQ(store.openHandles(), 0);
}

TEST(MemoryRegistryStore, StringsComeBackWithOneTerminatingNul) {
    MemoryRegistryStore store;
    RegHandle h;
    ASSERT_EQ(store.createKey(RegRoot::LocalMachine, "K", h), kRegSuccess);
    store.setValue(h, "bare", kRegSz, bytes("abc"));
    store.setValue(h, "counted", kRegExpandSz, {'a', 'b', 'c', 0});
    store.setValue(h, "empty", kRegSz, {});
    store.setValue(h, "bin", kRegBinary, bytes("abc"));
    RegValue v;
    store.queryValue(h, "bare", v);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
    store.queryValue(h, "counted", v);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
    store.queryValue(h, "empty", v);
    EXPECT_EQ(v.data, (std::vector<std::uint8_t>{0}));
    store.queryValue(h, "bin", v);
    EXPECT_EQ(v.data, bytes("abc")); // binary data is left as written
    store.closeKey(h);
}

TEST(MemoryRegistryStore, DeletionRulesAndStaleHandles) {
    MemoryRegistryStore store;
    store.makeKey("HKEY_CURRENT_USER\\A\\B");
    RegHandle a, b, root;
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, "A", true, a), kRegSuccess);
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, "A\\B", false, b), kRegSuccess);
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, "", true, root), kRegSuccess);
    EXPECT_EQ(store.deleteKey(root, "A"), kRegAccessDenied); // has a subkey
    EXPECT_EQ(store.deleteKey(b, "x"), kRegAccessDenied);    // opened for reading
    EXPECT_EQ(store.deleteKey(a, "b"), kRegSuccess);
    EXPECT_EQ(store.deleteKey(a, "B"), kRegNotFound);
    std::string name;
    RegValue v;
    EXPECT_EQ(store.enumKey(b, 0, name), kRegInvalidHandle);
    EXPECT_EQ(store.queryValue(b, "", v), kRegInvalidHandle);
    EXPECT_EQ(store.closeKey(b), kRegSuccess);
    EXPECT_EQ(store.closeKey(b), kRegInvalidHandle);
    EXPECT_EQ(store.openKey(RegRoot::CurrentUser, "A\\B", false, b), kRegNotFound);
    EXPECT_EQ(store.openKey(RegRoot::None, "", false, b), kRegInvalidHandle);
    store.closeKey(a);
    store.closeKey(root);
}

TEST(MemoryRegistryStore, SwitchesRefuseWritesAndFailOpens) {
    MemoryRegistryStore store;
    store.putString("HKEY_CURRENT_USER\\A", "v", "x");
    const std::string before = store.dump("HKEY_CURRENT_USER");
    store.refuseWrites = true;
    store.unopenable.insert("hkey_current_user\\a");
    RegHandle h;
    EXPECT_EQ(store.createKey(RegRoot::CurrentUser, "New", h), kRegAccessDenied);
    EXPECT_EQ(store.openKey(RegRoot::CurrentUser, "A", false, h), kRegAccessDenied);
    ASSERT_EQ(store.openKey(RegRoot::CurrentUser, "", true, h), kRegSuccess);
    EXPECT_EQ(store.setValue(h, "v", kRegSz, bytes("y")), kRegAccessDenied);
    EXPECT_EQ(store.deleteValue(h, "v"), kRegAccessDenied);
    EXPECT_EQ(store.deleteKey(h, "A"), kRegAccessDenied);
    EXPECT_EQ(store.flush(), kRegAccessDenied);
    EXPECT_EQ(store.flushCount, 1);
    store.closeKey(h);
    EXPECT_EQ(store.dump("HKEY_CURRENT_USER"), before);
}

} // namespace
} // namespace qob::test
