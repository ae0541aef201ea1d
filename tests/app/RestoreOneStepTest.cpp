// qob restore changes the prefix as one step, whatever else happens: a damaged entry commits
// nothing, another qob started during the restore leaves its files alone, and a restore that could
// not be completed is undone with qob restore --abandon.
#include "DemoCli.h"
#include "TestPaths.h"
#include "ZipTools.h"
#include "app/cli/Cli.h"
#include "app/cli/RestoreCommand.h"
#include "restore/RestoreJournal.h"
#include "restore/RestoreTransaction.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

namespace qob {
namespace {

namespace fs = std::filesystem;

std::map<std::string, std::string> contentsOf(const fs::path& folder) {
    std::map<std::string, std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && !entry.is_symlink()) {
            out[fs::relative(entry.path(), folder).string()] = test::readBytes(entry.path());
        }
    }
    return out;
}

// The stored CRC of `name`, in its local header and in the central directory, no longer matches.
void spoilCrc(const fs::path& zip, const std::string& name) {
    std::string bytes = test::readBytes(zip);
    auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    int patched = 0;
    for (const auto& [signature, nameAt, crcAt] : {std::tuple{std::string("PK\x03\x04", 4), 30, 14},
                                                   std::tuple{std::string("PK\x01\x02", 4), 46, 16}}) {
        const std::size_t lengthAt = signature[2] == 3 ? 26 : 28;
        for (std::size_t p = bytes.find(signature); p != std::string::npos;
             p = bytes.find(signature, p + 1)) {
            if (u16(p + lengthAt) == name.size() && bytes.compare(p + nameAt, name.size(), name) == 0) {
                bytes[p + crcAt] ^= 0x01;
                ++patched;
            }
        }
    }
    ASSERT_EQ(patched, 2) << name;
    test::writeBytes(zip, bytes);
}

struct Restoring {
    test::DemoCli demo;
    fs::path backup = demo.dir / "outlook.qob";
    Restoring() {
        if (cli::runCli({"--prefix", demo.prefix.string(), "backup", "--profile", "Outlook", "--items",
                         "111111111", backup.string()},
                        demo.out, demo.err) != 0) {
            throw std::runtime_error(demo.err.str());
        }
    }
    int restore(JobObserver& observer, const fs::path& prefix) {
        cli::Args args = cli::parseArgs({backup.string(), "--profile", "Second", "--items", "111111111"},
                                        {"--profile", "--items", "--password-file"});
        args.options["--prefix"] = prefix.string();
        StopToken never;
        demo.out.str("");
        demo.err.str("");
        return cli::runRestoreCommand(args, demo.out, demo.err, observer, never);
    }
    int run(const std::vector<std::string>& words) {
        demo.out.str("");
        demo.err.str("");
        return cli::runCli(words, demo.out, demo.err);
    }
    std::string second(const fs::path& prefix) {
        const fs::path exported = demo.dir / "second.txt";
        run({"--prefix", prefix.string(), "reg", "export",
             "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Profiles\\Second",
             exported.string()});
        return test::readBytes(exported);
    }
};

// A damaged entry, however it is damaged, fails its item before the commit: the whole prefix,
// registry files included, stays byte for byte as it was, and the run names the item.
TEST(RestoreOneStep, ADamagedEntryCommitsNothing) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> spoil;
    };
    for (const Case& c :
         {Case{"a flipped byte", [](const fs::path& f) { test::flipByteInEntry(f, "Work.htm"); }},
          Case{"a wrong CRC", [](const fs::path& f) { spoilCrc(f, "Work.txt"); }}}) {
        SCOPED_TRACE(c.what);
        Restoring r;
        c.spoil(r.backup);
        const auto before = contentsOf(r.demo.prefix);
        JobObserver none;
        EXPECT_EQ(r.restore(none, r.demo.prefix), 1);
        EXPECT_NE(r.demo.err.str().find("Nothing was restored, because \"Restore Signatures\" could not be "
                                        "restored"),
                  std::string::npos)
            << r.demo.err.str();
        EXPECT_EQ(contentsOf(r.demo.prefix), before);
    }
}

