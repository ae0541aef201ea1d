// qob info FILE.qob: where a backup came from, its description and the items it holds.
#include "app/cli/BackupFileAccess.h"
#include "app/cli/Cli.h"
#include "app/cli/ItemNames.h"
#include "app/cli/TerminalText.h"
#include "backup/InfoFileReader.h"
#include "settings/BackupInfo.h"

#include <ostream>

namespace qob::cli {
namespace {

int runInfo(const Args& args, std::ostream& out, std::ostream& err) {
    Archive archive;
    if (int rc = openBackupArgument(archive, args, "info [--password-file F] FILE.qob", err); rc != 0) {
        return rc;
    }
    InfoFileReader info;
    if (Status s = info.read(archive); !s) {
        if (!archive.findEntry(kInfoEntryName)) {
            err << "qob: " << args.positional[0] << " is not a backup file (it holds no " << kInfoEntryName
                << ")\n";
        } else if (archive.findEntry(kInfoEntryName)->info().size > kMaxInfoFileBytes) {
            // A few lines of text; a huge one is a crafted file.
            err << "qob: " << args.positional[0] << " is not a valid backup file (" << s.message << ")\n";
        } else {
            err << "qob: " << escapeControls(s.message) << "\n";
        }
        return 1;
    }
    // Everything shown comes from the file: a crafted one must not drive the terminal.
    auto get = [&](const std::string& key) { return escapeControls(info.get(key)); };
    int rc = 0;
    out << "Computer: " << get(kKeyComputer) << "\n";
    out << "Logon user: " << get(kKeyLogonUser) << "\n";
    out << "Profile: " << get(kKeyIdentity) << "\n";
    out << "Time: " << get(kKeyTime) << "\n";
    out << "Outlook: " << get(kKeyOutlookVersion) << "\n";
    out << "Description: " << escapeControls(unescapeDescription(info.get(kKeyInformation))) << "\n";
    const std::string flags = info.get(kKeyItemFlags);
    const bool valid = isValidItemFlags(flags);
    // The items by the names --items takes, so that a restore of some of them can be typed from
    // here; the flags as stored after them.
    if (valid) {
        const std::string names = itemNamesOfBackup(flags);
        out << "Items: " << (names.empty() ? "none" : names) << "\n";
        out << "Item flags: " << flags << "\n";
    } else {
        out << "Items: " << escapeControls(flags) << " (invalid: not eleven 0/1 characters)\n";
    }
    if (valid) {
        for (std::size_t i = 0; i < kItemKindCount; ++i) {
            auto kind = static_cast<ItemKind>(i);
            if (itemFlag(flags, kind)) {
                out << "  " << itemKey(kind) << "=" << get(itemKey(kind)) << "\n";
            }
        }
    } else {
        rc = 1;
    }
    return rc;
}

CommandRegistration
    reg({.name = "info",
         .usage = "info [--password | --password-file F] FILE.qob   show a backup's information",
         .valueOptions = {"--password-file"},
         .run = runInfo,
         .flags = {"--password"},
         .arguments = {"FILE.qob"}});

} // namespace
} // namespace qob::cli
