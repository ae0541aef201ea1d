// qob verify FILE.qob: reads every entry back and checks it.
#include "app/cli/BackupFileAccess.h"
#include "app/cli/Cli.h"
#include "app/cli/TerminalText.h"

#include <ostream>

namespace qob::cli {
namespace {

int runVerify(const Args& args, std::ostream& out, std::ostream& err) {
    Archive archive;
    if (int rc = openBackupArgument(archive, args, "verify [--password-file F] FILE.qob", err); rc != 0) {
        return rc;
    }
    // Checked as stored on its medium (a stick, a share), not as a copy left in memory.
    archive.dropCachedPages();
    const auto entries = archive.entries();
    Status s = archive.verify();
    if (s && (entries.empty() || entries.back().name != kInfoEntryName)) {
        s = Status::failure("the last entry is not " + std::string(kInfoEntryName) +
                            ": not a complete backup");
    }
    archive.closeArchive();
    if (!s) {
        err << "qob: " << escapeControls(s.message) << "\n"; // names entries of the backup
        return 1;
    }
    out << args.positional[0] << ": " << entries.size() << " entries checked, all good\n";
    return 0;
}

CommandRegistration
    reg({.name = "verify",
         .usage = "verify [--password | --password-file F] FILE.qob   read every entry back and check it",
         .valueOptions = {"--password-file"},
         .run = runVerify,
         .flags = {"--password"},
         .arguments = {"FILE.qob"}});

} // namespace
} // namespace qob::cli
