#include "platform/wine/WineSystemServices.h"

#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace qob {
namespace {

constexpr char kCurrentVersionKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr char kProfileListKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool endsWithIgnoringCase(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && upper(text.substr(text.size() - tail.size())) == upper(tail);
}

std::string baseName(const std::string& path) {
    std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// NUL-separated fields of a /proc file; nullopt when it cannot be read (another user's process).
std::optional<std::vector<std::string>> readFields(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t nul = content.find('\0', pos);
        if (nul == std::string::npos)
            nul = content.size();
        fields.push_back(content.substr(pos, nul - pos));
        pos = nul + 1;
    }
    return fields;
}

std::filesystem::path comparable(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    std::filesystem::path result = (ec ? path : canonical).lexically_normal();
    // "/x/prefix/" and "/x/prefix" name the same folder.
    if (!result.has_filename() && result.has_parent_path() && result != result.root_path())
        result = result.parent_path();
    return result;
}

// The Windows executable a Wine process runs: argv[0] once Wine has set it up, or the program
// argument of a loader ("wine", "wine64", "wine64-preloader" ...) while it starts.
std::optional<std::string> windowsExecutable(const std::vector<std::string>& argv) {
    for (std::size_t i = 0; i < argv.size() && i < 3; ++i) {
        std::string base = baseName(argv[i]);
        if (endsWithIgnoringCase(base, ".exe") && base.size() > 4)
            return base;
        bool loader = base.rfind("wine", 0) == 0 && base != "wineserver";
        if (!loader)
            return std::nullopt;
    }
    return std::nullopt;
}

bool isExecutable(const std::filesystem::path& file) {
    std::error_code ec;
    return std::filesystem::is_regular_file(file, ec) && ::access(file.c_str(), X_OK) == 0;
}

// The Wine loader a process runs under ("/usr/lib/wine/wine64", or "wine64-preloader" beside its
// loader); a helper started with the same one talks to the same server version.
std::optional<std::filesystem::path> wineLoaderOf(const std::filesystem::path& procDir) {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink(procDir / "exe", ec);
    if (ec || !exe.is_absolute())
        return std::nullopt;
    std::string base = exe.filename().string();
    if (base.rfind("wine", 0) != 0 || base.rfind("wineserver", 0) == 0)
        return std::nullopt;
    const std::string preloader = "-preloader";
    if (base.size() > preloader.size() &&
        base.compare(base.size() - preloader.size(), preloader.size(), preloader) == 0)
        exe.replace_filename(base.substr(0, base.size() - preloader.size()));
    if (!isExecutable(exe))
        return std::nullopt;
    return exe;
}

std::optional<std::filesystem::path> searchPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && dir.front() == '/') {
            std::filesystem::path candidate = std::filesystem::path(dir) / program;
            if (isExecutable(candidate))
                return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace

WineSystemServices::WineSystemServices(std::filesystem::path prefixDir, RegistryStore& registry)
    : WineSystemServices(std::move(prefixDir), registry, Options{}) {}

WineSystemServices::WineSystemServices(std::filesystem::path prefixDir, RegistryStore& registry,
                                       Options options)
    : prefix_(std::move(prefixDir)), registry_(registry), options_(std::move(options)), probe_(prefix_) {}

std::optional<std::string> WineSystemServices::readString(RegRoot root, const std::string& key,
                                                          const std::string& name) const {
    RegHandle handle = 0;
    if (registry_.openKey(root, key, false, handle) != kRegSuccess)
        return std::nullopt;
    RegValue value;
    RegResult rc = registry_.queryValue(handle, name, value);
    registry_.closeKey(handle);
    if (rc != kRegSuccess || (value.type != kRegSz && value.type != kRegExpandSz))
        return std::nullopt;
    std::string text(value.data.begin(), value.data.end());
    return text.substr(0, text.find('\0'));
}

std::optional<std::uint32_t> WineSystemServices::readDword(RegRoot root, const std::string& key,
                                                           const std::string& name) const {
    RegHandle handle = 0;
    if (registry_.openKey(root, key, false, handle) != kRegSuccess)
        return std::nullopt;
    RegValue value;
    RegResult rc = registry_.queryValue(handle, name, value);
    registry_.closeKey(handle);
    if (rc != kRegSuccess || value.type != kRegDword || value.data.size() < 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(value.data[0]) | static_cast<std::uint32_t>(value.data[1]) << 8 |
           static_cast<std::uint32_t>(value.data[2]) << 16 | static_cast<std::uint32_t>(value.data[3]) << 24;
}

std::string WineSystemServices::computerName() const {
    // CurrentControlSet is a link Wine keeps to ControlSet001; a store that does not follow
    // links still finds the name there.
    for (const char* set : {"CurrentControlSet", "ControlSet001"}) {
        auto name = readString(RegRoot::LocalMachine,
                               std::string("System\\") + set + "\\Control\\ComputerName\\ComputerName",
                               "ComputerName");
        if (name && !name->empty())
            return *name;
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        return "";
    std::string name(host);
    return upper(name.substr(0, name.find('.')));
}

std::string WineSystemServices::logonUser() const {
    if (options_.userName)
        return *options_.userName;
    // Wine runs a prefix only as the user who owns it, and names that user; we may be another
    // (root restoring a user's prefix).
    struct stat st {};
    const uid_t uid = ::stat(prefix_.c_str(), &st) == 0 ? st.st_uid : ::getuid();
    if (const passwd* pw = ::getpwuid(uid); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    if (const char* user = std::getenv("USER"))
        return user;
    return "";
}

std::string WineSystemServices::windowsFolder() const {
    return "C:\\windows";
}

std::string WineSystemServices::userProfile() const {
    const std::string user = logonUser();
    std::optional<std::string> first;
    RegHandle list = 0;
    if (registry_.openKey(RegRoot::LocalMachine, kProfileListKey, false, list) == kRegSuccess) {
        std::vector<std::string> sids;
        std::string sid;
        for (std::uint32_t i = 0; registry_.enumKey(list, i, sid) == kRegSuccess; ++i)
            sids.push_back(sid);
        registry_.closeKey(list);
        for (const std::string& s : sids) {
            if (upper(s).rfind("S-1-5-21-", 0) != 0)
                continue;
            auto path = readString(RegRoot::LocalMachine, std::string(kProfileListKey) + "\\" + s,
                                   "ProfileImagePath");
            if (!path || path->empty())
                continue;
            // Real Windows stores "%SystemDrive%\Users\name".
            if (upper(path->substr(0, 13)) == "%SYSTEMDRIVE%")
                *path = "C:" + path->substr(13);
            if (!user.empty() && endsWithIgnoringCase(*path, "\\" + user))
                return *path;
            if (!first)
                first = *path;
        }
    }
    if (first)
        return *first;
    return "C:\\users\\" + user;
}

std::optional<std::string> WineSystemServices::variable(const std::string& name) const {
    const std::string key = upper(name);
    if (key != "USERPROFILE" && key != "USERNAME" && key != "COMPUTERNAME") {
        // Wine writes the values it derived at start-up here; a value still holding a reference
        // is left to the rules below.
        auto stored = readString(RegRoot::CurrentUser, "Volatile Environment", name);
        if (stored && !stored->empty() && stored->find('%') == std::string::npos)
            return stored;
    }
    auto profile = [&] { return userProfile(); };
    if (key == "USERPROFILE")
        return profile();
    if (key == "APPDATA")
        return profile() + "\\AppData\\Roaming";
    if (key == "LOCALAPPDATA")
        return profile() + "\\AppData\\Local";
    if (key == "TEMP" || key == "TMP")
        return profile() + "\\Temp";
    if (key == "HOMEDRIVE" || key == "HOMEPATH") {
        std::string p = profile();
        bool hasDrive = p.size() >= 2 && p[1] == ':';
        if (key == "HOMEDRIVE")
            return hasDrive ? p.substr(0, 2) : std::string("C:");
        return hasDrive ? p.substr(2) : p;
    }
    if (key == "SYSTEMROOT" || key == "WINDIR")
        return windowsFolder();
    if (key == "SYSTEMDRIVE")
        return std::string("C:");
    if (key == "PROGRAMFILES")
        return readString(RegRoot::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion",
                          "ProgramFilesDir")
            .value_or("C:\\Program Files");
    if (key == "PROGRAMDATA" || key == "ALLUSERSPROFILE")
        return readString(RegRoot::LocalMachine, kProfileListKey, "ProgramData").value_or("C:\\ProgramData");
    if (key == "PUBLIC")
        return readString(RegRoot::LocalMachine, kProfileListKey, "Public").value_or("C:\\users\\Public");
    if (key == "USERNAME")
        return logonUser();
    if (key == "COMPUTERNAME")
        return computerName();
    return std::nullopt;
}

std::string WineSystemServices::expandEnvironment(const std::string& text) const {
    // The rules of Wine's ExpandEnvironmentStrings: "%name%" of a known variable is replaced; an
    // unknown one ("%%" included) is copied with both signs and the scan goes on after it; a lone
    // "%" stays.
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t open = text.find('%', pos);
        if (open == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, open - pos);
        std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(open);
            break;
        }
        std::string name = text.substr(open + 1, close - open - 1);
        if (std::optional<std::string> value = name.empty() ? std::nullopt : variable(name)) {
            out += *value;
        } else {
            out += text.substr(open, close - open + 1);
        }
        pos = close + 1;
    }
    return out;
}

WindowsVersion WineSystemServices::windowsVersion() const {
    WindowsVersion version{6, 1, 7601};
    auto major = readDword(RegRoot::LocalMachine, kCurrentVersionKey, "CurrentMajorVersionNumber");
    auto minor = readDword(RegRoot::LocalMachine, kCurrentVersionKey, "CurrentMinorVersionNumber");
    if (major) {
        version.major = *major;
        version.minor = minor.value_or(0);
    } else if (auto text = readString(RegRoot::LocalMachine, kCurrentVersionKey, "CurrentVersion")) {
        std::uint32_t a = 0, b = 0;
        const char* end = text->data() + text->size();
        auto r1 = std::from_chars(text->data(), end, a);
        if (r1.ec == std::errc() && r1.ptr != end && *r1.ptr == '.') {
            auto r2 = std::from_chars(r1.ptr + 1, end, b);
            if (r2.ec == std::errc() && r2.ptr == end) {
                version.major = a;
                version.minor = b;
            }
        }
    }
    for (const char* name : {"CurrentBuildNumber", "CurrentBuild"}) {
        if (auto text = readString(RegRoot::LocalMachine, kCurrentVersionKey, name)) {
            std::uint32_t build = 0;
            auto r = std::from_chars(text->data(), text->data() + text->size(), build);
            if (r.ec == std::errc() && r.ptr == text->data() + text->size()) {
                version.build = build;
                break;
            }
        }
    }
    return version;
}

std::vector<ProcessInfo> WineSystemServices::processes() const {
    std::vector<ProcessInfo> found;
    const std::filesystem::path ours = comparable(prefix_);
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(options_.procRoot, ec)) {
        const std::string name = entry.path().filename().string();
        std::int64_t pid = 0;
        auto r = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (r.ec != std::errc() || r.ptr != name.data() + name.size() || pid <= 0)
            continue;
        auto env = readFields(entry.path() / "environ");
        if (!env)
            continue;
        std::optional<std::string> winePrefix, home;
        for (const std::string& var : *env) {
            if (var.rfind("WINEPREFIX=", 0) == 0)
                winePrefix = var.substr(11);
            else if (var.rfind("HOME=", 0) == 0)
                home = var.substr(5);
        }
        std::filesystem::path theirs;
        if (winePrefix && !winePrefix->empty())
            theirs = *winePrefix;
        else if (home && !home->empty())
            theirs = std::filesystem::path(*home) / ".wine"; // Wine's default prefix
        else
            continue;
        if (comparable(theirs) != ours)
            continue;
        auto argv = readFields(entry.path() / "cmdline");
        if (!argv)
            continue;
        if (auto exe = windowsExecutable(*argv))
            found.push_back({pid, *exe});
    }
    std::sort(found.begin(), found.end(),
              [](const ProcessInfo& a, const ProcessInfo& b) { return a.pid < b.pid; });
    return found;
}

bool WineSystemServices::terminateProcess(std::int64_t pid) {
    // Only a process of this prefix: a stale or mistyped pid must never reach another program
    // (and 0 or -1 would signal whole process groups).
    if (pid <= 0)
        return false;
    auto list = processes();
    if (std::none_of(list.begin(), list.end(), [&](const ProcessInfo& p) { return p.pid == pid; }))
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGTERM) == 0;
}

