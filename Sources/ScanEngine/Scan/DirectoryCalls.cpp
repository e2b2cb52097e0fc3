#include "ScanEngine/Scan/DirectoryCalls.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "ScanEngine/Scan/FdBudget.hpp"

namespace zelvane {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

void count(std::atomic<int64_t> DirectoryCallTally::*field, DirectoryCallTally* tally) {
    if (tally) (tally->*field).fetch_add(1, std::memory_order_relaxed);
}

// A path longer than the kernel takes at once (trees can be deeper than PATH_MAX allows) is
// opened a piece at a time, each piece relative to the folder before it.
int openLongPath(const char* path) {
    std::string_view p(path);
    int dirfd = p.front() == '/' ? ::open("/", kDirFlags & ~O_NOFOLLOW) : ::open(".", kDirFlags & ~O_NOFOLLOW);
    size_t pos = 0;
    while (dirfd >= 0) {
        while (pos < p.size() && p[pos] == '/') ++pos;
        if (pos >= p.size()) return dirfd;
        // Up to about 1 KiB of whole components per step.
        size_t end = pos;
        while (end < p.size()) {
            size_t slash = p.find('/', end);
            size_t next = slash == std::string_view::npos ? p.size() : slash;
            if (next - pos > 1024 && end > pos) break;
            end = next;
            if (slash == std::string_view::npos) break;
            ++end;
        }
        std::string piece(p.substr(pos, end - pos));
        int next = ::openat(dirfd, piece.c_str(), kDirFlags & ~O_NOFOLLOW);
        int err = errno;
        ::close(dirfd);
        errno = err;
        dirfd = next;
        pos = end;
    }
    return -1;
}

}  // namespace

int defaultBulkReader(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options) {
    return getattrlistbulk(fd, alist, buf, size, options);
}

int openDirectory(const char* path, DirectoryCallTally* tally) {
    count(&DirectoryCallTally::opens, tally);
    int fd = ::open(path, kDirFlags & ~O_NOFOLLOW);
    if (fd < 0 && errno == ENAMETOOLONG && path[0] != '\0') fd = openLongPath(path);
    return fd;
}

int openDirectoryAt(int parentFd, const char* name, DirectoryCallTally* tally) {
    count(&DirectoryCallTally::openats, tally);
    return ::openat(parentFd, name, kDirFlags);
}

void closeDirectory(int fd, DirectoryCallTally* tally) {
    count(&DirectoryCallTally::closes, tally);
    ::close(fd);
}

int openChildWithBudget(int parentFd, const char* name, DirectoryCallTally* tally) {
    if (!fdBudget().tryAcquire()) return -1;
    int fd = openDirectoryAt(parentFd, name, tally);
    if (fd < 0) fdBudget().release();
    return fd;
}

void closeDirFd(int fd, bool holdsBudgetSlot, DirectoryCallTally* tally) {
    if (fd < 0) return;
    closeDirectory(fd, tally);
    if (holdsBudgetSlot) fdBudget().release();
}

std::string appendPathComponent(const std::string& parent, std::string_view name) {
    std::string p;
    p.reserve(parent.size() + 1 + name.size());
    p.append(parent);
    if (p.empty() || p.back() != '/') p.push_back('/');
    p.append(name);
    return p;
}

bool isDescriptorShortage(int err) { return err == EMFILE || err == ENFILE; }

void waitBeforeRetry(int retries) {
    if (retries > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::min(retries, 10)));
}

}  // namespace zelvane
