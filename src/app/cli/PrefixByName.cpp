#include "app/cli/PrefixByName.h"

#include "platform/Environment.h"
#include "settings/ProgramFolder.h"
#include "settings/TargetSystemSetting.h"

#include <filesystem>

namespace qob::cli {
namespace {

namespace fs = std::filesystem;

bool looksLikeFolder(const std::string& value) {
    std::error_code ec;
    return value.empty() || value == "." || value == ".." || value.find('/') != std::string::npos ||
           fs::is_directory(value, ec);
}

std::string listed(const std::vector<const PrefixCandidate*>& candidates) {
    std::string text;
    for (const PrefixCandidate* candidate : candidates) {
        text += (text.empty() ? "" : ", ") + candidate->path.filename().string() + " (" +
                candidate->path.string() + ")";
    }
    return text;
}

} // namespace

std::optional<std::string> prefixFolderFor(const std::string& value,
                                           const std::vector<PrefixCandidate>& candidates,
                                           std::string& error) {
    if (looksLikeFolder(value)) {
        return value;
    }
    std::vector<const PrefixCandidate*> all, named;
    for (const PrefixCandidate& candidate : candidates) {
        all.push_back(&candidate);
        if (candidate.path.filename() == value || candidate.canonical.filename() == value) {
            named.push_back(&candidate);
        }
    }
    if (named.size() == 1) {
        return named.front()->path.string();
    }
    if (named.size() > 1) {
        error = "more than one Wine prefix is named \"" + value + "\": " + listed(named) +
                "; give --prefix the folder of the one you mean";
    } else if (all.empty()) {
        error = "no Wine prefix named \"" + value + "\", and qob prefixes finds none; give --prefix the " +
                "folder of a Wine prefix";
    } else {
        error = "no Wine prefix named \"" + value + "\"; the prefixes qob prefixes lists are " + listed(all) +
                "; give --prefix one of these names or a folder";
    }
    return std::nullopt;
}

std::optional<std::string> prefixFolderFor(const std::string& value, std::string& error) {
    if (looksLikeFolder(value)) {
        return value;
    }
    std::optional<std::string> remembered;
    fs::path programFolder;
    if (resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder)) {
        remembered = readTargetSystemChoice(programFolder);
    }
    return prefixFolderFor(
        value, findWinePrefixes({environment("HOME"), environment("WINEPREFIX"), remembered}), error);
}

} // namespace qob::cli
