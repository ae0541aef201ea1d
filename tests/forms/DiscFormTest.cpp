// The disc window's form against the simulated recorder: composing the image, the checks before a
// write, and every way a write ends, with the messages the window shows.
#include "forms/DiscForm.h"
#include "FakeDialogs.h"
#include "SimulatedRecorder.h"
#include "TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qob {
namespace {

using namespace disc;
namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct DiscFormFixture {
    test::TempDir dir;
    test::FakeDialogs dialogs;
    test::SimulatedRecorder engine;
    DiscForm form{dialogs, engine};
    fs::path backup = dir / "backup.qob";

    DiscFormFixture() {
        writeFile(backup, std::string(5000, 'b'));
        test::SimulatedDrive dvd = test::simulatedDrive("/dev/sr0", MediaType::DvdPlusRw, true, 2295104);
        dvd.capabilities = {Capability::BufferProtection, Capability::EraseDvdPlusRw};
        dvd.speeds = {{11080, 8.0}, {5540, 4.0}};
        test::SimulatedDrive reader = test::simulatedDrive("/dev/sr1", MediaType::None, false, 0);
        reader.info.isRecorder = false;
        engine.drives = {dvd, reader, test::simulatedDrive("/dev/sr2", MediaType::CdR, false, 1000)};
    }
    // What the window does for "Write Disc": the job on the engine, the events to the form.
    void write() {
        if (auto job = form.writeDiscClick()) {
            form.writeReturned(engine.write(job->address, job->image, job->options, form, form.stopToken()));
        }
    }
    std::vector<std::string> texts() { return dialogs.texts(); }
};

TEST(DiscForm, LoadShowsTheHandedOverBackupAndTheDrives) {
    DiscFormFixture f;
    ASSERT_TRUE(f.form.formLoad(f.backup.string()));
    const DiscForm& form = f.form;
    ASSERT_EQ(form.tree.size(), 1u);
    EXPECT_EQ(form.tree[0].text, "Outlook Data Backup CD");
    ASSERT_EQ(form.rows.size(), 1u);
    EXPECT_EQ(form.rows[0].key, "\\backup.qob");
    EXPECT_EQ(form.rows[0].size, "5.00 KB");
    EXPECT_EQ(form.status[0], "Data Image Size: 0.35 MB");
    EXPECT_EQ(form.status[1], "Files: 1");
    EXPECT_EQ(form.status[2], "Folders: 0");
    ASSERT_EQ(form.devices.size(), 2u) << "a drive that only reads is not listed";
    EXPECT_EQ(form.devices[1].text, "SIMULATED RECORDER (/dev/sr2)");
    EXPECT_EQ(form.speeds[0].text, "8.0x");
    EXPECT_TRUE(form.bufferProtect && form.bufferProtectEnabled);
    EXPECT_EQ(form.volumeTypes[static_cast<std::size_t>(form.selectedVolumeType)].text,
              "ISO9660/Joliet Bridge");
    for (const DiscChoice& type : form.volumeTypes) {
        EXPECT_EQ(type.enabled, type.text.find("UDF") == std::string::npos) << type.text;
    }
    EXPECT_TRUE(form.idle);
    EXPECT_TRUE(f.texts().empty());

    f.form.deviceSelected(1); // no speeds, no buffer protection
    EXPECT_EQ(form.speeds.size(), 1u);
    EXPECT_EQ(form.speeds[0].text, "MAX");
    EXPECT_FALSE(form.bufferProtect || form.bufferProtectEnabled);
    f.write();
    EXPECT_FALSE(form.bufferProtectEnabled) << "not after a write either";
    EXPECT_EQ(f.engine.lastOptions.writeSpeed, 0);

    test::FakeDialogs dialogs;
    test::SimulatedRecorder none;
    none.initializes = false;
    DiscForm broken(dialogs, none);
    EXPECT_FALSE(broken.formLoad());
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Devices Cannot be initialized!"});

    // The engine works but reaches no recorder: said with the reason, and the window still opens
    // on what can be written.
    dialogs.messages.clear();
    test::SimulatedRecorder imageOnly;
    imageOnly.recordersUnusable = "Windows' disc recording (IMAPI2) is not available: class not registered";
    imageOnly.drives.push_back(test::simulatedDrive("stdio:", disc::MediaType::ImageFile, false, 1000));
    imageOnly.drives.back().info.isImageFile = true;
    DiscForm partly(dialogs, imageOnly);
    EXPECT_TRUE(partly.formLoad());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Devices Cannot be initialized!\n\n" + imageOnly.recordersUnusable +
                                            "\n\nA disc image file (.iso) can still be written.");
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::None);
    EXPECT_EQ(partly.devices.size(), 1u);
    EXPECT_TRUE(partly.idle);
}

