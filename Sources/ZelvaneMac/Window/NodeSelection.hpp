#pragma once

#include <QObject>

#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class TreeRetirement;

// One selection of nodes that several views show and change (the outline and the treemap share
// the Tree View's). A view that changes it names itself as the origin; `changed` carries the
// origin, so that view does not take its own change back while the others follow it. It also
// remembers the node Select Parent came from, for Reselect Child, until the selection changes
// otherwise. Nodes of trees about to be released are dropped on the tree holder's announcement.
// Main thread only.
class NodeSelection final : public QObject {
    Q_OBJECT
public:
    explicit NodeSelection(const TreeRetirement& retirement, QObject* parent = nullptr);

    const NodeSet& nodes() const { return nodes_; }
    bool isEmpty() const { return nodes_.isEmpty(); }
    // Announces only a real change; `origin` is the view that made it (none for commands).
    void set(const NodeSet& nodes, const QObject* origin = nullptr);
    void clear() { set({}); }
    void dropNodesOutside(const KeptTrees& kept);

    // The node Reselect Child returns to; any change of the selection forgets it, except the one
    // announced by `keepReselectChildOnNextChange`.
    FileNode* reselectChild() const { return reselectChild_; }
    void setReselectChild(FileNode* node) { reselectChild_ = node; }
    void keepReselectChildOnNextChange() { keepReselectChild_ = true; }

signals:
    void changed(const zelvane::NodeSet& nodes, const QObject* origin);

private:
    NodeSet nodes_;
    FileNode* reselectChild_ = nullptr;
    bool keepReselectChild_ = false;
};

}  // namespace zelvane
