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
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/TreeRestoreState.hpp"

namespace zelvane {

class FileTypeStatistics;
class FileViewResults;
class HoverPathState;
class LiveMonitorController;
class NodeSelection;
class ScanController;
class ScanViewModel;
class TreemapToggles;
class ViewCommands;
class WindowPrompts;

using NodePredicate = std::function<bool(const FileNode*)>;

// The state of one main window, without widgets: the parts that own their rules (the Tree View's
// and the File View's selections, the commands to the views, the file-type statistics, the
// treemap toggles, the prompts, the File View's results), the remaining per-window fields with their initial values, the
// pane toggles seeded from the preferences when the window is made, and the preference store
// every window shares. Views include and subscribe to the part they show.
//
// Each field has a getter, a setter and a change signal that is emitted only on a real change.
// A seeded toggle's setter also writes the new value to its key, so the next window starts from it
// while the windows already open keep their own. The parts and this object drop their node
// pointers when the scan controller announces trees about to go. Main thread only.
class ContentViewState final : public QObject {
    Q_OBJECT
public:
    ContentViewState(Preferences& preferences, CLIAutomation::Options cliOptions, QObject* parent = nullptr);
    ~ContentViewState() override;
    ContentViewState(const ContentViewState&) = delete;
    ContentViewState& operator=(const ContentViewState&) = delete;

    Preferences& preferences() const { return preferences_; }
    const CLIAutomation::Options& cliAutomationOptions() const { return cliAutomationOptions_; }
    ScanViewModel& viewModel() const { return *viewModel_; }
    LiveMonitorController& liveMonitor() const { return *liveMonitor_; }
    HoverPathState& hoverPathState() const { return *hoverPathState_; }
    ViewCommands& commands() const { return *commands_; }
    FileViewResults& fileResults() const { return *fileResults_; }
    FileTypeStatistics& fileTypes() const { return *fileTypes_; }
    TreemapToggles& treemapToggles() const { return *treemapToggles_; }
    WindowPrompts& prompts() const { return *prompts_; }
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
    // The Tree View's selection, shared by its outline and treemap, and the File View's.
    NodeSelection& treeSelection() const { return *treeSelection_; }
    NodeSelection& fileSelection() const { return *fileSelection_; }
    FileNode* lastChildNodeForReselect() const { return lastChildNodeForReselect_; }
    void setLastChildNodeForReselect(FileNode* value);
    bool suppressReselectChildClear() const { return suppressReselectChildClear_; }
    void setSuppressReselectChildClear(bool value);
    ContentTab selectedTab() const { return selectedTab_; }
    void setSelectedTab(ContentTab value);
    bool isRestoringSelectedTab() const { return isRestoringSelectedTab_; }
    void setIsRestoringSelectedTab(bool value);
    const NodePredicate& isTreeNodeExpanded() const { return isTreeNodeExpanded_; }
    void setIsTreeNodeExpanded(NodePredicate f) { isTreeNodeExpanded_ = std::move(f); }
    const NodePredicate& isGroupExpanded() const { return isGroupExpanded_; }
    void setIsGroupExpanded(NodePredicate f) { isGroupExpanded_ = std::move(f); }
    const QStringList& selectMultipleCheckedPaths() const { return selectMultipleCheckedPaths_; }
    void setSelectMultipleCheckedPaths(const QStringList& value);
    // The folder the window's last open panel (a folder or a CSV file to scan) ended in; empty
    // until one was used. Nothing observes it: the next panel reads it when it opens.
    const QString& lastOpenPanelFolder() const { return lastOpenPanelFolder_; }
    void setLastOpenPanelFolder(const QString& value) { lastOpenPanelFolder_ = value; }
    FileNode* treemapRoot() const { return treemapRoot_; }
    void setTreemapRoot(FileNode* value);
    const std::optional<TreeRestoreState>& pendingTreeRestoreState() const { return pendingTreeRestoreState_; }
    void setPendingTreeRestoreState(const std::optional<TreeRestoreState>& value);
    const std::function<void()>& clearTreemapLayout() const { return clearTreemapLayout_; }
    void setClearTreemapLayout(std::function<void()> f) { clearTreemapLayout_ = std::move(f); }
    bool isRenamingInline() const { return isRenamingInline_; }
    void setIsRenamingInline(bool value);
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
    bool showHeader() const { return showHeader_; }
    void setShowHeader(bool value);
    bool showFileTypes() const { return showFileTypes_; }
    void setShowFileTypes(bool value);
    bool showTreemap() const { return showTreemap_; }
    void setShowTreemap(bool value);

signals:
    void volumesChanged(const std::vector<VolumeInfo>& value);
    void selectedVolumeIDChanged(const std::optional<QString>& value);
    void lastChildNodeForReselectChanged(FileNode* value);
    void suppressReselectChildClearChanged(bool value);
    void selectedTabChanged(ContentTab value);
    void isRestoringSelectedTabChanged(bool value);
    void selectMultipleCheckedPathsChanged(const QStringList& value);
    void treemapRootChanged(FileNode* value);
    void pendingTreeRestoreStateChanged(const std::optional<TreeRestoreState>& value);
    void isRenamingInlineChanged(bool value);
    void showFilterPanelChanged(bool value);
    void appliedIncludeFilterTextChanged(const QString& value);
    void appliedExcludeFilterTextChanged(const QString& value);
    void appliedIncludeMatchEntirePathChanged(bool value);
    void loadedRootsChanged(const std::optional<std::vector<RootRef>>& value);
    void hasScannedContentChanged(bool value);
    void hasEverShownScanResultsChanged(bool value);
    void hostWindowChanged(const QPointer<QObject>& value);
    void awaitsWindowFrameRestoreChanged(bool value);
    void appServicesChanged();
    void showHeaderChanged(bool value);
    void showFileTypesChanged(bool value);
    void showTreemapChanged(bool value);

private:
    // The node pointers this state keeps itself, pruned when trees are about to go.
    void dropNodesOutside(const KeptTrees& kept);

