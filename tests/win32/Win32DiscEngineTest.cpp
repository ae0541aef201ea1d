// The Windows disc engine under Wine: the image-file drive end to end (what is reported, what is
// left on disk), and the recorders, which Wine's missing IMAPI2 makes unavailable: every recorder
// call must refuse, saying why, and never report a write or an erase that did not happen.
#include "disc/win32/Win32DiscEngine.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace qob::disc {
namespace {

namespace fs = std::filesystem;

struct Events : DiscEvents {
    std::vector<WriteStage> stages;
    std::vector<EngineError> errors;
    std::vector<std::pair<std::string, VerifyKind>> verified;
    std::vector<EraseStage> erases;
    bool stopAtWriting = false;
    StopToken* stop = nullptr;
    void writeStatus(int, WriteStage stage) override {
        if (stages.empty() || stages.back() != stage) {
            stages.push_back(stage);
        }
        if (stopAtWriting && stage == WriteStage::Writing && stop) {
            stop->requestStop();
        }
    }
    void errorRaised(const EngineError& e) override { errors.push_back(e); }
    void verifyMismatch(const ImageItem& item, VerifyKind kind, int, int) override {
        verified.emplace_back(item.imagePath, kind);
    }
    void eraseStatus(EraseStage stage, int) override { erases.push_back(stage); }
    int terminals() const {
        return static_cast<int>(std::count_if(stages.begin(), stages.end(), [](WriteStage s) {
            return s == WriteStage::Done || s == WriteStage::Cancelled || s == WriteStage::Failed;
        }));
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

class Win32DiscEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine.initialize());
        std::string big(3 * 1024 * 1024 + 77, '\0');
        for (std::size_t i = 0; i < big.size(); ++i) {
            big[i] = static_cast<char>((i * 131 + i / 7) & 0xff); // Ctrl-Z (0x1a) among them
        }
        writeFile(dir / "src/backup.qob", big);
        writeFile(dir / "src/empty.dat", "");
        writeFile(dir / "src/a/b/c/deep.txt", "deep");
        ASSERT_TRUE(image.addFolder((dir / "src").string(), "\\src"));
    }
    std::string address(const std::string& name) const { return "stdio:" + (dir / name).string(); }

    test::TempDir dir;
    Win32DiscEngine engine;
    DiscImage image;
    StopToken stop;
};

TEST_F(Win32DiscEngineTest, AnImageFileIsWrittenWholeAndReadBackFileByFile) {
    writeFile(dir / "out.iso", "earlier image");
    Events events;
    WriteOptions options;
    options.autoVerify = true;
    ASSERT_TRUE(engine.write(address("out.iso"), image, options, events, stop));
    EXPECT_EQ(events.stages.front(), WriteStage::Preparing);
    EXPECT_EQ(events.stages.back(), WriteStage::Done);
    EXPECT_EQ(events.terminals(), 1);
    EXPECT_TRUE(events.errors.empty());
    ASSERT_EQ(events.verified.size(), 3u);
    for (const auto& [path, kind] : events.verified) {
        EXPECT_EQ(kind, VerifyKind::Matched) << path;
    }
    EXPECT_EQ(fs::file_size(dir / "out.iso") % kBlockSize, 0u);
    EXPECT_GT(fs::file_size(dir / "out.iso"), 3u * 1024 * 1024);

    // A changed source is named by verify; a file that is not an image is not read as one.
    writeFile(dir / "src/a/b/c/deep.txt", "DEEP");
    Events check;
    const VerifySummary summary = engine.verify(address("out.iso"), image, check, stop);
    EXPECT_EQ(summary.files, 3);
    EXPECT_EQ(summary.matched, 2);
    EXPECT_NE(
        std::find(check.verified.begin(), check.verified.end(),
                  std::pair<std::string, VerifyKind>{"\\src\\a\\b\\c\\deep.txt", VerifyKind::ContentDiffers}),
        check.verified.end());
    writeFile(dir / "junk.iso", std::string(64 * 1024, 'j'));
    Events junk;
    const VerifySummary none = engine.verify(address("junk.iso"), image, junk, stop);
    EXPECT_FALSE(none.status);
    EXPECT_EQ(none.matched, 0);
}

TEST_F(Win32DiscEngineTest, RefusalsFailuresAndCancelsLeaveTheEarlierImage) {
    // Refused before anything starts: no report at all.
    for (const std::string& bad : {std::string("stdio:"), "stdio:" + dir.path().string(),
                                   "stdio:" + (dir / "no/such/folder/x.iso").string(), std::string()}) {
        Events events;
        EXPECT_FALSE(engine.write(bad, image, {}, events, stop)) << bad;
        EXPECT_TRUE(events.stages.empty()) << bad;
    }
    writeFile(dir / "out.iso", "earlier image");
    struct Case {
        const char* what;
        bool removeSource;
        bool stopBefore;
        bool stopWhileWriting;
        WriteStage end;
    };
    const Case cases[] = {
        {"source gone", true, false, false, WriteStage::Failed},
        {"stopped before", false, true, false, WriteStage::Cancelled},
        {"stopped while writing", false, false, true, WriteStage::Cancelled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DiscImage tree = image;
        writeFile(dir / "gone.txt", "gone");
        ASSERT_TRUE(tree.addFile((dir / "gone.txt").string(), "\\gone.txt"));
        if (c.removeSource) {
            fs::remove(dir / "gone.txt");
        }
        StopToken token;
        if (c.stopBefore) {
            token.requestStop();
        }
        Events events;
        events.stop = &token;
        events.stopAtWriting = c.stopWhileWriting;
        ASSERT_TRUE(engine.write(address("out.iso"), tree, {}, events, token));
        EXPECT_EQ(events.terminals(), 1);
        EXPECT_EQ(events.stages.back(), c.end);
        EXPECT_EQ(events.errors.size(), c.end == WriteStage::Failed ? 1u : 0u);
        EXPECT_EQ(readAll(dir / "out.iso"), "earlier image");
    }
    // No scratch file is left beside it.
    int entries = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        entries += entry.path().filename().string().rfind(".out.iso", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(entries, 0);
}

TEST_F(Win32DiscEngineTest, WithoutImapi2TheRecordersRefuseAndSayWhy) {
    const std::string why = engine.recorderProblem();
    if (why.empty()) {
        GTEST_SKIP() << "IMAPI2 is there: a real Windows machine";
    }
    EXPECT_NE(why.find("IMAPI2"), std::string::npos) << why;
    const std::vector<DiscDeviceInfo> devices = engine.devices();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_TRUE(devices.back().isImageFile);
    EXPECT_EQ(devices.back().address, "stdio:");
    EXPECT_EQ(engine.media("D:\\").type, MediaType::None);
    EXPECT_FALSE(engine.supports("D:\\", Capability::EraseCdRw));
    Events events;
    const Status wrote = engine.write("D:\\", image, {}, events, stop);
    EXPECT_FALSE(wrote);
    EXPECT_EQ(wrote.message.rfind(kDevicesCannotBeInitialized, 0), 0u) << wrote.message;
    EXPECT_NE(wrote.message.find(why), std::string::npos);
    const Status erased = engine.erase("D:\\", true, events);
    EXPECT_FALSE(erased);
    EXPECT_EQ(erased.message.rfind(kDevicesCannotBeInitialized, 0), 0u) << erased.message;
    EXPECT_FALSE(engine.eject("D:\\"));
    EXPECT_TRUE(events.stages.empty());
    EXPECT_TRUE(events.erases.empty());
    EXPECT_FALSE(engine.erase(address("out.iso"), true, events));
}

} // namespace
} // namespace qob::disc
