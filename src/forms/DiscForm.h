#pragma once
// The disc window without its widgets (frmMaindvdwrite): composing the image (tree of folders, file
// list, volume name, status panels), choosing the recorder, speed and options, writing with
// progress and the automatic verification, and the Device menu. The image lives in a DiscImage;
// the tree and list here mirror it through its events and listings and are never edited directly.
//
// A write runs in three steps so the window can keep its event loop free:
//  1. writeDiscClick() checks the medium and builds the job (nullopt: nothing to run);
//  2. the window runs engine.write(job.address, job.image, job.options, <this form>, stopToken())
//     on a worker and hands every DiscEvents call to this form on its own thread;
//  3. writeReturned(status) with what write() returned.
// Tests run step 2 on their own thread with the simulated recorder.
#include "disc/DiscEngine.h"
#include "platform/Dialogs.h"
#include "platform/Job.h"

#include <array>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qob {

inline constexpr char kDiscWindowCaption[] = "Backup Outlook Data to CD/DVD";
inline constexpr char kDiscNoItemSelected[] = "No Item Selected.";
inline constexpr char kDiscWriteCompleteMessage[] = "Write Complete!";
inline constexpr char kDiscWriteVerifyCompleteMessage[] = "Write and Verify Complete!";
inline constexpr char kDiscWriteCancelledMessage[] = "Write Cancelled!";
inline constexpr char kDiscStopWriteQuestion[] =
    "The disc is being written.\n\nDo you want to stop writing it?";
inline constexpr char kDiscInsertMediaMessage[] = "Please Insert Writable Media before continuing!";
inline constexpr char kDiscDevicesCannotBeInitialized[] = "Devices Cannot be initialized!";
// After the reason the recorders cannot be used, when the image file still can be written.
inline constexpr char kDiscImageFileStillWritten[] = "A disc image file (.iso) can still be written.";

struct DiscTreeNode {
    std::string key;           // image path; "\" for the root
    std::string text;          // the folder's name; the volume name for the root
    std::string image;         // "CD" or "CLOSEDFOLDER"
    std::string selectedImage; // "CD" or "OPENFOLDER"
    std::string parent;        // key of the parent node ("" for the root)
};

struct DiscFileRow {
    std::string key; // image path
    std::string name;
    std::string size; // "1,234.57 KB"
    std::string date; // "MM/DD/YYYY hh:mm:ss AM"
};

struct DiscChoice {
    std::string text;
    int value = 0; // device index, speed value or file-system code
    bool enabled = true;
};

// The File menu entries, in order, for the pop-up menus.
enum class DiscFileMenu {
    AddFile,
    Separator0,
    ClearAll,
    Separator1,
    RemoveFolder,
    RenameFolder,
    RemoveFile,
    RenameFile,
    Separator4,
    Exit
};
enum class DiscPopup { MenuBar, Tree, List };
// Whether `entry` shows in the File menu as `popup` pops it up.
bool discMenuEntryShown(DiscFileMenu entry, DiscPopup popup);

struct DiscWriteJob {
    std::string address;
    disc::DiscImage image; // a copy: the window's image may not change while it is written
    disc::WriteOptions options;
};

class DiscForm : public disc::ImageEvents, public disc::DiscEvents {
public:
    DiscForm(Dialogs& dialogs, disc::DiscEngine& engine);
    DiscForm(const DiscForm&) = delete;
    DiscForm& operator=(const DiscForm&) = delete;

