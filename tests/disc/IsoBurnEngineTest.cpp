// The real engine through libburn's image-file drive: what it writes is read by another program
// (xorriso) and compared byte for byte; refusals, cancels and read-back mismatches say so, and a
// failed or cancelled write leaves an earlier image as it was.
#include "disc/IsoBurnEngine.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace qob::disc {
namespace {

namespace fs = std::filesystem;

struct Events : DiscEvents {
    std::vector<WriteStage> stages;
    std::vector<EngineError> errors;
    std::vector<std::pair<std::string, VerifyKind>> verified;
    int files = -1, matched = -1;
    void writeStatus(int, WriteStage stage) override {
        if (stages.empty() || stages.back() != stage) {
            stages.push_back(stage);
        }
    }
    void errorRaised(const EngineError& e) override { errors.push_back(e); }
    void verifyMismatch(const ImageItem& item, VerifyKind kind, int, int) override {
        verified.emplace_back(item.imagePath, kind);
    }
    void verifyFinished(int f, int m) override {
        files = f;
        matched = m;
    }
    // The one terminal report, which must come last.
    WriteStage end() const {
        const auto terminal = std::count_if(stages.begin(), stages.end(), [](WriteStage s) {
            return s == WriteStage::Done || s == WriteStage::Cancelled || s == WriteStage::Failed;
        });
        EXPECT_EQ(terminal, 1);
        return stages.empty() ? WriteStage::Preparing : stages.back();
    }
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string shell(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, n);
        }
        ::pclose(pipe);
    }
    return output;
}

std::string quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

class IsoBurnEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.initialize()) << "libburn/libisofs";
        std::mt19937 random(7);
        std::string big(3 * 1024 * 1024 + 123, '\0');
        for (char& c : big) {
            c = static_cast<char>(random());
        }
        files = {{"backup-2024.qob", big},
                 {"Übersicht Mails äöü ß 日本語.txt", "umlauts"},
                 {"empty.dat", ""},
                 {"Ordner ä/Notiz.TXT", "note"},
                 {"a/b/c/d/e/f/g/h/i/j/deep-file.txt", "deep"},
                 {std::string(120, 'n') + ".txt", "long name"}};
        for (const auto& [name, bytes] : files) {
            writeFile(dir / "src" / name, bytes);
        }
        fs::last_write_time(dir / "src/empty.dat",
                            fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
        ASSERT_TRUE(image.addFolder((dir / "src").string(), "\\src"));
        writeFile(dir / "other.qob", "other");
        ASSERT_TRUE(image.addFile((dir / "other.qob").string(), "\\renamed.qob"));
    }

    test::TempDir dir;
    IsoBurnEngine engine;
    DiscImage image;
    std::vector<std::pair<std::string, std::string>> files;
    StopToken stop;
};

