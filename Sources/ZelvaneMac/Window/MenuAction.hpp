#pragma once

#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

class NodeSelection;
class Preferences;
class TreemapZoom;
class ViewCommands;
class WindowPrompts;
struct WindowSelections;

// The commands of a window's menus. Each window owns its menu bar, so a command acts on the
// window whose menu (or shortcut) was used and on no other.
enum class ZelvaneMenuAction {
    scan,
    selectFolder,
    selectMultiple,
    resetTreeExpansion,
    expandAll,
    selectParent,
    reselectChild,
    rename,
    zoomTreemap,
    unzoomTreemap,
    showInFinder,
    newTerminal,
    copyPath,
    copy,
    moveToTrash,
    deleteImmediately,
    resetConfiguration,
    grantFullDiskAccess,
    resetPermissions,
    restartAsAdministrator,
    restartWithoutAdministrator,
    exportToCSV,
    exportFileTypesToCSV,
    checkForUpdatesNow,
    exportTreemapImage,
    copyFileAndSizeInfo,
    selectCSVFile,
    colors,
    tweaks,
    preparePortableMode,
};

// The widget-free commands of the dispatcher; each does nothing when its preconditions fail.

// Folds the tree to its roots, with nothing selected and the treemap showing every root.
void resetTreeExpansion(NodeSelection& treeSelection, TreemapZoom& zoom, ViewCommands& commands);
// The first of these nodes in path order (group rows left out), found on every processor without
// ordering them; none when there is none, or once `cancel` is set.
FileNode* firstByPath(const NodeSet& nodes, const CancelFlag* cancel = nullptr);
// The first selected node in path order: of the File View's selection while that tab is shown,
// else of the Tree View's.
FileNode* firstSelected(const WindowSelections& selections);
// Up to this many selected nodes, the first is looked for at once; the window looks for it in
// more on the thread pool.
constexpr size_t kFirstFoundInPlace = 100'000;

// Selects the first selected node's parent (never a file group) on the Tree View tab and
// remembers the node for Reselect Child.
void selectParent(const WindowSelections& selections);
// The same from that node (found in the File View's selection, or any node of the Tree View's).
void selectParentOf(const WindowSelections& selections, FileNode* node);
// Selects the node Select Parent came from, once.
void reselectChild(const WindowSelections& selections);
// Asks the visible tab to rename its one selected node in place (rename switched on, not a group).
void requestRename(const WindowSelections& selections, const Preferences& preferences, ViewCommands& commands);
// Zooms the treemap to the first selected folder (a file's folder).
void zoomTreemap(const WindowSelections& selections, TreemapZoom& zoom);
void zoomTreemapTo(TreemapZoom& zoom, FileNode* node);
// One level out from the zoomed node, back to all roots at a root.
void zoomOut(TreemapZoom& zoom, const std::vector<RootRef>& roots);
// Probes file-system access, stores it, and raises the prompt or the "already granted" alert.
void presentFullDiskAccessPrompt(Preferences& preferences, WindowPrompts& prompts, bool hasAccess);

}  // namespace zelvane
