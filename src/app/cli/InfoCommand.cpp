// qob info FILE.qob: where a backup came from, its description and the items it holds.
#include "app/cli/BackupFileAccess.h"
#include "app/cli/Cli.h"
#include "app/cli/ItemNames.h"
#include "app/cli/TerminalText.h"
#include "forms/OpenBackup.h"
#include "settings/BackupInfo.h"
#include "settings/InfoFile.h"

#include <cstdlib>
#include <ostream>
#include <unistd.h>

namespace qob::cli {
namespace {

namespace fs = std::filesystem;

int runInfo(const Args& args, std::ostream& out, std::ostream& err) {
    Archive archive;
    if (int rc = openBackupArgument(archive, args, "info [--password-file F] FILE.qob", err); rc != 0) {
        return rc;
    }
    auto entry = archive.findEntry(kInfoEntryName);
    if (!entry) {
        err << "qob: " << args.positional[0] << " is not a backup file (it holds no " << kInfoEntryName
            << ")\n";
        return 1;
    }
    // A few lines of text; a huge one is a crafted file that would fill the temporary folder.
    if (entry->info().size > kMaxInfoFileBytes) {
        err << "qob: " << args.positional[0] << " is not a valid backup file (its " << kInfoEntryName
            << " holds " << entry->info().size << " bytes)\n";
        return 1;
    }
    std::string scratch = (fs::temp_directory_path() / "qobinfo-XXXXXX").string();
    int fd = ::mkstemp(scratch.data());
    if (fd < 0) {
        err << "qob: cannot make a scratch file\n";
        return 1;
    }
    ::close(fd);
    Status s = entry->extractToFile(scratch);
    // Everything shown comes from the file: a crafted one must not drive the terminal.
    auto get = [&](const std::string& key) { return escapeControls(getINI(key, scratch).value_or("")); };
    int rc = 0;
    if (!s) {
        err << "qob: " << s.message << "\n";
        rc = 1;
    } else {
        out << "Computer: " << get(kKeyComputer) << "\n";
        out << "Logon user: " << get(kKeyLogonUser) << "\n";
        out << "Profile: " << get(kKeyIdentity) << "\n";
        out << "Time: " << get(kKeyTime) << "\n";
        out << "Outlook: " << get(kKeyOutlookVersion) << "\n";
        out << "Description: "
            << escapeControls(unescapeDescription(getINI(kKeyInformation, scratch).value_or(""))) << "\n";
        const std::string flags = get(kKeyItemFlags);
        // The items by the names --items takes, so that a restore of some of them can be typed
        // from here; the flags as stored after them.
        if (isValidItemFlags(flags)) {
            const std::string names = itemNamesOfBackup(flags);
            out << "Items: " << (names.empty() ? "none" : names) << "\n";
            out << "Item flags: " << flags << "\n";
        } else {
            out << "Items: " << flags << " (invalid: not eleven 0/1 characters)\n";
        }
        if (isValidItemFlags(flags)) {
            for (std::size_t i = 0; i < kItemKindCount; ++i) {
                auto kind = static_cast<ItemKind>(i);
                if (itemFlag(flags, kind)) {
                    out << "  " << itemKey(kind) << "=" << get(itemKey(kind)) << "\n";
                }
            }
        } else {
            rc = 1;
        }
    }
    fs::remove(scratch);
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
