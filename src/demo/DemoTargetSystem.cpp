#include "demo/DemoTargetSystem.h"

#include "platform/wine/WinePrefixRegistry.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace qob {

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr char kHkcu[] = "HKEY_CURRENT_USER\\";
constexpr char kHklm[] = "HKEY_LOCAL_MACHINE\\";

// UTF-8 -> UTF-16 code units; enough for the BMP names this target system uses.
std::u16string toUtf16(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char16_t>(c);
            i += 1;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            out += static_cast<char16_t>(((c & 0x1F) << 6) | (text[i + 1] & 0x3F));
            i += 2;
        } else if (i + 2 < text.size()) {
            out += static_cast<char16_t>(((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) |
                                         (text[i + 2] & 0x3F));
            i += 3;
        } else {
            break;
        }
    }
    return out;
}

Bytes utf16le(const std::string& text, bool terminate, std::size_t padTo = 0) {
    Bytes out;
    for (char16_t u : toUtf16(text)) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    if (terminate) {
        out.push_back(0);
        out.push_back(0);
    }
    if (out.size() < padTo) {
        out.resize(padTo, 0);
    }
    return out;
}

// Single-byte form (Windows-1252 for the Latin-1 letters the demo uses).
Bytes ansi(const std::string& text, bool terminate) {
    Bytes out;
    for (char16_t u : toUtf16(text)) {
        out.push_back(u < 0x100 ? static_cast<std::uint8_t>(u) : static_cast<std::uint8_t>('?'));
    }
    if (terminate) {
        out.push_back(0);
    }
    return out;
}

// The head of a PST store entry ID ("01020fff"), bytes 0-52: flags, the store-wrap UID, version
// and flag bytes, the provider DLL name padded with zeros, the PST provider's UID (its last byte
// differs per store here, so references can be told apart) and one reserved byte.
Bytes storeEntryIdHead(std::uint8_t storeNumber) {
    static constexpr std::uint8_t kFixed[38] = {0x00, 0x00, 0x00, 0x00, // flags
                                                0x38, 0xA1, 0xBB, 0x10, 0x05, 0xE5, 0x10, 0x1A,
                                                0xA1, 0xBB, 0x08, 0x00, 0x2B, 0x2A, 0x56, 0xC2, // store wrap
                                                0x00, 0x00, // version, flag
                                                'm',  's',  'p',  's',  't',  '.',  'd',  'l',
                                                'l',  0x00, 0x00, 0x00, 0x00, 0x00, // DLL name, padded
                                                0x4E, 0x49};
    static constexpr std::uint8_t kUidRest[14] = {0x54, 0x41, 0xF9, 0xBF, 0xB8, 0x01, 0x00,
                                                  0xAA, 0x00, 0x37, 0xD9, 0x6E, 0x00, 0x00};
    Bytes h(std::begin(kFixed), std::end(kFixed));
    for (std::uint8_t b : kUidRest) {
        h.push_back(b);
    }
    h.back() = storeNumber;
    h.push_back(0x00); // reserved
    return h;          // 53 bytes
}

