#include "ZelvaneMac/Window/ScanController.hpp"

#include <QCoreApplication>

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
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

ScanController::ScanController(ContentViewState& state, QObject* parent) : QObject(parent), state_(state) {
    ScanViewModel& model = state_.viewModel();
    connect(&model, &ScanViewModel::scanStateChanged, this, &ScanController::handleScanStateChange);
    connect(&state_, &ContentViewState::loadedRootsChanged, this, &ScanController::recomputeEffectiveRoots);
    connect(&state_, &ContentViewState::showFilterPanelChanged, this, &ScanController::recomputeEffectiveRoots);
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

QStringList ScanController::processArguments() {
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty()) args.removeFirst();
    return args;
}

std::vector<RootRef> ScanController::scanRoots() const { return state_.viewModel().scanState().roots(); }

void ScanController::startScan() {
    // Nothing chosen to scan (a CSV import was the last load): the result on show stays as it is,
    // rather than losing its treemap and monitoring to a scan that never starts.
    if (!state_.viewModel().hasPendingSelection()) return;
    state_.hoverPathState().setPath(std::nullopt);
    if (const auto& clear = state_.clearTreemapLayout()) clear();
    state_.setPendingTreeRestoreState(captureTreeRestoreState());
    state_.liveMonitor().stop();
    Preferences& prefs = state_.preferences();
    const ScanExclude exclude = scanExcludeFilter(state_.showFilterPanel(), prefs.value(PreferenceKeys::excludeFilterText),
                                                  prefs.value(PreferenceKeys::filterMatchEntirePath));
    state_.viewModel().startScan(exclude.filters, exclude.fullPath, prefs.value(PreferenceKeys::tweakShowMaxModifiedDate));
}

void ScanController::applyFilters() {
    Preferences& prefs = state_.preferences();
    state_.setAppliedIncludeFilterText(prefs.value(PreferenceKeys::includeFilterText));
    state_.setAppliedExcludeFilterText(prefs.value(PreferenceKeys::excludeFilterText));
    state_.setAppliedIncludeMatchEntirePath(prefs.value(PreferenceKeys::filterMatchEntirePath));
    reloadFilteredTree(scanRoots());
}

void ScanController::reloadFilteredTree(const std::vector<RootRef>& roots) {
    state_.setLoadedRoots(buildFilteredRoots(roots, state_.appliedIncludeFilterText(), state_.appliedExcludeFilterText(),
                                             state_.appliedIncludeMatchEntirePath()));
    state_.setSelectedNodes({});
    state_.setSelectedFileViewNodes({});
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
    if (!state_.showFilterPanel()) {
        state_.setLoadedRoots(std::nullopt);
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
    if (!roots.empty()) state_.setHasEverShownScanResults(true);
    inScanRootsChange_ = false;

    emit scanRootsChanged(roots);
    recomputeEffectiveRoots();
}

void ScanController::recomputeEffectiveRoots() {
    if (inScanRootsChange_) return;
    const auto& loaded = state_.loadedRoots();
    std::vector<RootRef> roots = state_.showFilterPanel() && loaded ? *loaded : scanRoots();
    if (sameRootObjects(roots, effectiveRoots_)) return;
    std::vector<RootRef> kept = roots;
    for (const RootRef& r : scanRoots()) kept.push_back(r);
    if (loaded)
        for (const RootRef& r : *loaded) kept.push_back(r);
    dropReferencesOutside(kept);
    const std::vector<RootRef> retired = std::exchange(effectiveRoots_, std::move(roots));
    const std::vector<RootRef> shown = effectiveRoots_;  // handlers may change effectiveRoots_
    updateLiveMonitoring(shown, true);                // 3
    state_.setHasScannedContent(!shown.empty());      // 4
    computeExtensionStats(shown);                     // 6
    restoreTreeStateAfterRescan(shown);               // 7
    emit effectiveRootsChanged(shown);
}

void ScanController::dropReferencesOutside(const std::vector<RootRef>& kept) {
    // Every node referred to still belongs to a tree that is alive at this point. Folders already
    // decided are remembered, so a selection of a million files costs one step per file.
    std::unordered_map<const FileNode*, bool> known;
    for (const RootRef& r : kept) known[r.get()] = true;
    std::vector<const FileNode*> path;
    const auto inside = [&](const FileNode* node) {
        if (!node) return true;
        path.clear();
        bool answer = false;
        for (const FileNode* n = node; n; n = n->parent()) {
            if (auto it = known.find(n); it != known.end()) {
                answer = it->second;
                break;
            }
            path.push_back(n);
        }
        for (const FileNode* n : path) known.emplace(n, answer);
        return answer;
    };
    const auto filterSet = [&](const NodeSet& set) {
        NodeSet out;
        for (FileNode* n : set)
            if (n && inside(n)) out.insert(n);
        return out;
    };
    const auto filterList = [&](const NodeList& list) {
        NodeList out;
        for (FileNode* n : list)
            if (n && inside(n)) out.push_back(n);
        return out;
    };
    state_.setSelectedNodes(filterSet(state_.selectedNodes()));
    state_.setSelectedFileViewNodes(filterSet(state_.selectedFileViewNodes()));
    if (!inside(state_.lastChildNodeForReselect())) state_.setLastChildNodeForReselect(nullptr);
    if (!inside(state_.treemapRoot())) state_.setTreemapRoot(nullptr);
    if (!inside(state_.treeViewRenameTarget())) state_.setTreeViewRenameTarget(nullptr);
    if (!inside(state_.fileViewRenameTarget())) state_.setFileViewRenameTarget(nullptr);
    state_.setNodesToExpand(filterList(state_.nodesToExpand()));
    state_.setGroupParentsToExpand(filterList(state_.groupParentsToExpand()));
    state_.setMonitorDirtyNodes(filterList(state_.monitorDirtyNodes()));
    state_.setExtensionColorRankRoots(filterList(state_.extensionColorRankRoots()));
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
    state_.bumpExtensionStatsGeneration();
    state_.setExtensionPanelDisplayed({});
    state_.setExtensionPanelSortKey(QStringLiteral("allocated"));
    // Not ready until these roots' ranks arrive, even if a new root reuses an old one's address.
    state_.setExtensionColorRankRoots({});
    startExtensionStats(roots);
}

void ScanController::startExtensionStats(const std::vector<RootRef>& roots) {
    if (roots.empty()) {
        statsJobs_.supersede();
        state_.setExtensionStats({});
        state_.setExtensionColorRank({});
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
            state_.setExtensionStats(result.all);
            state_.setExtensionColorRank(result.colorRank);
            state_.setExtensionColorRankRoots(rawNodes(roots));
            // The table reloads on a new generation: the one taken when the computation began
            // came before these rows, which it would otherwise never show.
            state_.bumpExtensionStatsGeneration();
        });
}

