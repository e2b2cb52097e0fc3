#pragma once

// What a treemap layout keeps, part by part, for the benchmarks' memory notes.

#include <cstdio>

#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"

namespace zelvane::bench {

// One line on `out`. The layout's last `rootHandles` kept handles are its roots; the others are
// the stores of its group nodes (the layout keeps nothing else).
inline void printTreemapLayoutParts(std::FILE* out, const char* prefix, const TreemapLayout& layout,
                                    size_t rootHandles) {
    constexpr double MiB = 1048576.0;
    size_t storeBytes = 0;
    for (size_t i = 0; i + rootHandles < layout.retained.size(); ++i)
        storeBytes += static_cast<const NodeStore*>(layout.retained[i].get())->bytesReserved();
    size_t groupedFiles = 0, labelUnits = 0;
    for (const TreemapFolderLabel& g : layout.groupBoxes) {
        groupedFiles += g.node->childCount();
        labelUnits += g.node->name().size();
    }
    size_t rectSlots = 64;
    while (rectSlots * 3 < layout.nodeRects.size() * 4) rectSlots *= 2;
    std::fprintf(out,
                 "%sleaves %zu: %.1f MiB; hit nodes %zu in room for %zu: %.1f MiB; rectangles %zu: %.1f MiB; "
                 "labels and group boxes %zu: %.1f MiB; group stores %.1f MiB (%zu groups drawn, %zu files in "
                 "them, %zu units of labels); dust samples %zu\n",
                 prefix, layout.leaves.size(), double(layout.leaves.capacity() * sizeof(TreemapLeaf)) / MiB,
                 layout.hitNodes.size(), layout.hitNodes.capacity(),
                 double(layout.hitNodes.capacity() * sizeof(TreemapHitNode)) / MiB, layout.nodeRects.size(),
                 double(rectSlots * sizeof(uint32_t)) / MiB,
                 layout.folderLabels.size() + layout.groupBoxes.size(),
                 double((layout.folderLabels.capacity() + layout.groupBoxes.capacity()) * sizeof(TreemapFolderLabel)) /
                     MiB,
                 double(storeBytes) / MiB, layout.groupBoxes.size(), groupedFiles, labelUnits,
                 layout.dustSamples.size());
}

}  // namespace zelvane::bench
