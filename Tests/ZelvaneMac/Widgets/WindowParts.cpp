#include "WindowParts.hpp"

#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"

namespace zelvane::fixtures {

WindowParts::WindowParts(Preferences& preferences)
    : state_(std::make_unique<ContentViewState>(preferences, CLIAutomation::Options{})) {}
WindowParts::~WindowParts() = default;

ScanViewModel& WindowParts::viewModel() const { return state_->viewModel(); }
ScanController& WindowParts::scanControl() const { return state_->scanControl(); }
NodeSelection& WindowParts::treeSelection() const { return state_->treeSelection(); }
NodeSelection& WindowParts::fileSelection() const { return state_->fileSelection(); }
PaneToggles& WindowParts::panes() const { return state_->panes(); }
TreemapZoom& WindowParts::treemapZoom() const { return state_->treemapZoom(); }
TreemapToggles& WindowParts::treemapToggles() const { return state_->treemapToggles(); }
FileTypeStatistics& WindowParts::fileTypes() const { return state_->fileTypes(); }
FileViewResults& WindowParts::fileResults() const { return state_->fileResults(); }
HoverPathState& WindowParts::hoverPathState() const { return state_->hoverPathState(); }
MainWindowController& WindowParts::controller() const { return state_->controller(); }

TreeViewParts WindowParts::treeViewParts() const { return state_->treeViewParts(); }
FileViewTab::Parts WindowParts::fileViewParts() const { return ContentView::fileViewParts(*state_); }
ContextMenuCommands WindowParts::menuCommands() const { return ContentView::menuCommands(*state_, nullptr); }

}  // namespace zelvane::fixtures
