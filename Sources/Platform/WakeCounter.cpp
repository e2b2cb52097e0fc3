#include "Platform/WakeCounter.hpp"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace zelvane {

WakeCounter::WakeCounter() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeCounter::~WakeCounter() {
    if (fd_ >= 0) ::close(fd_);
}

void WakeCounter::signal() noexcept {
    if (fd_ < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeCounter::drain() noexcept {
    if (fd_ < 0) return;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

}  // namespace zelvane
