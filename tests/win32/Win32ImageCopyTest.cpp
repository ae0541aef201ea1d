// An image file on Windows: the files' bytes copied to the places libisofs laid out make the image
// libisofs makes when it reads the files itself, without falling back to that slower way.
#include "TestPaths.h"
#include "disc/IsoImageBuild.h"
#include "disc/win32/Win32DiscEngine.h"
#include "platform/DurableFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

namespace qob::disc {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string libraryImage(IsoImageBuild& build) {
    std::string image(build.size(), '\0');
    std::size_t done = 0;
    while (done < image.size()) {
        const int want = static_cast<int>(std::min<std::size_t>(1 << 20, image.size() - done));
        const int got =
            build.source()->read_xt(build.source(), reinterpret_cast<unsigned char*>(&image[done]), want);
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return image.substr(0, done);
}

TEST(Win32ImageCopy, TheCopiedImageIsTheOneLibisofsMakes) {
    Win32DiscEngine engine;
    ASSERT_TRUE(engine.initialize());
    test::TempDir dir;
    std::string big(3 * 1024 * 1024 + 77, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 131 + i / 7) & 0xff); // Ctrl-Z (0x1a) among them
    }
    writeFile(dir / "src/backup.qob", big);
    writeFile(dir / "src/block.bin", std::string(2048, 'b'));
    writeFile(dir / "src/empty.dat", "");
    writeFile(dir / "src/a/b/c/d/e/f/g/h/i/j/deep.txt", "deep"); // a folder libisofs moves
    writeFile(dir / ("src/" + std::string(200, 'n') + ".txt"), "long");
    // Read once, so the builds' own reads move no access time between the two images.
    for (const auto& entry : fs::recursive_directory_iterator(dir / "src")) {
        if (entry.is_regular_file()) {
            readAll(entry.path());
        }
    }
    DiscImage tree;
    ASSERT_TRUE(tree.addFolder((dir / "src").string(), "\\src"));
    ASSERT_TRUE(tree.addFile((dir / "src/block.bin").string(), "\\again.bin"));
    _putenv_s("SOURCE_DATE_EPOCH", "1700000000");
    std::string error;
    auto theirs = IsoImageBuild::create(tree, {}, {}, 0, error, FileReads::Buffered);
    ASSERT_TRUE(theirs) << error;
    const std::string expected = libraryImage(*theirs);
    auto ours = IsoImageBuild::create(tree, {}, {}, 0, error, FileReads::Direct);
    ASSERT_TRUE(ours) << error;
    const fs::path out = dir / "ours.iso";
    {
        DurableReplace file(out, ".ours-");
        DiscEvents events;
        StopToken stop;
        ASSERT_TRUE(copyImageTo(*ours, file, events, stop));
        ASSERT_TRUE(file.commit());
    }
    _putenv_s("SOURCE_DATE_EPOCH", "");
    EXPECT_EQ(ours->reads(), FileReads::Direct) << "made again the slower way";
    ASSERT_EQ(expected.size(), theirs->size());
    const std::string image = readAll(out);
    EXPECT_EQ(image.size(), expected.size());
    EXPECT_TRUE(image == expected) << "the images differ";
    EXPECT_NE(image.find(big), std::string::npos);
}

} // namespace
} // namespace qob::disc
