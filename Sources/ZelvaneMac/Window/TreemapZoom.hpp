#pragma once

#include <QObject>

#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class TreeRetirement;

// The folder the Tree View's treemap is zoomed into (none: the whole of the shown roots). A
// zoom set on an older tree may outlive the roots it belonged to for a moment; it counts only
// while its tree is shown (`shownIn`). Dropped when its tree is about to go. Main thread only.
class TreemapZoom final : public QObject {
    Q_OBJECT
public:
    explicit TreemapZoom(const TreeRetirement& retirement, QObject* parent = nullptr);

    FileNode* root() const { return root_; }
    // Announces only a real change.
    void setRoot(FileNode* node);
    // The zoomed node when it belongs to one of `shown`; an older tree's node is not read beyond
    // the walk to its top.
    FileNode* shownIn(const std::vector<FileNode*>& shown) const;
    // Where the strip's ".." leads: the zoomed node's folder, none above a root.
    FileNode* zoomOutTargetIn(const std::vector<FileNode*>& shown) const;
    // The menu's "Zoom Out": a folder up (past a group row), and the whole picture when that is a
    // root of `shown`. A zoom into a tree not shown is left alone.
    void zoomOutWithin(const std::vector<FileNode*>& shown);
    void dropNodesOutside(const KeptTrees& kept) { setRoot(kept.keep(root_)); }

signals:
    void rootChanged(zelvane::FileNode* node);

private:
    FileNode* root_ = nullptr;
};

}  // namespace zelvane
