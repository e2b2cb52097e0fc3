#pragma once

#include <QSet>

#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

using NodeSet = QSet<FileNode*>;
using NodeList = std::vector<FileNode*>;

// The trees a window goes on holding at the moment others are about to be released. Nodes of
// any other tree may be freed right after the announcement that hands this out, so whoever keeps
// node pointers drops every one `holds` refuses, while all trees are still alive to be walked.
//
// A node is held when one of the kept roots is on its way up: a walk of a few pointers, where a
// table of the folders seen cost more than the walk at ten million selected files. Main thread
// only; it lives for one announcement.
class KeptTrees final {
public:
    explicit KeptTrees(const std::vector<RootRef>& kept);

    // A null pointer is held: there is nothing to drop.
    bool holds(const FileNode* node) const;
    FileNode* keep(FileNode* node) const { return holds(node) ? node : nullptr; }
    NodeSet keep(const NodeSet& nodes) const;
    NodeList keep(const NodeList& nodes) const;

private:
    // Lists of changed nodes hold whole folders' files one after another: the walk up is taken
    // once for a run of files of the same folder, `heldFolder` being the last one found held.
    bool holdsBeside(const FileNode* node, const FileNode*& heldFolder) const;

    std::vector<const FileNode*> roots_;
};

}  // namespace zelvane
