#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <algorithm>
#include <utility>

#include <QThreadPool>

#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"

namespace zelvane {

namespace {

bool sameRoots(const std::vector<RootRef>& a, const std::vector<RootRef>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].get() != b[i].get()) return false;
    return true;
}

bool sameCapacities(const std::vector<VolumeCapacity>& a, const std::vector<VolumeCapacity>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].total != b[i].total || a[i].available != b[i].available) return false;
    return true;
}

bool contains(const TreemapRect& r, QPointF p) { return treemapRectContains(r, p); }

}  // namespace

struct TreemapCanvasModel::JobResult {
    std::shared_ptr<const TreemapLayout> layout;
    std::shared_ptr<const TreemapHitIndex> hitIndex;
    QImage image;
};

TreemapCanvasModel::TreemapCanvasModel(QObject* parent)
    : QObject(parent), layout_(std::make_shared<TreemapLayout>()), hitIndex_(std::make_shared<TreemapHitIndex>()) {
    inputs_.useAllocatedSize = true;
    inputs_.showLabels = true;
    pendingTimer_.setSingleShot(true);
    connect(&pendingTimer_, &QTimer::timeout, this, &TreemapCanvasModel::performRegenerate);
}

TreemapCanvasModel::~TreemapCanvasModel() = default;

void TreemapCanvasModel::update(const TreemapCanvasInputs& in) {
    const int oldRevision = monitorRevision_;
    monitorRevision_ = in.monitorRevision;

    const bool rootsSame = sameRoots(in.roots, inputs_.roots);
    FileNode* const oldZoomed = inputs_.zoomedNode;
    const bool selectionSame = in.selection == selection_;

    const TreemapCanvasInputs& old = inputs_;
    // Tested in this order and only up to the first difference; capacities matter only while
    // free space is shown.
    const bool settingsChanged =
        in.useAllocatedSize != old.useAllocatedSize || in.showLabels != old.showLabels ||
        in.showFreeSpace != old.showFreeSpace || (in.showFreeSpace && !sameCapacities(in.capacities, old.capacities)) ||
        in.byteUnitBase != old.byteUnitBase || in.byteSizeDisplayMode != old.byteSizeDisplayMode ||
        in.gradientEnabled != old.gradientEnabled || in.fileGroupMinSize != old.fileGroupMinSize;
    const bool colorsChanged = in.colorRank != old.colorRank || in.paletteRGB != old.paletteRGB;

    inputs_ = in;
    if (!selectionSame) selectionChanged(in.selection);

    if (in.zoomedNode != oldZoomed || !rootsSame) {
        clearedOnRequest_ = false;
        hoveredNode_ = nullptr;
        hoveredRect_.reset();
        if (callbacks_.onHover) callbacks_.onHover(nullptr);
        emit hoverChanged();
        if (!inputs_.colorRankReady) {
            // The colours belong to the old roots: wait for the window to bring the new ones.
            emit repaintNeeded();
            return;
        }
        scheduleRegenerate(false);
        emit repaintNeeded();
        return;
    }
    if (settingsChanged || colorsChanged) {
        scheduleRegenerate(false);
        return;
    }
    // Roots that arrived before their colours leave a stale picture; once the colours are
    // ready and nothing is on its way, the picture has to be made here or it never would be.
    if (inputs_.colorRankReady && !clearedOnRequest_ && needsNewPicture() && !regenerationPending())
        scheduleRegenerate(false);
    if (selectionSame && oldRevision == monitorRevision_) return;
    emit repaintNeeded();
}

void TreemapCanvasModel::selectionChanged(const TreemapSelection& selection) {
    selection_ = selection;
    std::erase_if(selectedGroupStores_, [&](const auto& kept) { return !selection_.contains(kept.first); });
}

void TreemapCanvasModel::keepGroupSelectionsAlive(const TreemapSelection& selection) {
    for (FileNode* node : selection) {
        if (!node || !node->isSyntheticGroup()) continue;
        const bool kept = std::any_of(selectedGroupStores_.begin(), selectedGroupStores_.end(),
                                      [&](const auto& k) { return k.first == node; });
        const bool ours = std::any_of(layout_->groupBoxes.begin(), layout_->groupBoxes.end(),
                                      [&](const TreemapFolderLabel& g) { return g.node == node; });
        if (kept || !ours) continue;
        selectedGroupStores_.emplace_back(node, std::make_shared<std::vector<std::shared_ptr<const void>>>(layout_->retained));
    }
}

