#include "ZelvaneMac/Window/Exports/ClipboardSummary.hpp"

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"

namespace zelvane {

namespace {

void sortBySizeDescending(std::vector<FileNode*>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const FileNode* a, const FileNode* b) { return a->effectiveSize() > b->effectiveSize(); });
}

// The lines listed at and below each folder of `nodes`: its open rows, as far as they are open. A
// group made here is not the outline's own group row: that row is known by its folder.
struct ListedRows {
    std::unordered_set<const FileNode*> openRows;
    std::unordered_set<const FileNode*> openGroupsOf;
};
ListedRows noteOpenRows(const std::vector<FileNode*>& nodes, const OpenTreeRows& open) {
    ListedRows listed;
    if (open.folders.empty()) return listed;
    std::vector<const FileNode*> folders;
    for (const FileNode* n : nodes)
        if (n->isDir()) folders.push_back(n);
    while (!folders.empty()) {
        const FileNode* folder = folders.back();
        folders.pop_back();
        if (!open.folders.count(folder) || !listed.openRows.insert(folder).second) continue;
        for (const FileNode* child : folder->children())
            if (child->isDir()) folders.push_back(child);
        if (open.groupsOf.count(folder)) listed.openGroupsOf.insert(folder);
    }
    return listed;
}

}  // namespace

ClipboardSummaryInput clipboardSummaryInput(const ExportContext& context) {
    ClipboardSummaryInput input;
    input.fileView = context.selections.onFileView();
    input.selection = context.selections.shown();
    input.roots = context.scans.effectiveRoots();
    input.groupMin = int(std::clamp<int64_t>(context.preferences.value(PreferenceKeys::tweakFileGroupMinSize), 0, 1'000'000));
    if (!input.fileView) input.open = context.treeExpansion.openRows();
    input.trees = context.scans.selectionHeld();
    return input;
}

size_t clipboardSummaryRowBound(const ClipboardSummaryInput& input) {
    size_t rows = size_t(input.selection.size()) + input.roots.size();
    if (input.fileView) {
        for (const RootRef& r : input.roots)
            if (r && r->hasFlatFileList()) rows += r->flatFileList().size();
        return rows;
    }
    // Each open row lists its children and a group row at most.
    for (const FileNode* folder : input.open.folders) rows += folder->children().size() + 1;
    return rows;
}

QString clipboardSummaryText(ClipboardSummaryInput input) {
    std::vector<FileNode*> nodes = unorderedNodes(input.selection);
    input.selection = {};
    if (!nodes.empty()) orderByPath(nodes);
    else if (input.fileView) nodes = joinedFlatFileLists(input.roots);
    else nodes = rootNodes(input.roots);
    const ListedRows listed = input.fileView ? ListedRows{} : noteOpenRows(nodes, input.open);
    // Rows drawn deleted are gone from the disk and from the sizes listed above them.
    nodes = withoutDeleted(std::move(nodes));
    if (nodes.empty()) return {};
    sortBySizeDescending(nodes);

    const bool fileView = input.fileView;
    QString text;
    const auto emitLine = [&](const FileNode& node, int depth, bool flat) {
        const QString size = QString::fromStdString(formatSizeForClipboardExport(node.effectiveSize()));
        if (size.size() < 20) text += QString(20 - size.size(), u' ');
        text += size;
        text += QString(2 * (depth + 1), u' ');
        if (node.isSyntheticGroup() || (!flat && !node.isDir())) text += QString::fromStdString(node.name());
        else text += QString::fromStdString(node.fullPath());
        text += u'\n';
    };
    // Walked with an explicit stack: an expanded chain can be deeper than the thread's stack.
    struct Item {
        const FileNode* node;
        int depth;
        bool flat;
        std::shared_ptr<FileNode> keepGroup;  // a synthetic group lives as long as its entry
    };
    for (FileNode* start : nodes) {
        std::vector<Item> stack{{start, fileView ? 0 : start->depth(), fileView, nullptr}};
        while (!stack.empty()) {
            Item item = std::move(stack.back());
            stack.pop_back();
            emitLine(*item.node, item.depth, item.flat);
            if (item.flat || !item.node->isDir()) continue;
            const bool open = item.node->isSyntheticGroup() ? listed.openGroupsOf.count(item.node->parent()) != 0
                                                            : listed.openRows.count(item.node) != 0;
            if (!open) continue;
            FileNode::Grouped grouped = item.node->groupedChildren(input.groupMin);
            std::vector<FileNode*> children = withoutDeleted(grouped.nodes);
            sortBySizeDescending(children);
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                stack.push_back({*it, item.depth + 1, false, (*it)->isSyntheticGroup() ? grouped.group : nullptr});
            }
        }
    }
    return text;
}

QString clipboardSummaryText(const ExportContext& context) { return clipboardSummaryText(clipboardSummaryInput(context)); }

}  // namespace zelvane
