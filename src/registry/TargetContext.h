#pragma once
// The Platform of one target system together with the one Registry built on its store, as the
// forms, the jobs and the commands use them. One Registry per target system, shared by everything
// that works on it: a restore holds its registry changes in that Registry until it commits, and
// whatever else writes while they are held must write through the same object, or it would save
// them early. Like Platform it owns nothing; whoever builds it keeps the Registry alive.
#include "platform/Platform.h"
#include "registry/Registry.h"

namespace qob {

struct TargetContext : Platform {
    // Built on this Platform's registryStore.
    Registry& registry;
};

} // namespace qob
