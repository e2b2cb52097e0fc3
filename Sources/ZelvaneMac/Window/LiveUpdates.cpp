#include "ZelvaneMac/Window/LiveUpdates.hpp"

#include <algorithm>

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ExtensionStatsJob.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

LiveUpdates::LiveUpdates(ContentViewState& state, const ScanController& scans, ExtensionStatsJob& stats, QObject* parent)
    : QObject(parent), state_(state), scans_(scans), stats_(stats) {
    connect(&state_.preferences(), &Preferences::changed, this, &LiveUpdates::followPreference);
    // A copy made or dropped while the panel is hidden changes no shown root.
    connect(&scans_.filteredCopy(), &FilteredCopy::rootsChanged, this,
            [this] { state_.liveMonitor().keepInStep(scans_.heldRoots()); });
    connect(&state_.liveMonitor(), &LiveMonitorController::nodesChanged, this, &LiveUpdates::take);
    connect(&state_.liveMonitor(), &LiveMonitorController::missedChanges, this, [this] { setResultIsStale(true); });
}

void LiveUpdates::watchShown() {
    state_.liveMonitor().keepInStep(scans_.heldRoots());
    watchScanned();
}

void LiveUpdates::resume() { watchScanned(); }

void LiveUpdates::pause() { state_.liveMonitor().stop(); }

void LiveUpdates::followPreference(const QString& key) {
    if (key != QLatin1String(PreferenceKeys::monitorFileSystemForChanges.name.data())) return;
    watchScanned();
}

bool LiveUpdates::mayWatch(const std::vector<RootRef>& roots) const {
    if (!state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges) || roots.empty()) return false;
    if (state_.viewModel().lastScanWasCSVImport()) return false;
    return std::none_of(roots.begin(), roots.end(), [](const RootRef& r) { return !r || (r->store() && r->store()->isImported()); });
}

void LiveUpdates::watchScanned() {
    const std::vector<RootRef> scanned = scans_.scanRoots();
    LiveMonitorController& live = state_.liveMonitor();
    if (!mayWatch(scanned))
        pause();
    else if (!live.isWatching(scanned))  // the same trees go on being watched, without a gap
        live.start(scanned);
}

void LiveUpdates::take(const std::vector<FileNode*>& changed) {
    // A file action answered after a rescan reports the nodes it was asked about, of a tree
    // already announced as going: they reach no holder, which would keep them past that tree.
    // Nor do those of a tree kept in step but not shown (the filtered copy while the panel is
    // hidden, or the scanned tree while it is shown), which may go without such an announcement:
    // the views lay that tree out afresh when it is shown again.
    emit liveChanges(KeptTrees(scans_.effectiveRoots()).keep(NodeList(changed.begin(), changed.end())));
    state_.viewModel().refreshCapacityForLiveChange();
    // Files deleted on disk or by a file action leave the per-type totals as they left their
    // folders'.
    stats_.recompute(scans_.effectiveRoots());
}

void LiveUpdates::setResultIsStale(bool stale) {
    if (resultIsStale_ == stale) return;
    resultIsStale_ = stale;
    emit resultIsStaleChanged(stale);
}

}  // namespace zelvane
