#pragma once

#include <QString>

#include <span>
#include <string>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Support/NodePaths.hpp"

namespace zelvane {

// One item a file action may hand to the system: a real node of a scanned tree with the exact
// bytes of its absolute path.
struct ActionTarget {
    FileNode* node = nullptr;
    std::string path;  // exact bytes, absolute
    // The name messages show where there is no node to take it from.
    QString givenName;
    bool isDir = false;
    // Read back from an export file: what the row shows may not be what is on disk now.
    bool fromImport = false;
    // Of a tree a filter left items out of: a folder's row does not show all it holds.
    bool fromFilteredTree = false;
    // A folder the import made up for the paths below it, with no row of its own.
    bool isImpliedFolder = false;

    // The node's name for messages (made when asked: a copy of millions of items never shows one).
    QString displayName() const;
    // The full path for the clipboard and messages.
    QString displayPath() const;
};

// Turns the nodes an owner selected into the items an action works on. This is the one place that
// decides what reaches the file system:
// - a synthetic group row ("[N Files in ...]") stands for its files and is never an item itself;
// - nodes marked deleted are skipped: another file may since have taken their path;
// - a node whose path is not absolute (a tree read from an export that named its items relative to
//   a folder it does not name) has no place on disk: it goes to `withoutFullPath` when given;
// - each node appears once, in the owner's order (a file selected on its own and through its
//   group counts once).
// With `dropNestedItems` an item inside another target folder is left out as well, so that removing
// the folder is not followed by a failed attempt on what it contained.
// Safe on any thread while the nodes' trees are held; what it keeps besides the items is a few
// bytes a node (no table of nodes), so millions resolve in the memory of their paths, on every
// processor. `paths`, when given, are the nodes' paths made already, index for index. Once
// `cancel` is set it stops early and gives nothing.
std::vector<ActionTarget> resolveActionTargets(std::span<FileNode* const> nodes, bool dropNestedItems = false,
                                               std::vector<ActionTarget>* withoutFullPath = nullptr,
                                               const CancelFlag* cancel = nullptr, const NodePaths* paths = nullptr);

// The items resolveActionTargets would give (nested items kept), for an action that needs only
// their paths: their nodes and paths, index for index, the paths in buffers they share instead of
// a string each. `paths`, the nodes' paths made already (index for index, or none), are taken
// over. Nothing once `cancel` is set.
struct TargetPaths {
    std::vector<FileNode*> nodes;
    NodePaths paths;
};
TargetPaths resolveTargetPaths(std::span<FileNode* const> nodes, NodePaths paths,
                               std::vector<ActionTarget>* withoutFullPath = nullptr, const CancelFlag* cancel = nullptr);

// How many items resolveActionTargets would give, those without a full path included (an action
// on them says why it cannot act), without building their paths (the menu asks this before every
// opening, whatever the size of the selection).
size_t countActionTargets(std::span<FileNode* const> nodes);

}  // namespace zelvane
