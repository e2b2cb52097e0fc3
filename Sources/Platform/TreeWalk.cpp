#include "Platform/TreeWalk.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace zelvane {

namespace {

constexpr int kChildFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The fixed head of a getdents64 record; the name follows it, NUL-terminated.
struct LinuxDirent64Head {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};
constexpr size_t kDirentNameOffset = offsetof(LinuxDirent64Head, d_type) + 1;

bool sameFolder(int fd, uint64_t device, uint64_t inode) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && uint64_t(st.st_dev) == device && uint64_t(st.st_ino) == inode;
}

}  // namespace

FolderStack::FolderStack(size_t openLimit) : openLimit_(openLimit < 2 ? 2 : openLimit) {}

int FolderStack::pushCopyOf(int folderFd) {
    FileDescriptor fd(::fcntl(folderFd, F_DUPFD_CLOEXEC, 0));
    if (!fd) return errno;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return errno;
    frames_.push_back({std::move(fd), uint64_t(st.st_dev), uint64_t(st.st_ino)});
    closeFarthest();
    return 0;
}

int FolderStack::pushChild(const std::string& name, const ItemFacts& expected) {
    FileDescriptor fd(::openat(top(), name.c_str(), kChildFlags));
    if (!fd) return errno;
    if (!sameFolder(fd.get(), expected.device, expected.inode)) return ESTALE;
    frames_.push_back({std::move(fd), expected.device, expected.inode});
    closeFarthest();
    return 0;
}

void FolderStack::closeFarthest() {
    if (frames_.size() > openLimit_) frames_[frames_.size() - 1 - openLimit_].fd.reset();
}

int FolderStack::pop() {
    if (frames_.empty()) return EINVAL;
    if (frames_.size() >= 2) {
        Frame& below = frames_[frames_.size() - 2];
        if (!below.fd) {
            FileDescriptor up(::openat(frames_.back().fd.get(), "..", kChildFlags));
            if (!up) return errno;
            if (!sameFolder(up.get(), below.device, below.inode)) {
                frames_.pop_back();
                return ESTALE;
            }
            below.fd = std::move(up);
        }
    }
    frames_.pop_back();
    return 0;
}

int listFolder(int folderFd, std::vector<std::string>& names) {
    names.clear();
    if (::lseek(folderFd, 0, SEEK_SET) < 0) return errno;
    alignas(8) char buffer[32 * 1024];
    for (;;) {
        const long n = ::syscall(SYS_getdents64, folderFd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return 0;
        for (long at = 0; at < n;) {
            unsigned short length = 0;
            std::memcpy(&length, buffer + at + offsetof(LinuxDirent64Head, d_reclen), sizeof length);
            const char* name = buffer + at + kDirentNameOffset;
            at += length;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
            names.emplace_back(name);
        }
    }
}

int walkTree(int folderFd, const std::string& name, TreeWalkVisitor& visitor) {
    ItemFacts itemFacts;
    if (int err = readItemFacts(folderFd, name, itemFacts)) return err;
    std::string path = name;
    {
        const WalkEntry item{folderFd, name, itemFacts, path, 0};
        const WalkStep step = visitor.visit(item);
        if (step == WalkStep::stop) return ECANCELED;
        if (step == WalkStep::skipContents || !itemFacts.isDir()) return 0;
    }

    // Frame i lists the folder that is folders[i + 1]; folders[0] is the item's own folder.
    struct Frame {
        std::vector<std::string> names;
        size_t next = 0;
        std::string name;
        ItemFacts facts;
        size_t pathLength = 0;
    };
    FolderStack folders;
    std::vector<Frame> frames;
    auto enter = [&](const std::string& entryName, const ItemFacts& facts) -> int {
        if (int err = folders.pushChild(entryName, facts)) return err;
        Frame frame;
        frame.name = entryName;
        frame.facts = facts;
        frame.pathLength = path.size();
        if (int err = listFolder(folders.top(), frame.names)) {
            folders.pop();
            return err;
        }
        frames.push_back(std::move(frame));
        return 0;
    };
    if (int err = folders.pushCopyOf(folderFd)) return err;
    if (int err = enter(name, itemFacts)) {
        if (visitor.failed(path, err) == WalkStep::stop) return err;
        return 0;
    }

    ItemFacts facts;
    while (!frames.empty()) {
        Frame& frame = frames.back();
        if (frame.next < frame.names.size()) {
            const std::string entryName = std::move(frame.names[frame.next++]);
            path.resize(frame.pathLength);
            path += '/';
            path += entryName;
            if (int err = readItemFacts(folders.top(), entryName, facts)) {
                if (err == ENOENT) continue;
                if (visitor.failed(path, err) == WalkStep::stop) return err;
                continue;
            }
            const WalkEntry entry{folders.top(), entryName, facts, path, frames.size()};
            const WalkStep step = visitor.visit(entry);
            if (step == WalkStep::stop) return ECANCELED;
            if (step == WalkStep::skipContents || !facts.isDir()) continue;
            if (int err = enter(entryName, facts)) {
                if (visitor.failed(path, err) == WalkStep::stop) return err;
            }
            continue;
        }
        Frame done = std::move(frames.back());
        frames.pop_back();
        if (int err = folders.pop()) {
            path.resize(done.pathLength);
            visitor.failed(path, err);
            return err;
        }
        path.resize(done.pathLength);
        const WalkEntry entry{folders.top(), done.name, done.facts, path, frames.size()};
        if (visitor.leaveFolder(entry) == WalkStep::stop) return ECANCELED;
    }
    return 0;
}

}  // namespace zelvane