TEST(DiscForm, ComposingTheImage) {
    DiscFormFixture f;
    DiscForm& form = f.form;
    ASSERT_TRUE(form.formLoad());
    writeFile(f.dir / "drop/inner/x.txt", "x");
    writeFile(f.dir / "drop/y.txt", "yy");
    writeFile(f.dir / "other/backup.qob", "other");

    form.dropFiles({(f.dir / "drop").string()});
    EXPECT_EQ(form.tree.size(), 3u); // root, \drop, \drop\inner
    EXPECT_EQ(form.status[0], "Data Image Size: 0.36 MB");
    form.nodeClick("\\drop");
    ASSERT_EQ(form.rows.size(), 1u);
    EXPECT_EQ(form.rows[0].key, "\\drop\\y.txt");
    form.dropFiles({f.backup.string()});        // into the selected folder
    form.dropFiles({"not a file list"}, false); // nothing
    f.dialogs.fileAnswers = {f.backup.string()};
    form.addFileClick(); // always into the root
    EXPECT_TRUE(form.image().find("\\drop\\backup.qob") && form.image().find("\\backup.qob"));
    EXPECT_EQ(form.image().fileCount(), 4);

    // The same name again asks; Cancel keeps the file there.
    f.dialogs.fileAnswers = {(f.dir / "other/backup.qob").string()};
    f.dialogs.answers = {MsgAnswer::Cancel};
    form.addFileClick();
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_EQ(f.dialogs.messages[0].text,
              "A file already exists in the image: \n\\backup.qob\nWould you like to "
              "replace it with: \n" +
                  (f.dir / "other/backup.qob").string() + " ?");
    EXPECT_EQ(f.dialogs.messages[0].title, "Replace file...");
    EXPECT_EQ(form.image().find("\\backup.qob")->sourcePath, f.backup.string());

    // Renaming a folder moves the keys of the folders below it.
    form.nodeClick("\\drop");
    ASSERT_TRUE(form.renameFolderClick());
    form.folderRenamed("moved");
    EXPECT_EQ(form.selectedNode, "\\moved");
    EXPECT_TRUE(std::any_of(form.tree.begin(), form.tree.end(), [](const DiscTreeNode& n) {
        return n.key == "\\moved\\inner" && n.parent == "\\moved";
    }));

    f.dialogs.messages.clear();
    f.dialogs.fileAnswers = {std::nullopt};
    form.addFileClick();
    form.selectedRow.clear();
    form.removeFileClick();
    form.renameFileClick();
    form.nodeClick("\\");
    form.renameFolderClick();
    form.removeFolderClick();
    form.nodeClick("\\moved\\inner");
    form.folderRenamed("bad\\name");
    form.rowClick("\\moved\\y.txt");
    form.fileRenamed("backup.qob"); // its sibling's name
    EXPECT_EQ(f.texts(),
              (std::vector<std::string>{"A file was not added.", "No Item Selected.", "No Item Selected.",
                                        "Root directory can not be renamed.", "Item could not be removed.",
                                        "Folder could not be renamed.", "File could not be renamed."}));

    form.nodeClick("\\moved");
    form.removeFolderClick();
    EXPECT_EQ(form.tree.size(), 1u);
    EXPECT_TRUE(form.selectedNode.empty());
    form.volumeIdentifierChanged(std::string(40, 'v'));
    EXPECT_EQ(form.tree[0].text, std::string(32, 'v'));
    form.clearAllClick();
    EXPECT_EQ(form.tree[0].text, "New Disc");
    EXPECT_EQ(form.volumeIdentifier, "New Disc");
    EXPECT_EQ(form.status[1], "Files: 0");

    // The pop-up menus show the entries of what was clicked.
    const std::vector<DiscFileMenu> tree{DiscFileMenu::AddFile, DiscFileMenu::Separator0,
                                         DiscFileMenu::ClearAll, DiscFileMenu::RemoveFolder,
                                         DiscFileMenu::RenameFolder};
    for (int e = 0; e <= static_cast<int>(DiscFileMenu::Exit); ++e) {
        const auto entry = static_cast<DiscFileMenu>(e);
        EXPECT_TRUE(discMenuEntryShown(entry, DiscPopup::MenuBar));
        EXPECT_EQ(discMenuEntryShown(entry, DiscPopup::Tree),
                  std::count(tree.begin(), tree.end(), entry) == 1)
            << e;
        const bool onList = entry == DiscFileMenu::AddFile || entry == DiscFileMenu::Separator0 ||
                            entry == DiscFileMenu::ClearAll || entry == DiscFileMenu::RemoveFile ||
                            entry == DiscFileMenu::RenameFile;
        EXPECT_EQ(discMenuEntryShown(entry, DiscPopup::List), onList) << e;
    }
}

