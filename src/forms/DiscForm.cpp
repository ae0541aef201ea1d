#include "forms/DiscForm.h"

#include "forms/DiscText.h"
#include "forms/SaveName.h"
#include "outlook/AppState.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace qob {
using namespace disc;
namespace fs = std::filesystem;

namespace {
constexpr char kRootKey[] = "\\";
constexpr char kNewDisc[] = "New Disc";
constexpr std::size_t kVolumeIdentifierLength = 32;

std::string nameOf(const std::string& hostPath) {
    fs::path path(hostPath);
    if (!path.has_filename()) {
        path = path.parent_path(); // "folder/" names the folder
    }
    return imageNameFor(path.filename().string());
}
} // namespace

bool discMenuEntryShown(DiscFileMenu entry, DiscPopup popup) {
    switch (entry) {
    case DiscFileMenu::AddFile:
    case DiscFileMenu::Separator0:
    case DiscFileMenu::ClearAll:
        return true;
    case DiscFileMenu::RemoveFolder:
    case DiscFileMenu::RenameFolder:
        return popup != DiscPopup::List;
    case DiscFileMenu::RemoveFile:
    case DiscFileMenu::RenameFile:
        return popup != DiscPopup::Tree;
    case DiscFileMenu::Separator1:
    case DiscFileMenu::Separator4:
    case DiscFileMenu::Exit:
        return popup == DiscPopup::MenuBar;
    }
    return true;
}

DiscForm::DiscForm(Dialogs& dialogs, DiscEngine& engine) : dialogs_(dialogs), engine_(engine) {
    image_.setEvents(this);
}

void DiscForm::info(const std::string& text) {
    dialogs_.message(text, MsgIcon::Information, MsgButtons::Ok, kApplicationTitle);
}

DiscTreeNode* DiscForm::node(const std::string& key) {
    auto it = std::find_if(tree.begin(), tree.end(), [&](const DiscTreeNode& n) { return n.key == key; });
    return it == tree.end() ? nullptr : &*it;
}

bool DiscForm::formLoad(const std::string& handOver) {
    if (Status s = engine_.initialize(); !s) {
        dialogs_.message(kDiscDevicesCannotBeInitialized, MsgIcon::None, MsgButtons::Ok, kApplicationTitle);
        return false;
    }
    // The engine works but reaches no recorder (Windows' disc recording is missing or off): said
    // plainly with the reason, rather than a list that silently holds the image file alone.
    if (const std::string why = engine_.recorderProblem(); !why.empty()) {
        dialogs_.message(std::string(kDiscDevicesCannotBeInitialized) + "\n\n" + why + "\n\n" +
                             kDiscImageFileStillWritten,
                         MsgIcon::None, MsgButtons::Ok, kApplicationTitle);
    }
    loadDevices();
    enableControls(true);
    image_.clearAll();
    setDiscDefaults();
    resetImage();
    volumeIdentifierChanged("Outlook Data Backup CD");
    if (!handOver.empty()) {
        imageFolder_ = std::filesystem::path(handOver).parent_path().string();
        image_.addFile(handOver, kRootKey + nameOf(handOver));
        refreshFileList();
    }
    return true;
}

void DiscForm::loadDevices() {
    devices.clear();
    selectedDevice = -1;
    found_ = engine_.devices();
    for (std::size_t i = 0; i < found_.size(); ++i) {
        if (found_[i].isRecorder) {
            devices.push_back({found_[i].description, static_cast<int>(i), true});
        }
    }
    if (devices.empty()) {
        info("There are no compatible devices reported.\nSome older devices are not currently supported.");
        return;
    }
    deviceSelected(0);
}

std::string DiscForm::currentAddress() const {
    if (selectedDevice < 0 || selectedDevice >= static_cast<int>(devices.size())) {
        return "";
    }
    return found_[static_cast<std::size_t>(devices[static_cast<std::size_t>(selectedDevice)].value)].address;
}

