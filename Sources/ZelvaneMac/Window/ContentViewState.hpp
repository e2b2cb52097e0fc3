#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Window/AppServices.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"

namespace zelvane {

class FileTypeStatistics;
class FileViewResults;
class HoverPathState;
class LiveMonitorController;
class NodeSelection;
class PaneToggles;
class ScanController;
class ScanViewModel;
class TreemapToggles;
class TreemapZoom;
class ViewCommands;
class WindowPrompts;

// The state of one main window, without widgets: the parts that own their rules (the Tree View's
// and the File View's selections, the commands to the views, the file-type statistics, the pane
// and treemap toggles, the treemap's zoom, the prompts, the File View's results, the scans with
// their shown roots and filtered copy), the remaining per-window fields with their initial
// values, and the preference store every window shares. Views include and subscribe to the part
// they show.
//
// Each field has a getter, a setter and a change signal that is emitted only on a real change.
// The parts and this object drop their node pointers when the scan controller announces trees
// about to go. Main thread only.
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
    PaneToggles& panes() const { return *panes_; }
    TreemapZoom& treemapZoom() const { return *treemapZoom_; }
    // Which rows the Tree View's outline has open (none while it has no outline).
    TreeExpansion& treeExpansion() { return treeExpansion_; }
    const TreeExpansion& treeExpansion() const { return treeExpansion_; }
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
    const QStringList& selectMultipleCheckedPaths() const { return selectMultipleCheckedPaths_; }
    void setSelectMultipleCheckedPaths(const QStringList& value);
    // The folder the window's last open panel (a folder or a CSV file to scan) ended in; empty
    // until one was used. Nothing observes it: the next panel reads it when it opens.
    const QString& lastOpenPanelFolder() const { return lastOpenPanelFolder_; }
    void setLastOpenPanelFolder(const QString& value) { lastOpenPanelFolder_ = value; }
    bool isRenamingInline() const { return isRenamingInline_; }
    void setIsRenamingInline(bool value);
    // The update checker and portable mode of the program (none in a window made by a test).
    const AppServices& appServices() const { return appServices_; }
    void setAppServices(const AppServices& services);

    const QPointer<QObject>& hostWindow() const { return hostWindow_; }
    void setHostWindow(const QPointer<QObject>& value);
    // True from the window's making until it has restored its frame; a split that keeps a pane
    // size waits for it, so it lays out the restored size and not the window's first one.
    bool awaitsWindowFrameRestore() const { return awaitsWindowFrameRestore_; }
    void setAwaitsWindowFrameRestore(bool value);

signals:
    void volumesChanged(const std::vector<VolumeInfo>& value);
    void selectedVolumeIDChanged(const std::optional<QString>& value);
    void lastChildNodeForReselectChanged(FileNode* value);
    void suppressReselectChildClearChanged(bool value);
    void selectedTabChanged(ContentTab value);
    void isRestoringSelectedTabChanged(bool value);
    void selectMultipleCheckedPathsChanged(const QStringList& value);
    void isRenamingInlineChanged(bool value);
    void hostWindowChanged(const QPointer<QObject>& value);
    void awaitsWindowFrameRestoreChanged(bool value);
    void appServicesChanged();

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
    PaneToggles* panes_;
    TreemapZoom* treemapZoom_;
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
    QStringList selectMultipleCheckedPaths_;
    QString lastOpenPanelFolder_;
    TreeExpansion treeExpansion_;
    bool isRenamingInline_ = false;
    QPointer<QObject> hostWindow_;
    bool awaitsWindowFrameRestore_ = false;
    AppServices appServices_;
};

}  // namespace zelvane
