#include "ZelvaneMac/Window/ScanController.hpp"

#include <utility>

#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"

namespace zelvane {

namespace {

NodeList rawNodes(const std::vector<RootRef>& roots) {
    NodeList out;
    out.reserve(roots.size());
    for (const RootRef& r : roots) out.push_back(r.get());
    return out;
}

}  // namespace

ScanController::ScanController(ContentViewState& state, QObject* parent)
    : QObject(parent), state_(state), filtered_(new FilteredCopy(this)) {
    ScanViewModel& model = state_.viewModel();
    connect(&model, &ScanViewModel::scanStateChanged, this, &ScanController::handleScanStateChange);
    connect(filtered_, &FilteredCopy::rootsChanged, this, &ScanController::recomputeEffectiveRoots);
    connect(&state_.panes(), &PaneToggles::showFilterPanelChanged, this, &ScanController::recomputeEffectiveRoots);
    // Handler 5: the monitoring switch, without the CSV-import test: switching it on while an
    // import is shown watches the imported paths.
    connect(&state_.preferences(), &Preferences::changed, this, [this](const QString& key) {
        if (key != QLatin1String(PreferenceKeys::monitorFileSystemForChanges.name.data())) return;
        if (!state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges)) {
            state_.liveMonitor().stop();
        } else if (!effectiveRoots_.empty()) {
            updateLiveMonitoring(effectiveRoots_, false);
        }
    });
    state_.liveMonitor().setOnRefresh([this](std::vector<FileNode*> changed) { handleLiveRefresh(std::move(changed)); });
    state_.liveMonitor().setOnMustRescan([this](const std::string&) { setResultIsStale(true); });
}

ScanController::~ScanController() {
    state_.liveMonitor().setOnRefresh({});
    state_.liveMonitor().setOnMustRescan({});
}

std::vector<RootRef> ScanController::scanRoots() const { return state_.viewModel().scanState().roots(); }

void ScanController::startScan() {
    // Nothing chosen to scan (a CSV import was the last load): the result on show stays as it is,
    // rather than losing its treemap and monitoring to a scan that never starts.
    if (!state_.viewModel().hasPendingSelection()) return;
    state_.hoverPathState().setPath(std::nullopt);
    emit scanStarting();
    pendingTreeRestoreState_ = captureTreeRestoreState();
    state_.liveMonitor().stop();
    Preferences& prefs = state_.preferences();
    const ScanExclude exclude = scanExcludeFilter(state_.panes().showFilterPanel(), prefs.value(PreferenceKeys::excludeFilterText),
                                                  prefs.value(PreferenceKeys::filterMatchEntirePath));
    state_.viewModel().startScan(exclude.filters, exclude.fullPath, prefs.value(PreferenceKeys::tweakShowMaxModifiedDate));
}

void ScanController::applyFilters() {
    Preferences& prefs = state_.preferences();
    filtered_->setApplied({prefs.value(PreferenceKeys::includeFilterText), prefs.value(PreferenceKeys::excludeFilterText),
                           prefs.value(PreferenceKeys::filterMatchEntirePath)});
    reloadFilteredTree(scanRoots());
}

void ScanController::reloadFilteredTree(const std::vector<RootRef>& roots) {
    filtered_->rebuild(roots);
    state_.treeSelection().set({});
    state_.fileSelection().set({});
}

void ScanController::handleScanStateChange() {
    std::vector<RootRef> roots = scanRoots();
    // Progress reports change the state many times a second; only new roots run the handlers.
    if (sameRootObjects(roots, lastScanRoots_)) return;
    // The old trees stay alive until the handlers have dropped every reference into them.
    const std::vector<RootRef> retired = std::exchange(lastScanRoots_, roots);
    if (state_.viewModel().scanState().isScanning()) setResultIsStale(false);

    inScanRootsChange_ = true;
    // Handler 1: the filtered copy follows the new roots while the panel is shown.
    if (!state_.panes().showFilterPanel()) {
        filtered_->clear();
    } else {
        Preferences& prefs = state_.preferences();
        const bool textsBlank = trimmedFilterText(prefs.value(PreferenceKeys::includeFilterText)).isEmpty() &&
                                trimmedFilterText(prefs.value(PreferenceKeys::excludeFilterText)).isEmpty();
        if (textsBlank)
            reloadFilteredTree(roots);
        else
            applyFilters();
    }
    // Handler 2.
    if (!roots.empty() && !hasEverShownScanResults_) {
        hasEverShownScanResults_ = true;
        emit firstResultsShown();
    }
    inScanRootsChange_ = false;

    emit scanRootsChanged(roots);
    recomputeEffectiveRoots();
}

