#include "ScanEngine/Analysis/Treemap.hpp"

#include <algorithm>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

int64_t effectiveSizeMetric(const FileNode& node) { return node.effectiveSize(); }
int64_t effectiveAllocSizeMetric(const FileNode& node) { return node.effectiveAllocSize(); }

namespace {

// Lengths below this along the short side are too small to judge a strip by.
constexpr double kNegligibleLength = 0.00001;
// Every strip takes at least this much of the long side, so a run of hair-thin strips still
// moves on; once less than this is left, the remaining items get no room.
constexpr double kMinimumCut = 0.25;

// The worst aspect ratio of the candidate strip sizes[first, last] (at least 1).
double worstRatio(std::span<const double> sizes, size_t first, size_t last, double sum,
                  double shortSide, double longSide, double total) {
    double scale = sum == 0 ? 0 : shortSide / sum;
    double thickness = longSide * sum / total;
    double worst = 1;
    if (thickness <= kNegligibleLength) return worst;
    for (size_t j = first; j <= last; ++j) {
        double len = scale * sizes[j];
        double ratio = len < kNegligibleLength ? len / thickness
                                               : std::max(len, thickness) / std::min(len, thickness);
        worst = std::max(worst, ratio);
    }
    return worst;
}

// The same value from the row's largest and smallest sizes alone: an item's ratio falls as its
// length grows towards the thickness and rises beyond it, and lengths grow with sizes, so the
// worst item is at one end. Falls back to the full walk when the smallest item is negligible.
double worstRatioOfRow(std::span<const double> sizes, size_t first, size_t last, double sum, double largest,
                       double smallest, double shortSide, double longSide, double total) {
    double scale = sum == 0 ? 0 : shortSide / sum;
    double thickness = longSide * sum / total;
    if (thickness <= kNegligibleLength) return 1;
    double small = scale * smallest;
    if (small < kNegligibleLength) return worstRatio(sizes, first, last, sum, shortSide, longSide, total);
    double large = scale * largest;
    double worst = std::max(large, thickness) / std::min(large, thickness);
    worst = std::max(worst, std::max(small, thickness) / std::min(small, thickness));
    return std::max(1.0, worst);
}

}  // namespace

void layoutStrip(std::span<const double> sizes, size_t start, size_t end, double total,
                 TreemapRect rect, std::span<TreemapRect> rects) {
    while (start < end && total > 0) {
        const bool wide = rect.height <= rect.width;
        const double shortSide = wide ? rect.height : rect.width;
        const double longSide = wide ? rect.width : rect.height;

        double sum = sizes[start];
        double largest = sizes[start], smallest = sizes[start];
        double worst = worstRatio(sizes, start, start, sum, shortSide, longSide, total);
        size_t k = start + 1;
        for (; k < end; ++k) {
            const double candidateSum = sum + sizes[k];
            const double candidateLargest = std::max(largest, sizes[k]);
            const double candidateSmallest = std::min(smallest, sizes[k]);
            const double candidate = worstRatioOfRow(sizes, start, k, candidateSum, candidateLargest,
                                                     candidateSmallest, shortSide, longSide, total);
            if (candidate > worst) break;
            worst = candidate;
            sum = candidateSum;
            largest = candidateLargest;
            smallest = candidateSmallest;
        }

        const double scale = sum == 0 ? 0 : shortSide / sum;
        const double thickness = longSide * sum / total;
        double offset = wide ? rect.minY() : rect.minX();
        for (size_t j = start; j < k; ++j) {
            double len = scale * sizes[j];
            rects[j] = wide ? TreemapRect{rect.minX(), offset, thickness, len}
                            : TreemapRect{offset, rect.minY(), len, thickness};
            offset += len;
        }
        if (k == end) return;

        const double cut = std::max(thickness, kMinimumCut);
        if (!(longSide - cut > kMinimumCut)) return;
        if (wide) {
            rect.x += cut;
            rect.width -= cut;
        } else {
            rect.y += cut;
            rect.height -= cut;
        }
        total -= sum;
        start = k;
    }
}

std::vector<SquarifiedItem> squarify(std::span<FileNode* const> nodes, NodeMetric metric,
                                     const TreemapRect& rect, size_t maxItems) {
    const size_t count = std::min(maxItems, nodes.size());
    std::vector<SquarifiedItem> out(count);
    if (count == 0) return out;

    std::vector<double> sizes(count);
    std::vector<TreemapRect> rects(count);
    double total = 0;
    for (size_t i = 0; i < count; ++i) {
        int64_t m = metric(*nodes[i]);
        sizes[i] = m < 0 ? 0.0 : double(m);
        total += sizes[i];
    }
    if (total > 0) layoutStrip(sizes, 0, count, total, rect, rects);
    for (size_t i = 0; i < count; ++i) out[i] = {nodes[i], rects[i]};
    return out;
}

}  // namespace zelvane
