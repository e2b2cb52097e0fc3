#pragma once

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Window/TreeRestoreState.hpp"

namespace zelvane {

class NodeSelection;
class TreeExpansion;
class ViewCommands;

// What a scan started in place of shown roots reopens and reselects in the outline: the open
// rows and the selection, captured by path as the scan starts and looked for once in the first
// roots shown after it. Paths the new tree no longer holds are skipped.
//
// The paths are looked for on the thread pool (tens of thousands after Expand All and Select
// All); the outline opens the rows found and the selection is set on the GUI thread, while those
// roots are still the shown ones. A selection made meanwhile is kept. The capture takes only the
// outline's open rows and the selection's set on the GUI thread; with more than
// `kSelectedPathsMadeInPlace` nodes selected (every file of a type) or `kOpenPathsMadeInPlace`
// folders open, their paths are made on the pool, the trees and the outline's group rows held
// meanwhile; roots shown before they are made wait for them. Main thread only.
class RescanRestore final {
public:
    static constexpr qsizetype kSelectedPathsMadeInPlace = 10'000;
    static constexpr size_t kOpenPathsMadeInPlace = 1'000;

    // Found paths are handed over through `receiver`'s thread while it exists.
    RescanRestore(QObject& receiver, const TreeExpansion& treeExpansion, NodeSelection& treeSelection, ViewCommands& commands)
        : receiver_(receiver), treeExpansion_(treeExpansion), treeSelection_(treeSelection), commands_(commands) {}

    void capture(const std::vector<RootRef>& shown);
    // What the next shown roots will reopen and reselect; used once.
    const std::optional<TreeRestoreState>& pending() const { return pending_; }
    // The shown roots changed to `newRoots`: a restore still being looked for is dropped, and the
    // pending one, if any, is looked for in them (unless they are none).
    void restoreIn(const std::vector<RootRef>& newRoots);
    // A restore is being looked for (or waits for the captured paths).
    bool isFinding() const { return finding_ || waitingRoots_.has_value(); }
    // The captured paths are being made on the pool; `pending` has them once this turns false.
    bool isCapturing() const { return capturing_; }
    // How a selected group row is found again: the group row of a folder of the roots shown (its
    // rows made anew if need be), or null. Set by the view that shows the group rows.
    void setGroupRowOf(std::function<FileNode*(FileNode* folder)> groupRowOf) { groupRowOf_ = std::move(groupRowOf); }

private:
    QObject& receiver_;
    const TreeExpansion& treeExpansion_;
    NodeSelection& treeSelection_;
    ViewCommands& commands_;
    std::optional<TreeRestoreState> pending_;
    JobGeneration captures_;
    bool capturing_ = false;                           // the captured paths are being made
    std::optional<std::vector<RootRef>> waitingRoots_;  // shown meanwhile, to restore in once made
    JobGeneration finds_;
    bool finding_ = false;
    std::function<FileNode*(FileNode*)> groupRowOf_;
};

}  // namespace zelvane
