#pragma once
// The parts of WinePrefixRegistry that its two source files share: the three hive files it keeps
// (loading, checking, saving live in WinePrefixHives.cpp) and the handles and key locations the key
// and value operations use (WinePrefixRegistry.cpp). Only those two files include this.
#include "platform/FileStat.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "platform/wine/WineRegistryText.h"

#include <chrono>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace qob {
namespace wineprefix {

enum HiveIndex { kUserHive = 0, kMachineHive = 1, kDefaultUserHive = 2 };
inline constexpr int kNoHive = -1;

struct HiveInfo {
    const char* fileName;
    std::string_view rootPath;
};
inline constexpr HiveInfo kHiveInfo[3] = {
    {"user.reg", wine::kUserRootPath},
    {"system.reg", wine::kMachineRootPath},
    {"userdef.reg", wine::kUserDefaultRootPath},
};
inline const std::u16string kDefaultUserName = u".Default";
inline const std::u16string kUserSid = u"S-1-5-21-0-0-0-1000";
inline constexpr int kMaxLinkHops = 16;
inline constexpr RegResult kInvalidHandle = 6; // ERROR_INVALID_HANDLE

struct FileStamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    static FileStamp of(const std::filesystem::path& path) {
        FileStamp s;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) {
            s.exists = true;
            s.dev = st.st_dev;
            s.ino = st.st_ino;
            s.size = st.st_size;
            s.mtime = modificationTime(st);
            s.mode = st.st_mode;
            s.uid = st.st_uid;
            s.gid = st.st_gid;
        }
        return s;
    }
    bool sameAs(const FileStamp& o) const {
        if (exists != o.exists)
            return false;
        return !exists || (dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
                           mtime.tv_nsec == o.mtime.tv_nsec);
    }
};

} // namespace wineprefix

using wine::WineRegistryFile;
using wine::WineRegistryKey;
using wine::WineRegistryValue;

struct WinePrefixRegistry::Hive {
    enum class State { NotLoaded, Loaded, Failed } state = State::NotLoaded;
    std::filesystem::path path;
    std::unique_ptr<WineRegistryFile> file;
    std::string error;
    std::vector<std::string> warnings;
    wineprefix::FileStamp stamp; // the file as it was when loaded or last saved
    bool dirty = false;
    std::uint64_t generation = 0; // bumped by every (re)load
    std::uint64_t checkedInOp = 0;
    std::chrono::steady_clock::time_point checkedAt{};
    bool lookAgain = false; // the next call looks at the file whatever the interval
};

struct WinePrefixRegistry::Location {
    int hive = wineprefix::kNoHive;
    std::vector<std::u16string> path; // below the hive's root, links followed
    WineRegistryKey* key = nullptr;
    bool usersRoot = false; // the HKEY_USERS root itself, which only lists the hives under it
    bool classes = false;
    WineRegistryKey* machineClassesKey = nullptr; // the machine side of a classes key found for the user
};

struct WinePrefixRegistry::Handle {
    RegRoot root = RegRoot::None;
    int hive = wineprefix::kNoHive;
    std::vector<std::u16string> path;
    std::weak_ptr<WineRegistryKey> key;
    std::uint64_t generation = 0;
    bool usersRoot = false;
    std::vector<std::u16string> classesPath; // for HKEY_CLASSES_ROOT handles, resolved on each use
};

} // namespace qob
