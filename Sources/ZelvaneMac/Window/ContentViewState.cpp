#include "ZelvaneMac/Window/ContentViewState.hpp"

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {

ContentViewState::ContentViewState(Preferences& preferences, CLIAutomation::Options cliOptions, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      cliAutomationOptions_(std::move(cliOptions)),
      viewModel_(new ScanViewModel(this)),
      liveMonitor_(std::make_unique<LiveMonitorController>()),
      hoverPathState_(new HoverPathState(this)) {
    showFilterPanel_ = preferences.value(PreferenceKeys::showFilterPanel);
    showTreemapAllocatedSize_ = preferences.value(PreferenceKeys::showTreemapAllocatedSize);
    showTreemapFilenames_ = preferences.value(PreferenceKeys::showTreemapFilenames);
    showTreemapFreeSpace_ = preferences.value(PreferenceKeys::showTreemapFreeSpace);
    showFileTypes_ = preferences.value(PreferenceKeys::showFileTypes);
    showTreemap_ = preferences.value(PreferenceKeys::showTreemap);
    scanControl_ = new ScanController(*this, this);
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
    if (volumes_ == value) return;
    volumes_ = value;
    emit volumesChanged(volumes_);
}

void ContentViewState::setSelectedVolumeID(const std::optional<QString>& value) {
    if (selectedVolumeID_ == value) return;
    selectedVolumeID_ = value;
    emit selectedVolumeIDChanged(selectedVolumeID_);
}

void ContentViewState::setSelectedNodes(const NodeSet& value) {
    if (selectedNodes_ == value) return;
    selectedNodes_ = value;
    emit selectedNodesChanged(selectedNodes_);
}

void ContentViewState::setLastChildNodeForReselect(FileNode* value) {
    if (lastChildNodeForReselect_ == value) return;
    lastChildNodeForReselect_ = value;
    emit lastChildNodeForReselectChanged(lastChildNodeForReselect_);
}

void ContentViewState::setSuppressReselectChildClear(bool value) {
    if (suppressReselectChildClear_ == value) return;
    suppressReselectChildClear_ = value;
    emit suppressReselectChildClearChanged(suppressReselectChildClear_);
}

void ContentViewState::setSelectedFileViewNodes(const NodeSet& value) {
    if (selectedFileViewNodes_ == value) return;
    selectedFileViewNodes_ = value;
    emit selectedFileViewNodesChanged(selectedFileViewNodes_);
}

void ContentViewState::setSelectedTab(ContentTab value) {
    if (selectedTab_ == value) return;
    selectedTab_ = value;
    emit selectedTabChanged(selectedTab_);
}

void ContentViewState::setIsRestoringSelectedTab(bool value) {
    if (isRestoringSelectedTab_ == value) return;
    isRestoringSelectedTab_ = value;
    emit isRestoringSelectedTabChanged(isRestoringSelectedTab_);
}

void ContentViewState::bumpFileViewSearchFocusToken() {
    ++fileViewSearchFocusToken_;
    emit fileViewSearchFocusTokenChanged(fileViewSearchFocusToken_);
}

void ContentViewState::setShowSelectMultipleSheet(bool value) {
    if (showSelectMultipleSheet_ == value) return;
    showSelectMultipleSheet_ = value;
    emit showSelectMultipleSheetChanged(showSelectMultipleSheet_);
}

void ContentViewState::setShowAccessDeniedFoldersSheet(bool value) {
    if (showAccessDeniedFoldersSheet_ == value) return;
    showAccessDeniedFoldersSheet_ = value;
    emit showAccessDeniedFoldersSheetChanged(showAccessDeniedFoldersSheet_);
}

void ContentViewState::setCsvExportErrorDetail(const std::optional<QString>& value) {
    if (csvExportErrorDetail_ == value) return;
    csvExportErrorDetail_ = value;
    emit csvExportErrorDetailChanged(csvExportErrorDetail_);
}

void ContentViewState::setShowResetConfirmation(bool value) {
    if (showResetConfirmation_ == value) return;
    showResetConfirmation_ = value;
    emit showResetConfirmationChanged(showResetConfirmation_);
}

void ContentViewState::setShowResetPermissionsConfirmation(bool value) {
    if (showResetPermissionsConfirmation_ == value) return;
    showResetPermissionsConfirmation_ = value;
    emit showResetPermissionsConfirmationChanged(showResetPermissionsConfirmation_);
}

void ContentViewState::setPermissionsResetErrorDetail(const std::optional<QString>& value) {
    if (permissionsResetErrorDetail_ == value) return;
    permissionsResetErrorDetail_ = value;
    emit permissionsResetErrorDetailChanged(permissionsResetErrorDetail_);
}

void ContentViewState::setAdminRelaunchErrorDetail(const std::optional<QString>& value) {
    if (adminRelaunchErrorDetail_ == value) return;
    adminRelaunchErrorDetail_ = value;
    emit adminRelaunchErrorDetailChanged(adminRelaunchErrorDetail_);
}

void ContentViewState::setAdminRelaunchFailed(bool value) {
    if (adminRelaunchFailed_ == value) return;
    adminRelaunchFailed_ = value;
    emit adminRelaunchFailedChanged(adminRelaunchFailed_);
}

void ContentViewState::setSelectMultipleCheckedPaths(const QStringList& value) {
    if (selectMultipleCheckedPaths_ == value) return;
    selectMultipleCheckedPaths_ = value;
    emit selectMultipleCheckedPathsChanged(selectMultipleCheckedPaths_);
}

void ContentViewState::setTreemapRoot(FileNode* value) {
    if (treemapRoot_ == value) return;
    treemapRoot_ = value;
    emit treemapRootChanged(treemapRoot_);
}

void ContentViewState::bumpResetTreeExpansionTrigger() {
    ++resetTreeExpansionTrigger_;
    emit resetTreeExpansionTriggerChanged(resetTreeExpansionTrigger_);
}

void ContentViewState::bumpExpandAllTrigger() {
    ++expandAllTrigger_;
    emit expandAllTriggerChanged(expandAllTrigger_);
}

void ContentViewState::setNodesToExpand(const NodeList& value) {
    if (nodesToExpand_ == value) return;
    nodesToExpand_ = value;
    emit nodesToExpandChanged(nodesToExpand_);
}

void ContentViewState::setGroupParentsToExpand(const NodeList& value) {
    if (groupParentsToExpand_ == value) return;
    groupParentsToExpand_ = value;
    emit groupParentsToExpandChanged(groupParentsToExpand_);
}

void ContentViewState::bumpExpandNodesTrigger() {
    ++expandNodesTrigger_;
    emit expandNodesTriggerChanged(expandNodesTrigger_);
}

void ContentViewState::setPendingTreeRestoreState(const std::optional<TreeRestoreState>& value) {
    if (pendingTreeRestoreState_ == value) return;
    pendingTreeRestoreState_ = value;
    emit pendingTreeRestoreStateChanged(pendingTreeRestoreState_);
}

void ContentViewState::bumpTreeViewRenameTrigger() {
    ++treeViewRenameTrigger_;
    emit treeViewRenameTriggerChanged(treeViewRenameTrigger_);
}

void ContentViewState::setTreeViewRenameTarget(FileNode* value) {
    if (treeViewRenameTarget_ == value) return;
    treeViewRenameTarget_ = value;
    emit treeViewRenameTargetChanged(treeViewRenameTarget_);
}

void ContentViewState::bumpFileViewRenameTrigger() {
    ++fileViewRenameTrigger_;
    emit fileViewRenameTriggerChanged(fileViewRenameTrigger_);
}

void ContentViewState::setFileViewRenameTarget(FileNode* value) {
    if (fileViewRenameTarget_ == value) return;
    fileViewRenameTarget_ = value;
    emit fileViewRenameTargetChanged(fileViewRenameTarget_);
}

void ContentViewState::setAwaitsWindowFrameRestore(bool value) {
    if (awaitsWindowFrameRestore_ == value) return;
    awaitsWindowFrameRestore_ = value;
    emit awaitsWindowFrameRestoreChanged(awaitsWindowFrameRestore_);
}

void ContentViewState::setIsRenamingInline(bool value) {
    if (isRenamingInline_ == value) return;
    isRenamingInline_ = value;
    emit isRenamingInlineChanged(isRenamingInline_);
}

void ContentViewState::setFileFilterText(const QString& value) {
    if (fileFilterText_ == value) return;
    fileFilterText_ = value;
    emit fileFilterTextChanged(fileFilterText_);
}

void ContentViewState::setFileResultCount(int value) {
    if (fileResultCount_ == value) return;
    fileResultCount_ = value;
    emit fileResultCountChanged(fileResultCount_);
}

void ContentViewState::setFileResultTotalSize(int64_t value) {
    if (fileResultTotalSize_ == value) return;
    fileResultTotalSize_ = value;
    emit fileResultTotalSizeChanged(fileResultTotalSize_);
}

void ContentViewState::setFileResultTotalAlloc(int64_t value) {
    if (fileResultTotalAlloc_ == value) return;
    fileResultTotalAlloc_ = value;
    emit fileResultTotalAllocChanged(fileResultTotalAlloc_);
}

void ContentViewState::setFileIsLocatingDuplicates(bool value) {
    if (fileIsLocatingDuplicates_ == value) return;
    fileIsLocatingDuplicates_ = value;
    emit fileIsLocatingDuplicatesChanged(fileIsLocatingDuplicates_);
}

void ContentViewState::setShowFilterPanel(bool value) {
    if (showFilterPanel_ == value) return;
    showFilterPanel_ = value;
    preferences_.set(PreferenceKeys::showFilterPanel, value);
    emit showFilterPanelChanged(showFilterPanel_);
}

void ContentViewState::setAppliedIncludeFilterText(const QString& value) {
    if (appliedIncludeFilterText_ == value) return;
    appliedIncludeFilterText_ = value;
    emit appliedIncludeFilterTextChanged(appliedIncludeFilterText_);
}

void ContentViewState::setAppliedExcludeFilterText(const QString& value) {
    if (appliedExcludeFilterText_ == value) return;
    appliedExcludeFilterText_ = value;
    emit appliedExcludeFilterTextChanged(appliedExcludeFilterText_);
}

void ContentViewState::setAppliedIncludeMatchEntirePath(bool value) {
    if (appliedIncludeMatchEntirePath_ == value) return;
    appliedIncludeMatchEntirePath_ = value;
    emit appliedIncludeMatchEntirePathChanged(appliedIncludeMatchEntirePath_);
}

void ContentViewState::setLoadedRoots(const std::optional<std::vector<RootRef>>& value) {
    if (loadedRoots_ == value) return;
    loadedRoots_ = value;
    emit loadedRootsChanged(loadedRoots_);
}

void ContentViewState::setExtensionStats(const std::vector<ExtensionStats>& value) {
    if (extensionStats_ == value) return;
    extensionStats_ = value;
    emit extensionStatsChanged(extensionStats_);
}

void ContentViewState::setExtensionColorRank(const ColorRank& value) {
    if (extensionColorRank_ == value) return;
    extensionColorRank_ = value;
    emit extensionColorRankChanged(extensionColorRank_);
}

void ContentViewState::setExtensionPanelDisplayed(const std::vector<ExtensionStats>& value) {
    if (extensionPanelDisplayed_ == value) return;
    extensionPanelDisplayed_ = value;
    emit extensionPanelDisplayedChanged(extensionPanelDisplayed_);
}

void ContentViewState::setExtensionPanelSortKey(const QString& value) {
    if (extensionPanelSortKey_ == value) return;
    extensionPanelSortKey_ = value;
    emit extensionPanelSortKeyChanged(extensionPanelSortKey_);
}

void ContentViewState::bumpExtensionStatsGeneration() {
    ++extensionStatsGeneration_;
    emit extensionStatsGenerationChanged(extensionStatsGeneration_);
}

void ContentViewState::setExtensionColorRankRoots(const NodeList& value) {
    if (extensionColorRankRoots_ == value) return;
    extensionColorRankRoots_ = value;
    emit extensionColorRankRootsChanged(extensionColorRankRoots_);
}

void ContentViewState::bumpMonitorRevision() {
    ++monitorRevision_;
    emit monitorRevisionChanged(monitorRevision_);
}

void ContentViewState::setMonitorDirtyNodes(const NodeList& value) {
    if (monitorDirtyNodes_ == value) return;
    monitorDirtyNodes_ = value;
    emit monitorDirtyNodesChanged(monitorDirtyNodes_);
}

void ContentViewState::setTopRowWidth(double value) {
    if (topRowWidth_ == value) return;
    topRowWidth_ = value;
    emit topRowWidthChanged(topRowWidth_);
}

void ContentViewState::setBrandingTextBlockWidth(double value) {
    if (brandingTextBlockWidth_ == value) return;
    brandingTextBlockWidth_ = value;
    emit brandingTextBlockWidthChanged(brandingTextBlockWidth_);
}

void ContentViewState::setBrandingHintTextWidth(double value) {
    if (brandingHintTextWidth_ == value) return;
    brandingHintTextWidth_ = value;
    emit brandingHintTextWidthChanged(brandingHintTextWidth_);
}

void ContentViewState::setBrandingTextBlockHeight(double value) {
    if (brandingTextBlockHeight_ == value) return;
    brandingTextBlockHeight_ = value;
    emit brandingTextBlockHeightChanged(brandingTextBlockHeight_);
}

void ContentViewState::setIncludeFilterLabelWidth(double value) {
    if (includeFilterLabelWidth_ == value) return;
    includeFilterLabelWidth_ = value;
    emit includeFilterLabelWidthChanged(includeFilterLabelWidth_);
}

void ContentViewState::setExcludeFilterLabelWidth(double value) {
    if (excludeFilterLabelWidth_ == value) return;
    excludeFilterLabelWidth_ = value;
    emit excludeFilterLabelWidthChanged(excludeFilterLabelWidth_);
}

void ContentViewState::setMatchFileNameRadioWidth(double value) {
    if (matchFileNameRadioWidth_ == value) return;
    matchFileNameRadioWidth_ = value;
    emit matchFileNameRadioWidthChanged(matchFileNameRadioWidth_);
}

void ContentViewState::setMatchEntirePathRadioWidth(double value) {
    if (matchEntirePathRadioWidth_ == value) return;
    matchEntirePathRadioWidth_ = value;
    emit matchEntirePathRadioWidthChanged(matchEntirePathRadioWidth_);
}

void ContentViewState::setClearButtonLabelWidth(double value) {
    if (clearButtonLabelWidth_ == value) return;
    clearButtonLabelWidth_ = value;
    emit clearButtonLabelWidthChanged(clearButtonLabelWidth_);
}

void ContentViewState::setApplyFilterButtonLabelWidth(double value) {
    if (applyFilterButtonLabelWidth_ == value) return;
    applyFilterButtonLabelWidth_ = value;
    emit applyFilterButtonLabelWidthChanged(applyFilterButtonLabelWidth_);
}

void ContentViewState::setScanLabelMeasuredWidth(double value) {
    if (scanLabelMeasuredWidth_ == value) return;
    scanLabelMeasuredWidth_ = value;
    emit scanLabelMeasuredWidthChanged(scanLabelMeasuredWidth_);
}

void ContentViewState::setCancelLabelMeasuredWidth(double value) {
    if (cancelLabelMeasuredWidth_ == value) return;
    cancelLabelMeasuredWidth_ = value;
    emit cancelLabelMeasuredWidthChanged(cancelLabelMeasuredWidth_);
}

void ContentViewState::setHasScannedContent(bool value) {
    if (hasScannedContent_ == value) return;
    hasScannedContent_ = value;
    emit hasScannedContentChanged(hasScannedContent_);
}

void ContentViewState::setHasEverShownScanResults(bool value) {
    if (hasEverShownScanResults_ == value) return;
    hasEverShownScanResults_ = value;
    emit hasEverShownScanResultsChanged(hasEverShownScanResults_);
}

void ContentViewState::setHostWindow(const QPointer<QObject>& value) {
    if (hostWindow_ == value) return;
    hostWindow_ = value;
    emit hostWindowChanged(hostWindow_);
}

void ContentViewState::setShowFullDiskAccessAlert(bool value) {
    if (showFullDiskAccessAlert_ == value) return;
    showFullDiskAccessAlert_ = value;
    emit showFullDiskAccessAlertChanged(showFullDiskAccessAlert_);
}

void ContentViewState::setShowFullDiskAccessAlreadyGrantedAlert(bool value) {
    if (showFullDiskAccessAlreadyGrantedAlert_ == value) return;
    showFullDiskAccessAlreadyGrantedAlert_ = value;
    emit showFullDiskAccessAlreadyGrantedAlertChanged(showFullDiskAccessAlreadyGrantedAlert_);
}

void ContentViewState::setShowPreparePortableModePrompt(bool value) {
    if (showPreparePortableModePrompt_ == value) return;
    showPreparePortableModePrompt_ = value;
    emit showPreparePortableModePromptChanged(showPreparePortableModePrompt_);
}

void ContentViewState::setShowMoveToApplicationsPrompt(bool value) {
    if (showMoveToApplicationsPrompt_ == value) return;
    showMoveToApplicationsPrompt_ = value;
    emit showMoveToApplicationsPromptChanged(showMoveToApplicationsPrompt_);
}

void ContentViewState::setShowTreemapAllocatedSize(bool value) {
    if (showTreemapAllocatedSize_ == value) return;
    showTreemapAllocatedSize_ = value;
    preferences_.set(PreferenceKeys::showTreemapAllocatedSize, value);
    emit showTreemapAllocatedSizeChanged(showTreemapAllocatedSize_);
}

void ContentViewState::setShowTreemapFilenames(bool value) {
    if (showTreemapFilenames_ == value) return;
    showTreemapFilenames_ = value;
    preferences_.set(PreferenceKeys::showTreemapFilenames, value);
    emit showTreemapFilenamesChanged(showTreemapFilenames_);
}

void ContentViewState::setShowTreemapFreeSpace(bool value) {
    if (showTreemapFreeSpace_ == value) return;
    showTreemapFreeSpace_ = value;
    preferences_.set(PreferenceKeys::showTreemapFreeSpace, value);
    emit showTreemapFreeSpaceChanged(showTreemapFreeSpace_);
}

void ContentViewState::setShowColorsSheet(bool value) {
    if (showColorsSheet_ == value) return;
    showColorsSheet_ = value;
    emit showColorsSheetChanged(showColorsSheet_);
}

void ContentViewState::setShowTweaksSheet(bool value) {
    if (showTweaksSheet_ == value) return;
    showTweaksSheet_ = value;
    emit showTweaksSheetChanged(showTweaksSheet_);
}

void ContentViewState::setShowHeader(bool value) {
    if (showHeader_ == value) return;
    showHeader_ = value;
    emit showHeaderChanged(showHeader_);
}

void ContentViewState::setShowFileTypes(bool value) {
    if (showFileTypes_ == value) return;
    showFileTypes_ = value;
    preferences_.set(PreferenceKeys::showFileTypes, value);
    emit showFileTypesChanged(showFileTypes_);
}

void ContentViewState::setShowTreemap(bool value) {
    if (showTreemap_ == value) return;
    showTreemap_ = value;
    preferences_.set(PreferenceKeys::showTreemap, value);
    emit showTreemapChanged(showTreemap_);
}

void ContentViewState::setAppServices(const AppServices& services) {
    appServices_ = services;
    emit appServicesChanged();
}

}  // namespace zelvane
