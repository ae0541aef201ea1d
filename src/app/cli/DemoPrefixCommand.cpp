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
        err << "usage: qob demo-prefix [--office 15.0] DIR\n";
        return 2;
    }
    // The generations whose layout the demo knows how to write.
    const std::string office = args.get("--office", "15.0");
    if (office != "14.0" && office != "15.0" && office != "16.0") {
        err << "qob: --office takes 14.0 (Outlook 2010), 15.0 (2013) or 16.0 (2016 to 365), not \"" << office
            << "\"\n";
        return 2;
    }
    try {
        DemoTargetSystem demo = DemoTargetSystem::createFiles(args.positional[0], office);
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
                         .usage = "demo-prefix [--office 15.0] DIR   make a demo target system with Outlook "
                                  "data in DIR (Office 14.0, 15.0 or 16.0)",
                         .valueOptions = {"--office"},
                         .run = runDemoPrefix,
                         .arguments = {"DIR"}});

} // namespace
} // namespace qob::cli
