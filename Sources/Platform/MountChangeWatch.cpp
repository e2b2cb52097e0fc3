#include "Platform/MountChangeWatch.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zelvane {

MountChangeWatch::MountChangeWatch() : fd_(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC)) {}

MountChangeWatch::~MountChangeWatch() {
    if (fd_ >= 0) ::close(fd_);
}

void MountChangeWatch::acknowledge() const noexcept {
    if (fd_ < 0) return;
    if (::lseek(fd_, 0, SEEK_SET) < 0) return;
    char buffer[8192];
    while (::read(fd_, buffer, sizeof buffer) > 0) {
    }
}

bool MountChangeWatch::changePending() const noexcept {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLPRI, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLPRI | POLLERR));
}

}  // namespace zelvane
