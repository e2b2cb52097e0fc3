#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Window/AppServices.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/TreeRestoreState.hpp"

namespace zelvane {

class LiveMonitorController;
class ScanController;
class ScanViewModel;

using NodeSet = QSet<FileNode*>;
using NodeList = std::vector<FileNode*>;
using NodePredicate = std::function<bool(const FileNode*)>;

// The state of one main window, without widgets: every per-window field with its initial value,
// the view toggles seeded from the preferences when the window is made, the objects the window
// owns, and the preference store every window shares.
//
// Each field has a getter, a setter and a change signal that is emitted only on a real change.
// Trigger counters have no setter: `bump...()` adds one and emits, so observers act once per bump.
// A seeded toggle's setter also writes the new value to its key, so the next window starts from it
// while the windows already open keep their own. Main thread only.
class ContentViewState final : public QObject {
    Q_OBJECT
public:
    // Fixed column widths of the selections box.
    static constexpr double valueColumnWidth = 110;
    static constexpr double labelColumnWidth = 100;

    ContentViewState(Preferences& preferences, CLIAutomation::Options cliOptions, QObject* parent = nullptr);
    ~ContentViewState() override;
    ContentViewState(const ContentViewState&) = delete;
    ContentViewState& operator=(const ContentViewState&) = delete;

    Preferences& preferences() const { return preferences_; }
    const CLIAutomation::Options& cliAutomationOptions() const { return cliAutomationOptions_; }
    ScanViewModel& viewModel() const { return *viewModel_; }
    LiveMonitorController& liveMonitor() const { return *liveMonitor_; }
    HoverPathState& hoverPathState() const { return *hoverPathState_; }
    // Scans, filters and the shown roots (`effectiveRoots`) of this window.
    ScanController& scanControl() const { return *scanControl_; }