void DiscForm::deviceSelected(int index) {
    if (index < 0 || index >= static_cast<int>(devices.size())) {
        return;
    }
    selectedDevice = index;
    loadWriteSpeeds();
    bufferProtectEnabled = engine_.supports(currentAddress(), Capability::BufferProtection);
    bufferProtect = bufferProtectEnabled;
}

void DiscForm::loadWriteSpeeds() {
    speeds.clear();
    for (const WriteSpeed& speed : engine_.writeSpeeds(currentAddress())) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1fx", speed.factor);
        speeds.push_back({text, speed.value, true});
    }
    if (speeds.empty()) {
        speeds.push_back({"MAX", 0, true});
    }
    selectedSpeed = 0;
}

void DiscForm::setDiscDefaults() {
    // libisofs writes no UDF: those types are listed, as users know them, but cannot be chosen;
    // the Joliet bridge (what Windows reads) is the one chosen at first.
    volumeTypes = {{"ISO9660", kIso9660, true},
                   {"UDF", kUdf, false},
                   {"ISO9660/Joliet Bridge", kIso9660 | kJoliet, true},
                   {"ISO9660/UDF (DVDVideo) Bridge", kIso9660 | kUdf, false},
                   {"ISO9660/Joliet/UDF Bridge", kIso9660 | kJoliet | kUdf, false}};
    selectedVolumeType = 2;
    fileSystem_ = kIso9660 | kJoliet;
    useFileDates = true;
}

void DiscForm::enableControls(bool enabled) {
    bufferProtectEnabled =
        enabled && selectedDevice >= 0 && engine_.supports(currentAddress(), Capability::BufferProtection);
    idle = enabled;
    busyCursor = !enabled;
    dialogs_.processEvents();
}

void DiscForm::resetImage() {
    rows.clear();
    tree.clear();
    tree.push_back({kRootKey, kNewDisc, "CD", "CD", ""});
    selectedNode.clear();
    selectedRow.clear();
    expanded.clear();
    volumeIdentifier = kNewDisc;
    updateImageStatus();
}

void DiscForm::showFolderFiles(const std::string& key) {
    busyCursor = true;
    rows.clear();
    selectedRow.clear();
    for (const ImageItem& item : image_.listFolder(key)) {
        if (!item.isFolder) {
            rows.push_back(
                {item.imagePath, item.name, formatKilobytes(item.size), formatFileDate(item.fileDate)});
        }
    }
    busyCursor = false;
}

void DiscForm::refreshFileList() {
    if (!selectedNode.empty() && !node(selectedNode)) {
        selectedNode.clear(); // its folder is gone
    }
    const std::string key = selectedNode.empty() ? kRootKey : selectedNode;
    showFolderFiles(key);
    expanded.insert(key);
    updateImageStatus();
}

void DiscForm::updateImageStatus() {
    status[0] = "Data Image Size: " + formatMegabytes(static_cast<double>(image_.imageSize()));
    status[1] = "Files: " + std::to_string(image_.fileCount());
    status[2] = "Folders: " + std::to_string(image_.folderCount());
}

void DiscForm::nodeClick(const std::string& key) {
    selectedNode = key;
    showFolderFiles(key);
}

void DiscForm::addFileClick() {
    const std::optional<std::string> path =
        dialogs_.openFile("Add File to Write to the CD/DVD...", "Any File (*.*)|*.*", "");
    std::error_code ec;
    if (!path || !fs::is_regular_file(*path, ec)) {
        info("A file was not added.");
        return;
    }
    const std::string imagePath = kRootKey + nameOf(*path);
    const bool there = image_.find(imagePath).has_value();
    if (!image_.addFile(*path, imagePath) && !there) {
        info("A file was not added."); // unreadable, or a folder of that name is in the way
    }
    updateImageStatus();
    refreshFileList();
}

