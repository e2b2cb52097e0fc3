#include "ZelvaneMac/Window/ScanController.hpp"

#include <utility>

#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ExtensionStatsJob.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/TreeRetirement.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

ScanController::ScanController(const Parts& parts, QObject* parent)
    : QObject(parent),
      parts_(parts),
      filtered_(new FilteredCopy(this)),
      stats_(new ExtensionStatsJob(parts.fileTypes, parts.preferences, this)),
      live_(new LiveUpdates(parts.liveMonitor, parts.preferences, parts.viewModel, *this, *stats_, this)),
      restore_(*this, parts.treeExpansion, parts.treeSelection, parts.commands) {
    connect(&parts_.viewModel, &ScanViewModel::scanStateChanged, this, &ScanController::handleScanStateChange);
    connect(filtered_, &FilteredCopy::rootsChanged, this, &ScanController::recomputeEffectiveRoots);
    connect(&parts_.panes, &PaneToggles::showFilterPanelChanged, this, &ScanController::recomputeEffectiveRoots);
    // Every file of a type still being gathered gives way to a selection made meanwhile.
    connect(&parts_.treeSelection, &NodeSelection::changed, this, [this] { selectJobs_.supersede(); });
}

ScanController::~ScanController() = default;

std::vector<RootRef> ScanController::scanRoots() const { return parts_.viewModel.scanState().roots(); }

void ScanController::startScan() {
    // Nothing chosen to scan (a CSV import was the last load): the result on show stays as it is,
    // rather than losing its treemap and monitoring to a scan that never starts.
    if (!parts_.viewModel.hasPendingSelection()) return;
    parts_.hoverPathState.setPath(std::nullopt);
    emit scanStarting();
    restore_.capture(effectiveRoots_);
    live_->pause();
    Preferences& prefs = parts_.preferences;
    const ScanExclude exclude = scanExcludeFilter(parts_.panes.showFilterPanel(), prefs.value(PreferenceKeys::excludeFilterText),
                                                  prefs.value(PreferenceKeys::filterMatchEntirePath));
    parts_.viewModel.startScan(exclude.filters, exclude.fullPath, prefs.value(PreferenceKeys::tweakShowMaxModifiedDate),
                               stats_->counting());
}

void ScanController::applyFilters() {
    Preferences& prefs = parts_.preferences;
    filtered_->setApplied({prefs.value(PreferenceKeys::includeFilterText), prefs.value(PreferenceKeys::excludeFilterText),
                           prefs.value(PreferenceKeys::filterMatchEntirePath)});
    reloadFilteredTree(scanRoots());
}

void ScanController::reloadFilteredTree(const std::vector<RootRef>& roots) {
    filtered_->rebuild(roots);
    parts_.treeSelection.set({});
    parts_.fileSelection.set({});
}

void ScanController::handleScanStateChange() {
    // The file types a finished scan counted come with its roots: the handover below uses them
    // or nobody does.
    std::optional<CountedFileTypes> counted = parts_.viewModel.takeCountedFileTypes();
    // Also when a new choice of roots already emptied them (its idle state comes first).
    if (parts_.viewModel.scanState().isScanning()) live_->clearStale();
    std::vector<RootRef> roots = scanRoots();
    // Progress reports change the state many times a second; only new roots run the handlers.
    if (sameRootObjects(roots, lastScanRoots_)) return;
    // The old trees stay alive until the handlers have dropped every reference into them.
    const std::vector<RootRef> retired = std::exchange(lastScanRoots_, roots);

    inScanRootsChange_ = true;
    // Handler 1: the filtered copy follows the new roots while the panel is shown.
    if (!parts_.panes.showFilterPanel()) {
        filtered_->clear();
    } else {
        Preferences& prefs = parts_.preferences;
        const bool textsBlank = trimmedFilterText(prefs.value(PreferenceKeys::includeFilterText)).isEmpty() &&
                                trimmedFilterText(prefs.value(PreferenceKeys::excludeFilterText)).isEmpty();
        if (textsBlank)
            reloadFilteredTree(roots);
        else
            applyFilters();
    }
    // What an import could not read of its file is said once its result is there.
    if (!roots.empty() && parts_.viewModel.lastScanWasCSVImport() && parts_.viewModel.lastImportShortfall().any())
        parts_.prompts.setImportShortfallDetail(importShortfallText(parts_.viewModel.lastImportShortfall()));
    // Handler 2.
    if (!roots.empty() && !hasEverShownScanResults_) {
        hasEverShownScanResults_ = true;
        emit firstResultsShown();
    }
    inScanRootsChange_ = false;

    countedTypes_ = std::move(counted);
    recomputeEffectiveRoots();
    countedTypes_.reset();
}