    // The stored palette and extension lists; text that is not a JSON array of strings (the empty
    // default included) gives the defaults. A stored list is returned as it is, whatever its length.
    QStringList currentPaletteColors() const;
    QStringList currentExtensionLists() const;
    // One entry per stored colour, in order, scanned as hexadecimal (text that does not begin
    // with a digit gives black).
    PaletteRGB currentPaletteRGB() const;

    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    void setVolumes(const std::vector<VolumeInfo>& value);
    const std::optional<QString>& selectedVolumeID() const { return selectedVolumeID_; }
    void setSelectedVolumeID(const std::optional<QString>& value);
    const NodeSet& selectedNodes() const { return selectedNodes_; }
    void setSelectedNodes(const NodeSet& value);
    FileNode* lastChildNodeForReselect() const { return lastChildNodeForReselect_; }
    void setLastChildNodeForReselect(FileNode* value);
    bool suppressReselectChildClear() const { return suppressReselectChildClear_; }
    void setSuppressReselectChildClear(bool value);
    const NodeSet& selectedFileViewNodes() const { return selectedFileViewNodes_; }
    void setSelectedFileViewNodes(const NodeSet& value);
    ContentTab selectedTab() const { return selectedTab_; }
    void setSelectedTab(ContentTab value);
    bool isRestoringSelectedTab() const { return isRestoringSelectedTab_; }
    void setIsRestoringSelectedTab(bool value);
    int fileViewSearchFocusToken() const { return fileViewSearchFocusToken_; }
    void bumpFileViewSearchFocusToken();
    const NodePredicate& isTreeNodeExpanded() const { return isTreeNodeExpanded_; }
    void setIsTreeNodeExpanded(NodePredicate f) { isTreeNodeExpanded_ = std::move(f); }
    const NodePredicate& isGroupExpanded() const { return isGroupExpanded_; }
    void setIsGroupExpanded(NodePredicate f) { isGroupExpanded_ = std::move(f); }
    bool showSelectMultipleSheet() const { return showSelectMultipleSheet_; }
    void setShowSelectMultipleSheet(bool value);
    bool showAccessDeniedFoldersSheet() const { return showAccessDeniedFoldersSheet_; }
    void setShowAccessDeniedFoldersSheet(bool value);
    const std::optional<QString>& csvExportErrorDetail() const { return csvExportErrorDetail_; }
    void setCsvExportErrorDetail(const std::optional<QString>& value);
    bool showResetConfirmation() const { return showResetConfirmation_; }
    void setShowResetConfirmation(bool value);
    bool showResetPermissionsConfirmation() const { return showResetPermissionsConfirmation_; }
    void setShowResetPermissionsConfirmation(bool value);
    const std::optional<QString>& permissionsResetErrorDetail() const { return permissionsResetErrorDetail_; }
    void setPermissionsResetErrorDetail(const std::optional<QString>& value);
    const std::optional<QString>& adminRelaunchErrorDetail() const { return adminRelaunchErrorDetail_; }
    void setAdminRelaunchErrorDetail(const std::optional<QString>& value);
    bool adminRelaunchFailed() const { return adminRelaunchFailed_; }
    void setAdminRelaunchFailed(bool value);
    const QStringList& selectMultipleCheckedPaths() const { return selectMultipleCheckedPaths_; }
    void setSelectMultipleCheckedPaths(const QStringList& value);
    // The folder the window's last open panel (a folder or a CSV file to scan) ended in; empty
    // until one was used. Nothing observes it: the next panel reads it when it opens.
    const QString& lastOpenPanelFolder() const { return lastOpenPanelFolder_; }
    void setLastOpenPanelFolder(const QString& value) { lastOpenPanelFolder_ = value; }
    FileNode* treemapRoot() const { return treemapRoot_; }
    void setTreemapRoot(FileNode* value);
    int resetTreeExpansionTrigger() const { return resetTreeExpansionTrigger_; }
    void bumpResetTreeExpansionTrigger();
    int expandAllTrigger() const { return expandAllTrigger_; }
    void bumpExpandAllTrigger();
    const NodeList& nodesToExpand() const { return nodesToExpand_; }
    void setNodesToExpand(const NodeList& value);
    const NodeList& groupParentsToExpand() const { return groupParentsToExpand_; }
    void setGroupParentsToExpand(const NodeList& value);
    int expandNodesTrigger() const { return expandNodesTrigger_; }
    void bumpExpandNodesTrigger();
    const std::optional<TreeRestoreState>& pendingTreeRestoreState() const { return pendingTreeRestoreState_; }
    void setPendingTreeRestoreState(const std::optional<TreeRestoreState>& value);
    const std::function<void()>& clearTreemapLayout() const { return clearTreemapLayout_; }
    void setClearTreemapLayout(std::function<void()> f) { clearTreemapLayout_ = std::move(f); }
    int treeViewRenameTrigger() const { return treeViewRenameTrigger_; }
    void bumpTreeViewRenameTrigger();
    FileNode* treeViewRenameTarget() const { return treeViewRenameTarget_; }
    void setTreeViewRenameTarget(FileNode* value);
    int fileViewRenameTrigger() const { return fileViewRenameTrigger_; }
    void bumpFileViewRenameTrigger();
    FileNode* fileViewRenameTarget() const { return fileViewRenameTarget_; }
    void setFileViewRenameTarget(FileNode* value);
    bool isRenamingInline() const { return isRenamingInline_; }
    void setIsRenamingInline(bool value);
    const QString& fileFilterText() const { return fileFilterText_; }
    void setFileFilterText(const QString& value);
    int fileResultCount() const { return fileResultCount_; }
    void setFileResultCount(int value);
    int64_t fileResultTotalSize() const { return fileResultTotalSize_; }
    void setFileResultTotalSize(int64_t value);
    int64_t fileResultTotalAlloc() const { return fileResultTotalAlloc_; }
    void setFileResultTotalAlloc(int64_t value);
    bool fileIsLocatingDuplicates() const { return fileIsLocatingDuplicates_; }
    void setFileIsLocatingDuplicates(bool value);
    bool showFilterPanel() const { return showFilterPanel_; }
    void setShowFilterPanel(bool value);
    const QString& appliedIncludeFilterText() const { return appliedIncludeFilterText_; }
    void setAppliedIncludeFilterText(const QString& value);
    const QString& appliedExcludeFilterText() const { return appliedExcludeFilterText_; }
    void setAppliedExcludeFilterText(const QString& value);
    bool appliedIncludeMatchEntirePath() const { return appliedIncludeMatchEntirePath_; }
    void setAppliedIncludeMatchEntirePath(bool value);
    const std::optional<std::vector<RootRef>>& loadedRoots() const { return loadedRoots_; }
    void setLoadedRoots(const std::optional<std::vector<RootRef>>& value);
    const std::vector<ExtensionStats>& extensionStats() const { return extensionStats_; }
    void setExtensionStats(const std::vector<ExtensionStats>& value);
    const ColorRank& extensionColorRank() const { return extensionColorRank_; }
    void setExtensionColorRank(const ColorRank& value);
    const std::vector<ExtensionStats>& extensionPanelDisplayed() const { return extensionPanelDisplayed_; }
    void setExtensionPanelDisplayed(const std::vector<ExtensionStats>& value);
    const QString& extensionPanelSortKey() const { return extensionPanelSortKey_; }
    void setExtensionPanelSortKey(const QString& value);
    int extensionStatsGeneration() const { return extensionStatsGeneration_; }
    void bumpExtensionStatsGeneration();
    const NodeList& extensionColorRankRoots() const { return extensionColorRankRoots_; }
    void setExtensionColorRankRoots(const NodeList& value);
    int monitorRevision() const { return monitorRevision_; }
    void bumpMonitorRevision();
    const NodeList& monitorDirtyNodes() const { return monitorDirtyNodes_; }
    void setMonitorDirtyNodes(const NodeList& value);
    double topRowWidth() const { return topRowWidth_; }
    void setTopRowWidth(double value);
    double brandingTextBlockWidth() const { return brandingTextBlockWidth_; }
    void setBrandingTextBlockWidth(double value);
    double brandingHintTextWidth() const { return brandingHintTextWidth_; }
    void setBrandingHintTextWidth(double value);
    double brandingTextBlockHeight() const { return brandingTextBlockHeight_; }
    void setBrandingTextBlockHeight(double value);
    double includeFilterLabelWidth() const { return includeFilterLabelWidth_; }
    void setIncludeFilterLabelWidth(double value);
    double excludeFilterLabelWidth() const { return excludeFilterLabelWidth_; }
    void setExcludeFilterLabelWidth(double value);
    double matchFileNameRadioWidth() const { return matchFileNameRadioWidth_; }
    void setMatchFileNameRadioWidth(double value);
    double matchEntirePathRadioWidth() const { return matchEntirePathRadioWidth_; }
    void setMatchEntirePathRadioWidth(double value);
    double clearButtonLabelWidth() const { return clearButtonLabelWidth_; }
    void setClearButtonLabelWidth(double value);
    double applyFilterButtonLabelWidth() const { return applyFilterButtonLabelWidth_; }
    void setApplyFilterButtonLabelWidth(double value);
    double scanLabelMeasuredWidth() const { return scanLabelMeasuredWidth_; }
    void setScanLabelMeasuredWidth(double value);
    double cancelLabelMeasuredWidth() const { return cancelLabelMeasuredWidth_; }
    void setCancelLabelMeasuredWidth(double value);
    bool hasScannedContent() const { return hasScannedContent_; }
    void setHasScannedContent(bool value);
    bool hasEverShownScanResults() const { return hasEverShownScanResults_; }
    void setHasEverShownScanResults(bool value);
    // The update checker and portable mode of the program (none in a window made by a test).
    const AppServices& appServices() const { return appServices_; }
    void setAppServices(const AppServices& services);

