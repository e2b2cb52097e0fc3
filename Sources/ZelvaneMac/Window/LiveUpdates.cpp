#include "ZelvaneMac/Window/LiveUpdates.hpp"

#include <climits>
#include <cstdlib>

#include <algorithm>

#include "Platform/MountTable.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ExtensionStatsJob.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

LiveUpdates::LiveUpdates(LiveMonitorController& liveMonitor, Preferences& preferences, ScanViewModel& viewModel,
                         const ScanController& scans, ExtensionStatsJob& stats, QObject* parent)
    : QObject(parent),
      liveMonitor_(liveMonitor),
      viewModel_(viewModel),
      scans_(scans),
      stats_(stats),
      monitoring_(preferences) {
    connect(&monitoring_, &SettingsWatch::changed, this, &LiveUpdates::watchScanned);
    // A copy made or dropped while the panel is hidden changes no shown root.
    connect(&scans_.filteredCopy(), &FilteredCopy::rootsChanged, this,
            [this] { liveMonitor_.keepInStep(scans_.heldRoots()); });
    connect(&liveMonitor_, &LiveMonitorController::nodesChanged, this, &LiveUpdates::take);
    connect(&liveMonitor_, &LiveMonitorController::missedChanges, this, [this] { setResultIsStale(true); });
}

void LiveUpdates::watchShown() {
    liveMonitor_.keepInStep(scans_.heldRoots());
    watchScanned();
}

void LiveUpdates::resume() { watchScanned(); }

void LiveUpdates::pause() { liveMonitor_.stop(); }

bool LiveUpdates::mayWatch(const std::vector<RootRef>& roots) const {
    if (!monitoring_.current().value || roots.empty()) return false;
    if (viewModel_.lastScanWasCSVImport()) return false;
    return std::none_of(roots.begin(), roots.end(), [](const RootRef& r) { return !r || (r->store() && r->store()->isImported()); });
}

void LiveUpdates::watchScanned() {
    const std::vector<RootRef> scanned = scans_.scanRoots();
    LiveMonitorController& live = liveMonitor_;
    if (!mayWatch(scanned))
        pause();
    else if (!live.isWatching(scanned))  // the same trees go on being watched, without a gap
        live.start(scanned);
    if (!live.isWatching()) return;
    // Mounts changed while nothing watched (a sheet was open, monitoring was off) count as well.
    if (!mountsWhenWatched_)
        mountsWhenWatched_ = mountsBelowScanned();
    else
        mountsChanged();
}

void LiveUpdates::mountsChanged() {
    if (!mountsWhenWatched_ || !liveMonitor_.isWatching()) return;
    if (mountsBelowScanned() != *mountsWhenWatched_) setResultIsStale(true);
}

std::vector<std::string> LiveUpdates::mountsBelowScanned() const {
    const MountTable table = MountTable::current();
    std::vector<std::string> found;
    for (const RootRef& r : scans_.scanRoots()) {
        if (!r) continue;
        // The mount table names real paths: a root reached through a symbolic link is looked up
        // where it leads.
        std::string root = r->pathBytes();
        char real[PATH_MAX];
        if (::realpath(root.c_str(), real)) root = real;
        if (root.size() > 1 && root.back() == '/') root.pop_back();
        for (const MountEntry& e : table.entries()) {
            const std::string& at = e.mountPoint;
            const bool below = root == "/" || (at.compare(0, root.size(), root) == 0 &&
                                               (at.size() == root.size() || at[root.size()] == '/'));
            if (below) found.push_back(at + '\0' + std::to_string(e.device) + '\0' + e.root);
        }
    }
    return found;
}

void LiveUpdates::take(const std::vector<FileNode*>& changed) {
    // A file action answered after a rescan reports the nodes it was asked about, of a tree
    // already announced as going: they reach no holder, which would keep them past that tree.
    // Nor do those of a tree kept in step but not shown (the filtered copy while the panel is
    // hidden, or the scanned tree while it is shown), which may go without such an announcement:
    // the views lay that tree out afresh when it is shown again.
    emit liveChanges(KeptTrees(scans_.effectiveRoots()).keep(NodeList(changed.begin(), changed.end())));
    // A large change comes in parts, one a turn: the volume and the per-type totals are brought
    // up to date once, with its last part.
    if (liveMonitor_.moreChangesFollow()) return;
    viewModel_.refreshCapacityForLiveChange();
    // Files deleted on disk or by a file action leave the per-type totals as they left their
    // folders'.
    stats_.recountAfterDeletions(scans_.effectiveRoots());
}

void LiveUpdates::setResultIsStale(bool stale) {
    if (resultIsStale_ == stale) return;
    resultIsStale_ = stale;
    emit resultIsStaleChanged(stale);
}

}  // namespace zelvane
