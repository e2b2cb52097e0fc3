#include "ZelvaneMac/Window/Treemap/TreemapCanvasSelection.hpp"

#include <algorithm>
#include <utility>

namespace zelvane {

void TreemapCanvasSelection::adopt(const TreemapSelection& selection) {
    selection_ = selection;
    ++revision_;
    outlinesValid_ = false;
    outlines_.clear();
    std::erase_if(groupStores_, [&](const auto& kept) { return !selection_.contains(kept.first); });
}

bool TreemapCanvasSelection::change(TreemapSelection next, const TreemapLayout& layout) {
    if (next == selection_) return false;
    for (FileNode* node : next) {
        if (!node || !node->isSyntheticGroup()) continue;
        const bool kept = std::any_of(groupStores_.begin(), groupStores_.end(),
                                      [&](const auto& k) { return k.first == node; });
        const bool ours = std::any_of(layout.groupBoxes.begin(), layout.groupBoxes.end(),
                                      [&](const TreemapFolderLabel& g) { return g.node == node; });
        if (kept || !ours) continue;
        groupStores_.emplace_back(node, std::make_shared<std::vector<std::shared_ptr<const void>>>(layout.retained));
    }
    adopt(next);
    return true;
}

bool TreemapCanvasSelection::click(FileNode* node, bool toggle, const TreemapLayout& layout) {
    TreemapSelection next;
    if (toggle) {
        next = selection_;
        if (!next.remove(node)) next.insert(node);
    } else {
        next.insert(node);
    }
    return change(std::move(next), layout);
}

bool TreemapCanvasSelection::rightClick(FileNode* node, bool add, const TreemapLayout& layout) {
    TreemapSelection next = selection_;
    if (add) next.insert(node);
    else if (!next.contains(node)) next = TreemapSelection{node};
    return change(std::move(next), layout);
}

bool TreemapCanvasSelection::isSelected(const FileNode* node) const {
    if (!node) return false;
    if (selection_.contains(const_cast<FileNode*>(node))) return true;
    if (!node->isSyntheticGroup()) return false;
    for (FileNode* s : selection_)
        if (s && s->isSyntheticGroup() && s->parent() == node->parent()) return true;
    return false;
}

std::vector<std::shared_ptr<const void>> TreemapCanvasSelection::groupStores() const {
    std::vector<std::shared_ptr<const void>> out;
    for (const auto& kept : groupStores_) out.push_back(kept.second);
    return out;
}

bool TreemapCanvasSelection::outlinedIn(const std::shared_ptr<const TreemapLayout>& layout) const {
    // A live weak handle names its layout alone: the layout cannot be freed and its address
    // reused while the handle is live.
    const bool sameLayout = !outlinedLayout_.expired() && !outlinedLayout_.owner_before(layout) &&
                            !layout.owner_before(outlinedLayout_);
    return outlinesValid_ && sameLayout;
}

bool TreemapCanvasSelection::outlinesWanted(const std::shared_ptr<const TreemapLayout>& layout) const {
    return layout && selection_.size() > kOutlinedInPlace && !outlinedIn(layout);
}

std::span<const TreemapRect> TreemapCanvasSelection::outlines(const std::shared_ptr<const TreemapLayout>& layout) const {
    if (outlinedIn(layout)) return outlines_;
    if (outlinesWanted(layout)) return {};
    outlines_ = layout ? outlinesIn(selection_, *layout) : std::vector<TreemapRect>{};
    outlinedLayout_ = layout;
    outlinesValid_ = true;
    return outlines_;
}

void TreemapCanvasSelection::setOutlines(const std::shared_ptr<const TreemapLayout>& layout, uint64_t revision,
                                         std::vector<TreemapRect> boxes) {
    if (revision != revision_ || !layout) return;
    outlines_ = std::move(boxes);
    outlinedLayout_ = layout;
    outlinesValid_ = true;
}

std::vector<TreemapRect> TreemapCanvasSelection::outlinesIn(const TreemapSelection& selection, const TreemapLayout& layout) {
    std::vector<TreemapRect> out;
    for (FileNode* node : selection)
        if (const TreemapRect* r = layout.nodeRects.find(node)) out.push_back(*r);
    if (layout.groupBoxes.empty()) return out;
    std::vector<const FileNode*> groupParents;
    for (FileNode* s : selection)
        if (s && s->isSyntheticGroup()) groupParents.push_back(s->parent());
    for (const TreemapFolderLabel& g : layout.groupBoxes) {
        const bool selected = selection.contains(g.node) ||
                              std::find(groupParents.begin(), groupParents.end(), g.node->parent()) != groupParents.end();
        if (selected) out.push_back(g.boxRect);
    }
    return out;
}

}  // namespace zelvane
