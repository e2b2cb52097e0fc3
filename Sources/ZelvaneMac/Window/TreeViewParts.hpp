#pragma once

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

namespace zelvane {

class FileTypeStatistics;
class HoverPathState;
class LiveMonitorController;
class MainWindowController;
class NodeSelection;
class PaneToggles;
class Preferences;
class ScanController;
class ScanViewModel;
class TreeExpansion;
class TreeRetirement;
class TreemapToggles;
class TreemapZoom;
class ViewCommands;
class VolumeChoice;

// The parts of one window the Tree View tab shows and changes; the window makes it for the tab.
struct TreeViewParts {
    Preferences& preferences;
    const CLIAutomation::Options& cliAutomationOptions;
    ScanViewModel& viewModel;
    ScanController& scanControl;
    LiveMonitorController& liveMonitor;
    const MainWindowController& controller;
    const VolumeChoice& volumeChoice;
    PaneToggles& panes;
    NodeSelection& treeSelection;
    TreeExpansion& treeExpansion;
    TreemapZoom& treemapZoom;
    TreemapToggles& treemapToggles;
    FileTypeStatistics& fileTypes;
    HoverPathState& hoverPathState;
    ViewCommands& commands;
    const TreeRetirement& retirement;
};

}  // namespace zelvane
