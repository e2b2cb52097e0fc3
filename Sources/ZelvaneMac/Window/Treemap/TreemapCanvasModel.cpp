#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

TreemapCanvasModel::TreemapCanvasModel(QObject* parent) : QObject(parent) {
    inputs_.useAllocatedSize = true;
    inputs_.showLabels = true;
    connect(&jobs_, &TreemapPictureJobs::pictureArrived, this, &TreemapCanvasModel::pictureArrived);
    connect(&jobs_, &TreemapPictureJobs::busyChanged, this, &TreemapCanvasModel::busyChanged);
}

TreemapCanvasModel::~TreemapCanvasModel() = default;

void TreemapCanvasModel::update(const TreemapCanvasInputs& in) {
    const int oldRevision = monitorRevision_;
    monitorRevision_ = in.monitorRevision;

    const bool rootsSame = sameRootNodes(in.roots, inputs_.roots);
    FileNode* const oldZoomed = inputs_.zoomedNode;
    const bool selectionSame = in.selection == selection_.nodes();

    const bool pictureChanged = picturesDiffer(in, inputs_);
    inputs_ = in;
    if (!selectionSame) {
        selection_.adopt(in.selection);
        outlineInBackground();
    }

    if (in.zoomedNode != oldZoomed || !rootsSame) {
        clearedOnRequest_ = false;
        hoveredNode_ = nullptr;
        hoveredRect_.reset();
        emit hoveredNodeChanged(nullptr);
        emit hoverChanged();
        // Until the colours for new roots arrive only their boxes are laid out (the old colours
        // would paint them wrongly), at once: the layout runs while the rest of the window takes
        // the new roots in. A zoom waits for the turn's end, which may resize the view.
        if (!rootsSame) jobs_.startNow();
        else jobs_.schedule();
        emit repaintNeeded();
        return;
    }
    // Colours a layout waits for are applied at once.
    if (pictureChanged) {
        if (inputs_.colorRankReady && jobs_.awaitsColors()) jobs_.startNow();
        else jobs_.schedule();
        return;
    }
    // Roots that arrived before their colours leave a stale picture, and maybe their layout
    // waiting for the colours; once the colours are ready, unless a picture is on its way, the
    // picture has to be made here or it never would be.
    if (inputs_.colorRankReady && !clearedOnRequest_ && jobs_.needsNewPicture() &&
        (!jobs_.isPending() || jobs_.awaitsColors()))
        jobs_.schedule();
    if (selectionSame && oldRevision == monitorRevision_) return;
    // Live changes keep the boxes (deleted entries are outlined where they were), but the sizes
    // the labels show must be the ones the outline shows.
    if (oldRevision != monitorRevision_ && inputs_.showLabels) jobs_.relabel();
    emit repaintNeeded();
}

void TreemapCanvasModel::splitDragEnded() {
    if (jobs_.splitDragEnded()) emit repaintNeeded();
}

void TreemapCanvasModel::clearStaleLayoutAndHover() {
    jobs_.dropPicture();
    clearedOnRequest_ = true;
    if (hoveredNode_) clearHover();
    emit hoverChanged();
    emit repaintNeeded();
}

void TreemapCanvasModel::pictureArrived() {
    clearedOnRequest_ = false;
    outlineInBackground();
    // The box under a resting pointer may have moved.
    if (pointer_ && hoveredNode_) {
        const auto hit = nodeAt(*pointer_);
        if (hit && hit->node == hoveredNode_) hoveredRect_ = hit->rect;
        else setHover(hit);
    }
    emit repaintNeeded();
}

QPointF TreemapCanvasModel::toPicture(QPointF point) const {
    // While the view waits for a picture at its new size the old one is shown stretched: a point
    // is taken where it lies on that picture, so the box under the pointer is the one it shows.
    const QSizeF rendered = renderedSize();
    const QSizeF view = viewSize();
    if (rendered == view || !(view.width() > 0) || !(view.height() > 0)) return point;
    return QPointF(point.x() * rendered.width() / view.width(), point.y() * rendered.height() / view.height());
}

std::optional<TreemapHit> TreemapCanvasModel::nodeAt(QPointF viewPoint) const {
    if (isStale()) return std::nullopt;
    return jobs_.picture().nodeAt(toPicture(viewPoint));
}

bool TreemapCanvasModel::isPointInFreeSpaceBox(QPointF viewPoint) const {
    return !isStale() && jobs_.picture().isInFreeSpaceBox(toPicture(viewPoint));
}

TreemapOverlays TreemapCanvasModel::overlays() const {
    TreemapOverlays out;
    if (!overlaysShown()) return out;
    out.selected = selection_.outlines(jobs_.picture().layout);
    out.hovered = hoveredRect_;
    if (monitorRevision_ >= 1) out.deleted = deletedBoxes();
    return out;
}

const std::vector<TreemapRect>& TreemapCanvasModel::deletedBoxes() const {
    const TreemapCanvasPicture& picture = jobs_.picture();
    if (deleted_.revision != monitorRevision_ || deleted_.layout.lock() != picture.layout) {
        deleted_.layout = picture.layout;
        deleted_.revision = monitorRevision_;
        deleted_.boxes = picture.deletedBoxes();
    }
    return deleted_.boxes;
}

