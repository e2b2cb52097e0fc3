#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "Platform/FileDescriptor.hpp"

namespace zelvane {

// Reaching items by paths of any length. The system takes a path of at most PATH_MAX bytes in one
// call, but a tree can be deeper than that: every file action works relative to the open folder
// that holds its item, and folders are opened a piece of the path at a time.

// Opens the folder at `path` (relative to `atFd` unless absolute) read-only, a piece shorter than
// PATH_MAX at a time. Symbolic links along the way are followed as the system would follow them.
// Returns 0 or an errno.
int openFolderAt(int atFd, std::string_view path, FileDescriptor& out);

// The open folder that holds an item, and the item's name in it.
struct ItemInFolder {
    FileDescriptor folder;
    std::string name;
};
// For an absolute path; "/" has no folder above it (EINVAL).
int openItemFolder(const std::string& absolutePath, ItemInFolder& out);

// What `statx` tells of one item, not following a final symbolic link.
struct ItemFacts {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t mountId = 0;     // meaningful only with `hasMountId`
    bool hasMountId = false;
    bool isMountRoot = false;  // the system says a file system is mounted right here
    bool immutable = false;
    bool appendOnly = false;
    uint32_t mode = 0;
    uint32_t uid = 0;
    int64_t size = 0;
    int64_t blocks512 = 0;
    struct timespec accessed {};
    struct timespec modified {};
    bool isDir() const;
    bool isRegular() const;
    bool isLink() const;
    // Whether both lie on one mounted file system: the same mount when the system names mounts,
    // else the same device.
    bool sameMountAs(const ItemFacts& other) const;
};
// `name` in the open folder `folderFd`; the empty name gives the folder itself.
int readItemFacts(int folderFd, const std::string& name, ItemFacts& out);
// The item at an absolute path of any length.
int readItemFacts(const std::string& absolutePath, ItemFacts& out);

// The absolute path of a folder with symbolic links, "." and ".." resolved: the longest leading
// piece the system resolves at once, then the rest as written (the rest comes from a scan, which
// never follows links, so it holds real folder names).
int canonicalFolderPath(const std::string& absolutePath, std::string& out);

// A path that reaches `name` inside the open folder `folderFd` through the process's descriptor
// table, for libraries that take only paths. It stays short however deep the folder lies, and is
// valid while the descriptor is open.
std::string pathThroughDescriptor(int folderFd, const std::string& name);

// Whether every folder from `rootPath` (an absolute folder path, links in it followed as the system
// follows them) down to the one that holds the item at `itemPath` (below `rootPath`) is a real
// folder now. A scan never follows a link below its root: a folder on the way that a link has
// replaced since leads somewhere the window never showed. Returns 0, ELOOP with the link's path
// from the first name below the root on in `linkAt`, or another errno.
int checkNoLinkOnTheWay(std::string rootPath, const std::string& itemPath, std::string& linkAt);

// Whether an item lies on a file system of its own or holds one below it. A delete or a move to
// the trash must not reach into a file system the window never showed: a scan does not enter
// mounted folders.
struct MountCheck {
    int error = 0;              // the check itself failed (the item cannot be read)
    bool isMountPoint = false;  // another file system is mounted at the item itself
    std::string mountBelow;     // a mount point inside the item, relative to it; empty when none
    bool refuses() const { return error || isMountPoint || !mountBelow.empty(); }
};
// `itemPath` is the item's absolute path; `item` reaches it.
MountCheck checkMounts(const ItemInFolder& item, const std::string& itemPath);

}  // namespace zelvane