void ScanController::recomputeEffectiveRoots() {
    if (inScanRootsChange_) return;
    const auto& loaded = filtered_->roots();
    std::vector<RootRef> roots = parts_.panes.showFilterPanel() && loaded ? *loaded : scanRoots();
    if (sameRootObjects(roots, effectiveRoots_)) return;
    std::vector<RootRef> kept = roots;
    for (const RootRef& r : heldRoots()) kept.push_back(r);
    parts_.retirement.announce(KeptTrees(kept));
    const std::vector<RootRef> retired = std::exchange(effectiveRoots_, std::move(roots));
    const std::vector<RootRef> shown = effectiveRoots_;  // handlers may change effectiveRoots_
    live_->watchShown();         // 3
    stats_->restartFor(shown, std::exchange(countedTypes_, std::nullopt));  // 4
    restore_.restoreIn(shown);   // 5
    emit effectiveRootsChanged(shown);
}

bool ScanController::colorRankReady() const { return treemapColorsReady() && !stats_->rowsPending(); }

bool ScanController::treemapColorsReady() const { return stats_->ranksAreFor(effectiveRoots_); }

FileNode* ScanController::node(const QString& atPath) const { return nodeAtPath(atPath, effectiveRoots_); }

void ScanController::selectAllFiles(const QString& withExtension) {
    const std::string ext = withExtension.toStdString();
    int64_t entries = 0;
    for (const RootRef& r : effectiveRoots_)
        if (r) entries += 1 + int64_t(r->subFolderFileCount()) + r->subFolderDirCount();
    if (entries <= kEntriesWalkedInPlace) {
        selectJobs_.supersede();
        parts_.treeSelection.set(filesWithExtension(effectiveRoots_, ext));
        return;
    }
    // The walk (and the set of millions it may make) runs in the background; the job holds the
    // roots it walks. A selection made meanwhile, or other roots shown, drop its result.
    const std::vector<RootRef> roots = effectiveRoots_;
    runInBackground(
        this, selectJobs_, [roots, ext](const CancelFlag& cancel) { return filesWithExtension(roots, ext, &cancel); },
        [this, roots](NodeSet found) {
            if (!sameRootObjects(roots, effectiveRoots_)) return;
            parts_.treeSelection.set(found);
        });
}

std::vector<VolumeCapacity> ScanController::capacities(const std::vector<RootRef>& roots) const {
    return capacitiesFor(roots, parts_.viewModel.rootCapacities());
}

void ScanController::scanChosenFolder(const QString& path) {
    parts_.volumeChoice.setSelectedVolumeID(PickerTag::selectFolder);
    parts_.viewModel.selectRoot(path, path);
    startScan();
}

void ScanController::importChosenCSV(const QString& path) {
    parts_.volumeChoice.setSelectedVolumeID(PickerTag::selectCSV);
    parts_.viewModel.startCSVImport(path, parts_.preferences.value(PreferenceKeys::tweakShowMaxModifiedDate));
}

void ScanController::finishSelectMultiple(const QStringList& checkedPaths) {
    if (checkedPaths.isEmpty()) {
        resumeLiveMonitoringForCurrentRoots();
        return;
    }
    parts_.volumeChoice.setSelectMultipleCheckedPaths(checkedPaths);
    parts_.volumeChoice.setSelectedVolumeID(PickerTag::selectMultiple);
    parts_.viewModel.selectPaths(checkedPaths);
    if (parts_.preferences.value(PreferenceKeys::autoScanAfterSelection))
        startScan();
    else
        resumeLiveMonitoringForCurrentRoots();
}

void ScanController::requestSelectMultiple() {
    live_->pause();
    parts_.prompts.setShowSelectMultipleSheet(true);
}

void ScanController::resumeLiveMonitoringForCurrentRoots() { live_->resume(); }

std::vector<RootRef> ScanController::heldRoots() const {
    std::vector<RootRef> held = scanRoots();
    if (const auto& loaded = filtered_->roots())
        for (const RootRef& r : *loaded) held.push_back(r);
    return held;
}

std::shared_ptr<const void> ScanController::selectionHeld() const {
    struct Held {
        std::vector<RootRef> trees;
        std::shared_ptr<const void> outlineGroups;
    };
    return std::make_shared<const Held>(Held{heldRoots(), parts_.treeExpansion.ownNodesHeld()});
}

}  // namespace zelvane
