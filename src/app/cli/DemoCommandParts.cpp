#include "app/cli/DemoCommandParts.h"

namespace qob::cli {

std::optional<std::string> demoOffice(const Args& args, const std::string& command, std::ostream& err) {
    if (args.positional.size() != 1) {
        err << "usage: qob " << command << " [--office 15.0] DIR\n";
        return std::nullopt;
    }
    const std::string office = args.get("--office", "15.0");
    if (office != "14.0" && office != "15.0" && office != "16.0") {
        err << "qob: --office takes 14.0 (Outlook 2010), 15.0 (2013) or 16.0 (2016 to 365), not \"" << office
            << "\"\n";
        return std::nullopt;
    }
    return office;
}

void writeDemoRegistry(const DemoTargetSystem& demo, RegistryStore& store, std::ostream& out) {
    demo.writeRegistry(store);
    out << demo.prefix.string() << "\n";
    for (const std::string& p : demo.profiles) {
        out << "profile " << p << "\n";
    }
    out << "profile " << demo.legacyProfile << " (older profiles key)\n";
}

} // namespace qob::cli
