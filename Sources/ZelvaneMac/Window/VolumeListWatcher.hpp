#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace zelvane {

class MountChangeWatch;

// Tells a window when the mounted volumes changed (mount, unmount, a file system relabelled and
// remounted), so that it lists them again. Linux has no separate rename notice: every change
// arrives as `volumesChanged`, and `mounted` is not told apart. GUI thread only.
class VolumeListWatcher final : public QObject {
    Q_OBJECT
public:
    explicit VolumeListWatcher(QObject* parent = nullptr);
    ~VolumeListWatcher() override;

    bool isActive() const;

signals:
    void volumesChanged();

private:
    std::unique_ptr<MountChangeWatch> watch_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace zelvane
