#include "ZelvaneMac/Window/ContentViewState.hpp"

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Window/AssignIfChanged.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
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
      panes_(new PaneToggles(preferences, this)),
      treemapZoom_(new TreemapZoom(this)),
      prompts_(new WindowPrompts(this)),
      treeSelection_(new NodeSelection(this)),
      fileSelection_(new NodeSelection(this)) {
    scanControl_ = new ScanController(*this, this);
    connect(scanControl_, &ScanController::treesRetiring, treeSelection_, &NodeSelection::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, fileSelection_, &NodeSelection::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, fileTypes_, &FileTypeStatistics::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, treemapZoom_, &TreemapZoom::dropNodesOutside);
    connect(scanControl_, &ScanController::treesRetiring, this, &ContentViewState::dropNodesOutside);
}

void ContentViewState::dropNodesOutside(const KeptTrees& kept) {
    setLastChildNodeForReselect(kept.keep(lastChildNodeForReselect_));
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

void ContentViewState::setAwaitsWindowFrameRestore(bool value) {
    if (assignIfChanged(awaitsWindowFrameRestore_, value))
        emit awaitsWindowFrameRestoreChanged(awaitsWindowFrameRestore_);
}

void ContentViewState::setIsRenamingInline(bool value) {
    if (assignIfChanged(isRenamingInline_, value)) emit isRenamingInlineChanged(isRenamingInline_);
}

void ContentViewState::setHostWindow(const QPointer<QObject>& value) {
    if (assignIfChanged(hostWindow_, value)) emit hostWindowChanged(hostWindow_);
}

void ContentViewState::setAppServices(const AppServices& services) {
    appServices_ = services;
    emit appServicesChanged();
}

}  // namespace zelvane
