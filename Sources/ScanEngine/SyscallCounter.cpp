#include "SyscallCounter.hpp"

#include <fcntl.h>
#include <unistd.h>

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

int countedOpenDirectory(const char* path) {
    bump(&Counters::opens);
    return ::open(path, kDirFlags & ~O_NOFOLLOW);
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
