// qob reg export | import | query: the registry transfer of a backup, by hand, on any key.
#include "app/cli/Cli.h"
#include "app/cli/Target.h"
#include "registry/KeyHandle.h"
#include "registry/RegistryText.h"

#include <iostream>

namespace qob::cli {
namespace {

// Opens the target system for a reg command, or says why not.
std::unique_ptr<Target> openForReg(const Args& args, Dialogs& dialogs, std::ostream& err) {
    std::string error;
    auto target = openTarget(args, dialogs, error);
    if (!target) {
        err << "qob: " << error << "\n";
        return nullptr;
    }
    for (const auto& problem : target->store().loadErrors()) {
        err << "qob: " << problem << "\n";
    }
    return target;
}

int regExport(const Args& args, std::ostream&, std::ostream& err) {
    if (args.positional.size() != 2) {
        err << "usage: qob reg export KEY FILE\n";
        return 2;
    }
    StderrDialogs dialogs(err);
    auto target = openForReg(args, dialogs, err);
    if (!target) {
        return 1;
    }
    Registry& registry = target->platform().registry;
    const std::string& key = args.positional[0];
    if (!registry.keyExists(key)) {
        err << "qob: the key " << key << " does not exist\n";
        return 1;
    }
    try {
        registry.exportKey(key, "", args.positional[1]);
    } catch (const std::exception& e) {
        err << "qob: cannot write " << args.positional[1] << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}

int regImport(const Args& args, std::ostream&, std::ostream& err) {
    if (args.positional.size() != 2) {
        err << "usage: qob reg import KEY FILE\n";
        return 2;
    }
    StderrDialogs dialogs(err);
    auto target = openForReg(args, dialogs, err);
    if (!target) {
        return 1;
    }
    Status imported = target->platform().registry.importKey(args.positional[0], args.positional[1]);
    if (!imported) {
        err << "qob: " << imported.message << "\n";
        return 1;
    }
    return 0;
}

int regQuery(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.positional.size() != 1) {
        err << "usage: qob reg query KEY\n";
        return 2;
    }
    StderrDialogs dialogs(err);
    auto target = openForReg(args, dialogs, err);
    if (!target) {
        return 1;
    }
    Registry& registry = target->platform().registry;
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
}

const CommandRegistration exportCommand{
    {"reg export", "reg export KEY FILE      write the registry text file of KEY", {}, regExport}};
const CommandRegistration importCommand{
    {"reg import", "reg import KEY FILE      rebuild KEY from a registry text file", {}, regImport}};
const CommandRegistration queryCommand{
    {"reg query", "reg query KEY            list the subkeys and values of KEY", {}, regQuery}};

} // namespace
} // namespace qob::cli
