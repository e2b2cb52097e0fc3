#include "TreemapLayout.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

#include "ExtensionStats.hpp"

namespace zelvane {

namespace {

// Free-space boxes get two ridges per axis of this size, k = 0.6552 / extent.
constexpr double kFreeSpaceRidgeNumerator = 0.6552;

void addRidge(double& linear, double& quadratic, double min, double max, double numerator) {
    const double extent = max - min;
    // The extent must truncate to a non-zero integer; NaN never does.
    if (!(std::fabs(extent) >= 1)) return;
    const double k = numerator / extent;
    linear += (min + max) * k;
    quadratic -= k;
}

template <class T>
void appendAll(std::vector<T>& to, std::vector<T>& from) {
    if (to.empty()) {
        to.swap(from);
        return;
    }
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t r;
    if (__builtin_add_overflow(a, b, &r)) return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return r;
}

// Buffers reused for every folder of one layout walk.
struct Scratch {
    std::vector<std::pair<int64_t, FileNode*>> measured;
    std::vector<FileNode*> kids;
    std::string ext;
};

uint8_t colorIndexFor(const FileNode& node, const ColorRank* rank, std::string& ext) {
    if (!rank || rank->empty()) return uint8_t(kGraySlot);
    auto it = rank->find(detectedExtensionInto(node, ext));
    // A rank outside what a palette slot can hold paints grey.
    if (it == rank->end() || it->second < 0 || it->second > 255) return uint8_t(kGraySlot);
    return uint8_t(it->second);
}

// Lays out one node (its leaf, label or group box) and, for a folder whose content gets room,
// places its children into hit.children. Returns true when there are children to descend into;
// `surface` is then the surface the children inherit.
bool layOutOne(TreemapHitNode& hit, bool isRoot, double ridgeHeight, CushionSurface& surface,
               const TreemapLayoutOptions& options, TreemapLayout& into, Scratch& scratch) {
    const TreemapRect r = hit.rect;
    FileNode* n = hit.node;
    if (r.width < 1 || r.height < 1) return false;
    if (!isRoot) {
        surface.addRidgeX(r.minX(), r.maxX(), ridgeHeight);
        surface.addRidgeY(r.minY(), r.maxY(), ridgeHeight);
    }
    if (!n->isDir() || n->childCount() == 0) {
        into.leaves.push_back({n, r, surface, colorIndexFor(*n, options.colorRank, scratch.ext)});
        into.nodeRects.insert_or_assign(n, r);
        return false;
    }

    TreemapRect content = r;
    if (options.showLabels) {
        if (!n->isSyntheticGroup() && r.height > 14 && r.width >= 80) {
            into.folderLabels.push_back({n, TreemapRect{r.minX(), r.minY(), r.width, 12}, r});
            into.nodeRects.insert_or_assign(n, r);
            content = {r.minX() + 2, r.minY() + 13, std::max(0.0, r.width - 4), std::max(0.0, r.height - 14)};
        } else if (n->isSyntheticGroup()) {
            into.groupBoxes.push_back({n, r, r});
        }
    }
    if (content.width < 1 || content.height < 1) return false;

    FileNode::Grouped grouped = n->groupedChildren(options.fileGroupMinSize);
    if (grouped.group) into.retainedNodes.push_back(std::move(grouped.group));
    scratch.measured.clear();
    for (FileNode* kid : grouped.nodes) {
        const int64_t m = options.metric(*kid);
        if (m >= 1) scratch.measured.emplace_back(m, kid);
    }
    if (scratch.measured.empty()) return false;
    std::stable_sort(scratch.measured.begin(), scratch.measured.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    scratch.kids.clear();
    for (const auto& [m, kid] : scratch.measured) scratch.kids.push_back(kid);

    std::vector<SquarifiedItem> placed = squarify(scratch.kids, options.metric, content, kMaxChildrenPlaced);
    hit.children.reserve(placed.size());
    for (const SquarifiedItem& p : placed) hit.children.emplace_back(p.item, p.rect);
    return true;
}

}  // namespace

void CushionSurface::addRidgeX(double minX, double maxX, double height) {
    addRidge(x1, x2, minX, maxX, height * 4);
}

void CushionSurface::addRidgeY(double minY, double maxY, double height) {
    addRidge(y1, y2, minY, maxY, height * 4);
}

TreemapHitNode& TreemapHitNode::operator=(TreemapHitNode&& other) noexcept {
    if (this != &other) {
        TreemapHitNode old(std::move(*this));  // torn down iteratively when it goes
        node = other.node;
        rect = other.rect;
        children = std::move(other.children);
    }
    return *this;
}

TreemapHitNode::~TreemapHitNode() {
    if (children.empty()) return;
    std::vector<TreemapHitNode> pending;
    pending.swap(children);
    while (!pending.empty()) {
        std::vector<TreemapHitNode> grandchildren;
        grandchildren.swap(pending.back().children);
        pending.pop_back();
        for (TreemapHitNode& g : grandchildren)
            if (!g.children.empty()) pending.push_back(std::move(g));
    }
}

TreemapHitNode layoutTreemapNode(FileNode* node, const TreemapRect& in, bool isRoot, double ridgeHeight,
                                 const CushionSurface& surface, const TreemapLayoutOptions& options,
                                 TreemapLayout& into) {
    TreemapHitNode top(node, in);
    if (!node) return top;

    // Depth-first with an explicit stack. A frame's children were all created before any of
    // them is visited and the vector never grows afterwards, so the frame's pointers stay valid.
    struct Frame {
        TreemapHitNode* parent;
        size_t next;
        CushionSurface surface;
        double childRidge;
    };
    std::vector<Frame> stack;
    Scratch scratch;

    CushionSurface s = surface;
    if (layOutOne(top, isRoot, ridgeHeight, s, options, into, scratch))
        stack.push_back({&top, 0, s, ridgeHeight * kRidgeShrinkPerLevel});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.parent->children.size()) {
            stack.pop_back();
            continue;
        }
        TreemapHitNode& child = f.parent->children[f.next++];
        CushionSurface childSurface = f.surface;
        const double ridge = f.childRidge;
        if (layOutOne(child, false, ridge, childSurface, options, into, scratch))
            stack.push_back({&child, 0, childSurface, ridge * kRidgeShrinkPerLevel});
    }
    return top;
}

