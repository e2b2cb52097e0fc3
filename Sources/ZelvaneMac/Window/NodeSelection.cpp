#include "ZelvaneMac/Window/NodeSelection.hpp"

namespace zelvane {

void NodeSelection::set(const NodeSet& nodes, const QObject* origin) {
    if (nodes == nodes_) return;
    nodes_ = nodes;
    emit changed(nodes_, origin);
}

}  // namespace zelvane