TEST_F(IsoBurnEngineTest, AnImageFileReadsBackWholeWithAnotherReader) {
    const fs::path iso = dir / "out.iso";
    writeFile(iso, std::string(8 * 1024 * 1024, 'x')); // an older, larger image is replaced whole
    WriteOptions options;
    options.volumeIdentifier = "Outlook Data Backup CD";
    options.autoVerify = true;
    Events events;
    ASSERT_TRUE(engine.write("stdio:" + iso.string(), image, options, events, stop));
    ASSERT_EQ(events.end(), WriteStage::Done) << (events.errors.empty() ? "" : events.errors[0].description);
    EXPECT_EQ(events.stages.front(), WriteStage::Preparing);
    EXPECT_EQ(events.files, 7);
    EXPECT_EQ(events.matched, 7);
    EXPECT_EQ(std::count_if(events.verified.begin(), events.verified.end(),
                            [](const auto& v) { return v.second == VerifyKind::Matched; }),
              7);

    // The size the window shows before writing is never short of what is written.
    const auto written = fs::file_size(iso);
    EXPECT_LT(written, 8u * 1024 * 1024);
    EXPECT_GE(image.imageSize(), written);
    EXPECT_LE(image.imageSize(), written + 1024 * 1024);
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_NE(entry.path().filename().string()[0], '.')
            << "a scrap of the write is left: " << entry.path();
    }

    if (shell("command -v xorriso").empty()) {
        GTEST_SKIP() << "xorriso is not installed (scripts/bootstrap.sh installs it)";
    }
    // ISO 9660 allows capitals, digits and "_" in the volume name; Joliet keeps it as typed, in
    // the 16 characters it has room for.
    EXPECT_NE(shell("xorriso -indev " + quoted(iso) + " -pvd_info").find("OUTLOOK_DATA_BACKUP_CD"),
              std::string::npos);
    std::u16string joliet = u"Outlook Data Bac";
    std::string bigEndian;
    for (char16_t c : joliet) {
        bigEndian += {static_cast<char>(c >> 8), static_cast<char>(c & 0xff)};
    }
    EXPECT_NE(readAll(iso).substr(0, 64 * 1024).find(bigEndian), std::string::npos);
    const std::string listing = shell("xorriso -indev " + quoted(iso) + " -find /");
    const fs::path out = dir / "extracted";
    shell("xorriso -osirrox on -indev " + quoted(iso) + " -extract / " + quoted(out));
    for (const auto& [name, bytes] : files) {
        EXPECT_NE(listing.find("'/src/" + name + "'"), std::string::npos) << name << "\n" << listing;
        EXPECT_EQ(readAll(out / "src" / name), bytes) << name;
    }
    EXPECT_EQ(readAll(out / "renamed.qob"), "other");
    using std::chrono::floor;
    using std::chrono::seconds;
    EXPECT_EQ(floor<seconds>(fs::last_write_time(out / "src/empty.dat")),
              floor<seconds>(fs::last_write_time(dir / "src/empty.dat")))
        << "file dates are kept";
}

TEST_F(IsoBurnEngineTest, RefusalsAndCancelsLeaveAnEarlierImageAlone) {
    const fs::path iso = dir / "kept.iso";
    writeFile(iso, "earlier image");
    const std::string address = "stdio:" + iso.string();

    // Not started at all: no event.
    for (const std::string& bad : {std::string("stdio:"), "stdio:" + dir.path().string(),
                                   "stdio:" + (dir / "no/such/folder/x.iso").string(), std::string()}) {
        Events events;
        const Status s = engine.write(bad, image, {}, events, stop);
        EXPECT_FALSE(s) << bad;
        EXPECT_FALSE(s.message.empty()) << bad;
        EXPECT_TRUE(events.stages.empty()) << bad;
    }

    // Cancelled before a block was written.
    {
        StopToken cancelled;
        cancelled.requestStop();
        Events events;
        ASSERT_TRUE(engine.write(address, image, {}, events, cancelled));
        EXPECT_EQ(events.end(), WriteStage::Cancelled);
    }

    // Cancelled while the image is being written.
    {
        struct CancelWhileWriting : Events {
            StopToken token;
            void writeStatus(int percent, WriteStage stage) override {
                Events::writeStatus(percent, stage);
                if (stage == WriteStage::Writing) {
                    token.requestStop();
                }
            }
        } events;
        ASSERT_TRUE(engine.write(address, image, {}, events, events.token));
        EXPECT_EQ(events.end(), WriteStage::Cancelled);
        EXPECT_NE(std::find(events.stages.begin(), events.stages.end(), WriteStage::Writing),
                  events.stages.end());
    }

    // A file that went away since it was added stops the write, naming the file.
    fs::remove(dir / "src/Ordner ä/Notiz.TXT");
    {
        Events events;
        ASSERT_TRUE(engine.write(address, image, {}, events, stop));
        EXPECT_EQ(events.end(), WriteStage::Failed);
        ASSERT_EQ(events.errors.size(), 1u);
        EXPECT_EQ(events.errors[0].type, ErrorType::SourceFile);
        EXPECT_EQ(events.errors[0].file.fileName, (dir / "src/Ordner ä/Notiz.TXT").string());
    }
    EXPECT_EQ(readAll(iso), "earlier image");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3)
        << "no scraps left";

    // An image file is not erased: refused before anything starts.
    Events events;
    EXPECT_FALSE(engine.erase(address, true, events));
}