// Another qob started on the prefix while the restore extracts, and again as it commits, finds the
// run lock taken and leaves the restore's files alone: the restore ends whole.
TEST(RestoreOneStep, AnotherStartDuringTheRestoreLeavesItWhole) {
    Restoring r;
    const fs::path reference = r.demo.dir / "reference";
    fs::copy(r.demo.prefix, reference, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    JobObserver none;
    ASSERT_EQ(r.restore(none, reference), 0) << r.demo.err.str();

    struct Meddler : JobObserver {
        Restoring& r;
        std::vector<int> codes;
        explicit Meddler(Restoring& owner) : r(owner) {}
        void meddle() {
            std::ostringstream out, err;
            codes.push_back(cli::runCli({"--prefix", r.demo.prefix.string(), "profiles"}, out, err));
        }
        void status(const std::string&) override { meddle(); }
        void phaseStarted(JobPhase phase) override {
            if (phase == JobPhase::Committing) {
                meddle();
            }
        }
    } meddler(r);
    EXPECT_EQ(r.restore(meddler, r.demo.prefix), 0) << r.demo.err.str();
    EXPECT_GT(meddler.codes.size(), 3u);
    EXPECT_EQ(meddler.codes, std::vector<int>(meddler.codes.size(), 0));
    EXPECT_EQ(contentsOf(r.demo.prefix / "drive_c"), contentsOf(reference / "drive_c"));
    EXPECT_EQ(r.second(r.demo.prefix), r.second(reference));
}

// A journal whose moves can never happen keeps every command out, saying what to do;
// qob restore --abandon puts the prefix back as it was, and the commands work again.
TEST(RestoreOneStep, AbandonUndoesARestoreThatCannotComplete) {
    test::DemoCli demo;
    const fs::path folder = demo.prefix / "drive_c";
    test::writeBytes(folder / "old.txt", "restored");
    test::writeBytes(folder / ".old.txt.qobold-abc123", "earlier");
    test::writeBytes(folder / ".Work_files.qobnew-def456", "a file where a folder is");
    fs::create_directories(folder / "Work_files" / "inside");
    // Written by a restore whose process has ended.
    const pid_t gone = ::fork();
    if (gone == 0) {
        ::_exit(0);
    }
    ::waitpid(gone, nullptr, 0);
    std::string text = std::string(journal::kHead) + "\n" + journal::ownerLine({gone, 1});
    text += journal::renameLine(
        {folder / ".old.txt.qobnew-abc123", folder / "old.txt", folder / ".old.txt.qobold-abc123"});
    text += journal::renameLine({folder / ".Work_files.qobnew-def456", folder / "Work_files", {}});
    text += "END\n";
    test::writeBytes(demo.prefix / ".quire-restore-journal", text);
    auto run = [&](const std::vector<std::string>& words) {
        demo.out.str("");
        demo.err.str("");
        std::vector<std::string> all{"--prefix", demo.prefix.string()};
        all.insert(all.end(), words.begin(), words.end());
        return cli::runCli(all, demo.out, demo.err);
    };
    ASSERT_EQ(run({"profiles"}), 1);
    EXPECT_NE(demo.err.str().find("qob restore --abandon"), std::string::npos) << demo.err.str();
    EXPECT_EQ(run({"restore", "--abandon", "x.qob"}), 2);
    ASSERT_EQ(run({"restore", "--abandon"}), 0) << demo.err.str();
    EXPECT_NE(demo.out.str().find("put back"), std::string::npos) << demo.out.str();
    EXPECT_EQ(test::readBytes(folder / "old.txt"), "earlier");
    EXPECT_FALSE(fs::exists(folder / ".Work_files.qobnew-def456"));
    EXPECT_FALSE(fs::exists(demo.prefix / ".quire-restore-journal"));
    EXPECT_EQ(run({"profiles"}), 0) << demo.err.str();
    EXPECT_EQ(run({"restore", "--abandon"}), 0);
    EXPECT_NE(demo.out.str().find("no interrupted restore"), std::string::npos) << demo.out.str();
}

} // namespace
} // namespace qob
