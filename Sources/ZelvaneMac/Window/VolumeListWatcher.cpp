#include "ZelvaneMac/Window/VolumeListWatcher.hpp"

#include <QSocketNotifier>

#include "Platform/MountChangeWatch.hpp"

namespace zelvane {

VolumeListWatcher::VolumeListWatcher(QObject* parent) : QObject(parent), watch_(std::make_unique<MountChangeWatch>()) {
    if (watch_->fd() < 0) return;
    watch_->acknowledge();
    // The mount table signals with POLLPRI, which the event loop reports as an exception.
    notifier_ = std::make_unique<QSocketNotifier>(watch_->fd(), QSocketNotifier::Exception);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        watch_->acknowledge();
        emit volumesChanged();
    });
}

VolumeListWatcher::~VolumeListWatcher() = default;

bool VolumeListWatcher::isActive() const { return notifier_ && notifier_->isEnabled(); }

}  // namespace zelvane