// The single-byte path follows the head at byte 53. In the Unicode form byte 53 is the NUL of an
// empty single-byte path and the UTF-16LE path follows from byte 54.
Bytes storeEntryId(std::uint8_t storeNumber, const std::string& path, bool wide) {
    Bytes out = storeEntryIdHead(storeNumber);
    if (wide) {
        out.push_back(0x00);
    }
    Bytes tail = wide ? utf16le(path, true) : ansi(path, true);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

Bytes dword(std::uint32_t v) {
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

std::pair<RegRoot, std::string> splitRoot(const std::string& keyPath) {
    if (keyPath.rfind(kHkcu, 0) == 0) {
        return {RegRoot::CurrentUser, keyPath.substr(std::strlen(kHkcu))};
    }
    if (keyPath.rfind(kHklm, 0) == 0) {
        return {RegRoot::LocalMachine, keyPath.substr(std::strlen(kHklm))};
    }
    throw std::logic_error("demo target system: unknown root in " + keyPath);
}

void ensureFolder(const fs::path& p) {
    std::error_code ec;
    fs::create_directories(p, ec);
    if (ec) {
        throw std::runtime_error("cannot create folder " + p.string() + ": " + ec.message());
    }
}

void writeFile(const fs::path& p, const std::string& content) {
    ensureFolder(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write file " + p.string());
    }
}

#ifdef _WIN32
// A folder's own path as a target path ("C:\…"), in UTF-8 with backslashes.
std::string targetPathOf(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    const std::u8string text = (ec ? folder : absolute).lexically_normal().make_preferred().u8string();
    std::string out(text.begin(), text.end());
    while (out.size() > 3 && (out.back() == '\\' || out.back() == '/')) {
        out.pop_back();
    }
    return out;
}

#endif

fs::path fromUtf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

// Mixed content (compressible runs, text and pseudo-random bytes) so archive code meets more than
// one kind of data.
std::string mixedData(std::size_t size, std::uint32_t seed) {
    std::string out;
    out.reserve(size);
    std::uint32_t x = seed;
    while (out.size() < size) {
        std::size_t block = out.size() / 4096 % 3;
        for (std::size_t i = 0; i < 4096 && out.size() < size; ++i) {
            x = x * 1664525u + 1013904223u;
            if (block == 0) {
                out += static_cast<char>(x >> 24);
            } else if (block == 1) {
                out += "Subject: weekly report\r\n"[i % 24];
            } else {
                out += '\0';
            }
        }
    }
    return out;
}

void writeEmptyRegistryFile(const fs::path& file, const char* relativeTo) {
    if (fs::exists(file)) {
        return;
    }
    writeFile(file, std::string("WINE REGISTRY Version 2\n;; All keys relative to ") + relativeTo +
                        "\n\n#arch=win64\n");
}

void makeLink(const fs::path& target, const fs::path& link) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec))) {
        return;
    }
    fs::create_directory_symlink(target, link, ec);
    if (ec) {
        throw std::runtime_error("cannot create link " + link.string() + ": " + ec.message());
    }
}

} // namespace

class DemoRegistryWriter {
public:
    explicit DemoRegistryWriter(RegistryStore& store) : store_(store) {}

    // A machine-wide value on a live Windows: one that is there already belongs to the installed
    // Office (or to another program) and is left as it is.
    bool has(const std::string& keyPath, const std::string& name) {
        auto [root, below] = splitRoot(keyPath);
        RegHandle key = 0;
        if (store_.openKey(root, below, false, key) != kRegSuccess) {
            return false;
        }
        RegValue v;
        const bool found = store_.queryValue(key, name, v) == kRegSuccess;
        store_.closeKey(key);
        return found;
    }

    void set(const std::string& keyPath, const std::string& name, std::uint32_t type, const Bytes& data) {
        auto [root, below] = splitRoot(keyPath);
        RegHandle key = 0;
        RegResult r = store_.createKey(root, below, key);
        if (r != kRegSuccess) {
            throw std::runtime_error("cannot create registry key " + keyPath + " (code " + std::to_string(r) +
                                     ")");
        }
        if (!name.empty() || !data.empty() || type != kRegNone) {
            r = store_.setValue(key, name, type, data);
        }
        store_.closeKey(key);
        if (r != kRegSuccess) {
            throw std::runtime_error("cannot write registry value " + keyPath + "\\" + name + " (code " +
                                     std::to_string(r) + ")");
        }
    }
    void str(const std::string& key, const std::string& name, const std::string& value) {
        set(key, name, kRegSz, text(value));
    }
    void expand(const std::string& key, const std::string& name, const std::string& value) {
        set(key, name, kRegExpandSz, text(value));
    }
    void bin(const std::string& key, const std::string& name, const Bytes& value) {
        set(key, name, kRegBinary, value);
    }
    void dw(const std::string& key, const std::string& name, std::uint32_t value) {
        set(key, name, kRegDword, dword(value));
    }
    void key(const std::string& keyPath) { set(keyPath, "", kRegNone, {}); }

private:
    RegistryStore& store_;
};

std::vector<DemoStore> DemoTargetSystem::storesOf(const std::string& profile) const {
    std::vector<DemoStore> out;
    for (const DemoStore& s : stores) {
        if (s.profile == profile) {
            out.push_back(s);
        }
    }
    return out;
}