TEST_F(IsoBurnEngineTest, VerifyNamesEveryFileThatDiffersFromItsSource) {
    const fs::path iso = dir / "v.iso";
    Events written;
    ASSERT_TRUE(engine.write("stdio:" + iso.string(), image, {}, written, stop));
    ASSERT_EQ(written.end(), WriteStage::Done);

    writeFile(dir / "src/Ordner ä/Notiz.TXT", "NOTE");                  // same size, other bytes
    writeFile(dir / "src/a/b/c/d/e/f/g/h/i/j/deep-file.txt", "deeper"); // other size
    fs::remove(dir / "src/empty.dat");
    Events events;
    const VerifySummary summary = engine.verify("stdio:" + iso.string(), image, events, stop);
    ASSERT_TRUE(summary.status) << summary.status.message;
    EXPECT_EQ(summary.files, 7);
    EXPECT_EQ(summary.matched, 4);
    std::map<std::string, VerifyKind> kinds(events.verified.begin(), events.verified.end());
    EXPECT_EQ(kinds["\\src\\Ordner ä\\Notiz.TXT"], VerifyKind::ContentDiffers);
    EXPECT_EQ(kinds["\\src\\a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\deep-file.txt"], VerifyKind::SizeDiffers);
    EXPECT_EQ(kinds["\\src\\empty.dat"], VerifyKind::SourceUnreadable);

    // A file of the tree that is not on the disc, and a medium that is no image at all.
    writeFile(dir / "extra.txt", "x");
    ASSERT_TRUE(image.addFile((dir / "extra.txt").string(), "\\extra.txt"));
    Events more;
    engine.verify("stdio:" + iso.string(), image, more, stop);
    const std::map<std::string, VerifyKind> moreKinds(more.verified.begin(), more.verified.end());
    EXPECT_EQ(moreKinds.at("\\extra.txt"), VerifyKind::DiscUnreadable);
    writeFile(dir / "junk.iso", std::string(100000, 'j'));
    Events junk;
    const VerifySummary none = engine.verify("stdio:" + (dir / "junk.iso").string(), image, junk, stop);
    EXPECT_FALSE(none.status);
    EXPECT_EQ(none.matched, 0);
}

} // namespace
} // namespace qob::disc

namespace qob::disc {
namespace {

// A file cut short while its bytes are being written: libisofs would put zeros in their place and
// call the image whole; the write fails instead, naming the file, and the earlier image stays.
TEST_F(IsoBurnEngineTest, AFileCutShortDuringTheWriteFailsItInsteadOfLeavingZeros) {
    DiscImage tree;
    const fs::path first = dir / "cut/first.pst";
    const fs::path second = dir / "cut/second.pst";
    writeFile(first, std::string(8 << 20, 'a'));
    writeFile(second, std::string(8 << 20, 'b'));
    ASSERT_TRUE(tree.addFolder((dir / "cut").string(), "\\cut"));
    const fs::path iso = dir / "cut.iso";
    writeFile(iso, "earlier image");
    struct CutWhileWriting : Events {
        std::vector<fs::path> files;
        bool cut = false;
        void writeStatus(int percent, WriteStage stage) override {
            Events::writeStatus(percent, stage);
            if (stage == WriteStage::Writing && !cut) {
                cut = true; // at most a few MiB of the first file have been read by now
                for (const fs::path& f : files) {
                    fs::resize_file(f, 1 << 20);
                }
            }
        }
    } events;
    events.files = {first, second};
    ASSERT_TRUE(engine.write("stdio:" + iso.string(), tree, {}, events, stop));
    EXPECT_TRUE(events.cut);
    EXPECT_EQ(events.end(), WriteStage::Failed);
    ASSERT_EQ(events.errors.size(), 1u);
    EXPECT_EQ(events.errors[0].type, ErrorType::SourceFile);
    EXPECT_TRUE(events.errors[0].file.fileName == first.string() ||
                events.errors[0].file.fileName == second.string())
        << events.errors[0].file.fileName;
    EXPECT_FALSE(events.errors[0].description.empty());
    EXPECT_EQ(readAll(iso), "earlier image");
}

} // namespace
} // namespace qob::disc
