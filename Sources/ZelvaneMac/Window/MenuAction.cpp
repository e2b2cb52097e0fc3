#include "ZelvaneMac/Window/MenuAction.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowSelections.hpp"

namespace zelvane {

namespace {

FileNode* firstSelected(const WindowSelections& selections) {
    const std::vector<FileNode*> nodes = currentSelectionNodes(selections);
    return nodes.empty() ? nullptr : nodes.front();
}

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

void selectParent(const WindowSelections& selections) {
    // The Tree View's selection: Select Parent walks the tree, whichever tab is shown.
    std::vector<FileNode*> nodes;
    for (FileNode* n : selections.tree.nodes()) nodes.push_back(n);
    if (selections.onFileView()) nodes = currentSelectionNodes(selections);
    if (nodes.empty()) return;
    FileNode* node = nodes.front();
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

void zoomTreemap(const WindowSelections& selections, TreemapZoom& zoom) {
    FileNode* node = firstSelected(selections);
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