TreemapLayout layoutMultiRootTreemap(std::span<FileNode* const> roots, const TreemapRect& in,
                                     const TreemapLayoutOptions& options, bool showFreeSpace,
                                     std::span<const VolumeCapacity> capacities) {
    TreemapLayout result;
    if (roots.empty()) return result;

    struct ColumnBasis {
        int64_t denominatorContribution = 0;
        std::optional<int64_t> total;
        std::optional<int64_t> available;
    };
    std::vector<ColumnBasis> bases(roots.size());
    int64_t sum = 0;
    for (size_t i = 0; i < roots.size(); ++i) {
        ColumnBasis& b = bases[i];
        if (i < capacities.size() && showFreeSpace && capacities[i].total && *capacities[i].total > 0 &&
            capacities[i].available) {
            b = {*capacities[i].total, capacities[i].total, capacities[i].available};
        } else {
            b.denominatorContribution = roots[i] ? options.metric(*roots[i]) : 0;
        }
        sum = saturatingAdd(sum, b.denominatorContribution);
    }
    if (sum <= 0) return result;

    double x = in.minX();
    const double width = in.width;
    for (size_t i = 0; i < roots.size(); ++i) {
        FileNode* root = roots[i];
        const ColumnBasis& b = bases[i];
        const double colW = std::floor(width * (double(b.denominatorContribution) / double(sum)));
        if (!root || !(colW >= 1)) continue;

        TreemapLayout partial;
        TreemapRect rootRect{x, in.minY(), colW, in.height};
        if (b.total && *b.total > 0 && b.available && root->parent() == nullptr) {
            const int64_t total = *b.total;
            // A volume can report more free space than its size, or less than none; either
            // would push the root's rectangle out of its column.
            const int64_t available = std::clamp<int64_t>(*b.available, 0, total);
            const double usedW = std::floor((double(total - available) / double(total)) * colW);
            rootRect.width = usedW;
            const double freeW = colW - usedW;
            if (freeW >= 1) {
                TreemapFreeSpaceBox box;
                box.rect = {x + usedW, in.minY(), freeW, in.height};
                for (int pass = 0; pass < 2; ++pass) {
                    addRidge(box.surface.x1, box.surface.x2, box.rect.minX(), box.rect.maxX(), kFreeSpaceRidgeNumerator);
                    addRidge(box.surface.y1, box.surface.y2, box.rect.minY(), box.rect.maxY(), kFreeSpaceRidgeNumerator);
                }
                box.freeBytes = available;
                partial.freeSpaceBoxes.push_back(box);
            }
        }

        TreemapHitNode hit = layoutTreemapNode(root, rootRect, true, kRootRidgeHeight, CushionSurface{}, options, partial);
        appendAll(result.leaves, partial.leaves);
        appendAll(result.folderLabels, partial.folderLabels);
        appendAll(result.groupBoxes, partial.groupBoxes);
        appendAll(result.freeSpaceBoxes, partial.freeSpaceBoxes);
        appendAll(result.retainedNodes, partial.retainedNodes);
        result.hitRoots.push_back(std::move(hit));
        if (result.nodeRects.empty())
            result.nodeRects.swap(partial.nodeRects);
        else
            for (const auto& [n, r] : partial.nodeRects) result.nodeRects.try_emplace(n, r);
        x += colW;
    }
    return result;
}

TreemapLayout layoutMultiRootTreemap(std::span<const RootRef> roots, const TreemapRect& in,
                                     const TreemapLayoutOptions& options, bool showFreeSpace,
                                     std::span<const VolumeCapacity> capacities) {
    std::vector<FileNode*> raw;
    raw.reserve(roots.size());
    for (const RootRef& r : roots) raw.push_back(r.get());
    TreemapLayout layout = layoutMultiRootTreemap(std::span<FileNode* const>(raw), in, options, showFreeSpace, capacities);
    layout.retainedNodes.insert(layout.retainedNodes.end(), roots.begin(), roots.end());
    return layout;
}

}  // namespace zelvane
