// qob prefixes: the Wine prefixes of this machine, where each was found and which Outlook profiles
// each holds, so that the user can tell which one is the target system; --choose DIR remembers
// one for the program and for qob without --prefix or $WINEPREFIX.
#include "app/cli/Cli.h"
#include "app/cli/JsonEvents.h"
#include "app/cli/PrefixByName.h"
#include "app/cli/TerminalText.h"
#include "outlook/PrefixProfiles.h"
#include "platform/Environment.h"
#include "platform/wine/PrefixCandidates.h"
#include "platform/wine/PrefixChoice.h"
#include "platform/wine/WinePrefix.h"
#include "settings/ProgramFolder.h"
#include "settings/TargetSystemSetting.h"

#include <ostream>

namespace qob::cli {
namespace {

std::string joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string describeProfiles(const PrefixProfiles& found) {
    if (!found.readable)
        return "cannot read its registry: " + found.reason;
    if (found.profiles.empty())
        return "no Outlook profiles";
    return (found.outlook.empty() ? std::string("Outlook") : found.outlook) +
           " profiles: " + joined(found.profiles, ", ");
}

std::string jsonLine(const PrefixCandidate& candidate, bool chosen, bool current,
                     const PrefixProfiles& found) {
    std::vector<std::string> origins, profiles;
    for (PrefixOrigin origin : candidate.origins)
        origins.push_back(jsonString(prefixOriginText(origin)));
    for (const std::string& profile : found.profiles)
        profiles.push_back(jsonString(profile));
    return "{\"path\":" + jsonString(candidate.path.string()) + ",\"origins\":[" + joined(origins, ",") +
           "],\"chosen\":" + (chosen ? "true" : "false") + ",\"current\":" + (current ? "true" : "false") +
           ",\"readable\":" + (found.readable ? "true" : "false") +
           ",\"reason\":" + jsonString(found.reason) + ",\"outlook\":" + jsonString(found.outlook) +
           ",\"profiles\":[" + joined(profiles, ",") + "]}";
}

int choose(const Args& args, const std::filesystem::path& programFolder, std::ostream& out,
           std::ostream& err) {
    // A name as `prefixes` shows it ("Office" for a bottle) is taken as --prefix takes it.
    std::string error;
    const std::optional<std::string> named = prefixFolderFor(args.get("--choose"), error);
    if (!named) {
        err << "qob: " << error << "\n";
        return 2;
    }
    const std::filesystem::path folder = *named;
    if (Status stored = rememberTargetSystem(programFolder, folder); !stored) {
        err << "qob: " << stored.message << "\n";
        return 1;
    }
    out << "The target system is now " << escapeControls(canonicalPrefixPath(folder).string()) << "\n";
    if (environment("WINEPREFIX"))
        err << "qob: note: WINEPREFIX is set, and qob follows it before this choice; quiremail follows "
               "this choice.\n";
    return 0;
}

int runPrefixes(const Args& args, std::ostream& out, std::ostream& err) {
    std::filesystem::path programFolder;
    if (Status folder = resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder);
        !folder) {
        err << "qob: " << folder.message << "\n";
        return 1;
    }
    if (args.has("--choose") && args.has("--forget")) {
        err << "qob: give --choose DIR or --forget, not both\n";
        return 2;
    }
    if (args.has("--choose")) {
        if (args.get("--choose").empty()) {
            err << "qob: --choose needs the folder of a Wine prefix\n";
            return 2;
        }
        return choose(args, programFolder, out, err);
    }
    if (args.has("--forget")) {
        if (Status dropped = forgetTargetSystem(programFolder); !dropped) {
            err << "qob: " << dropped.message << "\n";
            return 1;
        }
        out << "No target system is remembered now.\n";
        return 0;
    }

    const std::optional<std::string> remembered = readTargetSystemChoice(programFolder);
    const std::optional<std::string> option =
        args.has("--prefix") ? std::optional<std::string>(args.get("--prefix")) : std::nullopt;
    const PrefixChoice current = choosePrefix(
        {option, environment("WINEPREFIX"), environment("HOME"), remembered}, PrefixPolicy::CommandLineTool);
    if (remembered && !checkWinePrefix(*remembered))
        err << "qob: note: The Wine prefix chosen earlier, " << escapeControls(*remembered)
            << ", is no longer a Wine prefix; it is passed over.\n";

    std::vector<PrefixCandidate> candidates =
        findWinePrefixes({environment("HOME"), environment("WINEPREFIX"), remembered});
    const std::filesystem::path currentCanonical = canonicalPrefixPath(current.prefix);
    if (option && checkWinePrefix(current.prefix)) {
        bool listed = false;
        for (PrefixCandidate& candidate : candidates)
            listed = listed || candidate.canonical == currentCanonical;
        if (!listed)
            candidates.insert(candidates.begin(), {current.prefix, currentCanonical, {PrefixOrigin::Option}});
    }
    // --json: one document, an array of one object per prefix (one object a line, for grep and sed).
    const bool json = args.has("--json");
    std::vector<std::string> objects;
    if (candidates.empty()) {
        if (json)
            out << "[]\n";
        err << "qob: no Wine prefix found ($WINEPREFIX, ~/.wine and the folders of the Wine front ends "
               "hold none)\n";
        return 1;
    }
    const std::filesystem::path chosenCanonical =
        remembered ? canonicalPrefixPath(*remembered) : std::filesystem::path();
    for (const PrefixCandidate& candidate : candidates) {
        const bool chosen = remembered && candidate.canonical == chosenCanonical;
        const bool isCurrent = !current.prefix.empty() && candidate.canonical == currentCanonical;
        const PrefixProfiles found = readPrefixProfiles(candidate.path);
        if (json) {
            objects.push_back(jsonLine(candidate, chosen, isCurrent, found));
            continue;
        }
        std::vector<std::string> origins;
        for (PrefixOrigin origin : candidate.origins)
            origins.push_back(prefixOriginText(origin));
        out << escapeControls(candidate.path.string()) << "  [" << joined(origins, ", ") << "]"
            << (chosen ? " (chosen)" : "") << (isCurrent ? " (current)" : "") << "  "
            << escapeControls(describeProfiles(found)) << "\n";
    }
    if (json)
        out << "[\n" << joined(objects, ",\n") << "\n]\n";
    return 0;
}

CommandRegistration
    reg({.name = "prefixes",
         .usage = "prefixes [--json] [--choose DIR|NAME | --forget]   list the Wine prefixes and "
                  "their Outlook profiles; remember one as the target system",
         .valueOptions = {"--choose"},
         .run = runPrefixes,
         .flags = {"--forget"},
         .arguments = {}});

} // namespace
} // namespace qob::cli