bool WineSystemServices::askToClose(const std::string& exeName) {
    if (exeName.empty() || exeName.find_first_of(std::string("\0\\/", 3)) != std::string::npos)
        return false;
    std::optional<std::filesystem::path> loader;
    for (const ProcessInfo& p : processes()) {
        if (lowerAscii(p.exeName) == lowerAscii(exeName)) {
            loader = wineLoaderOf(options_.procRoot / std::to_string(p.pid));
            if (loader)
                break;
        }
    }
    if (!loader)
        loader = searchPath("wine");
    if (!loader)
        return false;

    // Everything the child needs is built before fork(): after it only exec-safe calls run.
    std::vector<std::string> args{loader->string(), "taskkill", "/im", exeName};
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string var(*e);
        if (var.rfind("WINEPREFIX=", 0) != 0 && var.rfind("WINEDEBUG=", 0) != 0)
            env.push_back(std::move(var));
    }
    env.push_back("WINEPREFIX=" + prefix_.string());
    env.push_back("WINEDEBUG=-all");
    std::vector<char*> argv, envp;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    // Wine serves a prefix only to its owner: root asking for a user's prefix asks as that user.
    struct stat owner {};
    const bool becomeOwner = ::geteuid() == 0 && ::stat(prefix_.c_str(), &owner) == 0 && owner.st_uid != 0;

    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // Never a pipe of ours: Wine's service processes inherit it and keep it open.
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
        }
        if (becomeOwner &&
            (::setgroups(0, nullptr) != 0 || ::setgid(owner.st_gid) != 0 || ::setuid(owner.st_uid) != 0))
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    const auto step = std::chrono::milliseconds(20);
    int status = 0;
    for (auto waited = std::chrono::milliseconds(0);; waited += step) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0)
            return false;
        if (waited >= options_.closeRequestLimit) {
            // Our own helper hangs, not the program asked to close: ending it loses nothing.
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(step);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WineSystemServices::registryHeld() {
    return probe_.running(true);
}

} // namespace qob
