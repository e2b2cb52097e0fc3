#pragma once

// The decisions of a window's scan control that need neither the window nor a widget: which
// roots the filter panel leaves, where a path lies in a tree, what the command line names, what
// is captured and found again around a rescan. The window's scan road (ScanController and its
// parts) calls them with its state; tests call them with real trees.

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ZelvaneMac/Window/TreeRestoreState.hpp"

namespace zelvane {

// The same names as the window state's.
using NodeSet = QSet<FileNode*>;
using NodePredicate = std::function<bool(const FileNode*)>;

// Walks only the expanded folders, so its cost follows what the user opened, not the tree.
// The selected paths are `selectedPathsOf(selectedTreeNodes(selected))`; a selected group row is
// kept as the path of its folder.
TreeRestoreState captureTreeRestoreState(std::span<const RootRef> roots, const NodePredicate& isExpanded,
                                         const NodePredicate& isGroupExpanded, const NodeSet& selected);

// The selected nodes of the trees: group rows (the outline's own, made anew for each tree) left
// out. Any thread while the trees and the outline's group rows are held.
std::vector<const FileNode*> selectedTreeNodes(const NodeSet& selected);
// The full paths of nodes. Any thread, while their trees are held.
QSet<QString> selectedPathsOf(std::span<const FileNode* const> nodes);

// The node at `path` under the first root that holds it: stored children only, exact names.
// A root path ending in "/" (the boot volume) matches paths below it without a doubled "/".
FileNode* nodeAtPath(const QString& path, std::span<const RootRef> roots);

// What a restore finds of a captured state in new roots; paths that no longer exist are skipped.
struct TreeRestoreMatch {
    std::vector<FileNode*> nodesToExpand;
    std::vector<FileNode*> groupParentsToExpand;
    NodeSet selected;
    // The folders whose group rows were selected; the outline's rows of these trees make them.
    std::vector<FileNode*> selectedGroupsOf;
};
TreeRestoreMatch matchTreeRestoreState(const TreeRestoreState& state, std::span<const RootRef> roots);

// Every file (never a folder) under the roots whose detected extension is `ext` ("" for none).
// Once `cancel` is set the walk stops and what it found so far is returned.
NodeSet filesWithExtension(std::span<const RootRef> roots, const std::string& ext, const CancelFlag* cancel = nullptr);

// The filtered copy of `roots` for the applied filter texts; none when both texts are blank or
// there are no roots. Each text is trimmed, parsed with its own copy of the whole-path flag.
std::optional<std::vector<RootRef>> buildFilteredRoots(std::span<const RootRef> roots, const QString& includeText,
                                                       const QString& excludeText, bool matchEntirePath);

// The exclude filter a scan starts with: only while the filter panel is shown and the text is
// not blank. `fullPath` starts as the whole-path setting; the parser may turn it on.
struct ScanExclude {
    std::optional<DecodedFilter> filters;
    bool fullPath = false;
};
ScanExclude scanExcludeFilter(bool showFilterPanel, const QString& excludeText, bool matchEntirePath);

// True when both lists hold the same node objects in the same order.
bool sameRootObjects(std::span<const RootRef> a, std::span<const RootRef> b);

// One (total, available) pair per root, looked up by the root's path among the model's
// capacities; unknown roots get (none, none).
std::vector<VolumeCapacity> capacitiesFor(std::span<const RootRef> roots, const std::vector<RootCapacity>& known);

// Trimmed of white space and line ends, as the filter texts are before use.
QString trimmedFilterText(const QString& text);

}  // namespace zelvane
