#pragma once
// Everything the forms and runs need of the world outside, handed down from main() (or a test) as
// one bundle of references. The bundle owns nothing; whoever builds it keeps the objects alive.
// The registry is here only as the store of the target system; the key paths and registry text
// built on it belong to the layer above (see registry/TargetContext.h).
#include "platform/Dialogs.h"
#include "platform/RegistryStore.h"
#include "platform/SystemServices.h"
#include "platform/TargetFileSystem.h"

#include <filesystem>

namespace qob {

struct Platform {
    RegistryStore& registryStore;
    TargetFileSystem& files;
    SystemServices& system;
    Dialogs& dialogs;
    // Host path of the program folder (settings.dat, brlog.dat, quirebox.dat, scratch files).
    std::filesystem::path programFolder;
    // Host folder of the target system itself (a Wine prefix's folder): what a run must leave for
    // the next run on the same target system, whichever program folder that one uses, lives here.
    std::filesystem::path systemFolder;
};

} // namespace qob
