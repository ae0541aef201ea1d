#pragma once
// A registry held in memory, for tests of every layer. It behaves like Wine's registry where the
// program can tell: keys and values sorted without regard to case, string values read back with
// exactly one terminating NUL, a key with subkeys not deletable (5), handles of a deleted key
// answering 6. Switches simulate the failures the program must survive.
#include "platform/RegistryStore.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace qob::test {

// Win32's ERROR_INVALID_HANDLE: a handle that was closed, or whose key was deleted.
inline constexpr RegResult kRegInvalidHandle = 6;

// Orders names as Wine does: case-insensitive (ASCII folding is enough for tests).
struct CaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class MemoryRegistryStore : public RegistryStore {
public:
    // Every write (create, set, delete, flush) answers kRegAccessDenied and changes nothing, as
    // the Wine backend does while the prefix's wineserver runs.
    bool refuseWrites = false;
    // Keys ("HKEY_CURRENT_USER\Software\X", any case) that fail to open with kRegAccessDenied.
    std::set<std::string, CaseLess> unopenable;
    int flushCount = 0;

    MemoryRegistryStore();

    RegResult openKey(RegRoot root, const std::string& path, bool forWrite, RegHandle& out) override;
    RegResult createKey(RegRoot root, const std::string& path, RegHandle& out) override;
    RegResult closeKey(RegHandle key) override;
    RegResult enumKey(RegHandle key, std::uint32_t index, std::string& name) override;
    RegResult enumValue(RegHandle key, std::uint32_t index, RegValue& out) override;
    RegResult queryValue(RegHandle key, const std::string& name, RegValue& out) override;
    RegResult setValue(RegHandle key, const std::string& name, std::uint32_t type,
                       const std::vector<std::uint8_t>& data) override;
    RegResult deleteValue(RegHandle key, const std::string& name) override;
    RegResult deleteKey(RegHandle parent, const std::string& name) override;
    RegResult flush() override;
    // Back to the tree as it was at the last flush (the conveniences below count as saved).
    RegResult discardChanges() override;

    // Test conveniences, bypassing the switches.
    // Creates the key (with parents) and sets one value; a path is "HKEY_CURRENT_USER\A\B".
    void put(const std::string& keyPath, const std::string& name, std::uint32_t type,
             const std::vector<std::uint8_t>& data);
    void putString(const std::string& keyPath, const std::string& name, const std::string& text,
                   std::uint32_t type = kRegSz);
    void putDword(const std::string& keyPath, const std::string& name, std::uint32_t value);
    void makeKey(const std::string& keyPath);
    bool exists(const std::string& keyPath) const;
    // The subtree as text, one line per key and per value, names in stored case, depth first:
    // equal dumps mean equal trees.
    std::string dump(const std::string& keyPath) const;
    int openHandles() const { return static_cast<int>(handles_.size()); }

private:
    struct Node {
        std::map<std::string, std::shared_ptr<Node>, CaseLess> subkeys;
        std::map<std::string, RegValue, CaseLess> values;
        // Bumped on every change of the two maps, so enumeration caches know when to restart.
        std::uint64_t generation = 0;
    };
    struct Handle {
        std::weak_ptr<Node> node;
        bool writable = false;
        // Enumeration by index walks the map; remembering the last position keeps a full walk linear.
        std::uint64_t keyGen = ~0ull, valueGen = ~0ull;
        std::uint32_t keyIndex = 0, valueIndex = 0;
        std::map<std::string, std::shared_ptr<Node>, CaseLess>::iterator keyIt;
        std::map<std::string, RegValue, CaseLess>::iterator valueIt;
    };

    std::map<RegRoot, std::shared_ptr<Node>> roots_;
    // The tree as last saved, copied before the first change after a flush.
    std::map<RegRoot, std::shared_ptr<Node>> saved_;
    bool dirty_ = false;
    void beginChange();
    static std::shared_ptr<Node> copyOf(const Node& node);
    std::map<RegHandle, Handle> handles_;
    RegHandle nextHandle_ = 1;

    Node* find(RegRoot root, const std::string& path) const;
    Node* make(RegRoot root, const std::string& path);
    std::shared_ptr<Node> findShared(RegRoot root, const std::string& path) const;
    Node* live(RegHandle key, bool needWrite, RegResult& rc);
    RegHandle issue(std::shared_ptr<Node> node, bool writable);
    static std::pair<RegRoot, std::string> split(const std::string& keyPath);
    void dumpNode(const Node& node, const std::string& prefix, std::string& out) const;
};

} // namespace qob::test
