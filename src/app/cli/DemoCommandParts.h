#pragma once
// What `qob demo-prefix` and `qob demo-profile` share: the Office generation asked for, and the
// registry written with a list of what the demo made.
#include "app/cli/Cli.h"
#include "demo/DemoTargetSystem.h"

#include <optional>
#include <ostream>
#include <string>

namespace qob::cli {

// The generation given with --office (15.0 when none), one whose layout the demo knows how to write;
// nullopt after telling `err` why not (exit code 2).
std::optional<std::string> demoOffice(const Args& args, const std::string& command, std::ostream& err);

// Writes the demo's registry into `store`, then lists its folder and its profiles on `out`.
void writeDemoRegistry(const DemoTargetSystem& demo, RegistryStore& store, std::ostream& out);

} // namespace qob::cli
