#pragma once
// The tree of a data disc being composed: folders made in the image and files of this computer
// placed in them. Every item is addressed by its image path ("\", "\name", "\folder\name"). The
// tree only records where each file comes from; the files are read when the disc is written.
// Changes are reported through ImageEvents, so a window can mirror the tree without editing it.
#include "disc/DiscTypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qob::disc {

class ImageEvents {
public:
    virtual ~ImageEvents() = default;
    virtual void itemAdded(const ImageItem& item) { (void)item; }
    virtual void itemRemoved(const ImageItem& item) { (void)item; }
    virtual void itemRenamed(const ImageItem& item) { (void)item; }
    // A file is added where one already is: true replaces it, false keeps the one there.
    virtual bool replaceFile(const ImageItem& existing, const std::string& newSource) {
        (void)existing;
        (void)newSource;
        return false;
    }
    virtual void imageCleared() {}
};

// Longest name of one item, in bytes: what Rock Ridge carries.
inline constexpr std::size_t kMaxImageNameBytes = 255;

// A name for the image from a name on this computer: a backslash would split it into folders.
std::string imageNameFor(const std::string& hostName);

class DiscImage {
public:
    DiscImage();
    // A copy holds the same tree and reports to no one.
    DiscImage(const DiscImage& other) : root_(other.root_) {}
    DiscImage& operator=(const DiscImage& other) {
        root_ = other.root_;
        return *this;
    }

    // Events of later changes go to `events` (none when null). Not copied with the image.
    void setEvents(ImageEvents* events) { events_ = events; }

    // Adds one file of this computer at `imagePath` (the folders on the way are made when missing).
    // False when the source is not a readable regular file, the path is not valid, a folder of that
    // name is there, or an existing file is kept (ImageEvents::replaceFile said no).
    bool addFile(const std::string& sourcePath, const std::string& imagePath);
    // Adds a folder of this computer with everything below it as the image folder `imagePath`
    // (merged into it when it exists). Links and special files are left out.
    bool addFolder(const std::string& sourceFolder, const std::string& imagePath);
    // Makes an empty folder (and the ones on the way).
    bool makeFolder(const std::string& imagePath);
    bool renameFile(const std::string& imagePath, const std::string& newName);
    bool renameFolder(const std::string& imagePath, const std::string& newName);
    bool removeItem(const std::string& imagePath);
    void clearAll();

    // The items directly in a folder, folders first, each group in the order added.
    std::vector<ImageItem> listFolder(const std::string& imagePath) const;
    // Every item below the root, each folder before its content.
    std::vector<ImageItem> allItems() const;
    std::optional<ImageItem> find(const std::string& imagePath) const;

    int fileCount() const;
    int folderCount() const;           // not counting the root
    std::uint64_t sourceBytes() const; // the files' sizes as they were added
    std::uint64_t imageSize() const;   // the estimated size of the written image, in bytes

private:
    struct Node {
        std::string name;
        bool isFolder = false;
        std::string sourcePath;
        std::uint64_t size = 0;
        std::time_t fileDate = 0;
        std::vector<Node> children;
    };

    Node* findNode(const std::vector<std::string>& parts);
    const Node* findNode(const std::vector<std::string>& parts) const;
    Node* makeFolders(const std::vector<std::string>& parts, std::size_t count);
    bool addFolderContent(const std::string& sourceFolder, const std::vector<std::string>& parts, int depth);
    bool rename(const std::string& imagePath, const std::string& newName, bool folder);
    void collect(const Node& node, const std::string& path, std::vector<ImageItem>& out) const;

    Node root_;
    ImageEvents* events_ = nullptr;
};

// Splits an image path into its names; nullopt when it is not a valid path ("\" gives none).
std::optional<std::vector<std::string>> splitImagePath(const std::string& imagePath);
// "\" + the names joined with "\".
std::string joinImagePath(const std::vector<std::string>& parts, std::size_t count);
// True for a name an item may carry.
bool validImageName(const std::string& name);

} // namespace qob::disc
