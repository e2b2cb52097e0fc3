#include "ZelvaneMac/Window/RescanRestore.hpp"

#include <utility>

#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanControl.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"

namespace zelvane {

void RescanRestore::capture(const std::vector<RootRef>& shown) {
    captures_.supersede();
    capturing_ = false;
    waitingRoots_.reset();
    const TreeExpansion& open = treeExpansion_;
    const NodeSet selected = treeSelection_.nodes();
    const bool inPlace = selected.size() <= kSelectedPathsMadeInPlace;
    pending_ = captureTreeRestoreState(
        shown, [&open](const FileNode* n) { return open.isNodeExpanded(n); },
        [&open](const FileNode* n) { return open.isGroupExpanded(n); }, inPlace ? selected : NodeSet());
    if (inPlace) return;
    capturing_ = true;
    // The job holds the trees whose names it reads, whatever the scan frees meanwhile.
    runInBackground(
        &receiver_, captures_, [nodes = selectedTreeNodes(selected), held = shown] { return selectedPathsOf(nodes); },
        [this](QSet<QString> paths) {
            capturing_ = false;
            if (pending_) pending_->selectedPaths = std::move(paths);
            if (waitingRoots_) restoreIn(*std::exchange(waitingRoots_, std::nullopt));
        });
}

void RescanRestore::restoreIn(const std::vector<RootRef>& newRoots) {
    // Whatever was being looked for belongs to roots no longer shown.
    finds_.supersede();
    finding_ = false;
    waitingRoots_.reset();
    if (newRoots.empty() || !pending_) return;
    if (capturing_) {
        waitingRoots_ = newRoots;
        return;
    }
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
