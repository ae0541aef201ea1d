#include "app/cli/ItemNames.h"

#include "outlook/AppState.h"

#include <array>
#include <sstream>

#include "platform/AsciiCase.h"

namespace qob::cli {
namespace {

// One per item box, in the boxes' order: personal folders, accounts, signatures, stationery,
// address book, options, templates, preferences, contacts.
constexpr std::array<const char*, kItemBoxCount> kItemNames = {
    "data", "accounts", "signatures", "stationery", "pab", "options", "templates", "preferences", "contacts"};

// A name as typed, without the spaces around it ("data, accounts" reads naturally).
std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

std::string itemNameList() {
    std::string list;
    for (const char* name : kItemNames) {
        list += (list.empty() ? "" : ", ") + std::string(name);
    }
    return list;
}

std::optional<std::string> itemFlags(const std::string& given, std::string& error) {
    const std::string value = trimmed(given);
    if (value.size() == kItemBoxCount && value.find_first_not_of("01") == std::string::npos) {
        return value;
    }
    std::string flags(kItemBoxCount, '0');
    std::istringstream names(value);
    std::string typed;
    bool any = false;
    while (std::getline(names, typed, ',')) {
        const std::string name = lowerAscii(trimmed(typed));
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
            error = (name.empty() ? std::string("an empty item name")
                                  : "unknown item \"" + trimmed(typed) + "\"") +
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

std::string itemNamesOfBackup(const std::string& elevenFlags) {
    std::string names;
    if (elevenFlags.size() != kItemKindCount) {
        return names;
    }
    // The information file's kinds in the boxes' order after the first three: the configuration
    // (0) and the rules (2) go with the data files (1), which is box 0.
    for (std::size_t kind = 0; kind < kItemKindCount; ++kind) {
        if (elevenFlags[kind] != '1' || kind == index(ItemKind::Config) || kind == index(ItemKind::Rules)) {
            continue;
        }
        const std::size_t box = kind == index(ItemKind::Datas) ? 0 : kind - 2;
        names += (names.empty() ? "" : ",") + std::string(kItemNames[box]);
    }
    return names;
}

} // namespace qob::cli
