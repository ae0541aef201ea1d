#include "RegistryFixture.h"

namespace qob::test {
namespace {

class KeyOperations : public RegistryFixture {};

TEST_F(KeyOperations, PathsAndRoots) {
    std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft";
    EXPECT_EQ(reg.parseKeyPath(path), RegRoot::LocalMachine);
    EXPECT_EQ(path, "SOFTWARE\\Microsoft");
    path = "HKEY_USERS";
    EXPECT_EQ(reg.parseKeyPath(path), RegRoot::Users);
    EXPECT_EQ(path, "");
    path = "HKEY_current_user\\X"; // root names are case-sensitive
    EXPECT_EQ(reg.parseKeyPath(path), RegRoot::None);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Registry::getRootKey("HKEY_DYN_DATA"), RegRoot::DynData);
    EXPECT_EQ(Registry::getRootKey("HKEY_CLASSES_ROOT"), RegRoot::ClassesRoot);

    path = "hkcu\\X";
    EXPECT_EQ(reg.parseKeyPath(path), RegRoot::None);
    EXPECT_EQ(path, "hkcu\\X");
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Incorrect Format:\n\nhkcu\\X"});
}

TEST_F(KeyOperations, MalformedPathsShowOneMessageEachAndDoNothing) {
    store.putString(kTop, "v", "x");
    EXPECT_FALSE(reg.keyExists(kTop + "\\"));
    EXPECT_TRUE(reg.getSubKeys("Software").empty());
    EXPECT_EQ(reg.getStringValue("", "v"), "");
    EXPECT_NE(reg.setStringValue(kTop + "\\", "v", "y"), kRegSuccess);
    EXPECT_NE(reg.deleteValue(kTop + "\\", "v"), kRegSuccess);
    EXPECT_NE(reg.deleteKey("x"), kRegSuccess);
    EXPECT_EQ(dialogs.messages.size(), 6u);
    EXPECT_EQ(reg.getStringValue(kTop, "v"), "x");
}

TEST_F(KeyOperations, ExistsAndSubKeys) {
    store.makeKey(kTop + "\\b");
    store.makeKey(kTop + "\\A\\inner");
    EXPECT_TRUE(reg.keyExists(kTop));
    EXPECT_TRUE(reg.keyExists("HKEY_CURRENT_USER"));
    EXPECT_FALSE(reg.keyExists(kTop + "\\missing"));
    EXPECT_FALSE(reg.keyExists("HKEY_BOGUS\\X"));
    EXPECT_EQ(reg.getSubKeys(kTop), (std::vector<std::string>{"A", "b"}));
    EXPECT_TRUE(reg.getSubKeys(kTop + "\\missing").empty());
    store.unopenable.insert(kTop);
    EXPECT_FALSE(reg.keyExists(kTop));
    EXPECT_TRUE(reg.getSubKeys(kTop).empty());
    EXPECT_EQ(store.openHandles(), 0);
}

TEST_F(KeyOperations, GetStringValueLimitsAndForms) {
    store.putString(kTop, "254", std::string(254, 'a'));
    store.putString(kTop, "255", std::string(255, 'a'));
    store.putString(kTop, "blanks", "  padded  ");
    store.put(kTop, "binary", kRegBinary, {'C', ':', '\\', 0});
    store.put(kTop, "empty binary", kRegBinary, {});
    EXPECT_EQ(reg.getStringValue(kTop, "254"), std::string(254, 'a'));
    EXPECT_EQ(reg.getStringValue(kTop, "255"), "Error");
    EXPECT_EQ(reg.getStringValue(kTop, "blanks"), "  padded  ");
    EXPECT_EQ(reg.getStringValue(kTop, "binary"), "C:\\");
    EXPECT_EQ(reg.getStringValue(kTop, "empty binary"), "");
    EXPECT_EQ(reg.getStringValue(kTop, "missing"), "Error");
    EXPECT_EQ(reg.getStringValue(kTop + "\\missing", "254"), "Error");
    EXPECT_EQ(reg.getStringValue("HKEY_NOWHERE\\X", "254"), "");
}

TEST_F(KeyOperations, WritesReturnTheStoreCodeAndFlush) {
    store.putString(kTop, "v", "old");
    EXPECT_EQ(reg.setStringValue(kTop, "v", "new"), kRegSuccess);
    EXPECT_EQ(reg.getStringValue(kTop, "v"), "new");
    EXPECT_EQ(store.flushCount, 1);
    EXPECT_EQ(reg.setStringValue(kTop + "\\missing", "v", "x"), kRegNotFound); // never created
    EXPECT_FALSE(store.exists(kTop + "\\missing"));
    EXPECT_EQ(reg.deleteValue(kTop, "v"), kRegSuccess);
    EXPECT_EQ(reg.getStringValue(kTop, "v"), "Error");
    EXPECT_EQ(reg.deleteValue(kTop, "v"), kRegNotFound);
    EXPECT_EQ(store.flushCount, 2);

    store.makeKey(kTop + "\\Parent\\Child");
    EXPECT_EQ(reg.deleteKey(kTop + "\\Parent"), kRegAccessDenied);
    EXPECT_EQ(reg.deleteKey(kTop + "\\Parent\\Child"), kRegSuccess);
    EXPECT_EQ(reg.deleteKey(kTop + "\\Parent\\Child"), kRegNotFound);
    EXPECT_EQ(reg.deleteKey("HKEY_CURRENT_USER"), kRegAccessDenied);
    EXPECT_EQ(store.flushCount, 3);

    store.refuseWrites = true;
    EXPECT_EQ(reg.setStringValue(kTop, "v", "x"), kRegAccessDenied);
    EXPECT_EQ(reg.deleteKey(kTop + "\\Parent"), kRegAccessDenied);
    EXPECT_EQ(store.openHandles(), 0);
}

// Records the order of deletions.
class DeletionLog : public MemoryRegistryStore {
public:
    std::vector<std::string> deleted;
    RegResult deleteKey(RegHandle parent, const std::string& name) override {
        RegResult rc = MemoryRegistryStore::deleteKey(parent, name);
        if (rc == kRegSuccess) {
            deleted.push_back(name);
        }
        return rc;
    }
};

TEST_F(KeyOperations, DeleteKeyTreeDeepestFirst) {
    DeletionLog log;
    Registry r(log, dialogs, "t");
    log.makeKey(kTop + "\\L1\\L2\\L3");
    log.makeKey(kTop + "\\L1\\Side");
    log.makeKey("HKEY_CURRENT_USER\\Software\\Sibling");
    EXPECT_EQ(r.deleteKeyTree(kTop + "\\L1"), kRegSuccess);
    EXPECT_EQ(log.deleted, (std::vector<std::string>{"L3", "L2", "Side", "L1"}));
    EXPECT_FALSE(log.exists(kTop + "\\L1"));
    EXPECT_TRUE(log.exists(kTop));
    EXPECT_TRUE(log.exists("HKEY_CURRENT_USER\\Software\\Sibling"));
    EXPECT_EQ(log.flushCount, 1);

    // A key that cannot be opened stops the walk before its parent or later siblings are touched.
    log.makeKey(kTop + "\\T\\A\\x");
    log.makeKey(kTop + "\\T\\B");
    log.unopenable.insert(kTop + "\\T\\A");
    EXPECT_NE(r.deleteKeyTree(kTop + "\\T"), kRegSuccess);
    EXPECT_TRUE(log.exists(kTop + "\\T\\B"));
    EXPECT_EQ(log.openHandles(), 0);
}

} // namespace
} // namespace qob::test
