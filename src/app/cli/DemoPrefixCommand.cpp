// qob demo-prefix DIR: a small Wine-prefix-shaped target system with Outlook data, for trying the
// program without Wine or Outlook.
#include "app/cli/Cli.h"
#include "demo/DemoTargetSystem.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <ostream>

namespace qob::cli {
namespace {

int runDemoPrefix(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.positional.size() != 1) {
        err << "usage: qob demo-prefix DIR\n";
        return 2;
    }
    try {
        DemoTargetSystem demo = DemoTargetSystem::createFiles(args.positional[0]);
        WinePrefixRegistry store(demo.prefix);
        demo.writeRegistry(store);
        out << demo.prefix.string() << "\n";
        for (const std::string& p : demo.profiles) {
            out << "profile " << p << "\n";
        }
        out << "profile " << demo.legacyProfile << " (older profiles key)\n";
    } catch (const std::exception& e) {
        err << "qob: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

CommandRegistration reg({.name = "demo-prefix",
                         .usage = "demo-prefix DIR   make a demo target system with Outlook data in DIR",
                         .valueOptions = {},
                         .run = runDemoPrefix,
                         .arguments = {"DIR"}});

} // namespace
} // namespace qob::cli
