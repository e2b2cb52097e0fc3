#include "ScanEngine/Scan/SyscallCounter.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

namespace zelvane {

std::atomic<bool> countSyscallsEnabled{false};

namespace {
struct Counters {
    std::atomic<int64_t> opens{0}, openats{0}, bulks{0}, closes{0};
};
Counters& counters() {
    static Counters c;
    return c;
}
inline void bump(std::atomic<int64_t> Counters::*field) {
    if (countSyscallsEnabled.load(std::memory_order_relaxed)) (counters().*field).fetch_add(1, std::memory_order_relaxed);
}
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
}  // namespace

SyscallCounts syscallCountSnapshot() {
    auto& c = counters();
    return {c.opens.load(), c.openats.load(), c.bulks.load(), c.closes.load()};
}

void resetSyscallCounts() {
    auto& c = counters();
    c.opens = 0;
    c.openats = 0;
    c.bulks = 0;
    c.closes = 0;
}

namespace {
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

int countedOpenDirectory(const char* path) {
    bump(&Counters::opens);
    int fd = ::open(path, kDirFlags & ~O_NOFOLLOW);
    if (fd < 0 && errno == ENAMETOOLONG && path[0] != '\0') fd = openLongPath(path);
    return fd;
}

int countedOpenatDirectory(int parentFd, const char* name) {
    bump(&Counters::openats);
    return ::openat(parentFd, name, kDirFlags);
}

int countedGetattrlistbulk(int fd, const attrlist* alist, void* buf, size_t size, uint64_t options) {
    bump(&Counters::bulks);
    return getattrlistbulk(fd, alist, buf, size, options);
}

void countedClose(int fd) {
    bump(&Counters::closes);
    ::close(fd);
}

}  // namespace zelvane
