#include "ZelvaneMac/Window/Treemap/TreemapCanvasPicture.hpp"

#include <algorithm>

namespace zelvane {

bool sameRootNodes(const std::vector<RootRef>& a, const std::vector<RootRef>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].get() != b[i].get()) return false;
    return true;
}

bool TreemapCanvasPicture::madeFor(const std::vector<RootRef>& otherRoots, const FileNode* zoomed) const {
    return zoomed == zoomedNode && sameRootNodes(otherRoots, roots);
}

std::optional<TreemapHit> TreemapCanvasPicture::nodeAt(QPointF point) const {
    const TreemapHitNode* current = nullptr;
    for (const TreemapHitNode& root : layout->hitRoots) {
        if (treemapRectContains(root.rect, point)) {
            current = &root;
            break;
        }
    }
    if (!current) return std::nullopt;
    while (const TreemapHitNode* next = hitIndex->childAt(*current, point)) current = next;
    return TreemapHit{current->node, current->rect};
}

bool TreemapCanvasPicture::isInFreeSpaceBox(QPointF point) const {
    return std::any_of(layout->freeSpaceBoxes.begin(), layout->freeSpaceBoxes.end(),
                       [&](const TreemapFreeSpaceBox& box) { return treemapRectContains(box.rect, point); });
}

std::vector<TreemapRect> TreemapCanvasPicture::deletedBoxes() const {
    std::vector<TreemapRect> out;
    for (const TreemapLeaf& leaf : layout->leaves)
        if (leaf.node->isDeleted() && !leaf.dust) out.push_back(leaf.rect);
    for (const TreemapFolderLabel& label : layout->folderLabels)
        if (label.node->isDeleted()) out.push_back(label.boxRect);
    for (const TreemapFolderLabel& g : layout->groupBoxes) {
        const auto kids = g.node->children();
        if (std::all_of(kids.begin(), kids.end(), [](const FileNode* n) { return n->isDeleted(); }))
            out.push_back(g.boxRect);
    }
    return out;
}

}  // namespace zelvane
