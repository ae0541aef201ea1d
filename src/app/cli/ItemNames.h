#pragma once
// The --items value: the nine boxes as 0/1 flags ("110000000"), or the items by name
// ("data,accounts,signatures", "all"), in the order of the boxes.
#include <optional>
#include <string>

namespace qob::cli {

// The nine flags the value stands for; nullopt and the reason in `error` for anything else.
std::optional<std::string> itemFlags(const std::string& value, std::string& error);

// "data, accounts, signatures, ..., contacts": the names, for help texts.
std::string itemNameList();

} // namespace qob::cli
