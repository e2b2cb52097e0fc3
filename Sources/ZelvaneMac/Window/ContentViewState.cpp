#include "ZelvaneMac/Window/ContentViewState.hpp"

#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreeRetirement.hpp"
#include "ZelvaneMac/Window/TreeViewParts.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"

namespace zelvane {

ContentViewState::ContentViewState(Preferences& preferences, CLIAutomation::Options cliOptions, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      cliAutomationOptions_(std::move(cliOptions)),
      viewModel_(new ScanViewModel(this)),
      liveMonitor_(std::make_unique<LiveMonitorController>()),
      retirement_(new TreeRetirement(this)),
      treeSelection_(new NodeSelection(*retirement_, this)),
      fileSelection_(new NodeSelection(*retirement_, this)),
      fileTypes_(new FileTypeStatistics(*retirement_, this)),
      treemapZoom_(new TreemapZoom(*retirement_, this)),
      hoverPathState_(new HoverPathState(*retirement_, this)),
      commands_(new ViewCommands(this)),
      fileResults_(new FileViewResults(this)),
      treemapToggles_(new TreemapToggles(preferences, this)),
      panes_(new PaneToggles(preferences, this)),
      prompts_(new WindowPrompts(this)),
      volumeChoice_(new VolumeChoice(this)),
      services_(new WindowServices(this)) {
    scanControl_ = new ScanController({.preferences = preferences_,
                                       .viewModel = *viewModel_,
                                       .liveMonitor = *liveMonitor_,
                                       .panes = *panes_,
                                       .treeSelection = *treeSelection_,
                                       .fileSelection = *fileSelection_,
                                       .hoverPathState = *hoverPathState_,
                                       .prompts = *prompts_,
                                       .volumeChoice = *volumeChoice_,
                                       .fileTypes = *fileTypes_,
                                       .commands = *commands_,
                                       .treeExpansion = treeExpansion_,
                                       .retirement = *retirement_},
                                      this);
    // Renames and deletions reach the path under the pointer once the tree took them.
    connect(&scanControl_->liveUpdates(), &LiveUpdates::liveChanges, hoverPathState_, &HoverPathState::nodesChanged);
    controller_ = new MainWindowController(preferences_, *viewModel_, *volumeChoice_, *fileTypes_, *commands_, this);
}

ContentViewState::~ContentViewState() {
    // The scan control hands the monitor its callbacks and takes them back when it goes.
    delete scanControl_;
    scanControl_ = nullptr;
    // The monitor holds the shown roots; it stops before the scan model lets go of its tree.
    liveMonitor_.reset();
}

WindowSelections ContentViewState::selections() const { return {*controller_, *treeSelection_, *fileSelection_}; }

ExportContext ContentViewState::exportContext() const {
    return {.preferences = preferences_,
            .prompts = *prompts_,
            .scans = *scanControl_,
            .selections = selections(),
            .fileTypes = *fileTypes_,
            .treemapToggles = *treemapToggles_,
            .treemapZoom = *treemapZoom_,
            .treeExpansion = treeExpansion_};
}

TreeViewParts ContentViewState::treeViewParts() {
    return {.preferences = preferences_,
            .cliAutomationOptions = cliAutomationOptions_,
            .viewModel = *viewModel_,
            .scanControl = *scanControl_,
            .liveMonitor = *liveMonitor_,
            .controller = *controller_,
            .volumeChoice = *volumeChoice_,
            .panes = *panes_,
            .treeSelection = *treeSelection_,
            .treeExpansion = treeExpansion_,
            .treemapZoom = *treemapZoom_,
            .treemapToggles = *treemapToggles_,
            .fileTypes = *fileTypes_,
            .hoverPathState = *hoverPathState_,
            .commands = *commands_,
            .retirement = *retirement_};
}

WindowStartup::Parts ContentViewState::startupParts() const {
    return {.preferences = preferences_,
            .cliAutomationOptions = cliAutomationOptions_,
            .prompts = *prompts_,
            .panes = *panes_,
            .viewModel = *viewModel_,
            .volumeChoice = *volumeChoice_,
            .scans = *scanControl_};
}

}  // namespace zelvane
