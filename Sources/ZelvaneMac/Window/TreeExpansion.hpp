#pragma once

#include <QObject>
#include <QPointer>

#include <cstddef>
#include <memory>
#include <unordered_set>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// The outline's open rows as the tree's nodes, read at one moment, for work that lists what the
// outline shows away from the GUI thread.
struct OpenTreeRows {
    std::unordered_set<const FileNode*> folders;   // real folders whose rows are open
    std::unordered_set<const FileNode*> groupsOf;  // folders whose grouped files' row is open too
};

// Which rows of the Tree View's outline are open. Only the outline knows; widget-free code (the
// rescan's restore state, the clipboard's indented tree) asks it through `TreeExpansion`.
class TreeExpansionQuery {
public:
    virtual bool isNodeExpanded(const FileNode* node) const = 0;
    // The folder's row is open and so is the row of its grouped files.
    virtual bool isGroupExpanded(const FileNode* folder) const = 0;
    // Every open row reached from the top through open rows, in a time that grows with them.
    virtual OpenTreeRows openRows() const = 0;
    // Holds the outline's own nodes (its group rows, made anew for each tree) alive, so that work
    // away from the GUI thread can tell them apart from the tree's nodes after the outline moved on.
    virtual std::shared_ptr<const void> ownNodesHeld() const = 0;

protected:
    ~TreeExpansionQuery() = default;
};

// The window's way to the outline's expansion. It holds the outline by a guarded pointer, so it
// never calls into an outline that is gone: with none attached (none made yet, or destroyed)
// nothing is open. Main thread only.
class TreeExpansion final {
public:
    // `Source` is a QObject that answers the query (the outline widget).
    template <class Source>
    void attach(const Source* source) {
        owner_ = source;
        query_ = source;
    }
    bool isNodeExpanded(const FileNode* node) const { return owner_ && query_->isNodeExpanded(node); }
    bool isGroupExpanded(const FileNode* folder) const { return owner_ && query_->isGroupExpanded(folder); }
    OpenTreeRows openRows() const { return owner_ ? query_->openRows() : OpenTreeRows{}; }
    std::shared_ptr<const void> ownNodesHeld() const { return owner_ ? query_->ownNodesHeld() : nullptr; }

private:
    QPointer<const QObject> owner_;
    const TreeExpansionQuery* query_ = nullptr;
};

}  // namespace zelvane
