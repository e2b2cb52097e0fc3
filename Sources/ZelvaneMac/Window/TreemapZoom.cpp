#include "ZelvaneMac/Window/TreemapZoom.hpp"

#include <algorithm>

#include "ZelvaneMac/Window/TreeRetirement.hpp"

namespace zelvane {

TreemapZoom::TreemapZoom(const TreeRetirement& retirement, QObject* parent) : QObject(parent) {
    connect(&retirement, &TreeRetirement::treesRetiring, this, &TreemapZoom::dropNodesOutside);
}

void TreemapZoom::setRoot(FileNode* node) {
    if (node == root_) return;
    root_ = node;
    emit rootChanged(root_);
}

FileNode* TreemapZoom::shownIn(const std::vector<FileNode*>& shown) const {
    if (!root_) return nullptr;
    FileNode* top = root_;
    while (top->parent()) top = top->parent();
    return std::find(shown.begin(), shown.end(), top) != shown.end() ? root_ : nullptr;
}

FileNode* TreemapZoom::zoomOutTargetIn(const std::vector<FileNode*>& shown) const {
    FileNode* z = shownIn(shown);
    return z && z->parent() ? z->parent() : nullptr;
}

void TreemapZoom::zoomOutWithin(const std::vector<FileNode*>& shown) {
    if (!shownIn(shown)) return;
    FileNode* parent = root_->parent();
    if (parent && parent->isSyntheticGroup() && parent->parent()) parent = parent->parent();
    const bool isRoot = parent && std::find(shown.begin(), shown.end(), parent) != shown.end();
    setRoot(isRoot ? nullptr : parent);
}

}  // namespace zelvane
