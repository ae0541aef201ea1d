// A restore left unfinished by a kill: the next run completes it, or undoes it when asked to, from
// its journal alone; a journal that cannot complete says what to do; and no run touches the files
// of a restore whose process still lives.
#include "restore/RestoreJournal.h"
#include "RestoreFixture.h"
#include "platform/RunLock.h"
#include "restore/RestoreTransaction.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

namespace qob::test {
namespace {

namespace fs = std::filesystem;
using journal::Owner;

void write(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
}

// A process that runs until the test ends it, and who it is.
struct LiveProcess {
    pid_t pid = -1;
    Owner owner;
    LiveProcess() {
        int fds[2];
        if (::pipe(fds) != 0) {
            throw std::runtime_error("pipe");
        }
        pid = ::fork();
        if (pid == 0) {
            const std::string line = journal::ownerLine(journal::currentOwner());
            [[maybe_unused]] ssize_t n = ::write(fds[1], line.data(), line.size());
            ::pause();
            ::_exit(0);
        }
        ::close(fds[1]);
        char buf[128] = {};
        [[maybe_unused]] ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
        ::close(fds[0]);
        journal::parseOwner(buf, owner);
    }
    void end() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    ~LiveProcess() { end(); }
};

// The state a commit leaves when it is killed after saving the registry and moving the first of
// its two files: old.txt replaced (its earlier bytes kept aside), new.txt still waiting.
struct KilledCommit {
    RestoreWorld w;
    fs::path folder = w.demo.driveFolder();
    fs::path replaced = folder / "old.txt";
    fs::path aside = folder / ".old.txt.qobold-abc123";
    fs::path added = folder / "new.txt";
    fs::path addedTemp = folder / ".new.txt.qobnew-def456";
    std::string key = w.demo.profilesRootKey + "\\Second\\JournalTest";

    explicit KilledCommit(const Owner& owner) {
        write(aside, "earlier");
        write(replaced, "restored");
        write(addedTemp, "added");
        w.store.makeKey(key);
        w.registry.setStringValue(key, "Value", "before");
        std::string text = std::string(journal::kHead) + "\n" + journal::ownerLine(owner);
        text += journal::renameLine({folder / ".old.txt.qobnew-abc123", replaced, aside});
        text += journal::renameLine({addedTemp, added, {}});
        std::string before;
        journal::recordKey(w.registry, key, 'B', before);
        w.registry.setStringValue(key, "Value", "after");
        journal::recordKey(w.registry, key, 'K', text);
        text += before + "END\n";
        write(restoreJournalPath(*w.platform), text);
    }
};

Owner goneOwner() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return Owner{pid, 1};
}

TEST(RestoreJournal, AKilledCommitIsCompletedOrUndoneFromItsJournal) {
    for (const bool undo : {false, true}) {
        SCOPED_TRACE(undo ? "undone" : "completed");
        KilledCommit k(goneOwner());
        std::string note;
        ASSERT_TRUE(undo ? abandonInterruptedRestore(*k.w.platform, note)
                         : completeInterruptedRestore(*k.w.platform));
        EXPECT_EQ(readFile(k.replaced), undo ? "earlier" : "restored");
        EXPECT_EQ(fs::exists(k.added), !undo);
        if (!undo) {
            EXPECT_EQ(readFile(k.added), "added");
        }
        EXPECT_EQ(k.w.registry.getStringValue(k.key, "Value"), undo ? "before" : "after");
        EXPECT_FALSE(interruptedRestorePending(*k.w.platform));
        EXPECT_TRUE(leftovers(k.w.demo.prefix).empty()) << joined(leftovers(k.w.demo.prefix));
        // Nothing left to do, either way.
        EXPECT_TRUE(completeInterruptedRestore(*k.w.platform));
        EXPECT_TRUE(abandonInterruptedRestore(*k.w.platform, note));
        EXPECT_NE(note.find("no interrupted restore"), std::string::npos) << note;
    }
}

// The rename fails for good (a folder where the file goes): every run refuses, saying how to get
// out, until the restore is undone; then the target is as it was before the restore.
TEST(RestoreJournal, AJournalThatCannotCompleteSaysWhatToDoAndIsUndone) {
    KilledCommit k(goneOwner());
    fs::create_directories(k.added / "inside");
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Status s = completeInterruptedRestore(*k.w.platform);
        ASSERT_FALSE(s);
        EXPECT_NE(s.message.find("qob restore --abandon"), std::string::npos) << s.message;
        EXPECT_TRUE(interruptedRestorePending(*k.w.platform));
    }
    std::string note;
    ASSERT_TRUE(undoInterruptedRestore(*k.w.platform, note)) << note;
    EXPECT_NE(note.find("put back"), std::string::npos) << note;
    EXPECT_EQ(readFile(k.replaced), "earlier");
    EXPECT_TRUE(fs::is_directory(k.added / "inside")); // the user's folder is not ours to remove
    EXPECT_EQ(k.w.registry.getStringValue(k.key, "Value"), "before");
    EXPECT_FALSE(interruptedRestorePending(*k.w.platform));
    EXPECT_TRUE(leftovers(k.w.demo.prefix).empty()) << joined(leftovers(k.w.demo.prefix));
}

