#include "RestoreFixture.h"

#include "ZipTools.h"
#include "registry/KeyHandle.h"
#include "settings/InfoFile.h"

#ifdef _WIN32
#include "platform/win32/Win32TargetFileSystem.h"
#else
#include "platform/wine/WineTargetFileSystem.h"
#endif

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qob::test {

namespace fs = std::filesystem;

RestoreWorld::RestoreWorld() {
    demo = DemoTargetSystem::createFiles(dir / "prefix");
    demo.writeRegistry(store);
    fs::create_directories(programFolder());
#ifdef _WIN32
    files = std::make_unique<Win32TargetFileSystem>();
#else
    files = std::make_unique<WineTargetFileSystem>(demo.prefix);
#endif
    system = std::make_unique<DemoSystemServices>(demo);
    platform = std::unique_ptr<TargetContext>(
        new TargetContext{{store, *files, *system, dialogs, programFolder(), demo.prefix}, registry});
    form = std::make_unique<MainForm>(*platform);
    if (!form->formLoad()) {
        throw std::runtime_error("demo form did not load");
    }
    archive.setWorkingFolder(programFolder());
}

void RestoreWorld::target(const std::string& profile) {
    auto& items = form->cbTarget.items;
    auto it = std::find(items.begin(), items.end(), profile);
    form->cbTarget.selected = it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

void RestoreWorld::tickRestore(std::initializer_list<int> boxes) {
    for (auto& box : form->restoreItem) {
        box.checked = false;
    }
    for (int b : boxes) {
        form->restoreItem[static_cast<std::size_t>(b)].checked = true;
    }
}

std::vector<std::string> leftovers(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".qobtmp-") != std::string::npos || name.find(".qobnew-") != std::string::npos ||
            name.find(".qobold-") != std::string::npos || name.find(".quire-restore-") != std::string::npos) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::uint8_t> utf16(const std::string& text, bool terminate) {
    std::vector<std::uint8_t> out;
    for (unsigned char c : text) { // ASCII is enough for the tests
        out.push_back(c);
        out.push_back(0);
    }
    if (terminate) {
        out.push_back(0);
        out.push_back(0);
    }
    return out;
}

void writeBackup(const fs::path& file, const BackupSpec& spec) {
    TempDir scratch;
    const bool handMade = std::any_of(spec.entries.begin(), spec.entries.end(), [&](const BackupEntry& e) {
        return e.symlink ||
               std::count_if(spec.entries.begin(), spec.entries.end(),
                             [&](const BackupEntry& o) { return o.name == e.name; }) > 1 ||
               !Archive::isSafeEntryName(e.name);
    });
    std::string info;
    for (const auto& [key, value] : spec.infoLines) {
        info += key + "=" + value + "\r\n";
    }
    if (handMade) {
        std::vector<ZipEntrySpec> zipEntries;
        for (const BackupEntry& e : spec.entries) {
            zipEntries.push_back({e.name, e.data, e.symlink});
        }
        if (spec.withInfo) {
            zipEntries.push_back({kInfoEntryName, info, false});
        }
        makeZip(file, zipEntries);
        return;
    }
    Archive archive;
    archive.setWorkingFolder(scratch.path());
    if (!archive.createArchive(file)) {
        throw std::runtime_error("createArchive failed");
    }
    int n = 0;
    for (const BackupEntry& e : spec.entries) {
        fs::path src = scratch / ("src" + std::to_string(n++));
        writeBytes(src, e.data);
        if (Status s = archive.addFile(src, e.name); !s) {
            throw std::runtime_error(s.message);
        }
    }
    if (spec.withInfo) {
        fs::path infoFile = scratch / "info";
        writeBytes(infoFile, info);
        if (Status s = archive.addFile(infoFile, kInfoEntryName); !s) {
            throw std::runtime_error(s.message);
        }
    }
    if (!spec.password.empty()) {
        archive.setProtected(true);
        archive.setWritePassword(spec.password);
    }
    if (Status s = archive.writeArchive(); !s) {
        throw std::runtime_error(s.message);
    }
}

BackupSpec minimalSpec(const std::string& flags) {
    BackupSpec spec;
    spec.infoLines = {{"BackupComputer", "OLDPC"},
                      {"BackupLogonUser", "anna"},
                      {"BackupIdentity", "Outlook"},
                      {"BackupTime", "12/7/2026 8:00:00 PM"},
                      {"Outlookversion", "Outlook 2013"},
                      {"BackupInformation", "line 1PS$QBXline 2"},
                      {"BackupItem", flags}};
    return spec;
}

void addItemLine(BackupSpec& spec, const std::string& key, const std::string& value) {
    spec.infoLines.insert(spec.infoLines.end() - 1, {key, value});
}

BackupSpec backupOfProfile(RestoreWorld& world, const std::string& profile) {
    BackupSpec spec = minimalSpec("11111111111");
    const DemoTargetSystem& d = world.demo;
    TempDir scratch;
    int exportNo = 0;
    auto exportKey = [&](const std::string& key, const std::string& entry) {
        fs::path f = scratch / ("export" + std::to_string(exportNo++));
        world.registry.exportKey(key, "", f);
        spec.entries.push_back({entry, readFile(f)});
        return entry;
    };
    std::vector<std::string> stored;
    auto addFile = [&](const std::string& folder, const std::string& name) {
        if (std::find(stored.begin(), stored.end(), name) == stored.end()) {
            spec.entries.push_back({name, readFile(world.host(folder + "\\" + name))});
            stored.push_back(name);
        }
        return name;
    };
    auto join = [](const std::vector<std::string>& names) {
        std::string out;
        for (const auto& n : names) {
            out += (out.empty() ? "" : ";") + n;
        }
        return out;
    };
    auto folderFiles = [&](const std::string& folder) {
        std::vector<std::string> names;
        for (const auto& n : world.files->listFiles(folder, false)) {
            names.push_back(addFile(folder, n));
        }
        return join(names);
    };
    addItemLine(spec, "BackupConfig", exportKey(d.profilesRootKey + "\\" + profile, "qbc1A.tmp"));
    std::vector<std::string> datas;
    for (const DemoStore& s : d.storesOf(profile)) {
        const std::string folder = s.targetPath.substr(0, s.targetPath.rfind('\\'));
        datas.push_back(addFile(folder, s.targetPath.substr(s.targetPath.rfind('\\') + 1)));
    }
    addItemLine(spec, "BackupDatas", join(datas));
    addFile(d.roamingDataFolder, "Outlook.rwz");
    addItemLine(spec, "BackupRules", "Outlook.RWZ");
    addItemLine(
        spec, "BackupAccounts",
        exportKey(d.profilesRootKey + "\\" + profile + "\\9375CFF0413111d3B88A00104B2A6676", "qba2B.tmp"));
    addItemLine(spec, "BackupSignatures", folderFiles(d.signaturesFolder));
    addItemLine(spec, "BackupStationery", folderFiles(d.stationeryFolder));
    addItemLine(spec, "BackupPab", addFile(d.localDataFolder, "mailbox.pab"));
    addItemLine(
        spec, "BackupConfigsetting",
        exportKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options", "qbc3C.tmp"));
    addItemLine(spec, "BackupTemplates", folderFiles(d.templatesFolder));
    addItemLine(spec, "BackupSetting", folderFiles(d.roamingDataFolder));
    addItemLine(spec, "BackupContacts", folderFiles(d.contactsFolder));
    spec.infoLines[2].second = profile;
    return spec;
}

namespace {

void dumpInto(RegistryStore& store, RegRoot root, const std::string& path, const std::string& relative,
              RegistryDump& out) {
    KeyHandle key(store);
    if (store.openKey(root, path, false, key.out()) != kRegSuccess) {
        return;
    }
    std::string upper = relative;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    out[upper + "|"] = {};
    for (std::uint32_t i = 0;; ++i) {
        RegValue v;
        if (store.enumValue(key.get(), i, v) != kRegSuccess) {
            break;
        }
        out[upper + "|" + v.name] = {v.type, v.data};
    }
    for (std::uint32_t i = 0;; ++i) {
        std::string name;
        if (store.enumKey(key.get(), i, name) != kRegSuccess) {
            break;
        }
        dumpInto(store, root, path + "\\" + name, relative + "\\" + name, out);
    }
}

} // namespace

RegistryDump dumpTree(RegistryStore& store, const std::string& keyPath) {
    RegistryDump out;
    const std::string hkcu = "HKEY_CURRENT_USER\\";
    const std::string hklm = "HKEY_LOCAL_MACHINE\\";
    if (keyPath.rfind(hkcu, 0) == 0) {
        dumpInto(store, RegRoot::CurrentUser, keyPath.substr(hkcu.size()), "", out);
    } else if (keyPath.rfind(hklm, 0) == 0) {
        dumpInto(store, RegRoot::LocalMachine, keyPath.substr(hklm.size()), "", out);
    }
    return out;
}

std::map<std::string, std::string> snapshotFiles(const fs::path& folder) {
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink()) {
            if (it->is_directory()) {
                it.disable_recursion_pending();
            }
            continue;
        }
        if (it->is_regular_file()) {
            // '/' between the folders and UTF-8 names on every system, so expectations read alike.
            const std::u8string name = fs::relative(it->path(), folder).generic_u8string();
            out[std::string(name.begin(), name.end())] = readFile(it->path());
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) {
        out += l + "\n";
    }
    return out;
}

} // namespace qob::test
