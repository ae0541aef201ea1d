#pragma once
// A small, self-contained target system shaped like a Wine prefix, with Outlook data in it: for
// trying the program without Wine or Outlook, and for tests of every layer. It holds what a real
// prefix holds where the program looks (registry files, dosdevices links, the user's folders),
// and nothing else.
//
// Layout made in `folder`:
//   user.reg, system.reg, userdef.reg        the registry (HKCU, HKLM, HKU\.Default)
//   dosdevices/c: -> ../drive_c, z: -> /     drive links, as Wine makes them
//   drive_c/windows, drive_c/users/<user>/…  Windows folder and the user's profile folder
//   drive_c/Program Files/…                  Office's shared files (stationery)
// Outlook 2013 (15.0) is installed, or the generation asked for ("16.0" for Outlook 2016 to 365,
// "14.0" for 2010); its profiles "Outlook" and "Second" live under the Office key (15.0 and later)
// or under the Windows Messaging Subsystem key, where one older profile "Legacy" lives in any case.
//
// On Windows there is no prefix to make: the target system is the running Windows, so the same
// folders and files are laid out under `folder` itself and every target path is a host path
// ("native" below); the registry goes to whatever store the caller brings (the live one for
// `qob demo-profile`). What belongs to the machine rather than to Outlook (its name, version and
// the user's shell folders) is then left alone, and Office's machine-wide keys are only added
// where the machine has none.
#include "platform/RegistryStore.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qob {

class DemoRegistryWriter;

// One data file (PST/OST) a profile points to.
struct DemoStore {
    std::string profile;    // profile name
    std::string serviceKey; // full key path of the profile subkey holding the reference
    std::string targetPath; // Windows path of the file
    bool wide = true;       // reference stored as UTF-16LE (false: single-byte, older profiles)
    std::uintmax_t size = 0;
};

struct DemoTargetSystem {
    std::filesystem::path prefix; // host folder of the target system
    // Target paths are host paths of the running Windows, laid out under `prefix`.
    bool native = false;
    // What the demo's "C:" is as a target path: "C:" in a prefix, `prefix`'s own path when native.
    std::string driveRoot = "C:";
    std::string computerName = "QUIREDEMO";
    std::string userName = "quire";
    std::string userProfileFolder;      // "C:\users\quire"
    std::string windowsVersion = "6.1"; // "10.0" writes what prefixes of Wine 9 and later report
    std::string officeVersion = "15.0";
    std::string profilesRootKey;      // the profiles root key of officeVersion
    std::string olderProfilesRootKey; // the Windows Messaging Subsystem profiles key

    // Profiles under profilesRootKey, in creation order ("Outlook", "Second").
    std::vector<std::string> profiles;
    // The profile under olderProfilesRootKey ("Legacy").
    std::string legacyProfile;

    std::vector<DemoStore> stores; // every data file reference, in creation order
    std::string addressBook;       // target path of the personal address book file
    std::string localDataFolder;   // AppData\Local\Microsoft\Outlook
    std::string roamingDataFolder; // AppData\Roaming\Microsoft\Outlook
    std::string signaturesFolder;
    std::string stationeryFolder;
    std::string templatesFolder;
    std::string contactsFolder;
    std::string rulesFile;                    // target path of "Outlook"'s rules file
    std::vector<std::string> signatureFiles;  // names directly in the signatures folder
    std::vector<std::string> preferenceFiles; // names directly in the roaming data folder
    std::string largeFile;                    // target path of the one larger data file

    // The stores of one profile, in creation order.
    std::vector<DemoStore> storesOf(const std::string& profile) const;
    // Host path of a target path inside this system (exact case, as created; C: and Z: only; any
    // path when native).
    std::filesystem::path hostPath(const std::string& targetPath) const;
    // Host folder of the demo's drive C (the prefix's drive_c, or `prefix` itself when native).
    std::filesystem::path driveFolder() const { return native ? prefix : prefix / "drive_c"; }

    // Making a target system takes two steps: the folders, files, drive links and empty registry
    // files; then the registry content, written through a store opened on `prefix` (flushed at
    // the end) or through any store a test brings. Both throw std::runtime_error naming what
    // could not be made.
    // Both steps, the registry saved into the prefix's own user.reg and system.reg.
    static DemoTargetSystem create(const std::filesystem::path& folder);
    static DemoTargetSystem createFiles(const std::filesystem::path& folder);
    // The same with another Office generation installed ("16.0", "14.0").
    static DemoTargetSystem create(const std::filesystem::path& folder, const std::string& officeVersion);
    static DemoTargetSystem createFiles(const std::filesystem::path& folder,
                                        const std::string& officeVersion);
    // What createFiles makes, without making it: names and paths only.
    static DemoTargetSystem layout(const std::filesystem::path& folder, const std::string& officeVersion);
    // Target path of Outlook's program folder ("C:\Program Files\Microsoft Office\Office15\").
    std::string installFolder() const;
    void writeRegistry(RegistryStore& store) const;
    // The keys writeRegistry made for Outlook's profiles and options (none of the machine's own):
    // what a test removes again from a live registry.
    std::vector<std::string> profileKeys() const;

private:
    // The machine's name, version and the user's shell folders, as a Wine prefix holds them.
    void writeIdentity(DemoRegistryWriter& w) const;
    // Outlook's options, profiles, data file references and accounts.
    void writeOutlook(DemoRegistryWriter& w) const;
};

} // namespace qob
