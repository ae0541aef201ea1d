#include "settings/ProgramFolder.h"

#include "platform/Environment.h"
#include "platform/ExecutablePath.h"

#include <unistd.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qob {
namespace {

bool writableFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
        return false;
    }
#ifdef _WIN32
    // Windows' access() sees only the read-only attribute, which folders do not honour: Program
    // Files of an installation for all users looks writable to every user and is not, and
    // settings.dat would then be lost at each save. Only a file made there tells.
    const std::filesystem::path probe =
        folder / (".qob-write-probe-" + std::to_string(GetCurrentProcessId()));
    const HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(h);
    return true;
#else
    return ::access(folder.c_str(), W_OK) == 0;
#endif
}

// An installed program (<prefix>/bin beside <prefix>/share/quire-outlook-backup) keeps the
// user's files in the user's data folder, even where bin is writable: run as root from /usr/bin,
// or installed under ~/.local, it would otherwise write settings.dat among the executables.
bool installedTree(const std::filesystem::path& executableFolder) {
    std::error_code ec;
    return executableFolder.filename() == "bin" &&
           std::filesystem::is_directory(executableFolder.parent_path() / "share" / "quire-outlook-backup",
                                         ec);
}

} // namespace

ProgramFolderSources ProgramFolderSources::fromEnvironment() {
    ProgramFolderSources sources;
    sources.quireHome = environment("QUIRE_HOME");
    sources.xdgDataHome = environment("XDG_DATA_HOME");
    // Windows keeps a user's program data under %LOCALAPPDATA%.
    if (!sources.xdgDataHome) {
        sources.xdgDataHome = environment("LOCALAPPDATA");
    }
    sources.home = environment("HOME");
    std::error_code ec;
    std::filesystem::path exe = runningExecutable(ec);
    if (!ec)
        sources.executableFolder = exe.parent_path();
    return sources;
}

Status resolveProgramFolder(const ProgramFolderSources& sources, std::filesystem::path& folder) {
    std::filesystem::path chosen;
    if (sources.quireHome && !sources.quireHome->empty()) {
        chosen = *sources.quireHome;
    } else if (writableFolder(sources.executableFolder) && !installedTree(sources.executableFolder)) {
        chosen = sources.executableFolder;
    } else if (sources.xdgDataHome && std::filesystem::path(*sources.xdgDataHome).is_absolute()) {
        chosen = std::filesystem::path(*sources.xdgDataHome) / "quire-outlook-backup";
    } else if (sources.home && !sources.home->empty()) {
        chosen = std::filesystem::path(*sources.home) / ".local" / "share" / "quire-outlook-backup";
    } else {
        return Status::failure("Cannot find a folder for the program's files: set QUIRE_HOME or HOME.");
    }
    std::error_code ec;
    std::filesystem::create_directories(chosen, ec);
    if (ec || !std::filesystem::is_directory(chosen))
        return Status::failure("Cannot create the program folder " + chosen.string() + ": " + ec.message());
    folder = std::filesystem::absolute(chosen, ec);
    if (ec)
        folder = chosen;
    return Status::success();
}

} // namespace qob
