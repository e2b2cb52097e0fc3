#include "ZelvaneMac/Window/ContentViewState.hpp"

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Window/AssignIfChanged.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"

namespace zelvane {

ContentViewState::ContentViewState(Preferences& preferences, CLIAutomation::Options cliOptions, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      cliAutomationOptions_(std::move(cliOptions)),
      viewModel_(new ScanViewModel(this)),
      liveMonitor_(std::make_unique<LiveMonitorController>()),
      hoverPathState_(new HoverPathState(this)),
      commands_(new ViewCommands(this)),
      fileResults_(new FileViewResults(this)),
      fileTypes_(new FileTypeStatistics(this)),
      treemapToggles_(new TreemapToggles(preferences, this)),
      prompts_(new WindowPrompts(this)),
      treeSelection_(new NodeSelection(this)),
      fileSelection_(new NodeSelection(this)) {
    showFilterPanel_ = preferences.value(PreferenceKeys::showFilterPanel);
    showFileTypes_ = preferences.value(PreferenceKeys::showFileTypes);
    showTreemap_ = preferences.value(PreferenceKeys::showTreemap);
    scanControl_ = new ScanController(*this, this);
    connect(scanControl_, &ScanController::treesRetiring, treeSelection_, &NodeSelection::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, fileSelection_, &NodeSelection::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, fileTypes_, &FileTypeStatistics::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, this, &ContentViewState::dropNodesOutside);
}

void ContentViewState::dropNodesOutside(const KeptTrees& kept) {
    setLastChildNodeForReselect(kept.keep(lastChildNodeForReselect_));
    setTreemapRoot(kept.keep(treemapRoot_));
}

ContentViewState::~ContentViewState() {
    // The scan control hands the monitor its callbacks and takes them back when it goes.
    delete scanControl_;
    scanControl_ = nullptr;
    // The monitor holds the shown roots; it stops before the scan model lets go of its tree.
    liveMonitor_.reset();
}

QStringList ContentViewState::currentPaletteColors() const {
    return TreemapColorSettings::decodeStringArray(preferences_.value(PreferenceKeys::treemapPaletteColorsJSON))
        .value_or(TreemapColorSettings::defaultColors());
}

QStringList ContentViewState::currentExtensionLists() const {
    return TreemapColorSettings::decodeStringArray(preferences_.value(PreferenceKeys::treemapExtensionListsJSON))
        .value_or(TreemapColorSettings::defaultExtensionLists());
}

PaletteRGB ContentViewState::currentPaletteRGB() const {
    PaletteRGB out;
    for (const QString& entry : currentPaletteColors()) out.push_back(TreemapColorSettings::rgbFromHexString(entry));
    return out;
}

void ContentViewState::setVolumes(const std::vector<VolumeInfo>& value) {
    if (assignIfChanged(volumes_, value)) emit volumesChanged(volumes_);
}

void ContentViewState::setSelectedVolumeID(const std::optional<QString>& value) {
    if (assignIfChanged(selectedVolumeID_, value)) emit selectedVolumeIDChanged(selectedVolumeID_);
}

void ContentViewState::setLastChildNodeForReselect(FileNode* value) {
    if (assignIfChanged(lastChildNodeForReselect_, value))
        emit lastChildNodeForReselectChanged(lastChildNodeForReselect_);
}

void ContentViewState::setSuppressReselectChildClear(bool value) {
    if (assignIfChanged(suppressReselectChildClear_, value))
        emit suppressReselectChildClearChanged(suppressReselectChildClear_);
}

void ContentViewState::setSelectedTab(ContentTab value) {
    if (assignIfChanged(selectedTab_, value)) emit selectedTabChanged(selectedTab_);
}

void ContentViewState::setIsRestoringSelectedTab(bool value) {
    if (assignIfChanged(isRestoringSelectedTab_, value))
        emit isRestoringSelectedTabChanged(isRestoringSelectedTab_);
}










void ContentViewState::setSelectMultipleCheckedPaths(const QStringList& value) {
    if (assignIfChanged(selectMultipleCheckedPaths_, value))
        emit selectMultipleCheckedPathsChanged(selectMultipleCheckedPaths_);
}

void ContentViewState::setTreemapRoot(FileNode* value) {
    if (assignIfChanged(treemapRoot_, value)) emit treemapRootChanged(treemapRoot_);
}






void ContentViewState::setPendingTreeRestoreState(const std::optional<TreeRestoreState>& value) {
    if (assignIfChanged(pendingTreeRestoreState_, value))
        emit pendingTreeRestoreStateChanged(pendingTreeRestoreState_);
}





void ContentViewState::setAwaitsWindowFrameRestore(bool value) {
    if (assignIfChanged(awaitsWindowFrameRestore_, value))
        emit awaitsWindowFrameRestoreChanged(awaitsWindowFrameRestore_);
}

void ContentViewState::setIsRenamingInline(bool value) {
    if (assignIfChanged(isRenamingInline_, value)) emit isRenamingInlineChanged(isRenamingInline_);
}






void ContentViewState::setShowFilterPanel(bool value) {
    if (!assignIfChanged(showFilterPanel_, value)) return;
    preferences_.set(PreferenceKeys::showFilterPanel, value);
    emit showFilterPanelChanged(showFilterPanel_);
}

void ContentViewState::setAppliedIncludeFilterText(const QString& value) {
    if (assignIfChanged(appliedIncludeFilterText_, value))
        emit appliedIncludeFilterTextChanged(appliedIncludeFilterText_);
}

void ContentViewState::setAppliedExcludeFilterText(const QString& value) {
    if (assignIfChanged(appliedExcludeFilterText_, value))
        emit appliedExcludeFilterTextChanged(appliedExcludeFilterText_);
}

void ContentViewState::setAppliedIncludeMatchEntirePath(bool value) {
    if (assignIfChanged(appliedIncludeMatchEntirePath_, value))
        emit appliedIncludeMatchEntirePathChanged(appliedIncludeMatchEntirePath_);
}

void ContentViewState::setLoadedRoots(const std::optional<std::vector<RootRef>>& value) {
    if (assignIfChanged(loadedRoots_, value)) emit loadedRootsChanged(loadedRoots_);
}







void ContentViewState::setHasScannedContent(bool value) {
    if (assignIfChanged(hasScannedContent_, value)) emit hasScannedContentChanged(hasScannedContent_);
}

void ContentViewState::setHasEverShownScanResults(bool value) {
    if (assignIfChanged(hasEverShownScanResults_, value))
        emit hasEverShownScanResultsChanged(hasEverShownScanResults_);
}

void ContentViewState::setHostWindow(const QPointer<QObject>& value) {
    if (assignIfChanged(hostWindow_, value)) emit hostWindowChanged(hostWindow_);
}










void ContentViewState::setShowHeader(bool value) {
    if (assignIfChanged(showHeader_, value)) emit showHeaderChanged(showHeader_);
}

void ContentViewState::setShowFileTypes(bool value) {
    if (!assignIfChanged(showFileTypes_, value)) return;
    preferences_.set(PreferenceKeys::showFileTypes, value);
    emit showFileTypesChanged(showFileTypes_);
}

void ContentViewState::setShowTreemap(bool value) {
    if (!assignIfChanged(showTreemap_, value)) return;
    preferences_.set(PreferenceKeys::showTreemap, value);
    emit showTreemapChanged(showTreemap_);
}

void ContentViewState::setAppServices(const AppServices& services) {
    appServices_ = services;
    emit appServicesChanged();
}

}  // namespace zelvane
