#pragma once

#include <QObject>
#include <QString>
#include <optional>

namespace zelvane {

class FileNode;
class KeptTrees;
class TreeRetirement;

// The full path of the node under the pointer in the visible tab, one per window; the status bar
// shows it. The node is kept, not only its path: a rename of it or of a folder above it (in the
// window or on disk) is shown once the tree took it, and the path goes when the node is shown
// deleted or its tree is let go. Main thread only.
class HoverPathState final : public QObject {
    Q_OBJECT
public:
    explicit HoverPathState(const TreeRetirement& retirement, QObject* parent = nullptr);

    const std::optional<QString>& path() const { return path_; }
    // The node under the pointer now (none when the pointer is on no row).
    void setNode(const FileNode* node);
    // A path of no node of the shown trees.
    void setPath(const std::optional<QString>& path);
    // The tree took changes (names, deletions): the path is read again from the node.
    void nodesChanged();

signals:
    void pathChanged(const std::optional<QString>& path);

private:
    void dropNodesOutside(const KeptTrees& kept);
    void show(const std::optional<QString>& path);

    const FileNode* node_ = nullptr;
    std::optional<QString> path_;
};

}  // namespace zelvane
