#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <deque>
#include <iterator>
#include <mutex>

#include "Platform/WakeCounter.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Support/DedicatedWorker.hpp"

namespace zelvane {

// Batches cross from the monitor's thread to the main thread here. The eventfd counts pushes;
// the main thread's notifier fires on it and takes every batch at once, in arrival order.
class LiveMonitorController::EventInboxLocked final {
public:
    int fd() const noexcept { return wake_.fd(); }

    void push(std::vector<FileChangeEvent> batch) {
        {
            std::lock_guard lock(mutex_);
            batches_.push_back(std::move(batch));
        }
        wake_.signal();
    }

    std::deque<std::vector<FileChangeEvent>> takeAll() {
        wake_.drain();
        std::lock_guard lock(mutex_);
        return std::exchange(batches_, {});
    }

private:
    WakeCounter wake_;
    std::mutex mutex_;
    std::deque<std::vector<FileChangeEvent>> batches_;
};


namespace {

// How long the main thread applies a plan before it lets the event loop turn.
constexpr auto kApplyBudget = std::chrono::milliseconds(8);
// How long the views should take the changed nodes of one turn, and how many they start with.
constexpr double kHandOnMillis = 8.0;
constexpr size_t kFirstChangedPerTurn = 4000;
// A tree of at most this many nodes has its hard links gathered at once when the application
// deletes something in it before the planner did; a larger one has them gathered by the planner.
constexpr int64_t kLinksGatheredHere = 100000;
// More nodes than this removed by the application at once are marked the way batches of events
// are, a few milliseconds a turn.
constexpr size_t kRemovalsMarkedAtOnce = 1000;
// How long a closing controller waits for the planner (it looks only at paths just changed).
constexpr auto kPlannerEndWait = std::chrono::milliseconds(2000);

// The removals waiting, as one list for the planner (the common single one is not copied).
NodesGone joined(std::vector<NodesGone> lists) {
    if (lists.empty()) return {};
    if (lists.size() == 1) return std::move(lists.front());
    std::vector<FileNode*> nodes;
    std::vector<std::shared_ptr<NodeStore>> stores;
    for (NodesGone& gone : lists) {
        nodes.insert(nodes.end(), gone.list().begin(), gone.list().end());
        stores.insert(stores.end(), gone.stores.begin(), gone.stores.end());
    }
    return NodesGone::of(std::move(nodes), std::move(stores));
}

double millisSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

LiveMonitorController::LiveMonitorController(QObject* parent)
    : QObject(parent),
      inbox_(std::make_shared<EventInboxLocked>()),
      planWorker_(std::make_unique<DedicatedWorker>(this, std::chrono::duration_cast<std::chrono::milliseconds>(kPlannerEndWait))),
      planner_(std::make_shared<LiveChangePlanner>()),
      changedPerTurn_(kFirstChangedPerTurn) {}

LiveMonitorController::~LiveMonitorController() {
    awaitingLinks_.clear();
    waitingRemovals_.clear();
    planningRemovals_ = {};
    linksWanted_ = false;
    stop();
    // The planner's thread ends before the trees and the inbox go.
    planWorker_.reset();
}

void LiveMonitorController::start(std::vector<RootRef> roots) {
    stop();
    if (roots.empty()) return;
    std::vector<std::string> paths;
    std::vector<RootRef> scanned;
    for (RootRef& root : roots) {
        if (!root) continue;
        std::string path = root->pathBytes();
        paths.push_back(path);
        scanned.push_back(root);
        watchedRoots_.push_back(FollowedTree{std::move(path), std::move(root)});
    }
    // A plan begun by the stop above saw the trees without these.
    ++lookupEpoch_;
    // Made on the first start rather than with the controller, so that a controller created
    // before the application object still gets the main thread's event dispatcher.
    if (!inboxNotifier_ && inbox_->fd() >= 0) {
        inboxNotifier_ = std::make_unique<QSocketNotifier>(inbox_->fd(), QSocketNotifier::Read);
        QObject::connect(inboxNotifier_.get(), &QSocketNotifier::activated, inboxNotifier_.get(),
                         [this] { drainInbox(); });
    }
    // The handler holds only the inbox: the monitor's thread never reaches the controller.
    // The folders to watch come from the trees just scanned, not from reading them again.
    monitor_ = std::make_unique<FileSystemMonitor>(
        std::move(paths), [inbox = inbox_](std::vector<FileChangeEvent> batch) { inbox->push(std::move(batch)); },
        std::move(scanned));
    monitor_->start();

    refreshTimer_ = std::make_unique<QTimer>();
    refreshTimer_->setInterval(kRefreshIntervalMillis);
    QObject::connect(refreshTimer_.get(), &QTimer::timeout, refreshTimer_.get(), [this] {
        if (!inboxNotifier_) drainInbox();  // no eventfd: batches wait for the timer
        flushPendingRefreshIfNeeded();
    });
    refreshTimer_->start();
}

void LiveMonitorController::stop() {
    if (monitor_) {
        monitor_->stop();
        monitor_.reset();
    }
    // What was planned or waits to be belonged to the trees watched until now. A plan still
    // being made goes on with a planner of its own and is dropped on arrival.
    ++watchEpoch_;
    ++lookupEpoch_;
    waiting_.clear();
    // What the application removed itself stays to be marked, in the trees still held; the trees
    // of the plans dropped here live until that is sorted out.
    std::optional<Applying> dropped = std::exchange(applying_, std::nullopt);
    std::vector<RootRef> planned = std::exchange(planningTrees_, {});
    if (dropped && !dropped->removed.empty()) waitingRemovals_.insert(waitingRemovals_.begin(), dropped->removed);
    if (applyTimer_) applyTimer_->stop();
    if (planning_) {
        planWorker_->supersede();
        planner_ = std::make_shared<LiveChangePlanner>();
        planning_ = planningEvents_ = false;
        if (!planningRemovals_.empty()) waitingRemovals_.insert(waitingRemovals_.begin(), planningRemovals_);
    }
    planningRemovals_ = {};
    refreshTimer_.reset();
    hasPendingRefresh_ = false;
    pendingDirtyNodes_.clear();
    pendingTouchedAncestors_.clear();
    linksLeftOut_.clear();
    // Deleted nodes of trees still kept wait for their links; the others go with their trees,
    // which are let go only once nothing points into them.
    std::vector<FollowedTree> watched = std::exchange(watchedRoots_, {});
    dropNodesNotHeld();
    watched.clear();
    dropped.reset();
    planned.clear();
    planNext();
}

bool LiveMonitorController::isWatching(std::span<const RootRef> roots) const {
    if (!monitor_ || roots.size() != watchedRoots_.size()) return false;
    for (size_t i = 0; i < roots.size(); ++i)
        if (roots[i] != watchedRoots_[i].root) return false;
    return true;
}

void LiveMonitorController::keepInStep(std::vector<RootRef> trees) {
    std::vector<FollowedTree> old = std::exchange(keptTrees_, {});
    for (RootRef& root : trees)
        if (root) keptTrees_.push_back(FollowedTree{root->pathBytes(), std::move(root)});
    // Nothing pending may outlive its tree, which may go with `old`.
    dropNodesNotHeld();
    // Name look-ups are keyed by folder: a tree let go may free folders whose addresses come
    // again. A plan made or being applied meanwhile is made again for the trees followed now.
    ++lookupEpoch_;
    linksLeftOut_.clear();
}

bool LiveMonitorController::holds(const FileNode* node) const {
    while (node->parent()) node = node->parent();
    const auto is = [node](const FollowedTree& t) { return t.root.get() == node; };
    return std::any_of(watchedRoots_.begin(), watchedRoots_.end(), is) ||
           std::any_of(keptTrees_.begin(), keptTrees_.end(), is);
}

void LiveMonitorController::dropNodesNotHeld() {
    const auto notHeld = [this](FileNode* n) { return !holds(n); };
    std::erase_if(pendingDirtyNodes_, notHeld);
    std::erase_if(pendingTouchedAncestors_, notHeld);
    std::erase_if(awaitingLinks_, notHeld);
    for (NodesGone& gone : waitingRemovals_) {
        if (!gone.stores.empty() || gone.empty()) continue;
        std::vector<FileNode*> kept(gone.list().begin(), gone.list().end());
        std::erase_if(kept, notHeld);
        gone.nodes = std::make_shared<const std::vector<FileNode*>>(std::move(kept));
    }
    std::erase_if(waitingRemovals_, [](const NodesGone& gone) { return gone.empty(); });
}

std::vector<FollowedTree> LiveMonitorController::followedTrees() const {
    std::vector<FollowedTree> trees = watchedRoots_;
    for (const FollowedTree& k : keptTrees_) {
        const bool watched = std::any_of(watchedRoots_.begin(), watchedRoots_.end(),
                                         [&](const FollowedTree& w) { return w.root == k.root; });
        if (!watched) trees.push_back(k);
    }
    return trees;
}

void LiveMonitorController::drainInbox() {
    std::deque<std::vector<FileChangeEvent>> batches = inbox_->takeAll();
    // A stopped controller takes nothing in: a batch on its way belonged to the trees it watched.
    if (watchedRoots_.empty()) return;
    for (auto& batch : batches) waiting_.push_back(std::move(batch));
    planNext();
}

void LiveMonitorController::planNext() {
    if (planning_ || applying_) return;
    if (waiting_.empty() && waitingRemovals_.empty() && !linksWanted_) return;
    auto events = std::make_shared<std::vector<FileChangeEvent>>();
    for (auto& batch : waiting_) std::move(batch.begin(), batch.end(), std::back_inserter(*events));
    waiting_.clear();
    const bool gatherLinks = std::exchange(linksWanted_, false);
    const uint64_t watchEpoch = watchEpoch_;
    const uint64_t lookupEpoch = lookupEpoch_;
    // Shared with the job, not copied: a removal of millions is listed once.
    planningRemovals_ = joined(std::exchange(waitingRemovals_, {}));
    const auto removed = planningRemovals_.nodes ? planningRemovals_.nodes : std::make_shared<const std::vector<FileNode*>>();
    std::vector<std::shared_ptr<NodeStore>> stores = planningRemovals_.stores;
    planning_ = true;
    planningEvents_ = !events->empty() || !removed->empty();
    std::vector<FollowedTree> trees = followedTrees();
    for (const FollowedTree& t : trees) planningTrees_.push_back(t.root);
    // The job holds the planner, the events and the trees; what it posts reaches the controller
    // only while the job is current and the controller exists.
    auto job = [this, planner = planner_, events, removed, stores, trees, watchEpoch, lookupEpoch, gatherLinks](
                   const CancelFlag&, const DedicatedWorker::Reports& reports) mutable {
        auto plan = std::make_shared<LiveChangePlan>(planner->plan(*events, trees, lookupEpoch, gatherLinks, *removed));
        // The plan holds the trees from here on: a tree let go meanwhile goes with it.
        std::vector<FollowedTree>().swap(trees);
        std::vector<std::shared_ptr<NodeStore>>().swap(stores);
        reports.post([this, plan, events, watchEpoch, lookupEpoch] {
            takePlan(std::move(*plan), std::move(*events), watchEpoch, lookupEpoch);
        });
    };
    // A plan that could not be made (out of memory) leaves the result no longer known to match.
    auto failed = [this](const QString&) {
        planning_ = planningEvents_ = false;
        planningRemovals_ = {};
        planningTrees_.clear();
        for (const FollowedTree& w : watchedRoots_) emit missedChanges(w.path);
        planNext();
    };
    QString failure;
    if (!planWorker_->start(std::move(job), std::move(failed), failure)) {
        // No thread to be had: the batch is planned here rather than lost.
        planning_ = planningEvents_ = false;
        takePlan(planner_->plan(*events, trees, lookupEpoch_, gatherLinks, *removed), std::move(*events), watchEpoch_,
                 lookupEpoch_);
    }
}

void LiveMonitorController::takePlan(LiveChangePlan plan, std::vector<FileChangeEvent> events, uint64_t watchEpoch,
                                     uint64_t lookupEpoch) {
    planning_ = planningEvents_ = false;
    NodesGone removed = std::exchange(planningRemovals_, {});
    planningTrees_.clear();  // the plan holds them now
    // Made for trees no longer watched: dropped with everything else the stop forgot.
    if (watchEpoch != watchEpoch_) {
        planNext();
        return;
    }
    takeLinks(plan);
    if (lookupEpoch != lookupEpoch_) {
        // The followed trees or names in them changed while it was made: planned again.
        planAgain(std::move(events), removed);
        planNext();
        return;
    }
    if (plan.steps.empty() && plan.changedNodes.empty()) {
        if (plan.changed) hasPendingRefresh_ = true;
        planNext();
        return;
    }
    applying_ = Applying{std::move(plan), std::move(events), std::move(removed), lookupEpoch, 0, 0};
    continueApplying();
}

void LiveMonitorController::planAgain(std::vector<FileChangeEvent> events, const NodesGone& removed) {
    if (!events.empty()) waiting_.push_front(std::move(events));
    if (removed.empty()) return;
    // A list that holds its trees goes back as it is; another only in the trees still held (the
    // plan's own trees are alive while this runs).
    if (!removed.stores.empty()) {
        waitingRemovals_.insert(waitingRemovals_.begin(), removed);
        return;
    }
    std::vector<FileNode*> kept;
    for (FileNode* n : removed.list())
        if (holds(n)) kept.push_back(n);
    if (!kept.empty()) waitingRemovals_.insert(waitingRemovals_.begin(), NodesGone::of(std::move(kept)));
}

void LiveMonitorController::takeLinks(const LiveChangePlan& plan) {
    // Only for trees still followed: the plan holds its trees, so the roots are those it saw.
    for (const auto& [root, links] : plan.links)
        if (holds(root)) linksLeftOut_[root] = links;
    if (awaitingLinks_.empty()) return;
    const bool hadPending = !pendingDirtyNodes_.empty();
    for (FileNode* deleted : std::exchange(awaitingLinks_, {})) handOverSpaceOfDeletedLinks(deleted);
    if (!hadPending && !pendingDirtyNodes_.empty()) {
        hasPendingRefresh_ = true;
        flushPendingRefreshIfNeeded();
    }
}

void LiveMonitorController::continueApplying() {
    if (!applying_) return;
    if (applying_->lookupEpoch != lookupEpoch_) {
        // The followed trees or names changed between two turns: what the plan did not apply is
        // planned again, and the nodes it changed are refreshed with the next flush.
        Applying halted = std::move(*applying_);
        applying_.reset();
        for (size_t i = halted.nextChanged; i < halted.plan.changedNodes.size(); ++i)
            if (holds(halted.plan.changedNodes[i])) pendingDirtyNodes_.insert(halted.plan.changedNodes[i]);
        planAgain(std::move(halted.events), halted.removed);
        hasPendingRefresh_ = true;
        if (!refreshTimer_) flushPendingRefreshIfNeeded();
        planNext();
        return;
    }
    const uint64_t watchEpoch = watchEpoch_;
    const bool done = applySome();
    if (watchEpoch != watchEpoch_ || !applying_) return;  // stopped by whoever took the changes
    if (!done) {
        if (!applyTimer_) {
            applyTimer_ = std::make_unique<QTimer>();
            applyTimer_->setSingleShot(true);
            applyTimer_->setInterval(0);
            QObject::connect(applyTimer_.get(), &QTimer::timeout, applyTimer_.get(), [this] { continueApplying(); });
        }
        applyTimer_->start();
        return;
    }
    const bool changed = applying_->plan.changed;
    applying_.reset();
    if (changed || !pendingDirtyNodes_.empty()) {
        hasPendingRefresh_ = true;
        if (!refreshTimer_) flushPendingRefreshIfNeeded();
    }
    planNext();
}

bool LiveMonitorController::applySome() {
    const uint64_t watchEpoch = watchEpoch_;
    const auto t0 = std::chrono::steady_clock::now();
    for (size_t n = 1; applying_->nextStep < applying_->plan.steps.size(); ++n) {
        applyStep(applying_->plan.steps[applying_->nextStep++]);
        if (watchEpoch != watchEpoch_ || !applying_) return true;
        if (n % 64 == 0 && std::chrono::steady_clock::now() - t0 >= kApplyBudget) return false;
    }
    // The changed nodes go out in parts, as many a turn as the views take in a few milliseconds.
    Applying& a = *applying_;
    const size_t total = a.plan.changedNodes.size();
    if (a.nextChanged >= total) return true;
    const size_t count = std::min(changedPerTurn_, total - a.nextChanged);
    const auto first = a.plan.changedNodes.begin() + ptrdiff_t(a.nextChanged);
    const std::vector<FileNode*> part(first, first + ptrdiff_t(count));
    a.nextChanged += count;
    const bool last = a.nextChanged >= total;
    moreChangesFollow_ = !last;
    const auto t1 = std::chrono::steady_clock::now();
    emit nodesChanged(part);
    moreChangesFollow_ = false;
    const double took = std::max(millisSince(t1), 0.25);
    if (count >= 1000)
        changedPerTurn_ = std::clamp(size_t(double(count) * kHandOnMillis / took), size_t(1000), size_t(500000));
    return last;
}

void LiveMonitorController::applyStep(const LiveChangePlan::Step& step) {
    using Kind = LiveChangePlan::Step::Kind;
    switch (step.kind) {
        case Kind::markGone:
            markPlanned(step.node);
            break;
        case Kind::markReplaced:
            markPlanned(step.node);
            if (!watchedRoots_.empty()) emit missedChanges(step.node->pathBytes());
            break;
        case Kind::tellMissed:
            // Told as it comes (a stopped controller has no watched roots and tells nothing). A
            // copy: whoever is told may stop the controller, which drops the plan.
            if (!watchedRoots_.empty()) emit missedChanges(std::string(step.path));
            break;
    }
}

void LiveMonitorController::noteChanged(FileNode* node) {
    pendingDirtyNodes_.insert(node);
    for (FileNode* a = node->parent(); a; a = a->parent()) {
        // Ancestors go in together, so one already touched has all of its own in both sets.
        if (!pendingTouchedAncestors_.insert(a).second) break;
        pendingDirtyNodes_.insert(a);
    }
}

bool LiveMonitorController::markNode(FileNode* node) {
    if (!node->markDeletedWithSubtree()) return false;
    noteChanged(node);
    handOverSpaceOfDeletedLinks(node);
    return true;
}

void LiveMonitorController::markPlanned(FileNode* node) {
    if (!node->markDeletedWithSubtree()) return;  // deleted meanwhile, by the application
    handOverSpaceOfDeletedLinks(node);
}

// A file's space stays on disk while any of its hard links is left. When the link that counted
// it goes, another link of the same tree counts it from then on; otherwise the folders would show
// the space as freed while the disk still holds it. The links of a large tree are gathered by
// the planner: a deletion made before they are waits for them.
void LiveMonitorController::handOverSpaceOfDeletedLinks(FileNode* deleted) {
    FileNode* root = deleted;
    while (root->parent()) root = root->parent();
    auto it = linksLeftOut_.find(root);
    if (it == linksLeftOut_.end()) {
        if (int64_t(root->subFolderFileCount()) + root->subFolderDirCount() > kLinksGatheredHere) {
            // The planner gathers the links of the followed trees only: a large tree no longer
            // followed (one the window let go meanwhile) keeps its space as it was counted.
            if (!holds(root)) return;
            // Asked for by the caller's `planNext`, once it is done.
            awaitingLinks_.push_back(deleted);
            linksWanted_ = true;
            return;
        }
        it = linksLeftOut_.emplace(root, std::make_shared<const LinksLeftOut>(gatherLinksLeftOut(root))).first;
    }
    if (!it->second->empty()) handOverNow(deleted, *it->second);
}

void LiveMonitorController::handOverNow(FileNode* deleted, const LinksLeftOut& spared) {
    forEachFileBelow(deleted, [&](FileNode* gone) {
        if (gone->doNotCountAllocated() || gone->fileID == 0) return;
        const auto [first, last] = spared.equal_range(gone->fileID);
        for (auto it = first; it != last; ++it) {
            FileNode* heir = it->second;
            if (heir->isDeleted() || !heir->countAllocatedSpaceFromNowOn()) continue;
            noteChanged(heir);
            return;
        }
    });
}

void LiveMonitorController::handle(const std::vector<FileChangeEvent>& events) {
    LiveChangePlan plan = localPlanner_.plan(events, followedTrees(), lookupEpoch_);
    takeLinks(plan);
    const uint64_t watchEpoch = watchEpoch_;
    for (const LiveChangePlan::Step& step : plan.steps) {
        applyStep(step);
        if (watchEpoch != watchEpoch_) return;
    }
    pendingDirtyNodes_.insert(plan.changedNodes.begin(), plan.changedNodes.end());
    if (plan.changed) hasPendingRefresh_ = true;
    planNext();
}

void LiveMonitorController::flushPendingRefreshIfNeeded() {
    if (!hasPendingRefresh_) return;
    // Siblings of deleted items show changed percentages.
    for (FileNode* ancestor : pendingTouchedAncestors_)
        for (FileNode* child : ancestor->children()) pendingDirtyNodes_.insert(child);
    pendingTouchedAncestors_.clear();
    hasPendingRefresh_ = false;
    if (pendingDirtyNodes_.empty()) return;
    std::vector<FileNode*> batch(pendingDirtyNodes_.begin(), pendingDirtyNodes_.end());
    pendingDirtyNodes_.clear();
    emit nodesChanged(batch);
}

void LiveMonitorController::markElsewhere(FileNode* node, const std::vector<FollowedTree>& trees) {
    FileNode* root = node;
    while (root->parent()) root = root->parent();
    const bool elsewhere = std::any_of(trees.begin(), trees.end(), [root](const FollowedTree& t) { return t.root.get() != root; });
    if (!elsewhere) return;
    std::vector<FileNode*> same;
    localPlanner_.index(lookupEpoch_).find(node->pathBytes(), trees, same, true, root);
    for (FileNode* other : same)
        if (other != node) markNode(other);
}

void LiveMonitorController::markDeletedLocally(std::span<FileNode* const> nodes) {
    const std::vector<FollowedTree> trees = followedTrees();
    // Many at once (a large selection moved to the Trash): planned and marked like a batch of
    // events, without holding up the window. Nodes of trees not followed are marked here.
    const bool planned = nodes.size() > kRemovalsMarkedAtOnce;
    std::vector<FileNode*> toPlan;
    for (FileNode* node : nodes) {
        if (!node) continue;
        if (planned && holds(node)) {
            toPlan.push_back(node);
            continue;
        }
        markNode(node);
        markElsewhere(node, trees);
    }
    if (!toPlan.empty()) waitingRemovals_.push_back(NodesGone::of(std::move(toPlan)));
    hasPendingRefresh_ = true;
    flushPendingRefreshIfNeeded();
    planNext();
}

void LiveMonitorController::markGoneLocally(const NodesGone& gone) {
    if (gone.stores.empty() || gone.list().size() <= kRemovalsMarkedAtOnce) return markDeletedLocally(gone.list());
    waitingRemovals_.push_back(gone);
    planNext();
}

// The item in the other trees kept in step takes the new name too: it is the child of the folder
// of the same path with the node's file identifier whose own name is gone from the disk (hard
// links in one folder share the identifier, but only the renamed one lost its name).
void LiveMonitorController::renameElsewhere(FileNode* node, const std::vector<FollowedTree>& trees) {
    FileNode* parent = node->parent();
    if (!parent || node->fileID == 0) return;
    FileNode* root = parent;
    while (root->parent()) root = root->parent();
    std::vector<FileNode*> folders;
    localPlanner_.index(lookupEpoch_).find(parent->pathBytes(), trees, folders, true, root);
    const std::u16string name = node->name16();
    for (FileNode* folder : folders) {
        if (folder == parent) continue;
        for (FileNode* twin : folder->children()) {
            if (twin->fileID != node->fileID || twin->isDir() != node->isDir() || twin->isDeleted() ||
                twin->name16() == name || onDisk(*twin) != OnDisk::gone)
                continue;
            twin->rename(std::u16string_view(name));
            pendingDirtyNodes_.insert(twin);
            break;
        }
    }
}

void LiveMonitorController::markRenamedLocally(std::span<FileNode* const> nodes) {
    forgetNameLookups();
    const std::vector<FollowedTree> trees = followedTrees();
    for (FileNode* node : nodes) {
        if (!node) continue;
        pendingDirtyNodes_.insert(node);
        renameElsewhere(node, trees);
    }
    forgetNameLookups();
    hasPendingRefresh_ = true;
    flushPendingRefreshIfNeeded();
}

}  // namespace zelvane
