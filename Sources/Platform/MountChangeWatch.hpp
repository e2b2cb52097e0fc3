#pragma once

namespace zelvane {

// The kernel marks /proc/self/mountinfo with POLLPRI (and POLLERR) after every mount, unmount,
// remount and move in the process's mount namespace. This holds that file open for an event loop
// to watch for "exceptional" readiness; `acknowledge` reads it through once, as older kernels
// want before they report the next change. Re-read the mount table after acknowledging, so a
// change that lands in between is never missed.
class MountChangeWatch final {
public:
    MountChangeWatch();
    ~MountChangeWatch();
    MountChangeWatch(const MountChangeWatch&) = delete;
    MountChangeWatch& operator=(const MountChangeWatch&) = delete;

    // -1 when the file could not be opened (no /proc): nothing is reported then.
    int fd() const noexcept { return fd_; }
    void acknowledge() const noexcept;
    // Whether a change is waiting, without blocking. The kernel counts the poll itself as having
    // seen the change, so a caller re-reads the table after a true answer.
    bool changePending() const noexcept;

private:
    int fd_ = -1;
};

}  // namespace zelvane
