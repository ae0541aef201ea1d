#include "app/cli/ItemNames.h"

#include "outlook/AppState.h"

#include <array>
#include <sstream>

namespace qob::cli {
namespace {

// One per item box, in the boxes' order: personal folders, accounts, signatures, stationery,
// address book, options, templates, preferences, contacts.
constexpr std::array<const char*, kItemBoxCount> kItemNames = {
    "data", "accounts", "signatures", "stationery", "pab", "options", "templates", "preferences", "contacts"};

} // namespace

std::string itemNameList() {
    std::string list;
    for (const char* name : kItemNames) {
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    return list;
}

std::optional<std::string> itemFlags(const std::string& value, std::string& error) {
    if (value.size() == kItemBoxCount && value.find_first_not_of("01") == std::string::npos) {
        return value;
    }
    std::string flags(kItemBoxCount, '0');
    std::istringstream names(value);
    std::string name;
    bool any = false;
    while (std::getline(names, name, ',')) {
        if (name == "all") {
            flags.assign(kItemBoxCount, '1');
            any = true;
            continue;
        }
        bool known = false;
        for (std::size_t i = 0; i < kItemBoxCount; ++i) {
            if (name == kItemNames[i]) {
                flags[i] = '1';
                known = true;
            }
        }
        if (!known) {
            error = (name.empty() ? std::string("an empty item name") : "unknown item \"" + name + "\"") +
                    " in --items; give names separated by commas (" + itemNameList() +
                    ", or all) or nine characters 0 or 1, one per item";
            return std::nullopt;
        }
        any = true;
    }
    if (!any) {
        error = "--items is empty; give names separated by commas (" + itemNameList() +
                ", or all) or nine characters 0 or 1, one per item";
        return std::nullopt;
    }
    return flags;
}

} // namespace qob::cli
