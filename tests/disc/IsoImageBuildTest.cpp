// The files' bytes reach the image through our own stream, a megabyte per read from the disk, or
// straight from the files to the places libisofs laid out; the image must stay byte for byte what
// libisofs' own stream makes, and a file that changes under the write must be told rather than
// filled with zeros.
#include "disc/IsoImageBuild.h"
#include "TestPaths.h"
#include "disc/IsoFileExtents.h"
#include "disc/LibburnDrive.h"
#include "platform/DurableFile.h"

#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qob::disc {
namespace {

namespace fs = std::filesystem;

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string readImage(IsoImageBuild& build) {
    std::string image(build.size(), '\0');
    std::size_t done = 0;
    burn::burn_source* source = build.source();
    while (done < image.size()) {
        const int want = static_cast<int>(std::min<std::size_t>(1 << 20, image.size() - done));
        const int got = source->read_xt(source, reinterpret_cast<unsigned char*>(&image[done]), want);
        if (got <= 0) {
            ADD_FAILURE() << "the image ended after " << done << " of " << image.size() << " bytes";
            return image.substr(0, done);
        }
        done += static_cast<std::size_t>(got);
    }
    return image;
}

// The image a Direct build makes, as the image file holds it.
Status copyToFile(IsoImageBuild& build, const fs::path& out, const StopToken& stop = {}) {
    DurableReplace file(out, ".test-iso-");
    DiscEvents events;
    Status s = copyImageTo(build, file, events, stop);
    return s ? file.commit() : s;
}

class IsoImageBuildTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(libraries.ok());
        const fs::path src = dir / "src";
        // Sizes around the 2 KiB block and the 1 MiB read, an empty file, names libisofs shortens.
        const std::vector<std::pair<std::string, std::size_t>> sizes = {
            {"empty.dat", 0},
            {"one.txt", 1},
            {"block-1.bin", 2047},
            {"block.bin", 2048},
            {"block+1.bin", 2049},
            {"Ordner ä/read-1.bin", (1 << 20) - 1},
            {"Ordner ä/read.bin", 1 << 20},
            {"Ordner ä/read+1.bin", (1 << 20) + 1},
            {"a/b/c/d/e/f/g/h/i/backup-2024.qob", 3 * (1 << 20) + 123},
            {"Übersicht Mails 日本語.txt", 5000},
            {std::string(240, 'n') + ".txt", 77}};
        unsigned seed = 1;
        for (const auto& [name, size] : sizes) {
            writeFile(src / name, randomBytes(size, seed++));
        }
        fs::last_write_time(src / "empty.dat",
                            fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
        fs::create_symlink(src / "block.bin", dir / "link-to-block.bin");
        // Read once, so the build's own reads move no access time between the two images.
        for (const auto& entry : fs::recursive_directory_iterator(src)) {
            if (entry.is_regular_file()) {
                std::ifstream(entry.path(), std::ios::binary).get();
            }
        }
        ASSERT_TRUE(tree.addFolder(src.string(), "\\src"));
        // The same file twice: libisofs writes its bytes once for both names.
        ASSERT_TRUE(tree.addFile((src / "one.txt").string(), "\\again\\one-more.txt"));
        ASSERT_TRUE(tree.addFile((dir / "link-to-block.bin").string(), "\\linked.bin"));
    }

