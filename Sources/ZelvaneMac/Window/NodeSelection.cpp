#include "ZelvaneMac/Window/NodeSelection.hpp"

#include "ZelvaneMac/Window/TreeRetirement.hpp"

namespace zelvane {

NodeSelection::NodeSelection(const TreeRetirement& retirement, QObject* parent) : QObject(parent) {
    connect(&retirement, &TreeRetirement::treesRetiring, this, &NodeSelection::dropNodesOutside);
}

void NodeSelection::set(const NodeSet& nodes, const QObject* origin) {
    if (nodes == nodes_) return;
    nodes_ = nodes;
    if (keepReselectChild_) keepReselectChild_ = false;
    else reselectChild_ = nullptr;
    emit changed(nodes_, origin);
}

void NodeSelection::dropNodesOutside(const KeptTrees& kept) {
    set(kept.keep(nodes_));
    reselectChild_ = kept.keep(reselectChild_);
}

}  // namespace zelvane