fs::path DemoTargetSystem::hostPath(const std::string& targetPath) const {
    if (native) {
        return fromUtf8(targetPath);
    }
    if (targetPath.size() < 2 || targetPath[1] != ':') {
        return {};
    }
    char drive = static_cast<char>(targetPath[0] | 0x20);
    fs::path base = drive == 'c' ? prefix / "drive_c" : drive == 'z' ? fs::path("/") : fs::path();
    if (base.empty()) {
        return {};
    }
    std::string rest = targetPath.substr(2);
    std::size_t start = 0;
    while (start < rest.size()) {
        std::size_t end = rest.find('\\', start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        if (end > start) {
            base /= rest.substr(start, end - start);
        }
        start = end + 1;
    }
    return base;
}

DemoTargetSystem DemoTargetSystem::createFiles(const fs::path& folder) {
    return createFiles(folder, "15.0");
}

DemoTargetSystem DemoTargetSystem::layout(const fs::path& folder, const std::string& officeVersion) {
    DemoTargetSystem d;
    d.prefix = folder;
    d.officeVersion = officeVersion;
#ifdef _WIN32
    // Windows makes no symbolic links for a normal user and has no prefix to map drives through.
    d.native = true;
    d.driveRoot = targetPathOf(folder);
#endif
    const std::string& c = d.driveRoot;
    d.userProfileFolder = c + "\\users\\" + d.userName;
    d.olderProfilesRootKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows "
                             "Messaging Subsystem\\Profiles";
    // Outlook 2013 moved the profiles under its own Office key; earlier ones keep them beside the
    // older profile.
    d.profilesRootKey =
        std::atof(officeVersion.c_str()) >= 15
            ? "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\" + officeVersion + "\\Outlook\\Profiles"
            : d.olderProfilesRootKey;
    d.profiles = {"Outlook", "Second"};
    d.legacyProfile = "Legacy";

    const std::string& user = d.userProfileFolder;
    d.localDataFolder = user + "\\AppData\\Local\\Microsoft\\Outlook";
    d.roamingDataFolder = user + "\\AppData\\Roaming\\Microsoft\\Outlook";
    d.signaturesFolder = user + "\\AppData\\Roaming\\Microsoft\\Signatures";
    d.templatesFolder = user + "\\AppData\\Roaming\\Microsoft\\Templates";
    d.contactsFolder = user + "\\Contacts";
    d.stationeryFolder = c + "\\Program Files\\Common Files\\Microsoft Shared\\Stationery";
    const std::string documents = user + "\\Documents\\Outlook Files";

    auto addStore = [&](const std::string& profile, const std::string& service, const std::string& path,
                        bool wide) {
        d.stores.push_back({profile, service, path, wide, 0});
    };
    const std::string outlookKey = d.profilesRootKey + "\\Outlook";
    const std::string secondKey = d.profilesRootKey + "\\Second";
    const std::string legacyKey = d.olderProfilesRootKey + "\\Legacy";
    addStore("Outlook", outlookKey + "\\1d7a5b0e6f2c4c58a3a1b2c3d4e5f601",
             d.localDataFolder + "\\Outlook.pst", true);
    addStore("Outlook", outlookKey + "\\2e8b6c1f7a3d4d69b4b2c3d4e5f60712",
             documents + "\\Archiv \xC3\x9C"
                         "bersicht.pst",
             true);
    addStore("Outlook", outlookKey + "\\3f9c7d2a8b4e4e7ac5c3d4e5f6071823",
             d.localDataFolder + "\\quire@example.com.ost", true);
    addStore("Second", secondKey + "\\4a0d8e3b9c5f4f8bd6d4e5f607182934", d.localDataFolder + "\\Second.pst",
             true);
    addStore("Legacy", legacyKey + "\\5b1e9f4cad604a9ce7e5f60718293a45", documents + "\\Legacy.pst", false);
    d.addressBook = d.localDataFolder + "\\mailbox.pab";
    d.rulesFile = d.roamingDataFolder + "\\Outlook.rwz";
    d.largeFile = d.stores[0].targetPath;
    return d;
}

DemoTargetSystem DemoTargetSystem::createFiles(const fs::path& folder, const std::string& officeVersion) {
    DemoTargetSystem d = layout(folder, officeVersion);
    const std::string& user = d.userProfileFolder;

    // Drives, Windows folder, registry files.
    if (!d.native) {
        ensureFolder(folder / "dosdevices");
        ensureFolder(folder / "drive_c" / "windows" / "system32");
        makeLink("../drive_c", folder / "dosdevices" / "c:");
        makeLink("/", folder / "dosdevices" / "z:");
        writeEmptyRegistryFile(folder / "system.reg", "REGISTRY\\\\Machine");
        writeEmptyRegistryFile(folder / "user.reg", "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000");
        writeEmptyRegistryFile(folder / "userdef.reg", "REGISTRY\\\\User\\\\.Default");
    }

    // The user's folders; Documents is a real folder here (Wine links it to $HOME, which a demo
    // must not touch).
    for (const char* sub : {"AppData\\Local\\Temp", "AppData\\LocalLow", "Desktop", "Favorites", "Temp"}) {
        ensureFolder(d.hostPath(user + "\\" + sub));
    }

    // Data files: one larger, the rest small.
    for (std::size_t i = 0; i < d.stores.size(); ++i) {
        std::size_t size = i == 0 ? 300 * 1024 : 3 * 1024 + i * 512;
        writeFile(d.hostPath(d.stores[i].targetPath), mixedData(size, static_cast<std::uint32_t>(i + 1)));
        d.stores[i].size = size;
    }
    writeFile(d.hostPath(d.addressBook), mixedData(2048, 77));
    // Outlook writes the rules file in lower-case extension; readers must match without case.
    writeFile(d.hostPath(d.rulesFile), mixedData(1500, 11));

    d.signatureFiles = {"Work.htm", "Work.rtf", "Work.txt"};
    writeFile(d.hostPath(d.signaturesFolder + "\\Work.htm"),
              "<html><body><p>Quire Demo<br>Sales</p></body></html>\r\n");
    writeFile(d.hostPath(d.signaturesFolder + "\\Work.rtf"), "{\\rtf1\\ansi Quire Demo\\par Sales}\r\n");
    writeFile(d.hostPath(d.signaturesFolder + "\\Work.txt"), "Quire Demo\r\nSales\r\n");
    // HTML signatures keep their images in a companion folder, which is not backed up.
    writeFile(d.hostPath(d.signaturesFolder + "\\Work_files\\image001.png"), mixedData(600, 5));

    writeFile(d.hostPath(d.stationeryFolder + "\\Ribbon.htm"),
              "<html><body style=\"background:#eef\"></body></html>\r\n");
    writeFile(d.hostPath(d.templatesFolder + "\\NormalEmail.dotm"), mixedData(4096, 21));
    writeFile(d.hostPath(d.contactsFolder + "\\Anna Berg.contact"),
              "<?xml version=\"1.0\"?><c:contact xmlns:c=\"http://schemas.microsoft.com/Contact\">"
              "<c:NameCollection><c:Name><c:FormattedName>Anna Berg</c:FormattedName></c:Name>"
              "</c:NameCollection></c:contact>\r\n");

    d.preferenceFiles = {"Outlook.rwz", "Outlook.xml", "OutlPrnt"};
    writeFile(d.hostPath(d.roamingDataFolder + "\\Outlook.xml"), "<?xml version=\"1.0\"?><Outlook/>\r\n");
    writeFile(d.hostPath(d.roamingDataFolder + "\\OutlPrnt"), mixedData(1200, 31));

    writeFile(d.hostPath(d.installFolder() + "OUTLOOK.EXE"), "MZ demo stand-in\r\n");
    return d;
}

std::string DemoTargetSystem::installFolder() const {
    return driveRoot + "\\Program Files\\Microsoft Office\\Office" +
           officeVersion.substr(0, officeVersion.find('.')) + "\\";
}

DemoTargetSystem DemoTargetSystem::create(const fs::path& folder) {
    return create(folder, "15.0");
}

DemoTargetSystem DemoTargetSystem::create(const fs::path& folder, const std::string& officeVersion) {
    DemoTargetSystem demo = createFiles(folder, officeVersion);
    WinePrefixRegistry registry(folder);
    demo.writeRegistry(registry);
    return demo;
}

void DemoTargetSystem::writeRegistry(RegistryStore& store) const {
    DemoRegistryWriter w(store);
    if (!native) {
        writeIdentity(w);
    }

    // The installed Office (2013 unless asked otherwise). On a live Windows, what an installed
    // Office wrote stays.
    const std::string office = std::string(kHklm) + "SOFTWARE\\Microsoft\\Office\\" + officeVersion;
    const std::string install = installFolder();
    const std::string appPath =
        std::string(kHklm) + "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";
    const std::string sharedTools = std::string(kHklm) + "SOFTWARE\\Microsoft\\Shared Tools";
    const bool officeThere =
        native && (w.has(office + "\\Outlook\\InstallRoot", "Path") || w.has(appPath, ""));
    if (!officeThere) {
        w.str(office + "\\Outlook\\InstallRoot", "Path", install);
        w.str(office + "\\Common\\ProductVersion", "LastProduct",
              officeVersion == "16.0" ? "16.0.4266.1001" : officeVersion + ".4569.1506");
        w.str(appPath, "", install + "OUTLOOK.EXE");
        w.str(appPath, "Path", install);
    }
    if (!native || !w.has(sharedTools, "SharedFilesDir")) {
        w.str(sharedTools, "SharedFilesDir", driveRoot + "\\Program Files\\Common Files\\Microsoft Shared\\");
    }
    writeOutlook(w);
    RegResult r = store.flush();
    if (r != kRegSuccess) {
        throw std::runtime_error("cannot save the registry of " + prefix.string() + " (code " +
                                 std::to_string(r) + ")");
    }
}

void DemoTargetSystem::writeIdentity(DemoRegistryWriter& w) const {
    const std::string& user = userProfileFolder;
    // Identity, as Wine reports it to Windows programs.
    const std::string nt = std::string(kHklm) + "Software\\Microsoft\\Windows NT\\CurrentVersion";
    if (windowsVersion == "10.0") {
        // As Wine 9 and later (and winecfg) set it: the "6.3" text older programs read, and the
        // version numbers newer ones ask for first.
        w.str(nt, "CurrentVersion", "6.3");
        w.dw(nt, "CurrentMajorVersionNumber", 10);
        w.dw(nt, "CurrentMinorVersionNumber", 0);
        w.str(nt, "CurrentBuild", "19045");
        w.str(nt, "CurrentBuildNumber", "19045");
        w.str(nt, "CSDVersion", "");
        w.str(nt, "ProductName", "Windows 10 Pro");
    } else {
        w.str(nt, "CurrentVersion", windowsVersion);
        w.str(nt, "CurrentBuild", "7601");
        w.str(nt, "CurrentBuildNumber", "7601");
        w.str(nt, "CSDVersion", "Service Pack 1");
        w.str(nt, "ProductName", "Microsoft Windows 7");
    }
    w.str(std::string(kHklm) + "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
          "ComputerName", computerName);
    const std::string profileList = nt + "\\ProfileList";
    w.expand(profileList, "ProfilesDirectory", "C:\\users");
    w.expand(profileList, "Public", "C:\\users\\Public");
    w.str(profileList + "\\S-1-5-21-0-0-0-1000", "ProfileImagePath", user);
    w.dw(profileList + "\\S-1-5-21-0-0-0-1000", "Flags", 0);
    w.str(std::string(kHklm) + "Software\\Microsoft\\Windows Messaging Subsystem", "MAPI", "1");

    const std::string volatileEnv = std::string(kHkcu) + "Volatile Environment";
    w.str(volatileEnv, "APPDATA", user + "\\AppData\\Roaming");
    w.str(volatileEnv, "HOMEDRIVE", "C:");
    w.str(volatileEnv, "HOMEPATH", user.substr(2));
    w.str(volatileEnv, "LOCALAPPDATA", user + "\\AppData\\Local");
    w.str(volatileEnv, "LOGONSERVER", "\\\\" + computerName);
    w.str(volatileEnv, "USERDOMAIN", computerName);
    w.str(volatileEnv, "USERNAME", userName);
    w.str(volatileEnv, "USERPROFILE", user);
    const std::string shell = std::string(kHkcu) + "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
    w.str(shell + "\\Shell Folders", "AppData", user + "\\AppData\\Roaming");
    w.str(shell + "\\Shell Folders", "Local AppData", user + "\\AppData\\Local");
    w.str(shell + "\\Shell Folders", "Personal", user + "\\Documents");
    w.expand(shell + "\\User Shell Folders", "AppData", "%USERPROFILE%\\AppData\\Roaming");
    w.expand(shell + "\\User Shell Folders", "Local AppData", "%USERPROFILE%\\AppData\\Local");
    w.expand(shell + "\\User Shell Folders", "Personal", "%USERPROFILE%\\Documents");
}

void DemoTargetSystem::writeOutlook(DemoRegistryWriter& w) const {
    // Options (what Outlook writes on its first start).
    const std::string options =
        std::string(kHkcu) + "Software\\Microsoft\\Office\\" + officeVersion + "\\Outlook\\Options";
    w.dw(options + "\\Mail", "Send Mail Immediately", 1);
    w.str(options + "\\Mail", "EditorPreference", "131072");
    w.dw(options + "\\Calendar", "FirstDOW", 1);
    w.bin(options + "\\Calendar", "WorkDay", {0x1F, 0x00, 0x00, 0x00});
    w.dw(options + "\\Spelling", "Check", 1);

    // Profiles and their data file references.
    std::uint8_t storeNumber = 1;
    for (const DemoStore& s : stores) {
        w.bin(s.serviceKey, "01020fff", storeEntryId(storeNumber++, s.targetPath, s.wide));
        if (s.wide) {
            // PR_PST_PATH_W, in a fixed buffer of MAX_PATH characters as Outlook writes it.
            w.bin(s.serviceKey, "001f6700", utf16le(s.targetPath, true, 520));
        } else {
            // Older profiles keep the path in single-byte form (PR_PST_PATH_A).
            w.bin(s.serviceKey, "001e6700", ansi(s.targetPath, true));
        }
        w.bin(s.serviceKey, "001f3001", utf16le("Personal Folders", true));
    }
    const std::string providerMsg = "\\0a0d020000000000c000000000000046";
    for (const std::string& root : {profilesRootKey + "\\Outlook", profilesRootKey + "\\Second",
                                    olderProfilesRootKey + "\\" + legacyProfile}) {
        w.bin(root + providerMsg, "1102039b", {0x00, 0x00, 0x00, 0x00, 0x38, 0xA1, 0xBB, 0x10});
        w.bin(root + providerMsg, "001e023d", ansi("Outlook", true));
        w.bin(root + providerMsg, "001f0324", utf16le("Quire Demo", true));
    }
    // Personal address books: "001e6600" is read and written as a string value.
    w.str(profilesRootKey + "\\Outlook\\6c2fa05dbe714badf8f6071829304b56", "001e6600", addressBook);
    w.str(olderProfilesRootKey + "\\" + legacyProfile + "\\7d30b16ecf824cbe09071829304a5c67", "001e6600",
          addressBook);

    // Mail accounts (the accounts subkey) of the two newer profiles.
    for (const std::string& profile : profiles) {
        const std::string accounts = profilesRootKey + "\\" + profile + "\\9375CFF0413111d3B88A00104B2A6676";
        w.dw(accounts, "NextAccountID", 6);
        w.bin(accounts, "LastChangeVer", {0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
        const std::string mail = profile == "Outlook" ? "quire@example.com" : "second@example.com";
        w.bin(accounts + "\\00000002", "Account Name", utf16le(mail, true));
        w.bin(accounts + "\\00000002", "Email", utf16le(mail, true));
        w.bin(accounts + "\\00000002", "IMAP Server", utf16le("imap.example.com", true));
        w.bin(accounts + "\\00000002", "SMTP Server", utf16le("smtp.example.com", true));
        w.dw(accounts + "\\00000002", "IMAP Port", 993);
        const auto own = storesOf(profile);
        if (!own.empty()) {
            w.bin(accounts + "\\00000005", "Delivery Store EntryID",
                  storeEntryId(1, own.front().targetPath, true));
        }
    }
}

std::vector<std::string> DemoTargetSystem::profileKeys() const {
    std::vector<std::string> keys;
    for (const std::string& p : profiles) {
        keys.push_back(profilesRootKey + "\\" + p);
    }
    keys.push_back(olderProfilesRootKey + "\\" + legacyProfile);
    keys.push_back(std::string(kHkcu) + "Software\\Microsoft\\Office\\" + officeVersion +
                   "\\Outlook\\Options");
    return keys;
}

} // namespace qob