// A restore that still runs (its process is alive, or it holds the run lock) owns its journal, its
// list of files and its temporary files: completing, clearing and undoing all leave them alone.
TEST(RestoreJournal, TheFilesOfALiveRestoreAreLeftAlone) {
    LiveProcess live;
    KilledCommit k(live.owner);
    const fs::path staging = restoreStagingPath(*k.w.platform);
    const fs::path extracting = k.folder / ".file.txt.qobnew-ghi789";
    write(extracting, "half");
    write(staging,
          journal::ownerLine(live.owner) + "T " + journal::hex((k.folder / "file.txt").string()) + "\n");
    const auto before = snapshotFiles(k.w.demo.prefix);
    std::string note;
    EXPECT_FALSE(completeInterruptedRestore(*k.w.platform));
    EXPECT_TRUE(completeInterruptedRestoreIfIdle(*k.w.platform)); // a start just goes on
    const Status undo = abandonInterruptedRestore(*k.w.platform, note);
    EXPECT_FALSE(undo);
    EXPECT_NE(undo.message.find("still working"), std::string::npos) << undo.message;
    fs::remove(restoreJournalPath(*k.w.platform)); // now only the extraction is under way
    EXPECT_FALSE(completeInterruptedRestore(*k.w.platform));
    EXPECT_TRUE(fs::exists(extracting));
    EXPECT_TRUE(fs::exists(staging));
    EXPECT_EQ(k.w.registry.getStringValue(k.key, "Value"), "after");

    // Another run holding the lock keeps a start's hands off too, whoever the owner is.
    live.end();
    k.w.system->lockPlace = {k.w.dir / "run.lock", "the demo", std::chrono::milliseconds(0)};
    RunLock held;
    ASSERT_TRUE(lockTargetSystem(*k.w.system, held, "restore"));
    EXPECT_TRUE(completeInterruptedRestoreIfIdle(*k.w.platform));
    EXPECT_TRUE(fs::exists(extracting));
    held.release();
    // Once the owner is gone and no run holds the lock, the start clears what it left.
    EXPECT_TRUE(completeInterruptedRestoreIfIdle(*k.w.platform));
    EXPECT_FALSE(fs::exists(extracting));
    EXPECT_FALSE(fs::exists(staging));
}

// A move that cannot happen is found before anything changes; one that fails all the same half-way
// through the commit puts back what had moved, the registry included.
TEST(RestoreJournal, ACommitThatCannotMoveEveryFileChangesNothing) {
    struct Case {
        const char* what;
        std::string blockedName;
        bool folderInTheWay;
    };
    for (const Case& c : {Case{"a folder in the way", "blocked.txt", true},
                          Case{"a name too long to move to", std::string(300, 'n'), false}}) {
        SCOPED_TRACE(c.what);
        RestoreWorld w;
        const fs::path folder = w.demo.driveFolder();
        const std::string key = w.demo.profilesRootKey + "\\Second\\CommitTest";
        w.store.makeKey(key);
        w.registry.setStringValue(key, "Value", "before");
        write(folder / "old.txt", "earlier");
        if (c.folderInTheWay) {
            fs::create_directories(folder / c.blockedName / "inside");
        }
        const auto filesBefore = snapshotFiles(w.demo.prefix);
        const RegistryDump registryBefore = dumpTree(w.store, "HKEY_CURRENT_USER");
        {
            RestoreTransaction tx(*w.platform);
            const fs::path first = folder / ".old.txt.qobnew-abc123",
                           second = folder / ".blocked.qobnew-def456";
            write(first, "restored");
            write(second, "blocked");
            tx.stage(first, folder / "old.txt");
            tx.stage(second, folder / c.blockedName);
            tx.touchKey(key);
            w.registry.setStringValue(key, "Value", "after");
            const Status committed = tx.commit();
            ASSERT_FALSE(committed);
            EXPECT_NE(committed.message.find("Nothing was restored."), std::string::npos)
                << committed.message;
        }
        EXPECT_EQ(snapshotFiles(w.demo.prefix), filesBefore);
        EXPECT_EQ(dumpTree(w.store, "HKEY_CURRENT_USER"), registryBefore);
        EXPECT_FALSE(interruptedRestorePending(*w.platform));
        EXPECT_TRUE(leftovers(w.demo.prefix).empty()) << joined(leftovers(w.demo.prefix));
    }
}

} // namespace
} // namespace qob::test
