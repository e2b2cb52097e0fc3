#include "Platform/ItemAccess.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "Platform/FileMoves.hpp"
#include "Platform/MountTable.hpp"

namespace zelvane {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
// Pieces stay well below PATH_MAX: a piece is whole components, so one long name may push it over.
constexpr size_t kPieceBytes = 2048;

}  // namespace

int openFolderAt(int atFd, std::string_view path, FileDescriptor& out) {
    if (path.empty()) return ENOENT;
    if (path.size() < PATH_MAX) {
        const std::string whole(path);
        const int fd = ::openat(atFd, whole.c_str(), kFolderFlags);
        if (fd >= 0) {
            out.reset(fd);
            return 0;
        }
        if (errno != ENAMETOOLONG) return errno;
    }
    FileDescriptor current(::openat(atFd, path.front() == '/' ? "/" : ".", kFolderFlags));
    if (!current) return errno;
    size_t pos = 0;
    for (;;) {
        while (pos < path.size() && path[pos] == '/') ++pos;
        if (pos >= path.size()) break;
        size_t end = pos;
        while (end < path.size()) {
            const size_t slash = path.find('/', end);
            const size_t next = slash == std::string_view::npos ? path.size() : slash;
            if (next - pos > kPieceBytes && end > pos) break;
            end = next;
            if (slash == std::string_view::npos) break;
            ++end;
        }
        const std::string piece(path.substr(pos, end - pos));
        FileDescriptor next(::openat(current.get(), piece.c_str(), kFolderFlags));
        if (!next) return errno;
        current = std::move(next);
        pos = end;
    }
    out = std::move(current);
    return 0;
}

int openItemFolder(const std::string& absolutePath, ItemInFolder& out) {
    if (absolutePath.empty() || absolutePath[0] != '/') return EINVAL;
    std::string name = lastComponent(absolutePath);
    if (name.empty() || name == "/" || name == "." || name == "..") return EINVAL;
    FileDescriptor folder;
    if (int err = openFolderAt(AT_FDCWD, parentPath(absolutePath), folder)) return err;
    out.folder = std::move(folder);
    out.name = std::move(name);
    return 0;
}

bool ItemFacts::isDir() const { return S_ISDIR(mode); }
bool ItemFacts::isRegular() const { return S_ISREG(mode); }
bool ItemFacts::isLink() const { return S_ISLNK(mode); }

bool ItemFacts::sameMountAs(const ItemFacts& other) const {
    if (hasMountId && other.hasMountId) return mountId == other.mountId;
    return device == other.device;
}

int readItemFacts(int folderFd, const std::string& name, ItemFacts& out) {
    struct statx sx {};
    const int flags = AT_SYMLINK_NOFOLLOW | (name.empty() ? AT_EMPTY_PATH : 0);
    const unsigned mask = STATX_BASIC_STATS | STATX_MNT_ID;
    if (::statx(folderFd, name.c_str(), flags, mask, &sx) != 0) return errno;
    out.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
    out.inode = sx.stx_ino;
    out.hasMountId = (sx.stx_mask & STATX_MNT_ID) != 0;
    out.mountId = out.hasMountId ? sx.stx_mnt_id : 0;
    out.isMountRoot = (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) && (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    out.immutable = sx.stx_attributes & STATX_ATTR_IMMUTABLE;
    out.appendOnly = sx.stx_attributes & STATX_ATTR_APPEND;
    out.mode = sx.stx_mode;
    out.uid = sx.stx_uid;
    out.size = int64_t(sx.stx_size);
    out.blocks512 = int64_t(sx.stx_blocks);
    out.accessed = {sx.stx_atime.tv_sec, long(sx.stx_atime.tv_nsec)};
    out.modified = {sx.stx_mtime.tv_sec, long(sx.stx_mtime.tv_nsec)};
    return 0;
}

int readItemFacts(const std::string& absolutePath, ItemFacts& out) {
    if (absolutePath == "/") return readItemFacts(AT_FDCWD, "/", out);
    ItemInFolder item;
    if (int err = openItemFolder(absolutePath, item)) return err;
    return readItemFacts(item.folder.get(), item.name, out);
}

int canonicalFolderPath(const std::string& absolutePath, std::string& out) {
    if (absolutePath.empty() || absolutePath[0] != '/') return EINVAL;
    size_t cut = absolutePath.size();
    if (cut >= PATH_MAX) {
        cut = absolutePath.rfind('/', kPieceBytes);
        if (cut == std::string::npos || cut == 0) return ENAMETOOLONG;
    }
    const std::string head = absolutePath.substr(0, cut);
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(head.c_str(), nullptr), &std::free);
    if (!resolved) return errno;
    out = resolved.get();
    if (cut < absolutePath.size()) {
        std::string rest = absolutePath.substr(cut + 1);
        while (!rest.empty() && rest.back() == '/') rest.pop_back();
        if (!rest.empty()) out = joinPath(out, rest);
    }
    return 0;
}

std::string pathThroughDescriptor(int folderFd, const std::string& name) {
    return "/proc/self/fd/" + std::to_string(folderFd) + (name.empty() ? "" : "/" + name);
}

int checkNoLinkOnTheWay(std::string rootPath, const std::string& itemPath, std::string& linkAt) {
    while (rootPath.size() > 1 && rootPath.back() == '/') rootPath.pop_back();
    const std::string prefix = rootPath == "/" ? rootPath : rootPath + "/";
    if (itemPath.size() <= prefix.size() || itemPath.compare(0, prefix.size(), prefix) != 0) return EINVAL;
    const std::string_view below = std::string_view(itemPath).substr(prefix.size());
    const size_t lastSlash = below.rfind('/');
    if (lastSlash == std::string_view::npos) return 0;  // held by the root itself
    FileDescriptor current;
    if (int err = openFolderAt(AT_FDCWD, rootPath, current)) return err;
    size_t pos = 0;
    while (pos < lastSlash) {
        size_t end = below.find('/', pos);
        if (end == std::string_view::npos || end > lastSlash) end = lastSlash;
        const std::string name(below.substr(pos, end - pos));
        if (!name.empty()) {
            FileDescriptor next(::openat(current.get(), name.c_str(), kFolderFlags | O_NOFOLLOW));
            if (!next) {
                const int err = errno;
                struct stat st {};
                if ((err == ELOOP || err == ENOTDIR) && ::fstatat(current.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                    S_ISLNK(st.st_mode)) {
                    linkAt = std::string(below.substr(0, end));
                    return ELOOP;
                }
                return err;
            }
            current = std::move(next);
        }
        pos = end + 1;
    }
    return 0;
}

MountCheck checkMounts(const ItemInFolder& item, const std::string& itemPath) {
    MountCheck check;
    ItemFacts facts;
    ItemFacts folder;
    if ((check.error = readItemFacts(item.folder.get(), item.name, facts))) return check;
    if ((check.error = readItemFacts(item.folder.get(), "", folder))) return check;
    check.isMountPoint = facts.isMountRoot || !facts.sameMountAs(folder);
    if (check.isMountPoint || !facts.isDir()) return check;
    std::string canonical;
    if ((check.error = canonicalFolderPath(itemPath, canonical))) return check;
    const std::string prefix = canonical == "/" ? canonical : canonical + "/";
    const MountTable table = MountTable::current();
    for (const MountEntry& mount : table.entries()) {
        if (mount.mountPoint.size() > prefix.size() && mount.mountPoint.compare(0, prefix.size(), prefix) == 0) {
            check.mountBelow = mount.mountPoint.substr(prefix.size());
            break;
        }
    }
    return check;
}

}  // namespace zelvane