    // --- controls ---
    std::vector<DiscTreeNode> tree; // tvwFolders, parents before children
    std::string selectedNode;       // key; "" when none
    std::set<std::string> expanded;
    std::vector<DiscFileRow> rows;     // lvwImageFiles: the files of the folder last shown
    std::string selectedRow;           // key; "" when none
    std::string volumeIdentifier;      // txtVolIdentifier
    std::array<std::string, 3> status; // sbrStatus panels
    std::vector<DiscChoice> devices;   // cboDevices
    int selectedDevice = -1;
    std::vector<DiscChoice> speeds; // cboWriteSpeed
    int selectedSpeed = -1;
    std::vector<DiscChoice> volumeTypes; // cboVolumeType
    int selectedVolumeType = -1;
    bool useFileDates = true;
    bool autoVerify = false;
    bool mode2xa = false;
    bool cacheImage = false;
    bool testWrite = false;
    bool finalizeDisc = false;
    bool bufferProtect = false;
    bool bufferProtectEnabled = false;
    bool discAtOnce = false;
    int progress = 0; // prgTotalProgress
    // EnableControls: menus, lists, tree, options and "Write Disc" follow `idle`; "Cancel" the opposite.
    bool idle = false;
    bool busyCursor = false;

    // --- events ---
    // Form_Load. `handOver`: the backup file to put in the image root (empty: none). False when
    // the engine cannot start: the message was shown and the window closes.
    bool formLoad(const std::string& handOver = "");
    void deviceSelected(int index); // cboDevices_Click
    void nodeClick(const std::string& key);
    void rowClick(const std::string& key) { selectedRow = key; }
    void addFileClick(); // munaddfile
    // Drag and drop: `isFileList` false when the data carries no files (nothing happens).
    void dropFiles(const std::vector<std::string>& paths, bool isFileList = true);
    void removeFolderClick();
    void removeFileClick();
    // Before an in-place edit: false when it must not start (the message was shown).
    bool renameFolderClick();
    bool renameFileClick();
    // After the in-place edit with the text typed.
    void folderRenamed(const std::string& newName);
    void fileRenamed(const std::string& newName);
    void clearAllClick(); // mnuFileClear
    void volumeIdentifierChanged(const std::string& text);
    void useFileDatesClicked(bool checked);
    std::optional<DiscWriteJob> writeDiscClick();
    void writeReturned(const Status& status);
    void cancelClick();
    // Escape or the window's close while a write runs: asks, and cancels on Yes. True when the
    // write was asked to stop.
    bool cancelAsked();
    const StopToken& stopToken() const { return stop_; }
    void ejectClick();
    void closeTrayClick();
    // "Erase Disc...": the drive the erase window works on; nullopt when there is none.
    std::optional<std::string> eraseDiscClick();
    // Form_Unload: false while a write runs (the window stays open).
    bool queryClose() const { return idle; }

    const disc::DiscImage& image() const { return image_; }
    std::string currentAddress() const;

    // --- the engine's events (on the window's thread) ---
    void itemAdded(const disc::ImageItem& item) override;
    void itemRemoved(const disc::ImageItem& item) override;
    void itemRenamed(const disc::ImageItem& item) override;
    bool replaceFile(const disc::ImageItem& existing, const std::string& newSource) override;
    void imageCleared() override { resetImage(); }
    void writeStatus(int percent, disc::WriteStage stage) override;
    void fileWarning(const disc::FileError& error, bool& goOn) override;
    void errorRaised(const disc::EngineError& error) override;
    void verifyStarted(int files) override;
    void verifyMismatch(const disc::ImageItem& item, disc::VerifyKind kind, int counter, int total) override;
    void verifyFinished(int files, int matched) override;

private:
    void resetImage();
    void showFolderFiles(const std::string& key);
    void refreshFileList();
    void updateImageStatus();
    void loadDevices();
    void loadWriteSpeeds();
    void setDiscDefaults();
    void enableControls(bool enabled);
    bool checkFreeSpace(const std::string& address);
    DiscTreeNode* node(const std::string& key);
    void info(const std::string& text);

    Dialogs& dialogs_;
    disc::DiscEngine& engine_;
    disc::DiscImage image_;
    std::vector<disc::DiscDeviceInfo> found_;
    int fileSystem_ = disc::kIso9660 | disc::kJoliet;
    bool autoVerifyOfWrite_ = false;
    bool writing_ = false;
    StopToken stop_;
    std::string imageFolder_; // the handed-over backup's folder: where an image is offered first
};

} // namespace qob
