#pragma once

#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Window/TreeRestoreState.hpp"

namespace zelvane {

class NodeSelection;
class TreeExpansion;
class ViewCommands;

// What a scan started in place of shown roots reopens and reselects in the outline: the open
// rows and the selection, captured by path as the scan starts and looked for once in the first
// roots shown after it. Paths the new tree no longer holds are skipped. Main thread only.
class RescanRestore final {
public:
    RescanRestore(const TreeExpansion& treeExpansion, NodeSelection& treeSelection, ViewCommands& commands)
        : treeExpansion_(treeExpansion), treeSelection_(treeSelection), commands_(commands) {}

    void capture(const std::vector<RootRef>& shown);
    // What the next shown roots will reopen and reselect; used once.
    const std::optional<TreeRestoreState>& pending() const { return pending_; }
    void restoreIn(const std::vector<RootRef>& newRoots);

private:
    const TreeExpansion& treeExpansion_;
    NodeSelection& treeSelection_;
    ViewCommands& commands_;
    std::optional<TreeRestoreState> pending_;
};

}  // namespace zelvane
