#pragma once

#include <QObject>
#include <QString>
#include <optional>

namespace zelvane {

// The full path of the node under the pointer in the visible tab, one per window; the status bar
// shows it.
class HoverPathState final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const std::optional<QString>& path() const { return path_; }
    void setPath(const std::optional<QString>& path) {
        if (path_ == path) return;
        path_ = path;
        emit pathChanged(path_);
    }

signals:
    void pathChanged(const std::optional<QString>& path);

private:
    std::optional<QString> path_;
};

}  // namespace zelvane