struct WriteCase {
    const char* name;
    std::function<void(DiscFormFixture&)> setUp;
    std::vector<std::string> messages;
    std::string panel;
    int writes;
};

TEST(DiscForm, EveryWayAWriteEnds) {
    const std::string insert = kDiscInsertMediaMessage;
    const WriteCase cases[] = {
        {"written", [](DiscFormFixture&) {}, {"Write Complete!"}, "Write Completed!", 1},
        {"written and verified",
         [](DiscFormFixture& f) { f.form.autoVerify = true; },
         {"Write and Verify Complete!"},
         "Write Completed!",
         1},
        {"verify finds a difference",
         [](DiscFormFixture& f) {
             f.form.autoVerify = true;
             f.engine.drives[0].readsBackWrong = {"\\backup.qob"};
         },
         {"Verify Error - Source and Destination file did not match: \n\\backup.qob (disc)\nBACKUP (source)",
          "Write and Verify Complete!"},
         "Write Completed!",
         1},
        {"disc too small",
         [](DiscFormFixture& f) { f.engine.drives[0].media.freeBlocks = 100; },
         {"Free Space on the loaded disc is 0.20 MB!\nThis data image requires 0.35 MB of Free Space!"},
         "Data Image Size: 0.35 MB",
         0},
        {"free space exactly enough",
         [](DiscFormFixture& f) { f.engine.drives[0].media.freeBlocks = f.form.image().imageSize() / 2048; },
         {"Write Complete!"},
         "Write Completed!",
         1},
        {"no medium",
         [](DiscFormFixture& f) { f.engine.drives[0].media.type = MediaType::None; },
         {insert},
         "Data Image Size: 0.35 MB",
         0},
        {"rewritable disc that needs erasing",
         [](DiscFormFixture& f) { f.engine.drives[0].media.writable = false; },
         {insert},
         "Data Image Size: 0.35 MB",
         0},
        {"failure mid-write",
         [](DiscFormFixture& f) { f.engine.drives[0].failWriteAtPercent = 50; },
         {"Device Error: (4)   The write failed.\nWrite error: 3 0C 00 (drive says so) - 0"},
         "Write Error!",
         1},
        {"cancelled",
         [](DiscFormFixture& f) {
             f.engine.onWriteProgress = [&f](int percent) {
                 EXPECT_FALSE(f.form.queryClose()) << "the window stays open while writing";
                 EXPECT_FALSE(f.form.idle);
                 if (percent == 50) {
                     f.form.cancelClick();
                     EXPECT_EQ(f.form.status[0], "Aborting Write...Please Wait!");
                 }
             };
         },
         {"Write Cancelled!"},
         "Write Cancelled....",
         1},
        {"the backup went away",
         [](DiscFormFixture& f) { fs::remove(f.backup); },
         {"Source File Error: (2)   The file is no longer there.\n'BACKUP'"},
         "Write Error!",
         1},
        {"the engine refuses to start",
         [](DiscFormFixture& f) { f.engine.refuseStart = true; },
         {"Disc Write could not be started.\nthe simulated drive refuses to start"},
         "Data Image Size: 0.35 MB",
         1},
    };
    for (const WriteCase& c : cases) {
        DiscFormFixture f;
        ASSERT_TRUE(f.form.formLoad(f.backup.string()));
        c.setUp(f);
        f.write();
        std::vector<std::string> expected;
        for (std::string text : c.messages) {
            if (auto at = text.find("BACKUP"); at != std::string::npos) {
                text.replace(at, 6, f.backup.string());
            }
            expected.push_back(text);
        }
        EXPECT_EQ(f.texts(), expected) << c.name;
        EXPECT_EQ(f.form.status[0], c.panel) << c.name;
        EXPECT_EQ(f.engine.writes, c.writes) << c.name;
        EXPECT_TRUE(f.form.idle && f.form.queryClose()) << c.name;
        EXPECT_EQ(f.form.image().fileCount(), 1) << c.name << ": the image is kept";
    }
}

