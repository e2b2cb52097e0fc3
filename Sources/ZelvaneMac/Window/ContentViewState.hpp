#pragma once

#include <QObject>

#include <memory>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

namespace zelvane {

class FileTypeStatistics;
class FileViewResults;
class HoverPathState;
class LiveMonitorController;
class MainWindowController;
class NodeSelection;
class PaneToggles;
class Preferences;
class ScanController;
class ScanViewModel;
class TreemapToggles;
class TreeRetirement;
class TreemapZoom;
class ViewCommands;
class VolumeChoice;
class WindowPrompts;
class WindowServices;
struct ExportContext;
struct TreeViewParts;
struct WindowSelections;

// The parts of one main window that have no widgets, made and wired once: each owns its rules
// (the Tree View's and the File View's selections, the commands to the views, the file-type
// statistics, the pane and treemap toggles, the treemap's zoom, the prompts, the File View's
// results, the choice of volumes, the scans with their shown roots, the window's controller),
// and the preference store every window shares. Only the window and its menus see this
// composer; each view is handed the parts it shows. Main thread only.
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
    // The Tree View's selection, shared by its outline and treemap, and the File View's.
    NodeSelection& treeSelection() const { return *treeSelection_; }
    NodeSelection& fileSelection() const { return *fileSelection_; }
    VolumeChoice& volumeChoice() const { return *volumeChoice_; }
    // The update checker and portable mode of the program (none in a window made by a test).
    WindowServices& services() const { return *services_; }
    // Scans, filters and the shown roots (`effectiveRoots`) of this window.
    ScanController& scanControl() const { return *scanControl_; }
    // The tab shown, the title and the colour ranks.
    MainWindowController& controller() const { return *controller_; }

    // What the commands, the exports, the Tree View tab and the first appearance are handed.
    WindowSelections selections() const;
    ExportContext exportContext() const;
    TreeViewParts treeViewParts();
    WindowStartup::Parts startupParts() const;

private:
    Preferences& preferences_;
    CLIAutomation::Options cliAutomationOptions_;
    ScanViewModel* viewModel_;
    std::unique_ptr<LiveMonitorController> liveMonitor_;
    // Made before every holder of node pointers, each of which connects itself to it.
    TreeRetirement* retirement_;
    NodeSelection* treeSelection_;
    NodeSelection* fileSelection_;
    FileTypeStatistics* fileTypes_;
    TreemapZoom* treemapZoom_;
    HoverPathState* hoverPathState_;
    ViewCommands* commands_;
    FileViewResults* fileResults_;
    TreemapToggles* treemapToggles_;
    PaneToggles* panes_;
    WindowPrompts* prompts_;
    VolumeChoice* volumeChoice_;
    WindowServices* services_;
    TreeExpansion treeExpansion_;
    ScanController* scanControl_ = nullptr;  // made after the parts it observes
    MainWindowController* controller_ = nullptr;
};

}  // namespace zelvane