    Preferences& preferences_;
    CLIAutomation::Options cliAutomationOptions_;
    ScanViewModel* viewModel_;
    std::unique_ptr<LiveMonitorController> liveMonitor_;
    HoverPathState* hoverPathState_;
    ViewCommands* commands_;
    FileViewResults* fileResults_;
    FileTypeStatistics* fileTypes_;
    TreemapToggles* treemapToggles_;
    WindowPrompts* prompts_;
    NodeSelection* treeSelection_;
    NodeSelection* fileSelection_;
    ScanController* scanControl_ = nullptr;  // made last: it observes the fields above

    std::vector<VolumeInfo> volumes_;
    std::optional<QString> selectedVolumeID_;
    FileNode* lastChildNodeForReselect_ = nullptr;
    bool suppressReselectChildClear_ = false;
    ContentTab selectedTab_ = ContentTab::treeView;
    bool isRestoringSelectedTab_ = false;
    NodePredicate isTreeNodeExpanded_;
    NodePredicate isGroupExpanded_;
    QStringList selectMultipleCheckedPaths_;
    QString lastOpenPanelFolder_;
    FileNode* treemapRoot_ = nullptr;
    std::optional<TreeRestoreState> pendingTreeRestoreState_;
    std::function<void()> clearTreemapLayout_;
    bool isRenamingInline_ = false;
    bool showFilterPanel_ = false;  // seeded from its key in the constructor
    QString appliedIncludeFilterText_;
    QString appliedExcludeFilterText_;
    bool appliedIncludeMatchEntirePath_ = true;
    std::optional<std::vector<RootRef>> loadedRoots_;
    bool hasScannedContent_ = false;
    bool hasEverShownScanResults_ = false;
    QPointer<QObject> hostWindow_;
    bool awaitsWindowFrameRestore_ = false;
    AppServices appServices_;
    bool showHeader_ = true;
    bool showFileTypes_ = false;  // seeded from its key in the constructor
    bool showTreemap_ = false;  // seeded from its key in the constructor
};

}  // namespace zelvane
