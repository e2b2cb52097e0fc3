#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zelvane {

class FileNode;

// A rectangle in treemap points. Layout works with y growing downwards, but nothing here
// depends on the direction.
struct TreemapRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const noexcept { return x; }
    double minY() const noexcept { return y; }
    double maxX() const noexcept { return x + width; }
    double maxY() const noexcept { return y + height; }
    bool operator==(const TreemapRect&) const = default;
};

// The size measure a treemap divides space by. A plain function pointer: it is called for every
// laid-out node, and the measures in use (logical or allocated size) need no state.
using NodeMetric = int64_t (*)(const FileNode&);

int64_t effectiveSizeMetric(const FileNode& node);
int64_t effectiveAllocSizeMetric(const FileNode& node);

struct SquarifiedItem {
    FileNode* item = nullptr;
    TreemapRect rect;
};

// Divides `rect` among the first min(maxItems, nodes.size()) nodes in proportion to `metric`
// (negative measures count as 0), gathering them into strips whose worst aspect ratio may not
// grow. Nodes are placed in the given order; callers sort them largest first. Nodes left over
// when the remaining space is thinner than the minimum cut keep the empty rectangle at the origin.
std::vector<SquarifiedItem> squarify(std::span<FileNode* const> nodes, NodeMetric metric,
                                     const TreemapRect& rect, size_t maxItems);

// The strip loop of `squarify` over sizes[start, end): fills rects[start, end) in place.
// `rects` must hold at least `end` entries and start out empty.
void layoutStrip(std::span<const double> sizes, size_t start, size_t end, double total,
                 TreemapRect rect, std::span<TreemapRect> rects);

}  // namespace zelvane
