#include "ZelvaneMac/Window/HoverPathState.hpp"

#include "ZelvaneMac/Models/NodeCells.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/TreeRetirement.hpp"

namespace zelvane {

HoverPathState::HoverPathState(const TreeRetirement& retirement, QObject* parent) : QObject(parent) {
    connect(&retirement, &TreeRetirement::treesRetiring, this, &HoverPathState::dropNodesOutside);
}

void HoverPathState::setNode(const FileNode* node) {
    node_ = node;
    show(hoverPathOf(node));
}

void HoverPathState::setPath(const std::optional<QString>& path) {
    node_ = nullptr;
    show(path);
}

void HoverPathState::nodesChanged() {
    if (!node_) return;
    // A row pointed at once it was struck shows its path; one that goes while pointed at, not.
    if (node_->isDeleted()) node_ = nullptr;
    show(hoverPathOf(node_));
}

void HoverPathState::dropNodesOutside(const KeptTrees& kept) {
    if (!node_ || kept.holds(node_)) return;
    setPath(std::nullopt);
}

void HoverPathState::show(const std::optional<QString>& path) {
    if (path_ == path) return;
    path_ = path;
    emit pathChanged(path_);
}

}  // namespace zelvane