    // Each way is built in a child of this process, from the same heap (libisofs' own numbering of
    // its nodes follows their addresses), with the image's own times fixed by SOURCE_DATE_EPOCH.
    // The parent allocates nothing between the children.
    // `rebuild`: a Direct build made again the slower way before it is read.
    void buildInChild(FileReads reads, bool rebuild, const WriteOptions& options, std::uint32_t startBlock,
                      const fs::path& out, int& status) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
            std::string error;
            auto build = IsoImageBuild::create(tree, options, {}, startBlock, error, reads);
            if (!build || (rebuild && !build->rebuildReadingFiles(error))) {
                ::_exit(2);
            }
            if (reads == FileReads::Direct && !rebuild) {
                const Status s = copyToFile(*build, out);
                // Still Direct: the files' bytes were copied, not read by libisofs after all.
                ::_exit(!s ? 3 : build->reads() != FileReads::Direct ? 4 : 0);
            }
            const std::string image = readImage(*build);
            std::ofstream(out, std::ios::binary) << image;
            ::_exit(image.size() == build->size() && build->readFailure().fileName.empty() ? 0 : 3);
        }
        ::waitpid(child, &status, 0);
    }

    // The image of each way, in the order of `ways`; the first is libisofs' own.
    std::vector<std::string> allWays(const WriteOptions& options, std::uint32_t startBlock) {
        struct Way {
            FileReads reads;
            bool rebuild;
        };
        const std::vector<Way> ways = {{FileReads::LibraryBlocks, false},
                                       {FileReads::Buffered, false},
                                       {FileReads::Direct, false},
                                       {FileReads::Direct, true}};
        std::vector<int> status(ways.size(), -1);
        std::vector<fs::path> outs;
        for (std::size_t i = 0; i < ways.size(); ++i) {
            outs.push_back(dir / ("way" + std::to_string(i) + ".iso"));
        }
        for (std::size_t i = 0; i < ways.size(); ++i) {
            buildInChild(ways[i].reads, ways[i].rebuild, options, startBlock, outs[i], status[i]);
        }
        std::vector<std::string> images;
        for (std::size_t i = 0; i < ways.size(); ++i) {
            EXPECT_EQ(status[i], 0) << "way " << i;
            images.push_back(readAll(outs[i]));
        }
        return images;
    }

    DiscLibraries libraries;
    test::TempDir dir;
    DiscImage tree;
};

TEST_F(IsoImageBuildTest, OurStreamAndOurCopyMakeTheImageLibisofsMakesByteForByte) {
    struct Case {
        int fileSystem;
        bool useFileDates;
        std::uint32_t startBlock;
    };
    for (const Case& c : {Case{kIso9660 | kJoliet, true, 0}, Case{kIso9660, true, 0},
                          Case{kIso9660 | kJoliet, false, 0}, Case{kIso9660 | kJoliet, true, 5000}}) {
        SCOPED_TRACE(::testing::Message() << "file system " << c.fileSystem << ", file dates "
                                          << c.useFileDates << ", start " << c.startBlock);
        WriteOptions options;
        options.fileSystem = c.fileSystem;
        options.useFileDates = c.useFileDates;
        options.volumeIdentifier = "Outlook Data Backup";
        const std::vector<std::string> images = allWays(options, c.startBlock);
        ASSERT_EQ(images.size(), 4u);
        ASSERT_FALSE(images[0].empty());
        for (std::size_t i = 1; i < images.size(); ++i) {
            EXPECT_EQ(images[i].size(), images[0].size()) << "way " << i;
            EXPECT_TRUE(images[i] == images[0]) << "way " << i << " makes another image";
        }
        // And the bytes are really the files' (not, say, zeros in both).
        const std::string big = randomBytes(3 * (1 << 20) + 123, 9);
        EXPECT_NE(images[0].find(big), std::string::npos);
    }
}

