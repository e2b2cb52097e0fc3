#pragma once

#include <QPointF>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"

namespace zelvane {

// Half-open containment: the left and top edges belong to a rectangle, the right and bottom ones
// to its neighbour, so a point on a shared edge hits exactly one box.
inline bool treemapRectContains(const TreemapRect& r, QPointF p) {
    return p.x() >= r.minX() && p.x() < r.maxX() && p.y() >= r.minY() && p.y() < r.maxY();
}

// Finds the child under a point without looking at every child of a large folder. The layout
// places children in strips, so consecutive children lie together: the children of each large
// node are cut into blocks of consecutive ones, and a block whose bounds miss the point is skipped
// whole. The answer is the same as a walk over every child in stored order. Built once per layout,
// off the GUI thread; the layout must outlive it.
class TreemapHitIndex final {
public:
    static constexpr size_t kMinChildren = 96;
    static constexpr size_t kBlock = 32;

    TreemapHitIndex() = default;
    explicit TreemapHitIndex(const TreemapLayout& layout);

    // The first child of `node`, in stored order, whose rectangle contains `p`; null when none does.
    const TreemapHitNode* childAt(const TreemapHitNode& node, QPointF p) const;

private:
    struct Block {
        double minX, minY, maxX, maxY;  // the union of the block's non-empty rectangles
        uint32_t first;
        uint32_t count;
    };
    std::unordered_map<const TreemapHitNode*, std::vector<Block>> blocks_;  // keyed by children.data()
};

}  // namespace zelvane
