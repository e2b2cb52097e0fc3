#pragma once

namespace zelvane {

// A counter that one thread bumps and another waits on through a descriptor (poll, a socket
// notifier): an eventfd. Without one (descriptors exhausted) `fd()` is -1 and the waiting side
// has to poll on its own.
class WakeCounter final {
public:
    WakeCounter();
    ~WakeCounter();
    WakeCounter(const WakeCounter&) = delete;
    WakeCounter& operator=(const WakeCounter&) = delete;

    int fd() const noexcept { return fd_; }
    // Makes the descriptor readable. Safe from any thread.
    void signal() noexcept;
    // Makes it unreadable again until the next signal.
    void drain() noexcept;

private:
    const int fd_;
};

}  // namespace zelvane
