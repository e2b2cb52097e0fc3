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
    // Whatever was being looked for belongs to roots no longer shown.
    finds_.supersede();
    finding_ = false;
    if (newRoots.empty() || !pending_) return;
    finding_ = true;
    // The job holds the roots it reads; the state is moved into it.
    auto state = std::make_shared<const TreeRestoreState>(*std::exchange(pending_, std::nullopt));
    const NodeSet selectedBefore = treeSelection_.nodes();
    runInBackground(
        &receiver_, finds_, [state, newRoots] { return matchTreeRestoreState(*state, newRoots); },
        [this, selectedBefore](const TreeRestoreMatch& match) {
            finding_ = false;
            if (!match.nodesToExpand.empty() || !match.groupParentsToExpand.empty())
                commands_.expandTreeRows(match.nodesToExpand, match.groupParentsToExpand);
            if (!match.selected.isEmpty() && treeSelection_.nodes() == selectedBefore) treeSelection_.set(match.selected);
        });
}

}  // namespace zelvane
