#pragma once

#include <QObject>

#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ScanEngine/Monitor/FileChangeEvent.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Scanning/LiveChangePlanner.hpp"
#include "ZelvaneMac/Core/Scanning/NodesGone.hpp"

class QSocketNotifier;
class QTimer;

namespace zelvane {

class DedicatedWorker;
class FileSystemMonitor;

// Keeps a finished scan tree in step with deletions on disk while a window shows it. Items that
// are reported removed, or renamed away, are marked deleted with their subtree and their sizes
// and counts are taken out of every ancestor; the nodes whose display changed go out through
// `nodesChanged` once a batch is applied (a large one in parts, one a turn), and those of the
// application's own changes at once or with the next half-second refresh. The controller never
// adds nodes: new files wait for the next scan.
//
// An item counts as the one scanned only while its path leads to the same kind of item with the
// same file identifier: one replaced by another under its name (a folder moved away and a new
// one made, a file saved over by a rename) is the scanned one deleted, and since its successor
// is not read, the window is told that the result no longer shows everything
// (`missedChanges`).
//
// Marks reach every tree that holds the item: the watched trees and the copies made of them
// (`keepInStep`), whichever of them a deletion was seen or made in.
//
// Confined to the main thread (the thread that made it, which runs a Qt event loop). Batches of
// the monitor's thread reach it through a locked inbox and an eventfd watched on the main
// thread, so no lock is held while the tree is changed and the monitor never touches it. What a
// batch changes is worked out on a thread of its own (`LiveChangePlanner`: the look at the disk
// for each path, the path's node in every tree, the nodes whose display changes); the main thread
// then only marks the planned nodes and hands on the changed ones, a few milliseconds' worth per
// turn of its event loop, so that tens of thousands of deletions never hold up the window. One
// plan is made at a time, from every batch that arrived meanwhile, and only once the one before
// is applied. A plan made before the followed trees or their names changed is not applied: its
// batches are planned again (or dropped, once the controller stopped).
class LiveMonitorController final : public QObject {
    Q_OBJECT
public:
    static constexpr int kRefreshIntervalMillis = 500;

    explicit LiveMonitorController(QObject* parent = nullptr);
    ~LiveMonitorController() override;

    // Watches the roots (after a `stop()`); with no roots nothing is watched and no timer runs.
    // The controller holds the roots, and so their tree, until it stops.
    void start(std::vector<RootRef> roots);
    // Stops watching and forgets everything pending.
    void stop();
    // The application deleted these itself: mark them, and the same items in every other tree
    // kept in step, and refresh at once. More than a thousand are planned and marked the way a
    // batch of events is, over the next turns of the event loop.
    void markDeletedLocally(std::span<FileNode* const> nodes);
    // The same for a list that comes with the stores of its trees: more than a thousand go to the
    // planner as they are, whatever trees they are in, so that the main thread reads none of them.
    void markGoneLocally(const NodesGone& gone);
    // The trees whose marks follow the watched ones' and each other's (a scanned tree and the
    // copies made of it), whether or not anything is watched; held until replaced.
    void keepInStep(std::vector<RootRef> trees);
    // A node was renamed in place: names looked up earlier are looked up again.
    void forgetNameLookups() { ++lookupEpoch_; }
    // The application renamed these itself: the same items in the other trees kept in step take
    // the new names, and the views that show their names refresh at once.
    void markRenamedLocally(std::span<FileNode* const> nodes);

    // Plans and applies one batch of events at once, on the calling (main) thread. The monitor's
    // own batches take the planning thread instead.
    void handle(const std::vector<FileChangeEvent>& events);

    bool isWatching() const { return monitor_ != nullptr; }
    // Watching exactly these root objects, in this order.
    bool isWatching(std::span<const RootRef> roots) const;
    // Changes are taken in or waiting to be handed on: batches not yet planned or applied count.
    bool hasPendingRefresh() const {
        return hasPendingRefresh_ || !waiting_.empty() || !waitingRemovals_.empty() || planningEvents_ ||
               applying_.has_value();
    }
    const FileSystemMonitor* monitor() const { return monitor_.get(); }
    // While `nodesChanged` is emitted: the nodes are part of a larger change, whose other nodes
    // follow on the next turns of the event loop (what sums up the whole tree may wait for them).
    bool moreChangesFollow() const { return moreChangesFollow_; }

signals:
    // The nodes whose sizes, names or deletion changed, once the tree took the change.
    void nodesChanged(const std::vector<zelvane::FileNode*>& nodes);
    // The monitor missed changes below this watched path (its queue overflowed, or the watch
    // table is full), or an item came back that was not read: the tree may no longer match the
    // disk there.
    void missedChanges(const std::string& path);

private:
    // A plan being applied, a turn of the event loop at a time.
    struct Applying {
        LiveChangePlan plan;
        std::vector<FileChangeEvent> events;  // what it was made from, to plan again
        NodesGone removed;
        uint64_t lookupEpoch = 0;
        size_t nextStep = 0;
        size_t nextChanged = 0;
    };
    class EventInboxLocked;

