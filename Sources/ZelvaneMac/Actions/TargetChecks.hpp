#pragma once

#include <atomic>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ZelvaneMac/Core/Support/NodePaths.hpp"
#include "ZelvaneMac/Actions/ChangeRules.hpp"
#include "ZelvaneMac/Actions/ItemCopy.hpp"

namespace zelvane {

class NodeStore;
struct DiskSurvey;

// What the disk holds now below the folders an erase is about to take unseen.
struct DiskTotals {
    bool cancelled = false;  // the user gave up waiting: the action ends
    // Targets no longer at their paths: nothing is left to erase, and their rows are shown gone
    // (whatever the answer to the question about the rest).
    std::vector<FileNode*> vanished;
    struct Counts {
        int64_t items = 0;
        int64_t bytes = 0;
    };
    std::map<const FileNode*, Counts> surveyed;  // by target
};

// The items an action works on, from the nodes its owner chose (see resolveActionTargets; nested
// items are dropped where the change's rules say so); those with no place on disk join `refused`.
std::vector<ActionTarget> resolveTargets(std::span<FileNode* const> nodes, Change change, std::vector<Failure>& refused,
                                         const CancelFlag* cancel = nullptr, const NodePaths* paths = nullptr);

// The items an action that only reaches them works on, as their paths (see resolveTargetPaths);
// those with no place on disk join `refused`.
TargetPaths resolvePathsToReach(std::span<FileNode* const> nodes, NodePaths paths, std::vector<Failure>& refused,
                                const CancelFlag* cancel = nullptr);

// The checks of `change`'s rules on each item, safe on any thread. With `disk`, an erase also
// notes what is gone already, and which kept items must be read before asking (their index in
// `kept`, and whether each is a folder now).
struct CheckedTargets {
    std::vector<ActionTarget> kept;
    std::vector<std::pair<size_t, bool>> unseen;
};
CheckedTargets checkTargets(std::vector<ActionTarget> items, Change change, std::vector<Failure>& refused,
                            DiskTotals* disk = nullptr);
// Reads what the disk holds below the unseen items; gives up when `cancelled` is set.
std::vector<DiskSurvey> surveyUnseen(const CheckedTargets& checked, const std::atomic<bool>& cancelled);
// The refusals that reading leads to; the totals of what was read go into `disk`.
std::vector<ActionTarget> applySurveys(CheckedTargets checked, const std::vector<DiskSurvey>& surveys,
                                       std::vector<Failure>& refused, DiskTotals& disk);
// The checks of a change that erases nothing: the items it may touch.
std::vector<ActionTarget> refuseUntouchable(std::vector<ActionTarget> items, Change change, std::vector<Failure>& refused);

// Whether erasing the item could work where moving it to the trash did not: its folder must let
// the user remove entries, and nothing may lock the item in place.
bool deletionCouldSucceed(const std::string& path);
// The items below `folder` that are no longer on disk (the topmost of each gone branch); given up
// when `stop` is set. Reads the tree only through what background work may read.
void nodesGoneBelow(FileNode* folder, std::vector<FileNode*>& gone, const std::atomic<bool>& stop);
// What the window shows of the target's contents, for a copy made as shown.
ShownFileSystem shownFileSystem(const ActionTarget& t);

// The trees of the targets, kept while an action waits for the user or the disk: a scan that ends
// meanwhile replaces the window's trees, and the action must still reach the nodes it holds.
// Safe on any thread while the nodes' trees are kept otherwise.
using HeldTrees = std::vector<std::shared_ptr<NodeStore>>;
HeldTrees holdTrees(const std::vector<FileNode*>& nodes);

// The items of an action as the owner holds them: about `count` nodes that `gather` lists (once,
// on any thread) and `order` puts in the owner's order, their trees kept whole by `trees`
// meanwhile (the owner's roots). Listing a selection of millions takes seconds: the actions do it
// on the thread pool. Both give up early (an empty list, the order left) once the flag is set.
struct NodeListing {
    using Gathering = std::function<std::vector<FileNode*>(const CancelFlag&)>;
    using Ordering = std::function<void(std::vector<FileNode*>&, const CancelFlag*)>;
    size_t count = 0;
    Gathering gather;
    Ordering order;
    // Instead of `order`: the nodes in the order of their paths' bytes (equal ones as listed),
    // each path made once and kept for the action (`listWithPaths`).
    bool inPathOrder = false;
    std::shared_ptr<const void> trees;

    // Nodes the owner listed already, in its order; their trees are looked up here.
    static NodeListing of(std::vector<FileNode*> nodes);
    // Lists and orders the nodes (on the thread where it is called).
    std::vector<FileNode*> list(const CancelFlag& cancel) const;
    // The same with the paths of the nodes, index for index, when the order made them (else none).
    struct Listed {
        std::vector<FileNode*> nodes;
        NodePaths paths;
    };
    Listed listWithPaths(const CancelFlag& cancel) const;
};

}  // namespace zelvane
