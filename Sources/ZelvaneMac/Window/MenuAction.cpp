#include "ZelvaneMac/Window/MenuAction.hpp"

#include <string>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Support/NodePaths.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowSelections.hpp"

namespace zelvane {

namespace {

void selectOnTreeView(const WindowSelections& selections, FileNode* node) {
    if (selections.tree.nodes() != NodeSet{node}) selections.tree.keepReselectChildOnNextChange();
    selections.tabs.setSelectedTab(ContentTab::treeView);
    selections.tree.set({node});
}

}  // namespace

void resetTreeExpansion(NodeSelection& treeSelection, TreemapZoom& zoom, ViewCommands& commands) {
    treeSelection.set({});
    zoom.setRoot(nullptr);
    commands.resetTreeExpansion();
}

FileNode* firstByPath(const NodeSet& nodes, const CancelFlag* cancel) {
    // Equal paths keep the first met, as a stable order would: the nodes are listed in the set's
    // order, and their paths made and compared on every processor, in the order of the nodes'
    // addresses (the set's order would miss the caches at every node).
    const std::vector<FileNode*> listed = listedWithoutGroupRows(nodes, cancel);
    const size_t first = indexOfFirstPath(listed, cancel);
    return first < listed.size() ? listed[first] : nullptr;
}

FileNode* firstSelected(const WindowSelections& selections) { return firstByPath(selections.shown()); }

void selectParent(const WindowSelections& selections) {
    // The Tree View's selection: Select Parent walks the tree, whichever tab is shown.
    const NodeSet& tree = selections.tree.nodes();
    selectParentOf(selections, selections.onFileView() ? firstSelected(selections) : tree.isEmpty() ? nullptr : *tree.begin());
}

void selectParentOf(const WindowSelections& selections, FileNode* node) {
    if (!node) return;
    FileNode* parent = node->parent();
    if (!parent) return;
    if (parent->isSyntheticGroup() && parent->parent()) parent = parent->parent();
    selections.tree.setReselectChild(node);
    selectOnTreeView(selections, parent);
}

void reselectChild(const WindowSelections& selections) {
    FileNode* child = selections.tree.reselectChild();
    if (!child) return;
    selections.tree.setReselectChild(nullptr);
    selectOnTreeView(selections, child);
}

void requestRename(const WindowSelections& selections, const Preferences& preferences, ViewCommands& commands) {
    if (!preferences.value(PreferenceKeys::tweakEnableRename)) return;
    const NodeSet& selection = selections.shown();
    if (selection.size() != 1) return;
    FileNode* node = *selection.begin();
    if (!node || node->isSyntheticGroup()) return;
    switch (selections.tabs.selectedTab()) {
    case ContentTab::treeView:
        commands.setIsRenamingInline(true);
        commands.renameInTreeView(node);
        break;
    case ContentTab::fileView:
        commands.setIsRenamingInline(true);
        commands.renameInFileView(node);
        break;
    case ContentTab::about: return;
    }
}

void zoomTreemap(const WindowSelections& selections, TreemapZoom& zoom) { zoomTreemapTo(zoom, firstSelected(selections)); }

void zoomTreemapTo(TreemapZoom& zoom, FileNode* node) {
    if (!node) return;
    zoom.setRoot(node->isDir() ? node : node->parent());
}

void zoomOut(TreemapZoom& zoom, const std::vector<RootRef>& roots) {
    std::vector<FileNode*> shown;
    for (const RootRef& r : roots) shown.push_back(r.get());
    zoom.zoomOutWithin(shown);
}

void presentFullDiskAccessPrompt(Preferences& preferences, WindowPrompts& prompts, bool hasAccess) {
    preferences.set(PreferenceKeys::hasFullDiskAccessCached, hasAccess);
    if (!hasAccess) prompts.setShowFullDiskAccessAlert(true);
    else prompts.setShowFullDiskAccessAlreadyGrantedAlert(true);
}

}  // namespace zelvane