void TreemapCanvasModel::outlineInBackground() {
    const std::shared_ptr<const TreemapLayout>& layout = jobs_.picture().layout;
    if (!selection_.outlinesWanted(layout)) {
        outlineJobs_.supersede();
        return;
    }
    const uint64_t revision = selection_.revision();
    const bool sameLayout = !outliningLayout_.expired() && !outliningLayout_.owner_before(layout) &&
                            !layout.owner_before(outliningLayout_);
    if (revision == outliningRevision_ && sameLayout) return;
    outliningRevision_ = revision;
    outliningLayout_ = layout;
    // The job holds the layout, a copy of the set (which shares its data) and what its nodes
    // belong to: the window's trees and the outline's group rows, and the stores of the groups
    // the canvas selected.
    runInBackground(
        this, outlineJobs_,
        [layout, selection = selection_.nodes(), roots = inputs_.roots, held = inputs_.selectionHeld,
         stores = selection_.groupStores()] {
            return TreemapCanvasSelection::outlinesIn(selection, *layout);
        },
        // Only the picture keeps the layout here: a whole disk's layout is freed on the pool.
        [this, shown = std::weak_ptr<const TreemapLayout>(layout), revision](std::vector<TreemapRect> boxes) {
            outliningLayout_.reset();
            const std::shared_ptr<const TreemapLayout> still = shown.lock();
            if (!still || still != jobs_.picture().layout) return;
            selection_.setOutlines(still, revision, std::move(boxes));
            emit repaintNeeded();
        });
}

void TreemapCanvasModel::setHover(std::optional<TreemapHit> hit) {
    const std::optional<TreemapRect> before = hoveredRect_;
    hoveredNode_ = hit ? hit->node : nullptr;
    hoveredRect_ = hit ? std::optional<TreemapRect>(hit->rect) : std::nullopt;
    hoverOutlineMovedFrom(before);
    emit hoveredNodeChanged(hoveredNode_);
    emit hoverChanged();
}

void TreemapCanvasModel::hoverOutlineMovedFrom(std::optional<TreemapRect> before) {
    // Outlines are drawn only over a picture shown at its own size, where its points are the
    // view's; a whole picture may carry tens of thousands of outlined boxes, so a hover over it
    // asks for no more than the two boxes to be painted again.
    if (!overlaysShown()) return;
    const auto area = [](const std::optional<TreemapRect>& r) {
        return r ? QRectF(r->x, r->y, r->width, r->height) : QRectF();
    };
    emit hoverOutlineMoved(area(before), area(hoveredRect_));
}

void TreemapCanvasModel::clearHover() {
    hoveredNode_ = nullptr;
    hoveredRect_.reset();
    emit hoveredNodeChanged(nullptr);
}

void TreemapCanvasModel::mouseMoved(QPointF point) {
    pointer_ = point;
    const auto hit = nodeAt(point);
    if ((hit ? hit->node : nullptr) == hoveredNode_) return;
    setHover(hit);
}

void TreemapCanvasModel::mouseExited() {
    pointer_.reset();
    if (hoveredNode_) {
        const std::optional<TreemapRect> before = hoveredRect_;
        clearHover();
        hoverOutlineMovedFrom(before);
    }
    emit hoverChanged();
}

void TreemapCanvasModel::selectionChangedByClick() {
    // A copy: a receiver may hand the canvas a new selection while others still read this one.
    const TreemapSelection made = selection_.nodes();
    emit selectionMade(made);
    emit repaintNeeded();
}

void TreemapCanvasModel::click(QPointF point, bool toggle, int clickCount) {
    const auto hit = nodeAt(point);
    if (!hit) return;
    FileNode* node = hit->node;
    if (selection_.click(node, toggle, layout())) selectionChangedByClick();
    if (clickCount >= 2) {
        // A synthetic group exists only in this picture: its folder stands for it.
        FileNode* target = node;
        if (node->isSyntheticGroup() && node->parent()) target = node->parent();
        else if (!node->isDir() && node->parent()) target = node->parent();
        emit zoomRequested(target);
    }
}

TreemapMenuKind TreemapCanvasModel::prepareContextMenu(QPointF point, bool add) {
    const auto hit = nodeAt(point);
    if (!hit) return isPointInFreeSpaceBox(point) ? TreemapMenuKind::displayOnly : TreemapMenuKind::none;
    if (selection_.rightClick(hit->node, add, layout())) selectionChangedByClick();
    return selection_.isEmpty() ? TreemapMenuKind::none : TreemapMenuKind::fileActions;
}

QString TreemapCanvasModel::toolTipText() const {
    if (!hoveredNode_) return {};
    const FileNode& n = *hoveredNode_;
    auto size = [&](int64_t bytes) {
        return QString::fromStdString(humanBytes(bytes, inputs_.byteUnitBase, inputs_.byteSizeDisplayMode, 1));
    };
    return fillPlaceholders(localized("%@\nSize: %@\nAllocated: %@"),
                            {withVisibleControlCharacters(QString::fromStdString(n.fullPath())), size(n.effectiveSize()), size(n.effectiveAllocSize())});
}

}  // namespace zelvane