void DiscForm::dropFiles(const std::vector<std::string>& paths, bool isFileList) {
    if (!isFileList) {
        return;
    }
    busyCursor = true;
    const std::string destination = (selectedNode.empty() || selectedNode == kRootKey) ? "" : selectedNode;
    for (const std::string& path : paths) {
        const std::string imagePath = destination + "\\" + nameOf(path);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            image_.addFolder(path, imagePath);
        } else {
            image_.addFile(path, imagePath);
        }
    }
    refreshFileList();
    busyCursor = false;
}

void DiscForm::removeFolderClick() {
    if (selectedNode.empty()) {
        info(kDiscNoItemSelected);
        return;
    }
    if (!image_.removeItem(selectedNode)) {
        info("Item could not be removed.");
    }
    refreshFileList();
}

void DiscForm::removeFileClick() {
    if (selectedRow.empty()) {
        info(kDiscNoItemSelected);
        return;
    }
    if (!image_.removeItem(selectedRow)) {
        info("Item could not be removed.");
    }
    refreshFileList();
}

bool DiscForm::renameFolderClick() {
    if (selectedNode.empty()) {
        info(kDiscNoItemSelected);
        return false;
    }
    if (selectedNode == kRootKey) {
        info("Root directory can not be renamed.");
        return false;
    }
    return true;
}

bool DiscForm::renameFileClick() {
    if (selectedRow.empty()) {
        info(kDiscNoItemSelected);
        return false;
    }
    return true;
}

void DiscForm::folderRenamed(const std::string& newName) {
    if (!image_.renameFolder(selectedNode, newName)) {
        info("Folder could not be renamed.");
    }
    refreshFileList();
}

void DiscForm::fileRenamed(const std::string& newName) {
    if (!image_.renameFile(selectedRow, newName)) {
        info("File could not be renamed.");
    }
    refreshFileList();
}

void DiscForm::clearAllClick() {
    image_.clearAll();
}

void DiscForm::volumeIdentifierChanged(const std::string& text) {
    volumeIdentifier = text.substr(0, kVolumeIdentifierLength);
    if (DiscTreeNode* root = node(kRootKey)) {
        root->text = volumeIdentifier;
    }
}

void DiscForm::useFileDatesClicked(bool checked) {
    useFileDates = checked;
}

bool DiscForm::checkFreeSpace(const std::string& address) {
    const MediaInfo media = engine_.media(address);
    if (media.type == MediaType::None || !media.writable) {
        info(kDiscInsertMediaMessage);
        return false;
    }
    const double free = static_cast<double>(media.freeBlocks) * static_cast<double>(kBlockSize);
    const double needed = static_cast<double>(image_.imageSize());
    if (free >= needed) {
        return true;
    }
    info("Free Space on the loaded disc is " + formatMegabytes(free) + "!\nThis data image requires " +
         formatMegabytes(needed) + " of Free Space!");
    return false;
}

