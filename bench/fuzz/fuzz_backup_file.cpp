// A damaged or hostile backup file: opened on the restore side as the user would (password asked,
// information file read, boxes enabled), then every entry listed, found by name, extracted and
// verified through the archive component. Seeds: fuzz_make_seeds writes real ones.
#include "RestoreFixture.h"
#include "archive/Archive.h"
#include "restore/OpenBackup.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// The password fuzz_make_seeds protects its seed with.
constexpr char kSeedPassword[] = "fuzz-password";

// Every extraction is written durably (fsync of the file and its folder), which on a disk costs
// far more than the parsing under test: scratch folders go to memory when the machine has a
// tmpfs and the caller did not choose a folder. (About five times the executions per second.)
void scratchInMemory() {
    std::error_code ec;
    if (std::getenv("TMPDIR") == nullptr && fs::is_directory("/dev/shm", ec)) {
        ::setenv("TMPDIR", "/dev/shm", 0);
    }
}

struct World {
    qob::test::RestoreWorld restore;
    qob::test::TempDir scratch;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static World* world = [] {
        scratchInMemory();
        return new World; // built once: a demo target system takes a while
    }();
    const fs::path file = world->scratch / "fuzz.qob";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    qob::test::RestoreWorld& w = world->restore;
    w.dialogs.messages.clear();
    w.dialogs.passwordAnswers = {std::string(kSeedPassword)};
    (void)qob::openBackupFile(*w.form, w.archive, file);
    w.archive.closeArchive();

    qob::Archive archive;
    const fs::path out = world->scratch / "out";
    fs::create_directories(out);
    archive.setWorkingFolder(world->scratch.path());
    (void)archive.isPasswordProtected(file);
    archive.setReadPassword(kSeedPassword);
    if (archive.openArchive(file)) {
        (void)archive.verifyPassword();
        (void)archive.entryCount();
        for (const qob::ArchiveEntryInfo& info : archive.entries()) {
            if (auto entry = archive.findEntry(info.name)) {
                if (qob::Archive::isSafeEntryName(entry->name())) {
                    (void)entry->extractTo(out);
                }
                (void)entry->extractToFile(world->scratch / "one");
            }
        }
        (void)archive.findEntry(qob::kInfoEntryName);
        (void)archive.verify();
        archive.closeArchive();
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::remove(world->scratch / "one", ec);
    return 0;
}
