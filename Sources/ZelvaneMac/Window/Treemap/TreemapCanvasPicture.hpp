#pragma once

#include <QImage>
#include <QPointF>
#include <QSizeF>

#include <memory>
#include <optional>
#include <vector>

#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapHitIndex.hpp"

namespace zelvane {

struct TreemapHit {
    FileNode* node = nullptr;
    TreemapRect rect;
};

// One finished picture of the canvas: the layout, its hit index and image, and the size, roots
// (by identity, in order) and zoomed folder it was made for. The roots' handles keep the trees
// the layout points into alive. Points are in the picture's own coordinates.
struct TreemapCanvasPicture {
    std::shared_ptr<const TreemapLayout> layout = std::make_shared<const TreemapLayout>();
    std::shared_ptr<const TreemapHitIndex> hitIndex = std::make_shared<const TreemapHitIndex>();
    QImage image;
    QSizeF size{0, 0};
    std::vector<RootRef> roots;
    FileNode* zoomedNode = nullptr;

    bool madeFor(const std::vector<RootRef>& otherRoots, const FileNode* zoomed) const;
    // Rectangles include their left and top edges, not their right and bottom ones.
    std::optional<TreemapHit> nodeAt(QPointF point) const;
    bool isInFreeSpaceBox(QPointF point) const;
    // The boxes of deleted entries: leaves that are not dust, folders, and groups all of whose
    // members are gone.
    std::vector<TreemapRect> deletedBoxes() const;
};

bool sameRootNodes(const std::vector<RootRef>& a, const std::vector<RootRef>& b);

}  // namespace zelvane
