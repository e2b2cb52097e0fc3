#include "ZelvaneMac/Window/CoalescedUpdate.hpp"

#include <QTimer>

#include <utility>

namespace zelvane {

CoalescedUpdate::CoalescedUpdate(std::function<void(Parts)> update, QObject* owner)
    : QObject(owner), update_(std::move(update)) {}

void CoalescedUpdate::schedule(Parts parts) {
    pending_ |= parts;
    if (queued_ || !pending_) return;
    queued_ = true;
    QTimer::singleShot(0, this, [this] {
        queued_ = false;
        if (pending_) runNow();
    });
}

void CoalescedUpdate::runNow(Parts extra) {
    const Parts parts = std::exchange(pending_, 0) | extra;
    if (parts) update_(parts);
}

}  // namespace zelvane
