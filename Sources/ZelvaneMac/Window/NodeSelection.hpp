#pragma once

#include <QObject>

#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

// One selection of nodes that several views show and change (the outline and the treemap share
// the Tree View's). A view that changes it names itself as the origin; `changed` carries the
// origin, so that view does not take its own change back while the others follow it. Nodes of
// trees about to be released are dropped on the tree holder's announcement. Main thread only.
class NodeSelection final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const NodeSet& nodes() const { return nodes_; }
    bool isEmpty() const { return nodes_.isEmpty(); }
    // Announces only a real change; `origin` is the view that made it (none for commands).
    void set(const NodeSet& nodes, const QObject* origin = nullptr);
    void clear() { set({}); }
    void dropNodesOutside(const KeptTrees& kept) { set(kept.keep(nodes_)); }

signals:
    void changed(const zelvane::NodeSet& nodes, const QObject* origin);

private:
    NodeSet nodes_;
};

}  // namespace zelvane