TEST_F(IsoImageBuildTest, AFileThatChangesUnderTheWriteIsNamed) {
    const fs::path src = dir / "src";
    struct Case {
        std::string file;
        std::function<void(const fs::path&)> change;
        bool rootReadsAnyway = false;
    };
    const std::vector<Case> cases = {
        {"Ordner ä/read+1.bin", [](const fs::path& p) { fs::resize_file(p, 100); }},
        {"block+1.bin", [](const fs::path& p) { fs::resize_file(p, 4096); }},
        {"one.txt", [](const fs::path& p) { fs::remove(p); }},
        {"a/b/c/d/e/f/g/h/i/backup-2024.qob", [](const fs::path& p) { ::chmod(p.c_str(), 0); }, true},
    };
    for (const FileReads reads : {FileReads::Buffered, FileReads::Direct}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.file + (reads == FileReads::Direct ? ", copied" : ", through libisofs"));
            const fs::path path = src / c.file;
            const std::string kept = readAll(path);
            std::string error;
            // Changed after its size was taken and before its bytes are read: a change once the
            // bytes are in the image leaves the image whole, and when that happened would be a race.
            auto build = IsoImageBuild::create(tree, {}, {}, 0, error, reads, [&] { c.change(path); });
            ASSERT_TRUE(build) << error;
            const bool named = !(c.rootReadsAnyway && ::geteuid() == 0);
            if (reads == FileReads::Direct) {
                const fs::path out = dir / "changed.iso";
                const Status s = copyToFile(*build, out);
                EXPECT_EQ(!s, named) << "an image is made only of files read whole";
                EXPECT_EQ(fs::exists(out), !named) << "no image of a changed file";
            } else {
                const std::string image = readImage(*build);
                EXPECT_EQ(image.size(), build->size()) << "libisofs still makes the whole image";
            }
            const FileError failure = build->readFailure();
            if (named) {
                EXPECT_EQ(failure.fileName, path.string());
                EXPECT_FALSE(failure.description.empty());
            }
            ::chmod(path.c_str(), 0644);
            writeFile(path, kept);
        }
    }
}

} // namespace
} // namespace qob::disc

