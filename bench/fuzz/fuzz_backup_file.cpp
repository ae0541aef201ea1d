// A damaged or hostile backup file: opened on the restore side as the user would (password asked,
// information file read, boxes enabled), then every entry listed, found by name, extracted and
// verified through the archive component. Seeds: fuzz_make_seeds writes real ones.
#include "FuzzVerdict.h"
#include "RestoreFixture.h"
#include "archive/Archive.h"
#include "forms/OpenBackup.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    const qob::OpenResult result = qob::openBackupFile(*w.form, w.archive, file);
    qob::fuzz::note("open=" + std::to_string(static_cast<int>(result)));
    qob::fuzz::note("messages=" + std::to_string(w.dialogs.messages.size()));
    w.archive.closeArchive();

    qob::Archive archive;
    const fs::path out = world->scratch / "out";
    fs::create_directories(out);
    archive.setWorkingFolder(world->scratch.path());
    using qob::fuzz::note;
    note(archive.isPasswordProtected(file) ? "protected" : "plain");
    archive.setReadPassword(kSeedPassword);
    const bool opened = static_cast<bool>(archive.openArchive(file));
    note(opened ? "opened" : "refused");
    if (opened) {
        note(archive.verifyPassword() ? "password" : "no-password");
        note("entries=" + std::to_string(archive.entryCount()));
        for (const qob::ArchiveEntryInfo& info : archive.entries()) {
            note(qob::fuzz::digest(info.name));
            if (auto entry = archive.findEntry(info.name)) {
                if (qob::Archive::isSafeEntryName(entry->name())) {
                    note(entry->extractTo(out) ? "x" : "x!");
                }
                const bool one = static_cast<bool>(entry->extractToFile(world->scratch / "one"));
                note(one ? "f" : "f!");
                if (one) {
                    std::ifstream in(world->scratch / "one", std::ios::binary);
                    note(qob::fuzz::digest(std::string(std::istreambuf_iterator<char>(in), {})));
                }
            } else {
                note("unfound");
            }
        }
        note(archive.findEntry(qob::kInfoEntryName) ? "info" : "no-info");
        note(archive.verify() ? "verified" : "damaged");
        archive.closeArchive();
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::remove(world->scratch / "one", ec);
    return 0;
}
