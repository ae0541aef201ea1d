#include "disc/IsoFileExtents.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

namespace qob::disc {

namespace {

constexpr std::uint32_t kBlock = 2048;

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// What the Rock Ridge entries of one directory record say.
struct RockRidge {
    std::string name;
    bool nameSeen = false;
    bool relocated = false;    // RE: the folder's real place is named by a CL elsewhere
    std::uint32_t childAt = 0; // CL: a folder moved away for depth, at this block
    bool childLink = false;
};

class Walker {
public:
    Walker(const std::function<const unsigned char*(std::uint32_t)>& blockAt, std::uint32_t startBlock)
        : blockAt_(blockAt), startBlock_(startBlock) {}

    bool run(std::vector<FileExtent>& files, std::uint32_t& highest, std::string& why) {
        const unsigned char* pvd = block(startBlock_ + 16);
        if (!pvd || pvd[0] != 1 || std::memcmp(pvd + 1, "CD001", 5) != 0 || pvd[128] != 0 || pvd[129] != 8) {
            return fail("no primary volume descriptor", why);
        }
        const unsigned char* root = pvd + 156;
        if (!folder(le32(root + 2), le32(root + 10), "", 0, true)) {
            return fail(why_.empty() ? "a folder could not be read" : why_, why);
        }
        if (pending_) {
            return fail("a file's last extent is missing", why);
        }
        files.clear();
        for (auto& [start, file] : byBlock_) {
            files.push_back(std::move(file));
        }
        highest = highest_;
        return true;
    }

private:
    const unsigned char* block(std::uint32_t n) {
        if (n < startBlock_) {
            return nullptr;
        }
        const unsigned char* b = blockAt_(n);
        if (b) {
            highest_ = std::max(highest_, n);
        }
        return b;
    }

    bool fail(const std::string& what, std::string& why) {
        why = what;
        return false;
    }
    bool bad(const std::string& what) {
        why_ = what;
        return false;
    }

    // The entries of a system use area, and of the continuation areas it leads to.
    bool readSystemUse(const unsigned char* area, std::size_t length, RockRidge& rr, bool rootDot) {
        for (int hops = 0; hops < 64; ++hops) {
            std::uint32_t nextBlock = 0;
            std::uint32_t nextOffset = 0;
            std::uint32_t nextLength = 0;
            std::size_t at = 0;
            while (at + 4 <= length) {
                const unsigned char* e = area + at;
                const std::size_t len = e[2];
                if (len < 4 || at + len > length) {
                    break;
                }
                const std::string sig(reinterpret_cast<const char*>(e), 2);
                if (sig == "ST") {
                    break;
                }
                if (sig == "SP" && rootDot && (len < 7 || e[6] != 0)) {
                    return bad("the system use areas start after a skip");
                } else if (sig == "NM" && len >= 5) {
                    if (e[4] & 0x06) { // the current or parent folder: no name of a file
                        return bad("an unexpected alternate name");
                    }
                    rr.name.append(reinterpret_cast<const char*>(e + 5), len - 5);
                    rr.nameSeen = true;
                } else if (sig == "CE" && len >= 28) {
                    nextBlock = le32(e + 4);
                    nextOffset = le32(e + 12);
                    nextLength = le32(e + 20);
                } else if (sig == "CL" && len >= 12) {
                    rr.childLink = true;
                    rr.childAt = le32(e + 4);
                } else if (sig == "RE") {
                    rr.relocated = true;
                }
                at += len;
            }
            if (nextLength == 0) {
                return true;
            }
            if (nextOffset >= kBlock || nextLength > kBlock - nextOffset) {
                return bad("a continuation area runs past its block");
            }
            const unsigned char* b = block(nextBlock);
            if (!b) {
                return bad("a continuation area is outside the image");
            }
            area = b + nextOffset;
            length = nextLength;
        }
        return bad("too many continuation areas");
    }

    bool folder(std::uint32_t start, std::uint32_t size, const std::string& path, int depth, bool isRoot) {
        if (depth > 256 || !visited_.insert(start).second) {
            return bad("the folders loop");
        }
        const std::uint32_t blocks = (size + kBlock - 1) / kBlock;
        for (std::uint32_t i = 0; i < blocks; ++i) {
            const unsigned char* b = block(start + i);
            if (!b) {
                return bad("a folder is outside the image");
            }
            const std::uint32_t end = std::min<std::uint32_t>(kBlock, size - i * kBlock);
            std::uint32_t at = 0;
            while (at < end && b[at] != 0) {
                const unsigned char* r = b + at;
                const std::uint32_t len = r[0];
                const std::uint32_t nameLen = r[32];
                if (len < 34 || at + len > end || 33 + nameLen > len || r[1] != 0) {
                    return bad("a damaged directory record");
                }
                at += len;
                const bool self = nameLen == 1 && r[33] == 0;
                const bool parent = nameLen == 1 && r[33] == 1;
                const std::uint32_t useAt = 33 + nameLen + (nameLen % 2 == 0 ? 1 : 0);
                RockRidge rr;
                if (useAt < len &&
                    !readSystemUse(r + useAt, len - useAt, rr, isRoot && self && i == 0 && at == len)) {
                    return false;
                }
                if (self || parent || rr.relocated) {
                    continue;
                }
                if (!rr.nameSeen || rr.name.empty()) {
                    return bad("a record without its Rock Ridge name");
                }
                const std::string childPath = path + "\\" + rr.name;
                const unsigned char flags = r[25];
                if (rr.childLink) {
                    const unsigned char* dot = block(rr.childAt);
                    if (!dot || dot[0] < 34) {
                        return bad("a moved folder is outside the image");
                    }
                    if (!folder(rr.childAt, le32(dot + 10), childPath, depth + 1, false)) {
                        return false;
                    }
                } else if (flags & 0x02) {
                    if (!folder(le32(r + 2), le32(r + 10), childPath, depth + 1, false)) {
                        return false;
                    }
                } else if (!fileExtent(le32(r + 2), le32(r + 10), (flags & 0x80) != 0, childPath)) {
                    return false;
                }
            }
        }
        return true;
    }

    // One record of a file: files of 4 GiB or more have several, each but the last marked.
    bool fileExtent(std::uint32_t start, std::uint32_t size, bool more, const std::string& path) {
        if (pending_) {
            if (pending_->imagePath != path || start != pending_->block + pending_->size / kBlock) {
                return bad("the extents of " + pending_->imagePath + " are not one run");
            }
            pending_->size += size;
        } else {
            pending_ = FileExtent{start, size, path};
        }
        if (more) {
            return size % kBlock == 0 ? true : bad("a partial extent of " + path);
        }
        FileExtent file = std::move(*pending_);
        pending_.reset();
        if (file.size == 0) {
            return true;
        }
        auto [it, added] = byBlock_.emplace(file.block, file);
        if (!added && it->second.size != file.size) {
            return bad("two files share a block");
        }
        return true;
    }

    const std::function<const unsigned char*(std::uint32_t)>& blockAt_;
    std::uint32_t startBlock_;
    std::uint32_t highest_ = 0;
    std::set<std::uint32_t> visited_;
    std::map<std::uint32_t, FileExtent> byBlock_;
    std::optional<FileExtent> pending_;
    std::string why_;
};

} // namespace

bool findFileExtents(const std::function<const unsigned char*(std::uint32_t)>& blockAt,
                     std::uint32_t startBlock, std::vector<FileExtent>& files,
                     std::uint32_t& highestRecordBlock, std::string& why) {
    Walker walker(blockAt, startBlock);
    return walker.run(files, highestRecordBlock, why);
}

} // namespace qob::disc
