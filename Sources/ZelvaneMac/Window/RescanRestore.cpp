#include "ZelvaneMac/Window/RescanRestore.hpp"

#include <utility>

#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanControl.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {

void RescanRestore::capture(const std::vector<RootRef>& shown) {
    const TreeExpansion& open = treeExpansion_;
    pending_ = captureTreeRestoreState(
        shown, [&open](const FileNode* n) { return open.isNodeExpanded(n); },
        [&open](const FileNode* n) { return open.isGroupExpanded(n); }, treeSelection_.nodes());
}

void RescanRestore::restoreIn(const std::vector<RootRef>& newRoots) {
    if (newRoots.empty() || !pending_) return;
    const TreeRestoreState pending = *std::exchange(pending_, std::nullopt);
    TreeRestoreMatch match = matchTreeRestoreState(pending, newRoots);
    if (!match.nodesToExpand.empty() || !match.groupParentsToExpand.empty())
        commands_.expandTreeRows(match.nodesToExpand, match.groupParentsToExpand);
    if (!match.selected.isEmpty()) treeSelection_.set(match.selected);
}

}  // namespace zelvane