    void drainInbox();
    void flushPendingRefreshIfNeeded();
    // The watched trees, then the kept ones not watched.
    std::vector<FollowedTree> followedTrees() const;
    bool holds(const FileNode* node) const;
    // Starts planning what waits, unless a plan is being made or applied.
    void planNext();
    void takePlan(LiveChangePlan plan, std::vector<FileChangeEvent> events, uint64_t watchEpoch, uint64_t lookupEpoch);
    // Puts what a plan was made from back in line, to be planned again.
    void planAgain(std::vector<FileChangeEvent> events, const NodesGone& removed);
    void takeLinks(const LiveChangePlan& plan);
    // Applies the plan under way for a few milliseconds; true once it is done.
    bool applySome();
    void continueApplying();
    void applyStep(const LiveChangePlan::Step& step);
    bool markNode(FileNode* node);
    // Marks a planned node: the plan lists what changes with it.
    void markPlanned(FileNode* node);
    void noteChanged(FileNode* node);
    // Marks the node's item in the other trees kept in step.
    void markElsewhere(FileNode* node, const std::vector<FollowedTree>& trees);
    // Gives the node's new name to its item in the other trees kept in step.
    void renameElsewhere(FileNode* node, const std::vector<FollowedTree>& trees);
    // A file's space stays on disk while any of its hard links is left (see the .cpp).
    void handOverSpaceOfDeletedLinks(FileNode* deleted);
    void handOverNow(FileNode* deleted, const LinksLeftOut& spared);
    // Drops what points into trees no longer held; called while they still exist.
    void dropNodesNotHeld();

    std::vector<FollowedTree> watchedRoots_;
    std::vector<FollowedTree> keptTrees_;
    std::unique_ptr<FileSystemMonitor> monitor_;
    std::unique_ptr<QTimer> refreshTimer_;
    bool hasPendingRefresh_ = false;
    std::unordered_set<FileNode*> pendingDirtyNodes_;
    std::unordered_set<FileNode*> pendingTouchedAncestors_;

    std::shared_ptr<EventInboxLocked> inbox_;
    std::unique_ptr<QSocketNotifier> inboxNotifier_;

    // The planning road. `watchEpoch_` moves with every start and stop (what was planned is
    // dropped), `lookupEpoch_` whenever the followed trees or names in them change (what was
    // planned is planned again).
    std::unique_ptr<DedicatedWorker> planWorker_;
    std::shared_ptr<LiveChangePlanner> planner_;
    std::deque<std::vector<FileChangeEvent>> waiting_;
    // Nodes the application removed in numbers too large to mark at once, waiting to be planned,
    // and those of the plan being made (whose trees it holds: `planningTrees_`). A list without
    // stores is of followed trees and loses its nodes with them; one with stores keeps its trees.
    std::vector<NodesGone> waitingRemovals_;
    NodesGone planningRemovals_;
    std::vector<RootRef> planningTrees_;
    bool planning_ = false;
    bool planningEvents_ = false;
    std::optional<Applying> applying_;
    std::unique_ptr<QTimer> applyTimer_;
    size_t changedPerTurn_;
    bool moreChangesFollow_ = false;
    uint64_t watchEpoch_ = 0;
    uint64_t lookupEpoch_ = 1;
    // Planning on the main thread (`handle`) and the look-ups of the application's own changes.
    LiveChangePlanner localPlanner_;
    std::vector<FileNode*> foundScratch_;
    // Hard links of one tree whose space another link counts, by tree, as the planner gathered
    // them; deleted nodes whose tree has none yet wait for them.
    std::unordered_map<const FileNode*, std::shared_ptr<const LinksLeftOut>> linksLeftOut_;
    std::vector<FileNode*> awaitingLinks_;
    bool linksWanted_ = false;
};

}  // namespace zelvane