std::optional<DiscWriteJob> DiscForm::writeDiscClick() {
    if (!idle) {
        return std::nullopt;
    }
    if (selectedDevice < 0) {
        info("There are no compatible devices reported.\nSome older devices are not currently supported.");
        return std::nullopt;
    }
    DiscWriteJob job;
    job.address = currentAddress();
    if (found_[static_cast<std::size_t>(devices[static_cast<std::size_t>(selectedDevice)].value)]
            .isImageFile) {
        // Beside the backup handed over: where the user keeps the backups.
        const std::string name = volumeIdentifier + ".iso";
        const std::optional<std::string> path = dialogs_.saveFile(
            "Save the Disc Image As...", "Disc Image (*.iso)|*.iso",
            imageFolder_.empty() ? name : (std::filesystem::path(imageFolder_) / name).string());
        if (!path || path->empty()) {
            return std::nullopt;
        }
        job.address = "stdio:" + withDefaultExtension(*path, ".iso");
    }
    if (!checkFreeSpace(job.address)) {
        return std::nullopt;
    }
    job.options.volumeIdentifier = volumeIdentifier;
    if (selectedSpeed >= 0 && selectedSpeed < static_cast<int>(speeds.size())) {
        job.options.writeSpeed = speeds[static_cast<std::size_t>(selectedSpeed)].value;
    }
    if (selectedVolumeType >= 0 && selectedVolumeType < static_cast<int>(volumeTypes.size()) &&
        volumeTypes[static_cast<std::size_t>(selectedVolumeType)].enabled) {
        fileSystem_ = volumeTypes[static_cast<std::size_t>(selectedVolumeType)].value;
    }
    job.options.fileSystem = fileSystem_;
    job.options.useFileDates = useFileDates;
    job.options.autoVerify = autoVerify;
    job.options.mode2xa = mode2xa;
    job.options.cacheImage = cacheImage;
    job.options.testWrite = testWrite;
    job.options.finalize = finalizeDisc;
    job.options.bufferProtect = bufferProtect && bufferProtectEnabled;
    job.options.writeMethod = discAtOnce ? kWriteMethodDiscAtOnce : kWriteMethodTrackAtOnce;
    job.image = image_;
    autoVerifyOfWrite_ = autoVerify;
    stop_.reset();
    progress = 0;
    writing_ = true;
    enableControls(false);
    return job;
}