    const QPointer<QObject>& hostWindow() const { return hostWindow_; }
    void setHostWindow(const QPointer<QObject>& value);
    // True from the window's making until it has restored its frame; a split that keeps a pane
    // size waits for it, so it lays out the restored size and not the window's first one.
    bool awaitsWindowFrameRestore() const { return awaitsWindowFrameRestore_; }
    void setAwaitsWindowFrameRestore(bool value);
    bool showFullDiskAccessAlert() const { return showFullDiskAccessAlert_; }
    void setShowFullDiskAccessAlert(bool value);
    bool showFullDiskAccessAlreadyGrantedAlert() const { return showFullDiskAccessAlreadyGrantedAlert_; }
    void setShowFullDiskAccessAlreadyGrantedAlert(bool value);
    bool showPreparePortableModePrompt() const { return showPreparePortableModePrompt_; }
    void setShowPreparePortableModePrompt(bool value);
    bool showMoveToApplicationsPrompt() const { return showMoveToApplicationsPrompt_; }
    void setShowMoveToApplicationsPrompt(bool value);
    bool showTreemapAllocatedSize() const { return showTreemapAllocatedSize_; }
    void setShowTreemapAllocatedSize(bool value);
    bool showTreemapFilenames() const { return showTreemapFilenames_; }
    void setShowTreemapFilenames(bool value);
    bool showTreemapFreeSpace() const { return showTreemapFreeSpace_; }
    void setShowTreemapFreeSpace(bool value);
    bool showColorsSheet() const { return showColorsSheet_; }
    void setShowColorsSheet(bool value);
    bool showTweaksSheet() const { return showTweaksSheet_; }
    void setShowTweaksSheet(bool value);
    bool showHeader() const { return showHeader_; }
    void setShowHeader(bool value);
    bool showFileTypes() const { return showFileTypes_; }
    void setShowFileTypes(bool value);
    bool showTreemap() const { return showTreemap_; }
    void setShowTreemap(bool value);

signals:
    void volumesChanged(const std::vector<VolumeInfo>& value);
    void selectedVolumeIDChanged(const std::optional<QString>& value);
    void selectedNodesChanged(const NodeSet& value);
    void lastChildNodeForReselectChanged(FileNode* value);
    void suppressReselectChildClearChanged(bool value);
    void selectedFileViewNodesChanged(const NodeSet& value);
    void selectedTabChanged(ContentTab value);
    void isRestoringSelectedTabChanged(bool value);
    void fileViewSearchFocusTokenChanged(int value);
    void showSelectMultipleSheetChanged(bool value);
    void showAccessDeniedFoldersSheetChanged(bool value);
    void csvExportErrorDetailChanged(const std::optional<QString>& value);
    void showResetConfirmationChanged(bool value);
    void showResetPermissionsConfirmationChanged(bool value);
    void permissionsResetErrorDetailChanged(const std::optional<QString>& value);
    void adminRelaunchErrorDetailChanged(const std::optional<QString>& value);
    void adminRelaunchFailedChanged(bool value);
    void selectMultipleCheckedPathsChanged(const QStringList& value);
    void treemapRootChanged(FileNode* value);
    void resetTreeExpansionTriggerChanged(int value);
    void expandAllTriggerChanged(int value);
    void nodesToExpandChanged(const NodeList& value);
    void groupParentsToExpandChanged(const NodeList& value);
    void expandNodesTriggerChanged(int value);
    void pendingTreeRestoreStateChanged(const std::optional<TreeRestoreState>& value);
    void treeViewRenameTriggerChanged(int value);
    void treeViewRenameTargetChanged(FileNode* value);
    void fileViewRenameTriggerChanged(int value);
    void fileViewRenameTargetChanged(FileNode* value);
    void isRenamingInlineChanged(bool value);
    void fileFilterTextChanged(const QString& value);
    void fileResultCountChanged(int value);
    void fileResultTotalSizeChanged(int64_t value);
    void fileResultTotalAllocChanged(int64_t value);
    void fileIsLocatingDuplicatesChanged(bool value);
    void showFilterPanelChanged(bool value);
    void appliedIncludeFilterTextChanged(const QString& value);
    void appliedExcludeFilterTextChanged(const QString& value);
    void appliedIncludeMatchEntirePathChanged(bool value);
    void loadedRootsChanged(const std::optional<std::vector<RootRef>>& value);
    void extensionStatsChanged(const std::vector<ExtensionStats>& value);
    void extensionColorRankChanged(const ColorRank& value);
    void extensionPanelDisplayedChanged(const std::vector<ExtensionStats>& value);
    void extensionPanelSortKeyChanged(const QString& value);
    void extensionStatsGenerationChanged(int value);
    void extensionColorRankRootsChanged(const NodeList& value);
    void monitorRevisionChanged(int value);
    void monitorDirtyNodesChanged(const NodeList& value);
    void topRowWidthChanged(double value);
    void brandingTextBlockWidthChanged(double value);
    void brandingHintTextWidthChanged(double value);
    void brandingTextBlockHeightChanged(double value);
    void includeFilterLabelWidthChanged(double value);
    void excludeFilterLabelWidthChanged(double value);
    void matchFileNameRadioWidthChanged(double value);
    void matchEntirePathRadioWidthChanged(double value);
    void clearButtonLabelWidthChanged(double value);
    void applyFilterButtonLabelWidthChanged(double value);
    void scanLabelMeasuredWidthChanged(double value);
    void cancelLabelMeasuredWidthChanged(double value);
    void hasScannedContentChanged(bool value);
    void hasEverShownScanResultsChanged(bool value);
    void hostWindowChanged(const QPointer<QObject>& value);
    void awaitsWindowFrameRestoreChanged(bool value);
    void appServicesChanged();
    void showFullDiskAccessAlertChanged(bool value);
    void showFullDiskAccessAlreadyGrantedAlertChanged(bool value);
    void showPreparePortableModePromptChanged(bool value);
    void showMoveToApplicationsPromptChanged(bool value);
    void showTreemapAllocatedSizeChanged(bool value);
    void showTreemapFilenamesChanged(bool value);
    void showTreemapFreeSpaceChanged(bool value);
    void showColorsSheetChanged(bool value);
    void showTweaksSheetChanged(bool value);
    void showHeaderChanged(bool value);
    void showFileTypesChanged(bool value);
    void showTreemapChanged(bool value);

private:
    Preferences& preferences_;
    CLIAutomation::Options cliAutomationOptions_;
    ScanViewModel* viewModel_;
    std::unique_ptr<LiveMonitorController> liveMonitor_;
    HoverPathState* hoverPathState_;
    ScanController* scanControl_ = nullptr;  // made last: it observes the fields above

