#include "ZelvaneMac/App/TerminationSignals.hpp"

#include <QSocketNotifier>

#include <atomic>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zelvane {

namespace {

// A signal handler can reach nothing but globals; these are set before the handlers are installed
// and cleared after they are removed.
std::atomic<int> signalEventFd{-1};
std::atomic<bool> signalSeen{false};

void onTerminationSignal(int number) {
    if (signalSeen.exchange(true)) {
        // Asked twice: the orderly quit is taking too long for the user.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    const int fd = signalEventFd.load();
    if (fd < 0) return;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> quit, QObject* parent)
    : QObject(parent), quit_(std::move(quit)) {
    eventFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (eventFd_ < 0) return;
    signalSeen = false;
    signalEventFd = eventFd_;
    notifier_ = new QSocketNotifier(eventFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(eventFd_, &count, sizeof count);
        if (quit_) quit_();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(signalNumbers); ++i) ::sigaction(signalNumbers[i], &action, &previous_[i]);
}

TerminationSignals::~TerminationSignals() {
    if (eventFd_ < 0) return;
    for (size_t i = 0; i < std::size(signalNumbers); ++i) ::sigaction(signalNumbers[i], &previous_[i], nullptr);
    signalEventFd = -1;
    delete notifier_;
    ::close(eventFd_);
}

}  // namespace zelvane