bool ScanController::colorRankReady() const {
    const NodeList& ranked = state_.extensionColorRankRoots();
    if (ranked.size() != effectiveRoots_.size()) return false;
    for (size_t i = 0; i < ranked.size(); ++i)
        if (ranked[i] != effectiveRoots_[i].get()) return false;
    return true;
}

TreeRestoreState ScanController::captureTreeRestoreState() const {
    return zelvane::captureTreeRestoreState(effectiveRoots_, state_.isTreeNodeExpanded(), state_.isGroupExpanded(),
                                            state_.selectedNodes());
}

void ScanController::restoreTreeStateAfterRescan(const std::vector<RootRef>& newRoots) {
    if (newRoots.empty()) return;
    if (!state_.pendingTreeRestoreState()) return;
    const TreeRestoreState pending = *state_.pendingTreeRestoreState();
    state_.setPendingTreeRestoreState(std::nullopt);
    TreeRestoreMatch match = matchTreeRestoreState(pending, newRoots);
    if (!match.nodesToExpand.empty() || !match.groupParentsToExpand.empty()) {
        state_.setNodesToExpand(match.nodesToExpand);
        state_.setGroupParentsToExpand(match.groupParentsToExpand);
        state_.bumpExpandNodesTrigger();
    }
    if (!match.selected.isEmpty()) state_.setSelectedNodes(match.selected);
}

FileNode* ScanController::node(const QString& atPath) const { return nodeAtPath(atPath, effectiveRoots_); }

void ScanController::selectAllFiles(const QString& withExtension) {
    state_.setSelectedNodes(filesWithExtension(effectiveRoots_, withExtension.toStdString()));
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
    state_.setShowSelectMultipleSheet(true);
}

void ScanController::resumeLiveMonitoringForCurrentRoots() {
    if (state_.preferences().value(PreferenceKeys::monitorFileSystemForChanges) && !effectiveRoots_.empty())
        state_.liveMonitor().start(effectiveRoots_);
}

void ScanController::handleLiveRefresh(std::vector<FileNode*> changed) {
    // An action answered after a rescan reports rows of the tree it kept alive while it asked;
    // that tree goes when the action ends, so none of its nodes may stay in the window's state.
    std::vector<const NodeStore*> shown;
    const auto addStores = [&shown](const std::vector<RootRef>& roots) {
        for (const RootRef& r : roots)
            if (r) shown.push_back(r->store());
    };
    addStores(effectiveRoots_);
    addStores(scanRoots());
    if (const auto& loaded = state_.loadedRoots()) addStores(*loaded);
    std::erase_if(changed, [&shown](const FileNode* n) {
        return !n || std::find(shown.begin(), shown.end(), n->store()) == shown.end();
    });
    if (changed.empty()) return;
    state_.setMonitorDirtyNodes(NodeList(changed.begin(), changed.end()));
    state_.bumpMonitorRevision();
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
