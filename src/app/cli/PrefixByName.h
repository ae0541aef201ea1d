#pragma once
// --prefix takes a prefix's folder or its name: the last part of a folder `qob prefixes` lists
// ("outlook" for ~/.local/share/wineprefixes/outlook, a bottle's name, ".wine").
#include "platform/wine/PrefixCandidates.h"

#include <optional>
#include <string>
#include <vector>

namespace qob::cli {

// The folder `value` stands for among `candidates`. A value that holds a "/" or names an existing
// folder is a folder and is returned as it is. nullopt, with the choices in `error`, when no
// candidate or more than one has that name.
std::optional<std::string>
prefixFolderFor(const std::string& value, const std::vector<PrefixCandidate>& candidates, std::string& error);

// The same among the prefixes this machine has ($HOME, $WINEPREFIX, the remembered choice).
std::optional<std::string> prefixFolderFor(const std::string& value, std::string& error);

} // namespace qob::cli
