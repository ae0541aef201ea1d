#include "app/cli/BackupFileAccess.h"

#include "platform/AnsiCodePage.h"
#include "platform/Environment.h"
#include "platform/TextEncoding.h"
#include "platform/wine/PrefixChoice.h"
#include "platform/wine/WinePrefix.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "settings/ProgramFolder.h"
#include "settings/TargetSystemSetting.h"

#include <ostream>

namespace qob::cli {

std::uint32_t commandCodePage(const Args& args) {
    std::optional<std::string> prefixOption;
    if (args.has("--prefix")) {
        prefixOption = args.get("--prefix");
    }
    std::filesystem::path programFolder;
    std::optional<std::string> remembered;
    if (resolveProgramFolder(ProgramFolderSources::fromEnvironment(), programFolder)) {
        remembered = readTargetSystemChoice(programFolder);
    }
    const PrefixChoice choice =
        choosePrefix({prefixOption, environment("WINEPREFIX"), environment("HOME"), remembered},
                     PrefixPolicy::CommandLineTool);
    if (choice.prefix.empty() || !checkWinePrefix(choice.prefix)) {
        return textenc::kDefaultAnsiCodePage;
    }
    WinePrefixRegistry store(choice.prefix);
    return targetAnsiCodePage(store);
}

bool openBackupFile(Archive& archive, const std::filesystem::path& file, const Args& args,
                    std::string& error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        error = "no backup file at " + file.string();
        return false;
    }
    archive.setCodePage(commandCodePage(args));
    const bool isProtected = archive.isPasswordProtected(file);
    Status s = archive.openArchive(file);
    if (!s) {
        error = s.message;
        return false;
    }
    if (!isProtected) {
        return true;
    }
    std::optional<std::string> password = readPassword(args, error);
    if (!password) {
        if (error.empty()) {
            error = "the backup file is protected; give --password, --password-file F or set QOB_PASSWORD";
        }
        archive.closeArchive();
        return false;
    }
    archive.setReadPassword(*password);
    if (!archive.verifyPassword()) {
        error = "wrong password for " + file.string();
        archive.closeArchive();
        return false;
    }
    return true;
}

int openBackupArgument(Archive& archive, const Args& args, const char* usage, std::ostream& err) {
    if (args.positional.size() != 1) {
        err << "usage: qob " << usage << "\n";
        return 2;
    }
    std::string error;
    if (!openBackupFile(archive, args.positional[0], args, error)) {
        err << "qob: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace qob::cli
