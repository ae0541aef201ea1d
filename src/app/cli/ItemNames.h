#pragma once
// The --items value: the nine boxes as 0/1 flags ("110000000"), or the items by name
// ("data,accounts,signatures", "data, Accounts", "all"), in the order of the boxes.
#include <optional>
#include <string>

namespace qob::cli {

// The nine flags the value stands for; nullopt and the reason in `error` for anything else. Names
// are taken in any case, with spaces around them.
std::optional<std::string> itemFlags(const std::string& value, std::string& error);

// "data, accounts, signatures, ..., contacts": the names, for help texts.
std::string itemNameList();

// The names --items takes for the items a backup holds, joined by "," ("data,accounts"), from the
// eleven flags of its information file; "" when it holds none of them. The profile configuration
// and the rules have no name of their own: they come with the data files and the accounts.
std::string itemNamesOfBackup(const std::string& elevenFlags);

} // namespace qob::cli
