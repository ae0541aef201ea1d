// The composed tree: what each change does to it and what it reports, so a window mirroring it
// through the events never disagrees with it.
#include "disc/DiscImage.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qob::disc {
namespace {

namespace fs = std::filesystem;

struct Recorder : ImageEvents {
    std::vector<std::string> log;
    bool replace = false;
    void itemAdded(const ImageItem& i) override {
        log.push_back("add " + i.imagePath + " in " + i.parentPath);
    }
    void itemRemoved(const ImageItem& i) override { log.push_back("remove " + i.imagePath); }
    void itemRenamed(const ImageItem& i) override {
        log.push_back("rename " + i.oldImagePath + " " + i.imagePath);
    }
    bool replaceFile(const ImageItem& existing, const std::string& source) override {
        log.push_back("replace? " + existing.imagePath + " " + fs::path(source).filename().string());
        return replace;
    }
    void imageCleared() override { log.push_back("cleared"); }
};

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(DiscImage, ChangesAreReportedAndTheTreeFollows) {
    test::TempDir dir;
    writeFile(dir / "a.qob", "12345");
    writeFile(dir / "b.txt", "xy");
    writeFile(dir / "src/one.txt", "1");
    writeFile(dir / "src/deep/two.txt", "22");
    fs::create_symlink(dir / "src", dir / "src/deep/loop"); // a linked folder is not followed

    DiscImage image;
    Recorder events;
    image.setEvents(&events);
    EXPECT_TRUE(image.addFile((dir / "a.qob").string(), "\\a.qob"));
    EXPECT_TRUE(image.addFile((dir / "b.txt").string(), "\\x\\y\\b.txt")); // folders on the way are made
    EXPECT_TRUE(image.addFolder((dir / "src").string(), "\\src"));
    EXPECT_EQ(events.log, (std::vector<std::string>{
                              "add \\a.qob in \\", "add \\x in \\", "add \\x\\y in \\x",
                              "add \\x\\y\\b.txt in \\x\\y", "add \\src in \\", "add \\src\\deep in \\src",
                              "add \\src\\deep\\two.txt in \\src\\deep", "add \\src\\one.txt in \\src"}));
    EXPECT_EQ(image.fileCount(), 4);
    EXPECT_EQ(image.folderCount(), 4);
    EXPECT_EQ(image.sourceBytes(), 10u);

    // Refusals: each leaves the tree as it was and reports nothing.
    events.log.clear();
    struct Refused {
        const char* what;
        bool result;
    };
    const Refused refused[] = {
        {"missing source", image.addFile((dir / "gone").string(), "\\gone")},
        {"a folder as file", image.addFile((dir / "src").string(), "\\src2")},
        {"file over a folder", image.addFile((dir / "b.txt").string(), "\\SRC")},
        {"folder below a file", image.addFile((dir / "b.txt").string(), "\\a.qob\\b.txt")},
        {"bad path", image.addFile((dir / "b.txt").string(), "b.txt")},
        {"empty name", image.addFile((dir / "b.txt").string(), "\\x\\\\b.txt")},
        {"rename to a sibling's name, any case", image.renameFolder("\\x", "SRC")},
        {"rename with a backslash", image.renameFile("\\a.qob", "c\\d")},
        {"rename a folder as file", image.renameFile("\\x", "z")},
        {"rename the root", image.renameFolder("\\", "r")},
        {"remove the root", image.removeItem("\\")},
        {"remove what is not there", image.removeItem("\\nothing")},
    };
    for (const Refused& r : refused) {
        EXPECT_FALSE(r.result) << r.what;
    }
    EXPECT_TRUE(events.log.empty());
    EXPECT_EQ(image.fileCount(), 4);

    // The same name again asks first; no keeps the old source, yes takes the new one.
    EXPECT_FALSE(image.addFile((dir / "b.txt").string(), "\\A.QOB"));
    EXPECT_EQ(events.log, std::vector<std::string>{"replace? \\a.qob b.txt"});
    EXPECT_EQ(image.find("\\a.qob")->size, 5u);
    events.replace = true;
    EXPECT_TRUE(image.addFile((dir / "b.txt").string(), "\\a.qob"));
    EXPECT_EQ(image.find("\\a.qob")->size, 2u);
    EXPECT_EQ(image.fileCount(), 4);

    events.log.clear();
    EXPECT_TRUE(image.renameFolder("\\x", "renamed"));
    EXPECT_TRUE(image.renameFile("\\renamed\\y\\b.txt", "c.txt"));
    EXPECT_TRUE(image.removeItem("\\src")); // the folders inside are reported gone, deepest first
    EXPECT_EQ(events.log, (std::vector<std::string>{"rename \\x \\renamed",
                                                    "rename \\renamed\\y\\b.txt \\renamed\\y\\c.txt",
                                                    "remove \\src\\one.txt", "remove \\src\\deep\\two.txt",
                                                    "remove \\src\\deep", "remove \\src"}));

    const std::vector<ImageItem> top = image.listFolder("\\");
    ASSERT_EQ(top.size(), 2u);
    EXPECT_TRUE(top[0].isFolder); // folders first
    EXPECT_EQ(top[0].imagePath, "\\renamed");
    EXPECT_EQ(top[1].sourcePath, (dir / "b.txt").string());
    EXPECT_EQ(image.listFolder("\\renamed\\y")[0].name, "c.txt");

    events.log.clear();
    image.clearAll();
    EXPECT_EQ(events.log, std::vector<std::string>{"cleared"});
    EXPECT_EQ(image.fileCount() + image.folderCount(), 0);
}

} // namespace
} // namespace qob::disc
