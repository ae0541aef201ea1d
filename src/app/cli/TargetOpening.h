#pragma once
// The steps every entry point takes to open a target system, whichever backend builds it: the
// program folder first (nothing runs without it), then the backend's Target on it, then a restore
// killed while it made its changes real is finished before anything else looks at the target
// system, which is otherwise half restored. Header-only, as Target is.
#include "platform/Status.h"
#include "restore/RestoreTransaction.h"
#include "settings/ProgramFolder.h"

#include <filesystem>
#include <memory>
#include <string>

namespace qob::cli {

// `build` makes the backend's target on the program folder, or gives nullptr with the reason in
// `error`. completeRestore false: a restore left unfinished is not touched (for undoing it). An
// interrupted restore is finished only when no other run works on the target system, since a
// restore that is still running owns its files.
template <class TargetType, class Build>
std::unique_ptr<TargetType> openTargetSystem(std::string& error, bool completeRestore, Build&& build) {
    std::filesystem::path programFolder;
    if (Status folder = resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder);
        !folder) {
        error = folder.message;
        return nullptr;
    }
    std::unique_ptr<TargetType> target = build(programFolder);
    if (!target) {
        return nullptr;
    }
    if (completeRestore) {
        if (Status completed = completeInterruptedRestoreIfIdle(target->platform()); !completed) {
            error = completed.message;
            return nullptr;
        }
    }
    return target;
}

} // namespace qob::cli
