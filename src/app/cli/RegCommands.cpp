// qob reg export | import | query: the registry transfer of a backup, by hand, on any key.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "platform/RunLock.h"
#include "registry/KeyHandle.h"
#include "registry/RegistryText.h"
#include "restore/RestoreTransaction.h"

#include <functional>
#include <iostream>

namespace qob::cli {
namespace {

// Checks the number of arguments, opens the target system (saying what of its registry could not
// be read) and runs `body` on it: 2 for a wrong use, 1 when there is no target.
// `lockKind`, when given, keeps other runs off the target system while `body` changes it.
int onTarget(const Args& args, std::size_t argumentCount, const char* usage, std::ostream& err,
             const std::function<int(Registry&)>& body, const char* lockKind = nullptr) {
    if (args.positional.size() != argumentCount) {
        err << "usage: qob " << usage << "\n";
        return 2;
    }
    StderrDialogs dialogs(err);
    auto target = openTargetOrReport(args, dialogs, err);
    if (!target) {
        return 1;
    }
    for (const auto& problem : target->store().loadErrors()) {
        err << "qob: " << problem << "\n";
    }
    RunLock runLock;
    if (lockKind) {
        if (Status locked = lockTargetSystem(target->platform().system, runLock, lockKind); !locked) {
            err << "qob: " << locked.message << "\n";
            return 1;
        }
        // A restore killed half-way is finished first, or this change would be undone by it.
        if (Status recovered = completeInterruptedRestore(target->platform()); !recovered) {
            err << "qob: " << recovered.message << "\n";
            return 1;
        }
    }
    return body(target->platform().registry);
}

int regExport(const Args& args, std::ostream&, std::ostream& err) {
    return onTarget(args, 2, "reg export KEY FILE", err, [&](Registry& registry) {
        const std::string& key = args.positional[0];
        if (!registry.keyExists(key)) {
            err << "qob: the key " << key << " does not exist\n";
            return 1;
        }
        std::vector<std::string> leftOut;
        try {
            leftOut = registry.exportKey(key, "", args.positional[1]);
        } catch (const std::exception& e) {
            err << "qob: cannot write " << args.positional[1] << ": " << e.what() << "\n";
            return 1;
        }
        // The file holds everything else; what it lacks is named, and the exit code says so.
        for (const std::string& missing : leftOut) {
            err << "qob: not exported: " << missing << "\n";
        }
        return leftOut.empty() ? 0 : 1;
    });
}

int regImport(const Args& args, std::ostream&, std::ostream& err) {
    return onTarget(
        args, 2, "reg import KEY FILE", err,
        [&](Registry& registry) {
            Status imported = registry.importKey(args.positional[0], args.positional[1]);
            if (!imported) {
                err << "qob: " << imported.message << "\n";
                return 1;
            }
            return 0;
        },
        "registry import");
}

int regQuery(const Args& args, std::ostream& out, std::ostream& err) {
    return onTarget(args, 1, "reg query KEY", err, [&](Registry& registry) {
        std::string path = args.positional[0];
        RegRoot root = registry.parseKeyPath(path);
        KeyHandle key(registry.store());
        if (root == RegRoot::None || registry.store().openKey(root, path, false, key.out()) != kRegSuccess) {
            err << "qob: the key " << args.positional[0] << " does not exist\n";
            return 1;
        }
        std::string name;
        for (std::uint32_t i = 0; registry.store().enumKey(key.get(), i, name) == kRegSuccess; ++i) {
            out << "\\" << name << "\n";
        }
        RegValue value;
        for (std::uint32_t i = 0; registry.store().enumValue(key.get(), i, value) == kRegSuccess; ++i) {
            if (auto line = regtext::formatValueLine(value)) {
                out << *line << "\n";
            }
        }
        return 0;
    });
}

const CommandRegistration exportCommand{
    {.name = "reg export",
     .usage = "reg export KEY FILE      write the registry text file of KEY",
     .valueOptions = {},
     .run = regExport,
     .arguments = {"KEY", "FILE"}}};
const CommandRegistration importCommand{
    {.name = "reg import",
     .usage = "reg import KEY FILE      rebuild KEY from a registry text file",
     .valueOptions = {},
     .run = regImport,
     .arguments = {"KEY", "FILE"}}};
const CommandRegistration queryCommand{
    {.name = "reg query",
     .usage = "reg query KEY            list the subkeys and values of KEY",
     .valueOptions = {},
     .run = regQuery,
     .arguments = {"KEY"}}};

} // namespace
} // namespace qob::cli