void TreemapCanvasModel::setViewSize(QSizeF size) {
    if (size == viewSize_) return;
    viewSize_ = size;
    if (!liveResizing_ && viewSize_ != renderedSize_ && inputs_.colorRankReady) scheduleRegenerate(true);
}

void TreemapCanvasModel::splitDragBegan() {
    liveResizing_ = true;
    pendingTimer_.stop();
}

void TreemapCanvasModel::splitDragEnded() {
    if (!liveResizing_) return;
    liveResizing_ = false;
    if (viewSize_ != renderedSize_ && inputs_.colorRankReady) scheduleRegenerate(false);
    emit repaintNeeded();
}

void TreemapCanvasModel::releaseInBackground() {
    // A layout of a whole disk is hundreds of thousands of entries, and the roots it retained may
    // be the last handles of a replaced tree: freeing them would stall the GUI thread.
    auto layout = std::exchange(layout_, std::make_shared<TreemapLayout>());
    auto index = std::exchange(hitIndex_, std::make_shared<TreemapHitIndex>());
    auto image = std::exchange(image_, QImage());
    auto roots = std::exchange(renderedRoots_, {});
    QThreadPool::globalInstance()->start([layout = std::move(layout), index = std::move(index),
                                          image = std::move(image), roots = std::move(roots)]() mutable {
        index.reset();
        layout.reset();
        roots.clear();
    });
}

void TreemapCanvasModel::clearStaleLayoutAndHover() {
    releaseInBackground();
    renderedZoomedNode_ = nullptr;
    clearedOnRequest_ = true;
    if (hoveredNode_) {
        hoveredNode_ = nullptr;
        hoveredRect_.reset();
        if (callbacks_.onHover) callbacks_.onHover(nullptr);
    }
    emit hoverChanged();
    emit repaintNeeded();
}

bool TreemapCanvasModel::isStale() const {
    return inputs_.zoomedNode != renderedZoomedNode_ || !sameRoots(inputs_.roots, renderedRoots_);
}

bool TreemapCanvasModel::needsNewPicture() const {
    if (inputs_.roots.empty() || !(viewSize_.width() > 0) || !(viewSize_.height() > 0)) return false;
    return isStale() || (!liveResizing_ && renderedSize_ != viewSize_);
}

bool TreemapCanvasModel::regenerationPending() const {
    if (pendingTimer_.isActive()) return true;
    if (!newestOutstanding_ || newestZoomed_ != inputs_.zoomedNode || newestSize_ != viewSize_) return false;
    if (newestRoots_.size() != inputs_.roots.size()) return false;
    for (size_t i = 0; i < newestRoots_.size(); ++i)
        if (newestRoots_[i] != inputs_.roots[i].get()) return false;
    return true;
}

void TreemapCanvasModel::scheduleRegenerate(bool debounced) {
    pendingTimer_.start(debounced ? kResizeDebounceMs : 0);
}

