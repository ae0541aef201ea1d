#include "disc/DiscImage.h"

#include "platform/AsciiCase.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace qob::disc {
namespace fs = std::filesystem;

namespace {

// Deeper source folders than this are not descended into: a tree that deep is a loop or a mistake,
// and the image's readers cope badly with it.
constexpr int kMaxFolderDepth = 64;

std::uint64_t blocksFor(std::uint64_t bytes) {
    return (bytes + kBlockSize - 1) / kBlockSize;
}

std::time_t fileTime(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : 0;
}

} // namespace

std::string imageNameFor(const std::string& hostName) {
    std::string name = hostName;
    std::replace(name.begin(), name.end(), '\\', '_');
    return name;
}

bool validImageName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > kMaxImageNameBytes) {
        return false;
    }
    return name.find_first_of(std::string("\\/\0", 3)) == std::string::npos;
}

std::optional<std::vector<std::string>> splitImagePath(const std::string& imagePath) {
    if (imagePath.empty() || imagePath[0] != '\\') {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start < imagePath.size()) {
        const std::size_t end = std::min(imagePath.find('\\', start), imagePath.size());
        const std::string name = imagePath.substr(start, end - start);
        if (!validImageName(name)) {
            return std::nullopt;
        }
        parts.push_back(name);
        start = end + 1;
    }
    if (imagePath.size() > 1 && imagePath.back() == '\\') {
        return std::nullopt; // "\a\" names nothing
    }
    return parts;
}

std::string joinImagePath(const std::vector<std::string>& parts, std::size_t count) {
    if (count == 0) {
        return "\\";
    }
    std::string path;
    for (std::size_t i = 0; i < count; ++i) {
        path += "\\" + parts[i];
    }
    return path;
}

DiscImage::DiscImage() {
    root_.isFolder = true;
}

DiscImage::Node* DiscImage::findNode(const std::vector<std::string>& parts) {
    return const_cast<Node*>(static_cast<const DiscImage*>(this)->findNode(parts));
}

const DiscImage::Node* DiscImage::findNode(const std::vector<std::string>& parts) const {
    const Node* node = &root_;
    for (const std::string& name : parts) {
        if (!node->isFolder) {
            return nullptr;
        }
        const auto it = std::find_if(node->children.begin(), node->children.end(),
                                     [&](const Node& child) { return equalsIgnoreCase(child.name, name); });
        if (it == node->children.end()) {
            return nullptr;
        }
        node = &*it;
    }
    return node;
}

namespace {
ImageItem itemOf(const std::string& parentPath, const std::string& name, bool isFolder,
                 const std::string& source, std::uint64_t size, std::time_t date) {
    ImageItem item;
    item.isFolder = isFolder;
    item.parentPath = parentPath;
    item.imagePath = (parentPath == "\\" ? "" : parentPath) + "\\" + name;
    item.name = name;
    item.sourcePath = source;
    item.size = size;
    item.fileDate = date;
    return item;
}
} // namespace

DiscImage::Node* DiscImage::makeFolders(const std::vector<std::string>& parts, std::size_t count) {
    Node* node = &root_;
    for (std::size_t i = 0; i < count; ++i) {
        auto it = std::find_if(node->children.begin(), node->children.end(),
                               [&](const Node& child) { return equalsIgnoreCase(child.name, parts[i]); });
        if (it != node->children.end()) {
            if (!it->isFolder) {
                return nullptr; // a file stands where the folder should be
            }
            node = &*it;
            continue;
        }
        Node folder;
        folder.name = parts[i];
        folder.isFolder = true;
        folder.fileDate = std::time(nullptr);
        node->children.push_back(std::move(folder));
        node = &node->children.back();
        if (events_) {
            events_->itemAdded(itemOf(joinImagePath(parts, i), parts[i], true, "", 0, node->fileDate));
        }
    }
    return node;
}