namespace qob::disc {
namespace {

// The files' places read back from libisofs' own records: every file with data once (a file under
// two names, a link to it), the deep folder libisofs moves, the long name continued elsewhere, each
// place holding exactly the file's bytes; damaged records are refused, not followed.
TEST_F(IsoImageBuildTest, TheFilesPlacesAreReadFromTheRecords) {
    for (const std::uint32_t startBlock : {0u, 5000u}) {
        SCOPED_TRACE(startBlock);
        std::string error;
        auto build = IsoImageBuild::create(tree, {}, {}, startBlock, error, FileReads::LibraryBlocks);
        ASSERT_TRUE(build) << error;
        std::string image = readImage(*build);
        const auto blockAt = [&](std::uint32_t b) -> const unsigned char* {
            const std::uint64_t at = (std::uint64_t{b} - startBlock) * 2048;
            return b >= startBlock && at + 2048 <= image.size()
                       ? reinterpret_cast<const unsigned char*>(image.data() + at)
                       : nullptr;
        };
        std::vector<FileExtent> files;
        std::uint32_t highest = 0;
        ASSERT_TRUE(findFileExtents(blockAt, startBlock, files, highest, error)) << error;
        std::set<std::string> paths;
        for (const FileExtent& f : files) {
            paths.insert(f.imagePath);
            EXPECT_GT(f.block, highest) << f.imagePath;
            ASSERT_TRUE(build->sources().count(f.imagePath)) << f.imagePath;
            const std::string bytes = readAll(build->sources().at(f.imagePath));
            EXPECT_EQ(f.size, bytes.size()) << f.imagePath;
            EXPECT_TRUE(image.compare((f.block - startBlock) * 2048, bytes.size(), bytes) == 0)
                << f.imagePath;
        }
        // Eleven files less the empty one; one.txt twice and block.bin through a link count once.
        EXPECT_EQ(files.size(), 10u);
        EXPECT_TRUE(paths.count("\\src\\a\\b\\c\\d\\e\\f\\g\\h\\i\\backup-2024.qob"));
        EXPECT_TRUE(paths.count("\\src\\" + std::string(240, 'n') + ".txt"));

        // Damage: no volume descriptor, a folder pointing past the image, a folder holding itself.
        const std::size_t pvd = 16 * 2048;
        const std::size_t rootExtent = pvd + 156 + 2;
        const std::vector<std::function<void(std::string&)>> damages = {
            [&](std::string& i) { i[pvd + 1] = 'X'; }, [&](std::string& i) { i[rootExtent + 3] = '\x7f'; },
            [&](std::string& i) {
                const std::uint32_t root = static_cast<unsigned char>(i[rootExtent]) |
                                           static_cast<unsigned char>(i[rootExtent + 1]) << 8;
                const std::size_t first = (root - startBlock) * 2048;
                const std::size_t child =
                    first + static_cast<unsigned char>(i[first]) +
                    static_cast<unsigned char>(i[first + static_cast<unsigned char>(i[first])]);
                i[child + 25] = 2; // the first child of the root made a folder at the root's own place
                i.replace(child + 2, 4, i.substr(rootExtent, 4));
            }};
        const std::string whole = image;
        for (std::size_t d = 0; d < damages.size(); ++d) {
            image = whole;
            damages[d](image);
            EXPECT_FALSE(findFileExtents(blockAt, startBlock, files, highest, error)) << "damage " << d;
            EXPECT_FALSE(error.empty());
        }
    }
}

// A stop while the files are copied (and one before anything is written) leaves no image and no
// temporary file behind, and the generator libisofs started ends with the build.
TEST_F(IsoImageBuildTest, AStopDuringTheCopyLeavesNoImage) {
    struct StopAt : DiscEvents {
        int percent;
        StopToken token;
        explicit StopAt(int p) : percent(p) {}
        void writeStatus(int p, WriteStage) override {
            if (p >= percent) {
                token.requestStop();
            }
        }
    };
    for (const int percent : {-1, 0, 50}) {
        SCOPED_TRACE(percent);
        std::string error;
        auto build = IsoImageBuild::create(tree, {}, {}, 0, error, FileReads::Direct);
        ASSERT_TRUE(build) << error;
        StopAt events(percent);
        if (percent < 0) {
            events.token.requestStop();
        }
        const fs::path out = dir / "stopped.iso";
        Status s;
        {
            DurableReplace file(out, ".test-iso-");
            s = copyImageTo(*build, file, events, events.token);
        }
        EXPECT_TRUE(s.cancelled) << s.message;
        EXPECT_FALSE(fs::exists(out));
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            EXPECT_EQ(entry.path().filename().string().rfind(".test-iso-", 0), std::string::npos);
        }
    }
}

// The same files make the same image: SOURCE_DATE_EPOCH fixes every time the image carries of its
// own (the volume's dates, folders made in the image), and no Rock Ridge file serial number (which
// libisofs hands out in memory-address order) is written. The Windows build must make these bytes
// too (tests/win32/disc_conformance.sh).
TEST_F(IsoImageBuildTest, SourceDateEpochFixesTheImagesOwnTimes) {
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    struct Case {
        const char* epoch;
        const char* volumeDate; // the primary volume descriptor's creation date, "YYYYMMDDhhmmss"
    };
    for (const Case& c : {Case{"1000000000", "20010909014640"}, Case{"1700000000", "20231114221320"}}) {
        SCOPED_TRACE(c.epoch);
        ::setenv("SOURCE_DATE_EPOCH", c.epoch, 1);
        std::string images[2];
        for (std::string& image : images) {
            std::string error;
            DiscImage copy = tree;
            ASSERT_TRUE(copy.makeFolder("\\made in the image"));
            WriteOptions options;
            options.useFileDates = false; // every item carries "now"
            std::unique_ptr<IsoImageBuild> build = IsoImageBuild::create(copy, options, {}, 0, error);
            ASSERT_TRUE(build) << error;
            image = readImage(*build);
        }
        ASSERT_GT(images[0].size(), 17u * 2048);
        EXPECT_EQ(images[0].substr(16 * 2048 + 813, 14), c.volumeDate);
        EXPECT_TRUE(images[0] == images[1]) << "two images of the same files differ";
        EXPECT_NE(images[0].find("RRIP_1991A"), std::string::npos);
        EXPECT_EQ(images[0].find("IEEE_1282"), std::string::npos);
    }
    ::unsetenv("SOURCE_DATE_EPOCH");
    if (oldTz) {
        ::setenv("TZ", savedTz.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

} // namespace
} // namespace qob::disc