void DiscForm::writeReturned(const Status& result) {
    if (!result) {
        writing_ = false;
        enableControls(true);
        dialogs_.message("Disc Write could not be started." +
                             (result.message.empty() ? "" : "\n" + result.message),
                         MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
        return;
    }
    if (writing_) {
        // The engine promises an end report; should one never come, the window must not stay locked.
        writing_ = false;
        enableControls(true);
    }
}

void DiscForm::cancelClick() {
    if (!writing_) {
        return;
    }
    stop_.requestStop();
    status[0] = "Aborting Write...Please Wait!";
}

bool DiscForm::cancelAsked() {
    if (!writing_ || stop_.stopRequested()) {
        return false;
    }
    if (dialogs_.message(kDiscStopWriteQuestion, MsgIcon::Question, MsgButtons::YesNo, kApplicationTitle) !=
        MsgAnswer::Yes) {
        return false;
    }
    cancelClick();
    return true;
}

void DiscForm::ejectClick() {
    if (selectedDevice >= 0) {
        engine_.eject(currentAddress());
    }
}

void DiscForm::closeTrayClick() {
    if (selectedDevice >= 0) {
        engine_.closeTray(currentAddress());
    }
}

std::optional<std::string> DiscForm::eraseDiscClick() {
    if (selectedDevice < 0) {
        return std::nullopt;
    }
    return currentAddress();
}

void DiscForm::itemAdded(const ImageItem& item) {
    if (item.isFolder && !node(item.imagePath)) {
        tree.push_back({item.imagePath, item.name, "CLOSEDFOLDER", "OPENFOLDER", item.parentPath});
        status[0] = "Adding...." + item.imagePath;
    }
    dialogs_.processEvents();
}

void DiscForm::itemRemoved(const ImageItem& item) {
    if (!item.isFolder) {
        return;
    }
    const std::string below = item.imagePath + "\\";
    tree.erase(std::remove_if(tree.begin(), tree.end(),
                              [&](const DiscTreeNode& n) {
                                  return n.key == item.imagePath || n.key.rfind(below, 0) == 0;
                              }),
               tree.end());
}

void DiscForm::itemRenamed(const ImageItem& item) {
    if (!item.isFolder) {
        return;
    }
    // The folder's key changes, and with it the keys of every folder below it.
    const std::string oldBelow = item.oldImagePath + "\\";
    auto moved = [&](std::string& key) {
        if (key == item.oldImagePath) {
            key = item.imagePath;
        } else if (key.rfind(oldBelow, 0) == 0) {
            key = item.imagePath + key.substr(item.oldImagePath.size());
        }
    };
    for (DiscTreeNode& n : tree) {
        if (n.key == item.oldImagePath) {
            n.text = item.name;
        }
        moved(n.key);
        moved(n.parent);
    }
    moved(selectedNode);
    std::set<std::string> keys;
    for (std::string key : expanded) {
        moved(key);
        keys.insert(key);
    }
    expanded = keys;
}

bool DiscForm::replaceFile(const ImageItem& existing, const std::string& newSource) {
    return dialogs_.message("A file already exists in the image: \n" + existing.imagePath +
                                "\nWould you like to replace it with: \n" + newSource + " ?",
                            MsgIcon::Question, MsgButtons::OkCancel, "Replace file...") == MsgAnswer::Ok;
}

void DiscForm::writeStatus(int percent, WriteStage stage) {
    switch (stage) {
    case WriteStage::Preparing:
        status[0] = "Preparing Image....";
        break;
    case WriteStage::Writing:
    case WriteStage::Buffering:
    case WriteStage::Syncing:
        progress = percent;
        break;
    case WriteStage::ClosingTrack:
        status[0] = "Closing Track....";
        break;
    case WriteStage::LeadIn:
        status[0] = "Writing Lead-in....";
        break;
    case WriteStage::LeadOut:
        status[0] = "Writing Lead-out....";
        break;
    case WriteStage::Verifying:
        break;
    case WriteStage::UpdatingVolume:
        status[0] = "Updating Volume....";
        break;
    case WriteStage::Done:
        status[0] = "Write Completed!";
        writing_ = false;
        info(autoVerifyOfWrite_ ? kDiscWriteVerifyCompleteMessage : kDiscWriteCompleteMessage);
        enableControls(true);
        break;
    case WriteStage::Cancelled:
        status[0] = "Write Cancelled....";
        writing_ = false;
        info(kDiscWriteCancelledMessage);
        enableControls(true);
        break;
    case WriteStage::Failed:
        status[0] = "Write Error!";
        writing_ = false;
        enableControls(true);
        break;
    }
}

void DiscForm::fileWarning(const FileError& error, bool& goOn) {
    goOn = true;
    dialogs_.message("File Warning(" + std::to_string(error.code) + "):" + error.fileName + "\n" +
                         error.description,
                     MsgIcon::Warning, MsgButtons::OkCancel, kApplicationTitle);
    status[0] = "File Warning!";
}

void DiscForm::errorRaised(const EngineError& error) {
    dialogs_.message(discErrorText(error), MsgIcon::Critical, MsgButtons::Ok, kApplicationTitle);
}

void DiscForm::verifyStarted(int files) {
    status[0] = "Auto-Verify... " + std::to_string(files) + " new files.";
}

void DiscForm::verifyMismatch(const ImageItem& item, VerifyKind kind, int counter, int total) {
    const char* heading = nullptr;
    switch (kind) {
    case VerifyKind::SourceUnreadable:
        heading = "Verify Error - Could not read Source file from disc: ";
        break;
    case VerifyKind::DiscUnreadable:
        heading = "Verify Error - Could not read Destination file from disc: ";
        break;
    case VerifyKind::ContentDiffers:
        heading = "Verify Error - Source and Destination file did not match: ";
        break;
    case VerifyKind::SizeDiffers:
        heading = "Verify Error - Size of Source and Destination file did not match: ";
        break;
    case VerifyKind::Matched:
        break;
    }
    if (heading) {
        dialogs_.message(std::string(heading) + "\n" + item.imagePath + " (disc)\n" + item.sourcePath +
                             " (source)",
                         MsgIcon::None, MsgButtons::Ok, kApplicationTitle);
    }
    status[0] = "Auto-Verify... " + item.imagePath;
    progress = total > 0 ? static_cast<int>(std::lround(100.0 * counter / total)) : 0;
}

void DiscForm::verifyFinished(int files, int matched) {
    status[0] =
        "Auto-Verify...Complete (" + std::to_string(matched) + " of " + std::to_string(files) + " MATCHED)";
}

} // namespace qob
