#include "ZelvaneMac/Window/Exports/ClipboardSummary.hpp"

#include <algorithm>
#include <memory>
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

}  // namespace

QString clipboardSummaryText(const ExportContext& context) {
    const bool fileView = context.selections.onFileView();
    std::vector<FileNode*> nodes = currentSelectionNodes(context.selections);
    if (nodes.empty()) {
        const std::vector<RootRef>& roots = context.scans.effectiveRoots();
        nodes = fileView ? joinedFlatFileLists(roots) : rootNodes(roots);
    }
    // Rows drawn deleted are gone from the disk and from the sizes listed above them.
    nodes = withoutDeleted(std::move(nodes));
    if (nodes.empty()) return {};
    sortBySizeDescending(nodes);

    const int groupMin = int(std::clamp<int64_t>(context.preferences.value(PreferenceKeys::tweakFileGroupMinSize), 0, 1'000'000));
    const TreeExpansion& expansion = context.treeExpansion;
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
            // A group made here is not the outline's own group row: that row is asked for by its folder.
            const bool open = item.node->isSyntheticGroup() ? expansion.isGroupExpanded(item.node->parent())
                                                            : expansion.isNodeExpanded(item.node);
            if (item.flat || !item.node->isDir() || !open) continue;
            FileNode::Grouped grouped = item.node->groupedChildren(groupMin);
            std::vector<FileNode*> children = withoutDeleted(grouped.nodes);
            sortBySizeDescending(children);
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                stack.push_back({*it, item.depth + 1, false, (*it)->isSyntheticGroup() ? grouped.group : nullptr});
            }
        }
    }
    return text;
}

}  // namespace zelvane