void TreemapCanvasModel::performRegenerate() {
    if (inputs_.roots.empty()) return;
    const QSizeF size = viewSize_;
    if (!(size.width() > 0) || !(size.height() > 0)) return;

    ++jobsStarted_;
    if (++busyCount_ == 1) emit busyChanged(true);
    const QUuid timing = DebugTimingLog::begin(QStringLiteral("Treemap display"), QString());

    // The job gets copies of everything; the roots' handles keep the trees alive while it runs.
    std::vector<RootRef> roots = inputs_.roots;
    FileNode* const zoomed = inputs_.zoomedNode;
    const double scale = pixelScale_;
    auto colorRank = std::make_shared<const ColorRank>(inputs_.colorRank);
    TreemapLayoutOptions layoutOptions;
    layoutOptions.metric = treemapMetric(inputs_.useAllocatedSize);
    layoutOptions.showLabels = inputs_.showLabels;
    layoutOptions.fileGroupMinSize = inputs_.fileGroupMinSize;
    TreemapRenderOptions renderOptions;
    renderOptions.pixelScale = scale;
    renderOptions.byteUnitBase = inputs_.byteUnitBase;
    renderOptions.byteSizeDisplayMode = inputs_.byteSizeDisplayMode;
    renderOptions.gradientEnabled = inputs_.gradientEnabled;
    const bool showFreeSpace = inputs_.showFreeSpace;
    std::vector<VolumeCapacity> capacities = inputs_.capacities;
    PaletteRGB palette = normalizedPaletteRGB(inputs_.paletteRGB);

    newestOutstanding_ = true;
    newestRoots_.clear();
    for (const RootRef& r : roots) newestRoots_.push_back(r.get());
    newestZoomed_ = zoomed;
    newestSize_ = size;

    // A job overtaken by a newer one stops at its next check, so that a burst of resizes keeps
    // one job busy rather than one per step.
    auto work = [roots, zoomed, size, layoutOptions, colorRank, renderOptions, showFreeSpace, capacities,
                 palette](const CancelFlag& cancel) {
        TreemapPictureRequest request;
        request.roots = roots;
        request.zoomedNode = zoomed;
        request.capacities = capacities;
        request.showFreeSpace = showFreeSpace;
        request.size = size;
        request.palette = palette;
        request.layout = layoutOptions;
        request.layout.colorRank = colorRank.get();
        request.layout.cancel = &cancel;
        request.render = renderOptions;
        TreemapPicture picture = makeTreemapPicture(request);
        JobResult result;
        // Converted here, once, to the format the screen's backing store uses, so that painting
        // it on the GUI thread is a plain copy.
        if (picture.image.ok()) {
            result.image = std::move(picture.image.image);
            result.image.convertTo(QImage::Format_ARGB32_Premultiplied);
        }
        result.layout = std::make_shared<const TreemapLayout>(std::move(picture.layout));
        // A stopped job's result is dropped: its index is not worth making.
        result.hitIndex = picture.image.status == TreemapRenderStatus::cancelled
                              ? std::make_shared<const TreemapHitIndex>()
                              : std::make_shared<const TreemapHitIndex>(*result.layout);
        return result;
    };
    runInBackground(
        this, generations_, std::move(work),
        [this, size, roots, zoomed, timing](JobResult result) {
            DebugTimingLog::end(timing, QString::number(result.layout->leaves.size()) + QStringLiteral(" leaves"));
            apply(std::move(result), size, roots, zoomed);
        },
        [this, timing] {
            DebugTimingLog::end(timing, QStringLiteral("superseded"));
            ++jobsSuperseded_;
            jobFinished();
        });
}

void TreemapCanvasModel::apply(JobResult result, const QSizeF& size, std::vector<RootRef> roots, FileNode* zoomed) {
    releaseInBackground();
    renderedSize_ = size;
    renderedRoots_ = std::move(roots);
    renderedZoomedNode_ = zoomed;
    layout_ = std::move(result.layout);
    hitIndex_ = std::move(result.hitIndex);
    image_ = std::move(result.image);
    newestOutstanding_ = false;
    clearedOnRequest_ = false;
    ++jobsApplied_;
    // The box under a resting pointer may have moved.
    if (pointer_ && hoveredNode_) {
        const auto hit = nodeAt(*pointer_);
        if (hit && hit->node == hoveredNode_) hoveredRect_ = hit->rect;
        else setHover(hit);
    }
    emit repaintNeeded();
    jobFinished();
}

void TreemapCanvasModel::jobFinished() {
    if (--busyCount_ == 0) emit busyChanged(false);
}

QPointF TreemapCanvasModel::toPicture(QPointF point) const {
    // While the view waits for a picture at its new size the old one is shown stretched: a point
    // is taken where it lies on that picture, so the box under the pointer is the one it shows.
    if (renderedSize_ == viewSize_ || !(viewSize_.width() > 0) || !(viewSize_.height() > 0)) return point;
    return QPointF(point.x() * renderedSize_.width() / viewSize_.width(),
                   point.y() * renderedSize_.height() / viewSize_.height());
}

std::optional<TreemapHit> TreemapCanvasModel::nodeAt(QPointF viewPoint) const {
    if (isStale()) return std::nullopt;
    const QPointF point = toPicture(viewPoint);
    const TreemapHitNode* current = nullptr;
    for (const TreemapHitNode& root : layout_->hitRoots) {
        if (contains(root.rect, point)) {
            current = &root;
            break;
        }
    }
    if (!current) return std::nullopt;
    while (const TreemapHitNode* next = hitIndex_->childAt(*current, point)) current = next;
    return TreemapHit{current->node, current->rect};
}