bool DiscImage::addFile(const std::string& sourcePath, const std::string& imagePath) {
    const auto parts = splitImagePath(imagePath);
    if (!parts || parts->empty()) {
        return false;
    }
    std::error_code ec;
    const fs::path source = fs::absolute(fs::path(sourcePath), ec);
    if (ec || !fs::is_regular_file(source, ec)) {
        return false;
    }
    const std::uint64_t size = fs::file_size(source, ec);
    if (ec) {
        return false;
    }
    Node* parent = makeFolders(*parts, parts->size() - 1);
    if (!parent) {
        return false;
    }
    const std::string& name = parts->back();
    const std::string parentPath = joinImagePath(*parts, parts->size() - 1);
    const std::time_t date = fileTime(source);
    auto it = std::find_if(parent->children.begin(), parent->children.end(),
                           [&](const Node& child) { return equalsIgnoreCase(child.name, name); });
    if (it != parent->children.end()) {
        if (it->isFolder) {
            return false;
        }
        const ImageItem existing =
            itemOf(parentPath, it->name, false, it->sourcePath, it->size, it->fileDate);
        if (!events_ || !events_->replaceFile(existing, source.string())) {
            return false;
        }
        it->sourcePath = source.string();
        it->size = size;
        it->fileDate = date;
        if (events_) {
            events_->itemAdded(itemOf(parentPath, it->name, false, it->sourcePath, size, date));
        }
        return true;
    }
    Node file;
    file.name = name;
    file.sourcePath = source.string();
    file.size = size;
    file.fileDate = date;
    parent->children.push_back(std::move(file));
    if (events_) {
        events_->itemAdded(itemOf(parentPath, name, false, source.string(), size, date));
    }
    return true;
}

bool DiscImage::makeFolder(const std::string& imagePath) {
    const auto parts = splitImagePath(imagePath);
    return parts && makeFolders(*parts, parts->size()) != nullptr;
}

bool DiscImage::addFolder(const std::string& sourceFolder, const std::string& imagePath) {
    const auto parts = splitImagePath(imagePath);
    std::error_code ec;
    if (!parts || parts->empty() || !fs::is_directory(fs::path(sourceFolder), ec)) {
        return false;
    }
    if (!makeFolders(*parts, parts->size())) {
        return false;
    }
    return addFolderContent(fs::absolute(fs::path(sourceFolder), ec).string(), *parts, 0);
}

