#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Platform/FileDescriptor.hpp"
#include "Platform/ItemAccess.hpp"

namespace zelvane {

// The open folders from a walk's start down to the folder being read. At most `openLimit` of them
// stay open: a deeper walk closes those farthest up and opens each again through ".." on the way
// back, checked to be the same folder (device and inode), so a tree of any depth is walked with a
// fixed number of descriptors. The top folder is always open.
class FolderStack final {
public:
    explicit FolderStack(size_t openLimit = 48);

    // Puts an open folder on the stack (the first one: a copy of the descriptor is kept).
    int pushCopyOf(int folderFd);
    // Opens `name` in the top folder without following a link, and pushes it when it is the folder
    // `expected` names (ESTALE when something else took its place).
    int pushChild(const std::string& name, const ItemFacts& expected);
    // Drops the top folder; the one below it is open afterwards (ESTALE when the folder reached
    // through ".." is no longer the one that was left).
    int pop();

    int top() const { return frames_.back().fd.get(); }
    size_t size() const { return frames_.size(); }
    bool empty() const { return frames_.empty(); }

private:
    struct Frame {
        FileDescriptor fd;
        uint64_t device = 0;
        uint64_t inode = 0;
    };
    void closeFarthest();

    size_t openLimit_;
    std::vector<Frame> frames_;
};

// One entry met by walkTree.
struct WalkEntry {
    int folderFd;                     // the open folder that holds it
    const std::string& name;          // its name there
    const ItemFacts& facts;           // not following a link
    const std::string& relativePath;  // the walked item's own name, then "item/sub/name"
    size_t depth;                     // 0 for the walked item itself
};

enum class WalkStep { proceed, skipContents, stop };

// The first failure of a walk that stops at it: what failed, from the walked item's name on, and why.
struct FirstWalkFailure {
    int error = 0;
    std::string path;
    WalkStep record(const std::string& relativePath, int err) {
        if (!error) {
            error = err;
            path = relativePath;
        }
        return WalkStep::stop;
    }
};

class TreeWalkVisitor {
public:
    virtual ~TreeWalkVisitor() = default;
    // Every entry, a folder before its contents; `skipContents` leaves a folder unread (and then
    // `leaveFolder` is not called for it).
    virtual WalkStep visit(const WalkEntry& entry) = 0;
    // A folder after its contents, with `folderFd` still open on the folder that holds it.
    virtual WalkStep leaveFolder(const WalkEntry&) { return WalkStep::proceed; }
    // A folder that could not be opened or listed, or an entry that could not be read (one that
    // vanished meanwhile is passed over without a call). The walk goes on unless this says stop.
    virtual WalkStep failed(const std::string& /*relativePath*/, int /*error*/) { return WalkStep::stop; }
};

// Walks the item `name` of the open folder `folderFd` and, when it is a folder, everything below
// it, depth first, never following a symbolic link; entries come in the order the folder lists
// them. Returns 0, ECANCELED when a visitor stopped the walk, or the error that ended it.
int walkTree(int folderFd, const std::string& name, TreeWalkVisitor& visitor);

// The names a folder lists, "." and ".." left out.
int listFolder(int folderFd, std::vector<std::string>& names);

}  // namespace zelvane