TEST(DiscForm, OptionsReachTheEngineAtTheWrite) {
    DiscFormFixture f;
    ASSERT_TRUE(f.form.formLoad(f.backup.string()));
    f.form.selectedSpeed = 1;
    f.form.discAtOnce = true;
    f.form.testWrite = true;
    f.form.useFileDatesClicked(false);
    f.form.selectedVolumeType = 0;
    f.form.volumeIdentifierChanged("Mine");
    f.write();
    EXPECT_EQ(f.engine.lastAddress, "/dev/sr0");
    EXPECT_EQ(f.engine.lastOptions.writeSpeed, 5540);
    EXPECT_EQ(f.engine.lastOptions.writeMethod, 248);
    EXPECT_EQ(f.engine.lastOptions.fileSystem, 1);
    EXPECT_TRUE(f.engine.lastOptions.testWrite);
    EXPECT_FALSE(f.engine.lastOptions.useFileDates);
    EXPECT_EQ(f.engine.lastOptions.volumeIdentifier, "Mine");
    f.form.discAtOnce = false;
    f.form.selectedVolumeType = 4; // UDF cannot be chosen: the last choice stays
    f.write();
    EXPECT_EQ(f.engine.lastOptions.writeMethod, 2);
    EXPECT_EQ(f.engine.lastOptions.fileSystem, 1);

    // The image-file drive asks where the image goes; cancelling that writes nothing.
    test::SimulatedDrive file = test::simulatedDrive("stdio:", MediaType::None, false, 0);
    file.info.isImageFile = true;
    f.engine.drives.push_back(file);
    f.engine.drives.push_back(test::simulatedDrive("stdio:/tmp/x.iso", MediaType::ImageFile, false, 1 << 20));
    ASSERT_TRUE(f.form.formLoad(f.backup.string()));
    f.form.deviceSelected(2);
    f.dialogs.fileAnswers = {std::nullopt, "/tmp/x.iso"};
    const int before = f.engine.writes;
    f.write();
    EXPECT_EQ(f.engine.writes, before);
    f.write();
    EXPECT_EQ(f.engine.lastAddress, "stdio:/tmp/x.iso");

    f.form.ejectClick();
    f.form.closeTrayClick();
    EXPECT_EQ(f.engine.ejected, std::vector<std::string>{"stdio:"});
    EXPECT_EQ(f.form.eraseDiscClick(), std::optional<std::string>("stdio:"));
}

} // namespace
} // namespace qob
