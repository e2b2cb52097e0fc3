#include "ZelvaneMac/Window/LiveUpdates.hpp"

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ExtensionStatsJob.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

LiveUpdates::LiveUpdates(ContentViewState& state, const ScanController& scans, ExtensionStatsJob& stats, QObject* parent)
    : QObject(parent), state_(state), scans_(scans), stats_(stats) {
    connect(&state_.preferences(), &Preferences::changed, this, &LiveUpdates::followPreference);
    state_.liveMonitor().setOnRefresh([this](std::vector<FileNode*> changed) { take(changed); });
    state_.liveMonitor().setOnMustRescan([this](const std::string&) { setResultIsStale(true); });
}

LiveUpdates::~LiveUpdates() {
    state_.liveMonitor().setOnRefresh({});
    state_.liveMonitor().setOnMustRescan({});
}

void LiveUpdates::watchShown(const std::vector<RootRef>& shown) { watch(shown, true); }

void LiveUpdates::resume() {
    if (state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges) && !scans_.effectiveRoots().empty())
        state_.liveMonitor().start(scans_.effectiveRoots());
}

void LiveUpdates::pause() { state_.liveMonitor().stop(); }

void LiveUpdates::followPreference(const QString& key) {
    if (key != QLatin1String(PreferenceKeys::monitorFileSystemForChanges.name.data())) return;
    if (!state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges))
        pause();
    else if (!scans_.effectiveRoots().empty())
        watch(scans_.effectiveRoots(), false);
}

void LiveUpdates::watch(const std::vector<RootRef>& roots, bool honourCSVImport) {
    const bool wanted = state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges) && !roots.empty() &&
                        !(honourCSVImport && state_.viewModel().lastScanWasCSVImport());
    if (wanted)
        state_.liveMonitor().start(roots);
    else
        pause();
}

void LiveUpdates::take(const std::vector<FileNode*>& changed) {
    // A file action answered after a rescan reports the nodes it was asked about, of a tree
    // already announced as going: they reach no holder, which would keep them past that tree.
    emit liveChanges(KeptTrees(scans_.heldRoots()).keep(NodeList(changed.begin(), changed.end())));
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
