#include "settings/HelpFile.h"
#include "platform/ExecutablePath.h"

#include <system_error>

// The build passes where `cmake --install` puts the help; a build without it knows no such place.
#ifndef QOB_INSTALLED_HELP
#define QOB_INSTALLED_HELP ""
#endif

namespace qob {
namespace {

namespace fs = std::filesystem;

bool isFile(const fs::path& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

} // namespace

HelpFileSources HelpFileSources::forProgram(const fs::path& programFolder) {
    HelpFileSources sources;
    sources.programFolder = programFolder;
    std::error_code ec;
    const fs::path exe = runningExecutable(ec);
    if (!ec)
        sources.executableFolder = exe.parent_path();
    sources.installedHelp = QOB_INSTALLED_HELP;
    return sources;
}

fs::path findHelpFile(const HelpFileSources& sources) {
    const fs::path page = fs::path("help") / "index.html";
    fs::path candidates[] = {
        sources.programFolder.empty() ? fs::path() : sources.programFolder / page,
        sources.executableFolder.empty() ? fs::path() : sources.executableFolder / page,
        sources.executableFolder.empty()
            ? fs::path()
            : (sources.executableFolder / ".." / "share" / "quire-outlook-backup" / page).lexically_normal(),
        sources.installedHelp,
    };
    for (const fs::path& candidate : candidates)
        if (isFile(candidate))
            return candidate;
    return {};
}

} // namespace qob