void ScanController::recomputeEffectiveRoots() {
    if (inScanRootsChange_) return;
    const auto& loaded = filtered_->roots();
    std::vector<RootRef> roots = state_.panes().showFilterPanel() && loaded ? *loaded : scanRoots();
    if (sameRootObjects(roots, effectiveRoots_)) return;
    std::vector<RootRef> kept = roots;
    for (const RootRef& r : heldRoots()) kept.push_back(r);
    emit treesRetiring(KeptTrees(kept));
    const std::vector<RootRef> retired = std::exchange(effectiveRoots_, std::move(roots));
    const std::vector<RootRef> shown = effectiveRoots_;  // handlers may change effectiveRoots_
    updateLiveMonitoring(shown, true);                // 3
    hasScannedContent_ = !shown.empty();              // 4
    computeExtensionStats(shown);                     // 6
    restoreTreeStateAfterRescan(shown);               // 7
    emit effectiveRootsChanged(shown);
}

void ScanController::updateLiveMonitoring(const std::vector<RootRef>& roots, bool honourCSVImport) {
    const bool wanted = state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges) && !roots.empty() &&
                        !(honourCSVImport && state_.viewModel().lastScanWasCSVImport());
    if (wanted)
        state_.liveMonitor().start(roots);
    else
        state_.liveMonitor().stop();
}

void ScanController::computeExtensionStats(const std::vector<RootRef>& roots) {
    state_.fileTypes().renew();
    state_.fileTypes().setExtensionPanelDisplayed({});
    state_.fileTypes().setExtensionPanelSortKey(QStringLiteral("allocated"));
    // Not ready until these roots' ranks arrive, even if a new root reuses an old one's address.
    state_.fileTypes().setExtensionColorRankRoots({});
    startExtensionStats(roots);
}

void ScanController::startExtensionStats(const std::vector<RootRef>& roots) {
    if (roots.empty()) {
        statsJobs_.supersede();
        state_.fileTypes().setExtensionStats({});
        state_.fileTypes().setExtensionColorRank({});
        return;
    }
    const QUuid token = DebugTimingLog::begin(QStringLiteral("Extension stats"));
    const bool colorBySize = state_.preferences().value(PreferenceKeys::treemapColorBySize);
    const QStringList lists = state_.currentExtensionLists();
    // The job holds the roots, so the tree outlives it even when a rescan replaces it meanwhile.
    // The timing entry is closed in the job: an overtaken computation still ends its entry.
    runInBackground(
        this, statsJobs_,
        [roots, colorBySize, lists, token] {
            ExtensionStatsResult result = zelvane::computeExtensionStats(std::span<const RootRef>(roots), colorBySize, lists);
            DebugTimingLog::end(token, QString::number(result.all.size()) + QStringLiteral(" extensions"));
            return result;
        },
        [this, roots](ExtensionStatsResult result) {
            state_.fileTypes().setExtensionStats(result.all);
            state_.fileTypes().setExtensionColorRank(result.colorRank);
            state_.fileTypes().setExtensionColorRankRoots(rawNodes(roots));
            // A new generation: the one taken when the computation began came before these rows,
            // which the table would otherwise never show.
            state_.fileTypes().renew();
        });
}

bool ScanController::colorRankReady() const {
    const NodeList& ranked = state_.fileTypes().extensionColorRankRoots();
    if (ranked.size() != effectiveRoots_.size()) return false;
    for (size_t i = 0; i < ranked.size(); ++i)
        if (ranked[i] != effectiveRoots_[i].get()) return false;
    return true;
}

