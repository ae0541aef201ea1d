#include "forms/OpenBackup.h"

#include "platform/AnsiCodePage.h"
#include "settings/ArchiveInfoFile.h"
#include "settings/CompanionEntries.h"

#include <algorithm>

namespace qob {

namespace fs = std::filesystem;

const std::array<const char*, kItemKindCount> kItemInfoKeys = {
    "BackupConfig",     "BackupDatas",      "BackupRules",    "BackupAccounts",
    "BackupSignatures", "BackupStationery", "BackupPab",      "BackupConfigsetting",
    "BackupTemplates",  "BackupSetting",    "Backupcontacts",
};

namespace {

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
    }
    return text;
}

// A zip that is not a whole backup of ours in a way that matters (an entry swapped in without the
// password, entries that overlap): the reason names the entry, so the user knows what is wrong.
OpenResult refuseAltered(Archive& archive, Dialogs& dialogs) {
    const std::string why = archive.openRefusal();
    archive.closeArchive();
    dialogs.message(std::string(kInvalidBackupMessage) + ": " + why, MsgIcon::Critical, MsgButtons::Ok,
                    kApplicationTitle);
    return OpenResult::Invalid;
}

} // namespace

void clearRestoreSide(MainForm& form, Archive& archive) {
    archive.closeArchive();
    // The archive the earlier values belong to is closed now, so a restore must not run on them.
    form.state().restore.invalidFile = true;
    for (CheckBoxState& box : form.restoreItem) {
        box.checked = false;
        box.enabled = false;
    }
    form.notify(FormChange::RestoreItems);
    form.txtSourceFile.clear();
    form.txtFileInfo.clear();
    form.txtPOBinfo.clear();
    form.notify(FormChange::RestoreInfo);
}

OpenResult cmdSourceFileClick(MainForm& form, Archive& archive) {
    clearRestoreSide(form, archive);
    auto chosen = form.platform().dialogs.openFile(kOpenBackupTitle, kBackupFileFilter, "");
    if (!chosen || chosen->empty()) {
        return OpenResult::Cancelled;
    }
    return openBackupFile(form, archive, fs::path(*chosen));
}

OpenResult openBackupFile(MainForm& form, Archive& archive, const fs::path& file) {
    // Opening replaces the archive a running restore reads from.
    if (!form.mayStartJob()) {
        return OpenResult::Cancelled;
    }
    clearRestoreSide(form, archive);
    Dialogs& dialogs = form.platform().dialogs;
    RestoreState& restore = form.state().restore;

    // Names and texts of backups made by the Windows-era program are in the target system's ANSI
    // code page, and so were the bytes its passwords were turned into keys from.
    archive.setCodePage(targetAnsiCodePage(form.platform().registryStore));
    if (archive.isPasswordProtected(file)) {
        // A wrong password is said, then asked again for the same file (no browsing anew); Cancel
        // or Escape ends the opening quietly.
        bool opened = false;
        for (int tries = 0; tries < kPasswordTries && !opened; ++tries) {
            const std::optional<std::string> typed = dialogs.askPassword("Please enter password:");
            if (!typed) {
                return tries == 0 ? OpenResult::Cancelled : OpenResult::WrongPassword;
            }
            restore.currentPassword = *typed;
            archive.setReadPassword(restore.currentPassword);
            const bool readable = static_cast<bool>(archive.openArchive(file));
            if (!readable && !archive.openRefusal().empty()) {
                return refuseAltered(archive, dialogs); // no password makes it whole
            }
            opened = readable && archive.verifyPassword();
            if (!opened) {
                archive.closeArchive();
                dialogs.message(kWrongPasswordMessage, MsgIcon::Information, MsgButtons::Ok,
                                kApplicationTitle);
            }
        }
        if (!opened) {
            return OpenResult::WrongPassword;
        }
    } else {
        archive.setReadPassword("");
        // A file that is no archive ends below as invalid.
        if (!archive.openArchive(file) && !archive.openRefusal().empty()) {
            return refuseAltered(archive, dialogs);
        }
    }

    form.txtSourceFile = file.string();
    restore.sourcePath = file;

    InfoFileReader info;
    (void)info.read(archive); // an information file that cannot be read ends below as invalid
    // A blank after each colon: "Backup Time: 12/7/2026 8:00:00 PM" reads as a label and a value.
    form.txtPOBinfo =
        "Computer: " + info.get("BackupComputer") + "\r\n" + "User: " + info.get("BackupLogonUser") + "\r\n" +
        "Backup Time: " + info.get("BackupTime") + "\r\n" + "Profile: " + info.get("BackupIdentity") +
        "\r\n" + "Outlook Version: " + info.get("Outlookversion");
    form.txtFileInfo = replaceAll(info.get("BackupInformation"), "PS$QBX", "\r\n");
    form.notify(FormChange::RestoreInfo);

    const std::string flags = info.get("BackupItem");
    restore.flags = flags;
    // The same rule as `qob info`: eleven characters, each "0" or "1"; anything else in a box's
    // place is not a backup this program made.
    if (!isValidItemFlags(flags)) {
        archive.closeArchive();
        dialogs.message(kInvalidBackupMessage, MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return OpenResult::Invalid;
    }
    for (std::size_t i = 0; i < kItemKindCount; ++i) {
        restore.companionValues[i].clear();
        if (flags[i] != '1') {
            continue;
        }
        if (i != index(ItemKind::Config) && i != index(ItemKind::Rules)) {
            form.restoreItem[std::max<std::size_t>(i, 2) - 2].enabled = true;
        }
        restore.itemValues[i] = info.get(kItemInfoKeys[i]);
        if (const char* key = companionsKey(static_cast<ItemKind>(i))) {
            restore.companionValues[i] = info.get(key);
        }
    }
    restore.datasPaths = flags[index(ItemKind::Datas)] == '1' ? info.get("BackupDatasPaths") : "";
    form.notify(FormChange::RestoreItems);
    restore.invalidFile = false;
    return OpenResult::Opened;
}

} // namespace qob
