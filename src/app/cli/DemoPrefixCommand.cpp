// qob demo-prefix DIR: a small Wine-prefix-shaped target system with Outlook data, for trying the
// program without Wine or Outlook.
#include "app/cli/DemoCommandParts.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <optional>
#include <ostream>
#include <string>

namespace qob::cli {
namespace {

int runDemoPrefix(const Args& args, std::ostream& out, std::ostream& err) {
    const std::optional<std::string> office = demoOffice(args, "demo-prefix", err);
    if (!office) {
        return 2;
    }
    try {
        DemoTargetSystem demo = DemoTargetSystem::createFiles(args.positional[0], *office);
        WinePrefixRegistry store(demo.prefix);
        writeDemoRegistry(demo, store, out);
    } catch (const std::exception& e) {
        err << "qob: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

CommandRegistration reg({.name = "demo-prefix",
                         .usage = "demo-prefix [--office 15.0] DIR   make a demo target system with Outlook "
                                  "data in DIR (Office 14.0, 15.0 or 16.0)",
                         .valueOptions = {"--office"},
                         .run = runDemoPrefix,
                         .arguments = {"DIR"}});

} // namespace
} // namespace qob::cli
