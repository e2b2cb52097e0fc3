#include "ZelvaneMac/Window/MenuAction.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"

namespace zelvane {

namespace {

FileNode* firstSelected(const ContentViewState& state) {
    const std::vector<FileNode*> nodes = currentSelectionNodes(state);
    return nodes.empty() ? nullptr : nodes.front();
}

void selectOnTreeView(ContentViewState& state, FileNode* node) {
    if (state.treeSelection().nodes() != NodeSet{node}) state.setSuppressReselectChildClear(true);
    state.setSelectedTab(ContentTab::treeView);
    state.treeSelection().set({node});
}

}  // namespace

void resetTreeExpansion(ContentViewState& state) {
    state.treeSelection().set({});
    state.treemapZoom().setRoot(nullptr);
    state.commands().resetTreeExpansion();
}

void selectParent(ContentViewState& state) {
    // The Tree View's selection: Select Parent walks the tree, whichever tab is shown.
    std::vector<FileNode*> nodes;
    for (FileNode* n : state.treeSelection().nodes()) nodes.push_back(n);
    if (state.selectedTab() == ContentTab::fileView) nodes = currentSelectionNodes(state);
    if (nodes.empty()) return;
    FileNode* node = nodes.front();
    FileNode* parent = node->parent();
    if (!parent) return;
    if (parent->isSyntheticGroup() && parent->parent()) parent = parent->parent();
    state.setLastChildNodeForReselect(node);
    selectOnTreeView(state, parent);
}

void reselectChild(ContentViewState& state) {
    FileNode* child = state.lastChildNodeForReselect();
    if (!child) return;
    state.setLastChildNodeForReselect(nullptr);
    selectOnTreeView(state, child);
}

void requestRename(ContentViewState& state) {
    if (!state.preferences().value(PreferenceKeys::tweakEnableRename)) return;
    const NodeSet& selection =
        state.selectedTab() == ContentTab::fileView ? state.fileSelection().nodes() : state.treeSelection().nodes();
    if (selection.size() != 1) return;
    FileNode* node = *selection.begin();
    if (!node || node->isSyntheticGroup()) return;
    switch (state.selectedTab()) {
    case ContentTab::treeView:
        state.setIsRenamingInline(true);
        state.commands().renameInTreeView(node);
        break;
    case ContentTab::fileView:
        state.setIsRenamingInline(true);
        state.commands().renameInFileView(node);
        break;
    case ContentTab::about: return;
    }
}

void zoomTreemap(ContentViewState& state) {
    FileNode* node = firstSelected(state);
    if (!node) return;
    state.treemapZoom().setRoot(node->isDir() ? node : node->parent());
}

void zoomOut(ContentViewState& state, const std::vector<RootRef>& roots) {
    std::vector<FileNode*> shown;
    for (const RootRef& r : roots) shown.push_back(r.get());
    state.treemapZoom().zoomOutWithin(shown);
}

void presentFullDiskAccessPrompt(ContentViewState& state, bool hasAccess) {
    state.preferences().set(PreferenceKeys::hasFullDiskAccessCached, hasAccess);
    if (!hasAccess) state.prompts().setShowFullDiskAccessAlert(true);
    else state.prompts().setShowFullDiskAccessAlreadyGrantedAlert(true);
}

}  // namespace zelvane