    std::vector<VolumeInfo> volumes_;
    std::optional<QString> selectedVolumeID_;
    NodeSet selectedNodes_;
    FileNode* lastChildNodeForReselect_ = nullptr;
    bool suppressReselectChildClear_ = false;
    NodeSet selectedFileViewNodes_;
    ContentTab selectedTab_ = ContentTab::treeView;
    bool isRestoringSelectedTab_ = false;
    int fileViewSearchFocusToken_ = 0;
    NodePredicate isTreeNodeExpanded_;
    NodePredicate isGroupExpanded_;
    bool showSelectMultipleSheet_ = false;
    bool showAccessDeniedFoldersSheet_ = false;
    std::optional<QString> csvExportErrorDetail_;
    bool showResetConfirmation_ = false;
    bool showResetPermissionsConfirmation_ = false;
    std::optional<QString> permissionsResetErrorDetail_;
    std::optional<QString> adminRelaunchErrorDetail_;
    bool adminRelaunchFailed_ = false;
    QStringList selectMultipleCheckedPaths_;
    QString lastOpenPanelFolder_;
    FileNode* treemapRoot_ = nullptr;
    int resetTreeExpansionTrigger_ = 0;
    int expandAllTrigger_ = 0;
    NodeList nodesToExpand_;
    NodeList groupParentsToExpand_;
    int expandNodesTrigger_ = 0;
    std::optional<TreeRestoreState> pendingTreeRestoreState_;
    std::function<void()> clearTreemapLayout_;
    int treeViewRenameTrigger_ = 0;
    FileNode* treeViewRenameTarget_ = nullptr;
    int fileViewRenameTrigger_ = 0;
    FileNode* fileViewRenameTarget_ = nullptr;
    bool isRenamingInline_ = false;
    QString fileFilterText_;
    int fileResultCount_ = 0;
    int64_t fileResultTotalSize_ = 0;
    int64_t fileResultTotalAlloc_ = 0;
    bool fileIsLocatingDuplicates_ = false;
    bool showFilterPanel_ = false;  // seeded from its key in the constructor
    QString appliedIncludeFilterText_;
    QString appliedExcludeFilterText_;
    bool appliedIncludeMatchEntirePath_ = true;
    std::optional<std::vector<RootRef>> loadedRoots_;
    std::vector<ExtensionStats> extensionStats_;
    ColorRank extensionColorRank_;
    std::vector<ExtensionStats> extensionPanelDisplayed_;
    QString extensionPanelSortKey_ = QStringLiteral("allocated");
    int extensionStatsGeneration_ = 0;
    NodeList extensionColorRankRoots_;
    int monitorRevision_ = 0;
    NodeList monitorDirtyNodes_;
    double topRowWidth_ = 330;
    double brandingTextBlockWidth_ = 0;
    double brandingHintTextWidth_ = 0;
    double brandingTextBlockHeight_ = 0;
    double includeFilterLabelWidth_ = 0;
    double excludeFilterLabelWidth_ = 0;
    double matchFileNameRadioWidth_ = 0;
    double matchEntirePathRadioWidth_ = 0;
    double clearButtonLabelWidth_ = 0;
    double applyFilterButtonLabelWidth_ = 0;
    double scanLabelMeasuredWidth_ = 0;
    double cancelLabelMeasuredWidth_ = 0;
    bool hasScannedContent_ = false;
    bool hasEverShownScanResults_ = false;
    QPointer<QObject> hostWindow_;
    bool awaitsWindowFrameRestore_ = false;
    AppServices appServices_;
    bool showFullDiskAccessAlert_ = false;
    bool showFullDiskAccessAlreadyGrantedAlert_ = false;
    bool showPreparePortableModePrompt_ = false;
    bool showMoveToApplicationsPrompt_ = false;
    bool showTreemapAllocatedSize_ = false;  // seeded from its key in the constructor
    bool showTreemapFilenames_ = false;  // seeded from its key in the constructor
    bool showTreemapFreeSpace_ = false;  // seeded from its key in the constructor
    bool showColorsSheet_ = false;
    bool showTweaksSheet_ = false;
    bool showHeader_ = true;
    bool showFileTypes_ = false;  // seeded from its key in the constructor
    bool showTreemap_ = false;  // seeded from its key in the constructor
};

}  // namespace zelvane
