#pragma once

// The parts of one window made as the window makes them, without the window: for tests of one
// tab or panel on its own. Each accessor returns the part of that name.

#include <memory>

#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/WindowCommands.hpp"
#include "ZelvaneMac/Window/TreeViewParts.hpp"

namespace zelvane {

class ContentViewState;
class FileTypeStatistics;
class FileViewResults;
class HoverPathState;
class MainWindowController;
class NodeSelection;
class PaneToggles;
class Preferences;
class ScanController;
class ScanViewModel;
class TreemapToggles;
class TreemapZoom;

}  // namespace zelvane

namespace zelvane::fixtures {

class WindowParts {
public:
    explicit WindowParts(Preferences& preferences);
    ~WindowParts();

    ScanViewModel& viewModel() const;
    ScanController& scanControl() const;
    NodeSelection& treeSelection() const;
    NodeSelection& fileSelection() const;
    PaneToggles& panes() const;
    TreemapZoom& treemapZoom() const;
    TreemapToggles& treemapToggles() const;
    FileTypeStatistics& fileTypes() const;
    FileViewResults& fileResults() const;
    HoverPathState& hoverPathState() const;
    MainWindowController& controller() const;

    // What the window's content hands its tabs (the context menus' save dialogs have no window).
    TreeViewParts treeViewParts() const;
    FileViewTab::Parts fileViewParts() const;
    ContextMenuCommands menuCommands() const;

private:
    std::unique_ptr<ContentViewState> state_;
};

}  // namespace zelvane::fixtures
