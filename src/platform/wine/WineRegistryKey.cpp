// The key tree of a loaded registry file: children and values kept in the wineserver's order.
#include "platform/wine/WineRegistryFile.h"

#include "platform/wine/WineRegistryText.h"

namespace qob::wine {
namespace {

// Where `name` stands in a list kept in Wine's order: its index when `found`, else where it goes.
// Files are written in order, so a load almost always appends: the end is checked first.
template <typename List, typename NameOf>
std::size_t sortedIndex(const List& list, NameOf nameOf, std::u16string_view name, bool& found) {
    found = false;
    if (list.empty() || compareNames(nameOf(list.back()), name) < 0)
        return list.size();
    std::size_t lo = 0, hi = list.size();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        const int c = compareNames(nameOf(list[mid]), name);
        if (c == 0) {
            found = true;
            return mid;
        }
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace

std::size_t WineRegistryKey::subkeyIndex(std::u16string_view name, bool& found) const {
    return sortedIndex(
        subkeys_, [](const auto& key) -> std::u16string_view { return key->name_; }, name, found);
}

std::size_t WineRegistryKey::valueIndex(std::u16string_view name, bool& found) const {
    return sortedIndex(
        values_, [](const auto& value) -> std::u16string_view { return value.name; }, name, found);
}

WineRegistryKey* WineRegistryKey::findSubkey(std::u16string_view name) const {
    bool found;
    const std::size_t i = subkeyIndex(name, found);
    return found ? subkeys_[i].get() : nullptr;
}

std::shared_ptr<WineRegistryKey> WineRegistryKey::subkeyPtr(std::u16string_view name) const {
    bool found;
    const std::size_t i = subkeyIndex(name, found);
    return found ? subkeys_[i] : nullptr;
}

WineRegistryKey* WineRegistryKey::ensureSubkey(std::u16string_view name, bool* created) {
    bool found;
    const std::size_t i = subkeyIndex(name, found);
    if (created)
        *created = !found;
    if (found)
        return subkeys_[i].get();
    auto key = std::make_shared<WineRegistryKey>(std::u16string(name), this);
    WineRegistryKey* raw = key.get();
    subkeys_.insert(subkeys_.begin() + static_cast<std::ptrdiff_t>(i), std::move(key));
    return raw;
}

bool WineRegistryKey::removeSubkey(std::u16string_view name) {
    bool found;
    const std::size_t i = subkeyIndex(name, found);
    if (!found)
        return false;
    subkeys_[i]->parent_ = nullptr;
    subkeys_.erase(subkeys_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

const WineRegistryValue* WineRegistryKey::findValue(std::u16string_view name) const {
    readUnreadLines();
    bool found;
    const std::size_t i = valueIndex(name, found);
    return found ? &values_[i] : nullptr;
}

WineRegistryValue& WineRegistryKey::ensureValue(std::u16string_view name) {
    readUnreadLines();
    bool found;
    const std::size_t i = valueIndex(name, found);
    if (found)
        return values_[i];
    WineRegistryValue value;
    value.name.assign(name);
    return *values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(i), std::move(value));
}

bool WineRegistryKey::removeValue(std::u16string_view name) {
    readUnreadLines();
    bool found;
    const std::size_t i = valueIndex(name, found);
    if (!found)
        return false;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

} // namespace qob::wine