bool DiscImage::addFolderContent(const std::string& sourceFolder, const std::vector<std::string>& parts,
                                 int depth) {
    std::error_code ec;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(sourceFolder, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    if (ec) {
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    bool all = true;
    for (const fs::directory_entry& entry : entries) {
        std::vector<std::string> child = parts;
        child.push_back(imageNameFor(entry.path().filename().string()));
        if (!validImageName(child.back())) {
            all = false;
            continue;
        }
        if (entry.is_symlink(ec)) {
            // A linked file is taken as the file it points to; a linked folder is left out, as it
            // may lead back up the tree.
            if (entry.is_regular_file(ec)) {
                all = addFile(entry.path().string(), joinImagePath(child, child.size())) && all;
            }
            continue;
        }
        if (entry.is_directory(ec)) {
            if (depth + 1 >= kMaxFolderDepth || !makeFolders(child, child.size())) {
                all = false;
                continue;
            }
            all = addFolderContent(entry.path().string(), child, depth + 1) && all;
        } else if (entry.is_regular_file(ec)) {
            all = addFile(entry.path().string(), joinImagePath(child, child.size())) && all;
        }
    }
    return all;
}

bool DiscImage::rename(const std::string& imagePath, const std::string& newName, bool folder) {
    const auto parts = splitImagePath(imagePath);
    if (!parts || parts->empty() || !validImageName(newName)) {
        return false;
    }
    std::vector<std::string> parentParts(parts->begin(), parts->end() - 1);
    Node* parent = findNode(parentParts);
    Node* node = findNode(*parts);
    if (!parent || !node || node->isFolder != folder) {
        return false;
    }
    for (const Node& sibling : parent->children) {
        if (&sibling != node && equalsIgnoreCase(sibling.name, newName)) {
            return false;
        }
    }
    const std::string parentPath = joinImagePath(parentParts, parentParts.size());
    ImageItem item = itemOf(parentPath, newName, folder, node->sourcePath, node->size, node->fileDate);
    item.oldImagePath = joinImagePath(*parts, parts->size());
    node->name = newName;
    if (events_) {
        events_->itemRenamed(item);
    }
    return true;
}

bool DiscImage::renameFile(const std::string& imagePath, const std::string& newName) {
    return rename(imagePath, newName, false);
}

bool DiscImage::renameFolder(const std::string& imagePath, const std::string& newName) {
    return rename(imagePath, newName, true);
}

bool DiscImage::removeItem(const std::string& imagePath) {
    const auto parts = splitImagePath(imagePath);
    if (!parts || parts->empty()) {
        return false;
    }
    std::vector<std::string> parentParts(parts->begin(), parts->end() - 1);
    Node* parent = findNode(parentParts);
    if (!parent || !parent->isFolder) {
        return false;
    }
    auto it = std::find_if(parent->children.begin(), parent->children.end(),
                           [&](const Node& child) { return equalsIgnoreCase(child.name, parts->back()); });
    if (it == parent->children.end()) {
        return false;
    }
    // The folders inside go with it: each is reported, deepest first, so a mirror never holds a
    // node whose parent has gone.
    std::vector<ImageItem> gone;
    const std::string parentPath = joinImagePath(parentParts, parentParts.size());
    collect(*it, joinImagePath(*parts, parts->size()), gone);
    ImageItem self = itemOf(parentPath, it->name, it->isFolder, it->sourcePath, it->size, it->fileDate);
    parent->children.erase(it);
    if (events_) {
        for (auto item = gone.rbegin(); item != gone.rend(); ++item) {
            events_->itemRemoved(*item);
        }
        events_->itemRemoved(self);
    }
    return true;
}

void DiscImage::clearAll() {
    root_.children.clear();
    if (events_) {
        events_->imageCleared();
    }
}

std::vector<ImageItem> DiscImage::listFolder(const std::string& imagePath) const {
    std::vector<ImageItem> items;
    const auto parts = splitImagePath(imagePath);
    const Node* folder = parts ? findNode(*parts) : nullptr;
    if (!folder || !folder->isFolder) {
        return items;
    }
    for (bool folders : {true, false}) {
        for (const Node& child : folder->children) {
            if (child.isFolder == folders) {
                items.push_back(itemOf(imagePath, child.name, child.isFolder, child.sourcePath, child.size,
                                       child.fileDate));
            }
        }
    }
    return items;
}

void DiscImage::collect(const Node& node, const std::string& path, std::vector<ImageItem>& out) const {
    for (const Node& child : node.children) {
        out.push_back(itemOf(path, child.name, child.isFolder, child.sourcePath, child.size, child.fileDate));
        if (child.isFolder) {
            const std::string childPath = out.back().imagePath; // out grows below
            collect(child, childPath, out);
        }
    }
}

std::vector<ImageItem> DiscImage::allItems() const {
    std::vector<ImageItem> items;
    collect(root_, "\\", items);
    return items;
}

std::optional<ImageItem> DiscImage::find(const std::string& imagePath) const {
    const auto parts = splitImagePath(imagePath);
    const Node* node = parts ? findNode(*parts) : nullptr;
    if (!node) {
        return std::nullopt;
    }
    if (parts->empty()) {
        ImageItem root;
        root.isFolder = true;
        root.imagePath = "\\";
        return root;
    }
    return itemOf(joinImagePath(*parts, parts->size() - 1), node->name, node->isFolder, node->sourcePath,
                  node->size, node->fileDate);
}

int DiscImage::fileCount() const {
    int count = 0;
    for (const ImageItem& item : allItems()) {
        count += item.isFolder ? 0 : 1;
    }
    return count;
}

int DiscImage::folderCount() const {
    int count = 0;
    for (const ImageItem& item : allItems()) {
        count += item.isFolder ? 1 : 0;
    }
    return count;
}

std::uint64_t DiscImage::sourceBytes() const {
    std::uint64_t bytes = 0;
    for (const ImageItem& item : allItems()) {
        bytes += item.size;
    }
    return bytes;
}

namespace {
// Directory records of one folder in the ISO 9660 tree with Rock Ridge fields, and in the Joliet
// tree: the "." and ".." records, then one record per child. Generous: the estimate must not fall
// short of what is written, or a disc that is too small would pass the window's check.
std::uint64_t folderBlocks(const std::vector<std::size_t>& nameLengths) {
    std::uint64_t iso = 2 * 34 + 256;
    std::uint64_t joliet = 2 * 34;
    for (std::size_t length : nameLengths) {
        iso += 34 + std::min<std::size_t>(length, 37) + 130 + length;
        joliet += 34 + 2 * std::min<std::size_t>(length, 103) + 2;
    }
    return blocksFor(iso) + blocksFor(joliet);
}
} // namespace

std::uint64_t DiscImage::imageSize() const {
    // System area, volume descriptors, path tables and the padding the writer appends.
    std::uint64_t blocks = 16 + 4 + 4 + 150;
    std::vector<const Node*> folders{&root_};
    while (!folders.empty()) {
        const Node* folder = folders.back();
        folders.pop_back();
        std::vector<std::size_t> lengths;
        for (const Node& child : folder->children) {
            lengths.push_back(child.name.size());
            if (child.isFolder) {
                folders.push_back(&child);
            } else {
                blocks += blocksFor(child.size);
            }
        }
        blocks += folderBlocks(lengths) + (folder == &root_ ? 0 : 1);
    }
    return blocks * kBlockSize;
}

} // namespace qob::disc