bool TreemapCanvasModel::isPointInFreeSpaceBox(QPointF viewPoint) const {
    if (isStale()) return false;
    const QPointF point = toPicture(viewPoint);
    return std::any_of(layout_->freeSpaceBoxes.begin(), layout_->freeSpaceBoxes.end(),
                       [&](const TreemapFreeSpaceBox& box) { return contains(box.rect, point); });
}

bool TreemapCanvasModel::isSelected(const FileNode* node) const {
    if (!node) return false;
    if (selection_.contains(const_cast<FileNode*>(node))) return true;
    if (!node->isSyntheticGroup()) return false;
    // Group nodes are made anew by every layout; only their folder says which group it is.
    for (FileNode* s : selection_)
        if (s && s->isSyntheticGroup() && s->parent() == node->parent()) return true;
    return false;
}

TreemapOverlays TreemapCanvasModel::overlays() const {
    TreemapOverlays out;
    if (!overlaysShown()) return out;
    const TreemapLayout& layout = *layout_;
    for (FileNode* node : selection_)
        if (const TreemapRect* r = layout.nodeRects.find(node)) out.selected.push_back(*r);
    if (!layout.groupBoxes.empty()) {
        std::vector<const FileNode*> groupParents;
        for (FileNode* s : selection_)
            if (s && s->isSyntheticGroup()) groupParents.push_back(s->parent());
        for (const TreemapFolderLabel& g : layout.groupBoxes) {
            const bool selected =
                selection_.contains(g.node) ||
                std::find(groupParents.begin(), groupParents.end(), g.node->parent()) != groupParents.end();
            if (selected) out.selected.push_back(g.boxRect);
        }
    }
    out.hovered = hoveredRect_;
    if (monitorRevision_ >= 1) {
        for (const TreemapLeaf& leaf : layout.leaves)
            if (leaf.node->isDeleted() && !leaf.dust) out.deleted.push_back(leaf.rect);
        for (const TreemapFolderLabel& label : layout.folderLabels)
            if (label.node->isDeleted()) out.deleted.push_back(label.boxRect);
        for (const TreemapFolderLabel& g : layout.groupBoxes) {
            const auto kids = g.node->children();
            if (std::all_of(kids.begin(), kids.end(), [](const FileNode* n) { return n->isDeleted(); }))
                out.deleted.push_back(g.boxRect);
        }
    }
    return out;
}

void TreemapCanvasModel::setHover(std::optional<TreemapHit> hit) {
    hoveredNode_ = hit ? hit->node : nullptr;
    hoveredRect_ = hit ? std::optional<TreemapRect>(hit->rect) : std::nullopt;
    emit repaintNeeded();
    if (callbacks_.onHover) callbacks_.onHover(hoveredNode_);
    emit hoverChanged();
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
        hoveredNode_ = nullptr;
        hoveredRect_.reset();
        if (callbacks_.onHover) callbacks_.onHover(nullptr);
        emit repaintNeeded();
    }
    emit hoverChanged();
}

void TreemapCanvasModel::click(QPointF point, bool toggle, int clickCount) {
    const auto hit = nodeAt(point);
    if (!hit) return;
    FileNode* node = hit->node;
    TreemapSelection next;
    if (toggle) {
        next = selection_;
        if (!next.remove(node)) next.insert(node);
    } else {
        next.insert(node);
    }
    if (next != selection_) {
        keepGroupSelectionsAlive(next);
        selectionChanged(next);
        if (callbacks_.setSelection) callbacks_.setSelection(next);
        emit repaintNeeded();
    }
    if (clickCount >= 2 && callbacks_.onZoom) {
        // A synthetic group exists only in this picture: its folder stands for it.
        FileNode* target = node;
        if (node->isSyntheticGroup() && node->parent()) target = node->parent();
        else if (!node->isDir() && node->parent()) target = node->parent();
        callbacks_.onZoom(target);
    }
}

TreemapMenuKind TreemapCanvasModel::prepareContextMenu(QPointF point, bool add) {
    const auto hit = nodeAt(point);
    if (!hit) return isPointInFreeSpaceBox(point) ? TreemapMenuKind::displayOnly : TreemapMenuKind::none;
    TreemapSelection next = selection_;
    if (add) next.insert(hit->node);
    else if (!next.contains(hit->node)) next = TreemapSelection{hit->node};
    if (next != selection_) {
        keepGroupSelectionsAlive(next);
        selectionChanged(next);
        if (callbacks_.setSelection) callbacks_.setSelection(next);
        emit repaintNeeded();
    }
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
