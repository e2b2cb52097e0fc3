#include "ZelvaneMac/Window/Treemap/TreemapHitIndex.hpp"

#include <algorithm>
#include <limits>

namespace zelvane {

TreemapHitIndex::TreemapHitIndex(const TreemapLayout& layout) {
    std::vector<const TreemapHitNode*> stack;
    for (const TreemapHitNode& root : layout.hitRoots) stack.push_back(&root);
    while (!stack.empty()) {
        const TreemapHitNode* node = stack.back();
        stack.pop_back();
        const auto kids = node->children;
        for (const TreemapHitNode& k : kids)
            if (!k.children.empty()) stack.push_back(&k);
        if (kids.size() < kMinChildren) continue;
        std::vector<Block>& blocks = blocks_[kids.data()];
        blocks.reserve((kids.size() + kBlock - 1) / kBlock);
        for (size_t first = 0; first < kids.size(); first += kBlock) {
            constexpr double inf = std::numeric_limits<double>::infinity();
            Block b{inf, inf, -inf, -inf, uint32_t(first), uint32_t(std::min(kBlock, kids.size() - first))};
            for (size_t i = first; i < first + b.count; ++i) {
                const TreemapRect& r = kids[i].rect;
                if (!(r.width > 0) || !(r.height > 0)) continue;  // can contain no point
                b.minX = std::min(b.minX, r.minX());
                b.minY = std::min(b.minY, r.minY());
                b.maxX = std::max(b.maxX, r.maxX());
                b.maxY = std::max(b.maxY, r.maxY());
            }
            blocks.push_back(b);
        }
    }
}

const TreemapHitNode* TreemapHitIndex::childAt(const TreemapHitNode& node, QPointF p) const {
    const auto kids = node.children;
    if (kids.size() >= kMinChildren) {
        if (auto it = blocks_.find(kids.data()); it != blocks_.end()) {
            for (const Block& b : it->second) {
                if (p.x() < b.minX || p.x() >= b.maxX || p.y() < b.minY || p.y() >= b.maxY) continue;
                for (uint32_t i = b.first; i < b.first + b.count; ++i)
                    if (treemapRectContains(kids[i].rect, p)) return &kids[i];
            }
            return nullptr;
        }
    }
    for (const TreemapHitNode& k : kids)
        if (treemapRectContains(k.rect, p)) return &k;
    return nullptr;
}

}  // namespace zelvane
