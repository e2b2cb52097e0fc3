#pragma once

#include "ZelvaneMac/Window/WindowSelections.hpp"

namespace zelvane {

class FileTypeStatistics;
class Preferences;
class ScanController;
class TreeExpansion;
class TreemapToggles;
class TreemapZoom;
class WindowPrompts;

// What the window's ways out (the exports, the clipboard text and the commands on the shown
// selection) read, and where they report; the window makes it for its commands.
struct ExportContext {
    Preferences& preferences;
    WindowPrompts& prompts;
    const ScanController& scans;
    WindowSelections selections;
    const FileTypeStatistics& fileTypes;
    const TreemapToggles& treemapToggles;
    TreemapZoom& treemapZoom;
    const TreeExpansion& treeExpansion;
};

}  // namespace zelvane
