#include "platform/DurableFile.h"
#include "platform/wine/WinePrefixParts.h"
#include "platform/wine/WinePrefixRegistry.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// Loading, checking and saving the prefix's three registry files; the key and value operations on
// them are in WinePrefixRegistry.cpp.
namespace qob {

using namespace wineprefix;

WinePrefixRegistry::WinePrefixRegistry(std::filesystem::path prefix)
    : WinePrefixRegistry(std::move(prefix), Options{}) {}

WinePrefixRegistry::WinePrefixRegistry(std::filesystem::path prefix, Options options)
    : prefix_(std::move(prefix)), options_(std::move(options)), probe_(prefix_) {
    if (!options_.clock)
        options_.clock = [] { return wine::fileTimeNow(); };
    for (int i = 0; i < 3; ++i) {
        hives_[i] = std::make_unique<Hive>();
        hives_[i]->path = prefix_ / kHiveInfo[i].fileName;
    }
}

WinePrefixRegistry::~WinePrefixRegistry() = default;

bool WinePrefixRegistry::serverRunning() const {
    return serverRunningNow(true);
}

bool WinePrefixRegistry::serverRunningNow(bool thorough) const {
    const auto now = std::chrono::steady_clock::now();
    if (thorough || now - serverCheckedAt_ > std::chrono::milliseconds(100)) {
        serverWasRunning_ = probe_.running(thorough);
        serverCheckedAt_ = now;
    }
    return serverWasRunning_;
}

std::vector<std::string> WinePrefixRegistry::loadWarnings() const {
    std::vector<std::string> out;
    for (const auto& hive : hives_) {
        // A loaded hive's values are read on first use, and their lines' warnings with them.
        const auto warnings = hive->file ? hive->file->warnings() : hive->warnings;
        out.insert(out.end(), warnings.begin(), warnings.end());
    }
    return out;
}

std::vector<std::string> WinePrefixRegistry::loadErrors() const {
    std::vector<std::string> out;
    for (const auto& hive : hives_)
        if (hive->state == Hive::State::Failed)
            out.push_back(hive->error);
    return out;
}

RegResult WinePrefixRegistry::fail(RegResult code, std::string why) {
    lastError_ = std::move(why);
    return code;
}

WinePrefixRegistry::Hive* WinePrefixRegistry::hiveAt(int index) {
    return hives_[static_cast<std::size_t>(index)].get();
}

std::string WinePrefixRegistry::prefixArch() {
    if (!arch_.empty())
        return arch_;
    // A fresh file must carry the prefix's architecture, or Wine refuses it: take it from any file
    // that has one.
    for (const auto& info : kHiveInfo) {
        std::FILE* f = std::fopen((prefix_ / info.fileName).c_str(), "rb");
        if (!f)
            continue;
        char line[256];
        for (int i = 0; i < 8 && std::fgets(line, sizeof line, f); ++i) {
            if (!std::strncmp(line, "#arch=win32", 11) || !std::strncmp(line, "#arch=win64", 11)) {
                std::fclose(f);
                return std::string(line + 6, 5);
            }
        }
        std::fclose(f);
    }
    // No file tells: a guess that is wrong makes Wine refuse the whole file (and never save it
    // again), while a file with no "#arch=" line is read by every build.
    return {};
}

void WinePrefixRegistry::loadHive(int index) {
    Hive& hive = *hiveAt(index);
    hive.warnings.clear();
    hive.error.clear();
    hive.dirty = false;
    ++hive.generation;
    hive.stamp = FileStamp::of(hive.path);
    const std::uint64_t now = options_.clock();
    if (!hive.stamp.exists) {
        hive.file =
            std::make_unique<WineRegistryFile>(std::string(kHiveInfo[index].rootPath), prefixArch(), now);
        hive.state = Hive::State::Loaded;
        return;
    }
    wine::WineRegistryLoadResult result;
    // Most of a large user.reg is other programs' values: each key's are read when first used.
    auto file = WineRegistryFile::load(hive.path, now, result, wine::ValueReading::OnFirstUse);
    if (result.ok && !file.arch().empty()) {
        if (arch_.empty()) {
            arch_ = file.arch();
        } else if (arch_ != file.arch()) {
            result.ok = false;
            result.error = std::string(kHiveInfo[index].fileName) +
                           ": Mismatched architecture '#arch=" + file.arch() +
                           "' (the prefix's other files say " + arch_ + ")";
        }
    }
    if (!result.ok) {
        hive.state = Hive::State::Failed;
        hive.error = result.error;
        hive.warnings = file.warnings(); // what a load reading every line at once would have said
        hive.file.reset();
        return;
    }
    hive.file = std::make_unique<WineRegistryFile>(std::move(file));
    hive.state = Hive::State::Loaded;
}

RegResult WinePrefixRegistry::ensureLoaded(int index) {
    Hive& hive = *hiveAt(index);
    const auto now = std::chrono::steady_clock::now();
    if (hive.state == Hive::State::NotLoaded) {
        loadHive(index);
        hive.checkedInOp = nextHandle_;
        hive.checkedAt = now;
    } else if (!hive.dirty && hive.checkedInOp != nextHandle_ &&
               (hive.lookAgain || now - hive.checkedAt >= options_.reloadCheckInterval)) {
        hive.lookAgain = false;
        // Pick up a file changed on disk (Wine ran meanwhile), but at most once per call (raw
        // key pointers of this call must stay valid) and only while we hold no changes of our
        // own: a reload would drop them.
        hive.checkedInOp = nextHandle_;
        hive.checkedAt = now;
        if (!FileStamp::of(hive.path).sameAs(hive.stamp))
            loadHive(index);
    }
    if (hive.state == Hive::State::Failed)
        return fail(kRegBadDb, hive.error);
    return kRegSuccess;
}

RegResult WinePrefixRegistry::checkWritable(int hiveIndex) {
    if (hiveIndex == kNoHive)
        return fail(kRegAccessDenied, "HKEY_USERS itself cannot be changed");
    if (const RegResult rc = ensureLoaded(hiveIndex); rc != kRegSuccess)
        return rc;
    if (serverRunningNow(false))
        return fail(kRegAccessDenied, "the wineserver of " + prefix_.string() + " is running (pid " +
                                          std::to_string(probe_.ownerPid()) +
                                          "); its registry cannot be changed until it exits");
    return kRegSuccess;
}

void WinePrefixRegistry::touch(int hiveIndex, WineRegistryKey& key) {
    key.modified = options_.clock();
    hiveAt(hiveIndex)->dirty = true;
}

RegResult WinePrefixRegistry::flush() {
    ++nextHandle_;
    lastError_.clear();
    if (serverRunningNow(true))
        return fail(kRegAccessDenied, "the wineserver of " + prefix_.string() + " is running (pid " +
                                          std::to_string(probe_.ownerPid()) + "); nothing was saved");
    RegResult result = kRegSuccess;
    std::string errors;
    bool locked = false;
    for (int i = 0; i < 3; ++i) {
        if (hiveAt(i)->state != Hive::State::Loaded || !hiveAt(i)->dirty)
            continue;
        // A server starting while a file is replaced would load the old one and save it over
        // ours when it exits: keep it out (it fails to start) for as long as the files change.
        if (!locked && !(locked = probe_.holdLocks()))
            return fail(kRegAccessDenied, "the wineserver of " + prefix_.string() + " is running (pid " +
                                              std::to_string(probe_.ownerPid()) + "); nothing was saved");
        if (const RegResult rc = writeHive(i); rc != kRegSuccess) {
            result = rc;
            errors += (errors.empty() ? "" : "; ") + lastError_;
        }
    }
    if (locked)
        probe_.releaseLocks();
    serverCheckedAt_ = {};
    lastError_ = errors;
    return result;
}

RegResult WinePrefixRegistry::writeHive(int index) {
    Hive& hive = *hiveAt(index);
    const std::string fileName = kHiveInfo[index].fileName;
    if (!FileStamp::of(hive.path).sameAs(hive.stamp))
        return fail(kRegAccessDenied, fileName +
                                          " changed on disk since it was loaded; it was not overwritten, "
                                          "so those changes are kept and ours are not saved");
    // Write where the data really lives when the file is a symbolic link, so the link survives.
    std::filesystem::path target = hive.path;
    std::error_code ec;
    if (std::filesystem::is_symlink(target, ec)) {
        target = std::filesystem::canonical(target, ec);
        if (ec)
            return fail(kRegAccessDenied, fileName + ": cannot follow its symbolic link: " + ec.message());
    }
    const std::string text = hive.file->serialize();
    // Leftovers of a save that was killed half-way (no live writer holds them).
    removeAbandonedTemporaries(target.parent_path(), target.filename().string() + ".tmp-");
    DurableReplace out(target, target.filename().string() + ".tmp-", options_.sync);
    // The file must stay its owner's: Wine runs as the prefix's owner, and a file it cannot read
    // (root's, mode 0600) would be loaded as an empty hive and saved over ours. A new file is
    // Wine's usual 0644 and, when root writes it, the folder owner's.
    out.setNewFileMode(0644);
    // A failure here is not the server's doing: say what happened (a full disk, a read-only
    // folder), with its own code so that nobody reports it as "in use by Wine".
    if (!out.ok())
        return fail(kRegWriteFault, fileName + ": " + out.error().message + "; the file is unchanged");
    Status saved = out.write(text);
    if (saved)
        saved = out.commit();
    if (!saved)
        return fail(kRegWriteFault,
                    fileName + ": " + saved.message + (out.replaced() ? "" : "; the file is unchanged"));
    hive.stamp = FileStamp::of(hive.path);
    hive.dirty = false;
    return kRegSuccess;
}

RegResult WinePrefixRegistry::discardChanges() {
    ++nextHandle_;
    lastError_.clear();
    for (int i = 0; i < 3; ++i) {
        Hive& hive = *hiveAt(i);
        if (hive.state == Hive::State::Loaded && hive.dirty) {
            // Read again from the file on first use: what is on disk is what was last saved.
            hive.file.reset();
            hive.dirty = false;
            hive.state = Hive::State::NotLoaded;
        } else if (hive.state == Hive::State::Loaded) {
            // Someone else may have saved it a moment ago: the next use looks at the file.
            hive.lookAgain = true;
        }
    }
    return kRegSuccess;
}

} // namespace qob
