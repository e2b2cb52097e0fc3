#pragma once

#include <QSet>

#include <unordered_map>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

using NodeSet = QSet<FileNode*>;
using NodeList = std::vector<FileNode*>;

// The trees a window goes on holding at the moment others are about to be released. Nodes of
// any other tree may be freed right after the announcement that hands this out, so whoever keeps
// node pointers drops every one `holds` refuses, while all trees are still alive to be walked.
//
// Answers are remembered per folder, so pruning a selection of a million files costs one step
// per file. Main thread only; it lives for one announcement.
class KeptTrees final {
public:
    explicit KeptTrees(const std::vector<RootRef>& kept);

    // A null pointer is held: there is nothing to drop.
    bool holds(const FileNode* node) const;
    FileNode* keep(FileNode* node) const { return holds(node) ? node : nullptr; }
    NodeSet keep(const NodeSet& nodes) const;
    NodeList keep(const NodeList& nodes) const;

private:
    mutable std::unordered_map<const FileNode*, bool> known_;
    mutable std::vector<const FileNode*> path_;
};

}  // namespace zelvane