TreeRestoreState ScanController::captureTreeRestoreState() const {
    const TreeExpansion& open = state_.treeExpansion();
    return zelvane::captureTreeRestoreState(
        effectiveRoots_, [&open](const FileNode* n) { return open.isNodeExpanded(n); },
        [&open](const FileNode* n) { return open.isGroupExpanded(n); }, state_.treeSelection().nodes());
}

void ScanController::restoreTreeStateAfterRescan(const std::vector<RootRef>& newRoots) {
    if (newRoots.empty()) return;
    if (!pendingTreeRestoreState_) return;
    const TreeRestoreState pending = *std::exchange(pendingTreeRestoreState_, std::nullopt);
    TreeRestoreMatch match = matchTreeRestoreState(pending, newRoots);
    if (!match.nodesToExpand.empty() || !match.groupParentsToExpand.empty())
        state_.commands().expandTreeRows(match.nodesToExpand, match.groupParentsToExpand);
    if (!match.selected.isEmpty()) state_.treeSelection().set(match.selected);
}

FileNode* ScanController::node(const QString& atPath) const { return nodeAtPath(atPath, effectiveRoots_); }

void ScanController::selectAllFiles(const QString& withExtension) {
    state_.treeSelection().set(filesWithExtension(effectiveRoots_, withExtension.toStdString()));
}

std::vector<VolumeCapacity> ScanController::capacities(const std::vector<RootRef>& roots) const {
    return capacitiesFor(roots, state_.viewModel().rootCapacities());
}

void ScanController::scanChosenFolder(const QString& path) {
    state_.setSelectedVolumeID(PickerTag::selectFolder);
    state_.viewModel().selectRoot(path, path);
    startScan();
}

void ScanController::importChosenCSV(const QString& path) {
    state_.setSelectedVolumeID(PickerTag::selectCSV);
    state_.viewModel().startCSVImport(path, state_.preferences().value(PreferenceKeys::tweakShowMaxModifiedDate));
}

void ScanController::finishSelectMultiple(const QStringList& checkedPaths) {
    if (checkedPaths.isEmpty()) {
        resumeLiveMonitoringForCurrentRoots();
        return;
    }
    state_.setSelectMultipleCheckedPaths(checkedPaths);
    state_.setSelectedVolumeID(PickerTag::selectMultiple);
    state_.viewModel().selectPaths(checkedPaths);
    if (state_.preferences().value(PreferenceKeys::autoScanAfterSelection))
        startScan();
    else
        resumeLiveMonitoringForCurrentRoots();
}

void ScanController::requestSelectMultiple() {
    state_.liveMonitor().stop();
    state_.prompts().setShowSelectMultipleSheet(true);
}

void ScanController::resumeLiveMonitoringForCurrentRoots() {
    if (state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges) && !effectiveRoots_.empty())
        state_.liveMonitor().start(effectiveRoots_);
}

std::vector<RootRef> ScanController::heldRoots() const {
    std::vector<RootRef> held = scanRoots();
    if (const auto& loaded = filtered_->roots())
        for (const RootRef& r : *loaded) held.push_back(r);
    return held;
}

void ScanController::handleLiveRefresh(std::vector<FileNode*> changed) {
    // A file action answered after a rescan reports the nodes it was asked about, of a tree
    // already announced as going: they reach no holder, which would keep them past that tree.
    emit liveChanges(KeptTrees(heldRoots()).keep(NodeList(changed.begin(), changed.end())));
    state_.viewModel().refreshCapacityForLiveChange();
    // Files deleted on disk or by a file action leave the per-type totals as they left their
    // folders'. The table keeps its sort and the treemap its colours until the new rows arrive.
    startExtensionStats(effectiveRoots_);
}

void ScanController::setResultIsStale(bool stale) {
    if (resultIsStale_ == stale) return;
    resultIsStale_ = stale;
    emit resultIsStaleChanged(stale);
}

}  // namespace zelvane
