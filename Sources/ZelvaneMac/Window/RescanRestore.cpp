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
    // The GUI thread takes the open rows as nodes and the selection's set (shared, not copied);
    // the walk through the open folders and the paths follow from them anywhere.
    auto open = std::make_shared<const OpenTreeRows>(treeExpansion_.openRows());
    const NodeSet selected = treeSelection_.nodes();
    const auto captured = [open, selected, shown] {
        return captureTreeRestoreState(
            shown, [&](const FileNode* n) { return open->folders.count(n) != 0; },
            [&](const FileNode* n) { return open->groupsOf.count(n) != 0; }, selected);
    };
    if (selected.size() <= kSelectedPathsMadeInPlace && open->folders.size() <= kOpenPathsMadeInPlace) {
        pending_ = captured();
        return;
    }
    pending_ = TreeRestoreState{};
    capturing_ = true;
    // The job holds the trees whose names it reads and the outline's group rows it leaves out,
    // whatever the scan or the outline frees meanwhile.
    runInBackground(
        &receiver_, captures_, [captured, groups = treeExpansion_.ownNodesHeld()] { return captured(); },
        [this](TreeRestoreState state) {
            capturing_ = false;
            pending_ = std::move(state);
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
        [this, selectedBefore](TreeRestoreMatch match) {
            finding_ = false;
            if (!match.nodesToExpand.empty() || !match.groupParentsToExpand.empty())
                commands_.expandTreeRows(match.nodesToExpand, match.groupParentsToExpand);
            if (treeSelection_.nodes() != selectedBefore) return;
            // The set is this job's alone: adding the group rows copies nothing.
            if (groupRowOf_)
                for (FileNode* folder : match.selectedGroupsOf)
                    if (FileNode* group = groupRowOf_(folder)) match.selected.insert(group);
            if (!match.selected.isEmpty()) treeSelection_.set(match.selected);
        });
}

}  // namespace zelvane
