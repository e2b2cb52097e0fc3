#pragma once

#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ZelvaneMac/Window/Treemap/TreemapCanvasInputs.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasPicture.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasSelection.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapPictureJobs.hpp"

namespace zelvane {

// What a right click asks for.
enum class TreemapMenuKind { none, displayOnly, fileActions };

// The outlines drawn over the picture, in drawing order. `selected` is the canvas selection's own
// list: it holds until the selection or the picture changes.
struct TreemapOverlays {
    std::span<const TreemapRect> selected;  // white, 2 wide, inset by 1
    std::optional<TreemapRect> hovered; // light grey, 1 wide, inset by 0.5
    std::span<const TreemapRect> deleted;  // red, 2 wide, inset by 1
};

// The treemap canvas without its widget: what each change of the window's inputs calls for (a new
// picture, a redraw or nothing), what the pointer is over, and what clicks ask of the window.
// The pictures come from `TreemapPictureJobs`, the selection lives in `TreemapCanvasSelection`.
// The widget forwards its size, pointer and keys here and paints what this says.
//
// Invariant: the picture shown is current when the zoomed node and the roots (by identity, in
// order) are the ones it was made for; otherwise it is stale and only the background shows.
// GUI thread only.
class TreemapCanvasModel final : public QObject {
    Q_OBJECT
public:
    static constexpr int kResizeDebounceMs = TreemapPictureJobs::kResizeDebounceMs;

    explicit TreemapCanvasModel(QObject* parent = nullptr);
    ~TreemapCanvasModel() override;

    // Compares the inputs with the ones seen last and lays out, renders or redraws as needed.
    void update(const TreemapCanvasInputs& inputs);

    // The view's size in points and its pixels per point. A size change waits for the debounce
    // (or, during a divider drag, for the drag's end) before a new picture is made.
    void setViewSize(QSizeF size) { jobs_.setViewSize(size); }
    void setPixelScale(double scale) { jobs_.setPixelScale(scale); }
    QSizeF viewSize() const { return jobs_.viewSize(); }
    void splitDragBegan() { jobs_.splitDragBegan(); }
    void splitDragEnded();
    bool isLiveResizing() const { return jobs_.isLiveResizing(); }

    // Drops the picture and the hover at once (the window calls it when the tree it shows goes).
    void clearStaleLayoutAndHover();

    // Picture.
    bool isStale() const { return jobs_.isStale(); }
    bool hasPicture() const { return !jobs_.picture().image.isNull(); }
    const QImage& image() const { return jobs_.picture().image; }
    QSizeF renderedSize() const { return jobs_.picture().size; }
    const TreemapLayout& layout() const { return *jobs_.picture().layout; }
    // Overlays are drawn only over a current picture at the view's size.
    bool overlaysShown() const { return !isStale() && hasPicture() && renderedSize() == viewSize(); }
    TreemapOverlays overlays() const;
    // The boxes to outline as deleted in the shown picture.
    const std::vector<TreemapRect>& deletedBoxes() const;
    // The selection's outlines in the picture shown are there (not still being made).
    bool selectionOutlined() const { return !selection_.outlinesWanted(jobs_.picture().layout); }
    bool isSelected(const FileNode* node) const { return selection_.isSelected(node); }

    // Hit-testing: rectangles include their left and top edges, not their right and bottom ones.
    // Points are in the view; a picture shown stretched is hit where it is shown.
    std::optional<TreemapHit> nodeAt(QPointF point) const;
    bool isPointInFreeSpaceBox(QPointF point) const;

    // Pointer and keys.
    void mouseMoved(QPointF point);
    void mouseExited();
    // Selects (with `toggle`, the Ctrl key, adds or removes) and zooms on a double click.
    void click(QPointF point, bool toggle, int clickCount);
    // Makes the selection a right click implies and says which menu to show.
    TreemapMenuKind prepareContextMenu(QPointF point, bool add);
    // The nodes the file actions work on: the selection as it is now.
    TreemapNodeList selectionNodes() const { return selection_.list(); }
    FileNode* hoveredNode() const { return hoveredNode_; }
    // The text for the node under the pointer; empty when there is none.
    QString toolTipText() const;
    std::optional<TreemapRect> hoveredRect() const { return hoveredRect_; }

    // The settings the display items of the context menu show checked.
    bool useAllocatedSize() const { return inputs_.useAllocatedSize; }
    bool showFreeSpace() const { return inputs_.showFreeSpace; }
    bool showLabels() const { return inputs_.showLabels; }
    const TreemapCanvasInputs& inputs() const { return inputs_; }

    // Jobs.
    int busyRegenerationCount() const { return jobs_.busyCount(); }
    bool isRegenerationScheduled() const { return jobs_.isScheduled(); }
    int jobsStarted() const { return jobs_.jobsStarted(); }
    int jobsApplied() const { return jobs_.jobsApplied(); }
    int jobsSuperseded() const { return jobs_.jobsSuperseded(); }

signals:
    // The picture or an outline changed: paint again (nothing needs laying out).
    void repaintNeeded();
    // The busy count went from 0 to 1 or back: the busy cursor comes or goes.
    void busyChanged(bool busy);
    // The pointer may rest on another box; the tooltip follows it.
    void hoverChanged();
    // The hover outline moved from one box to another (an empty rectangle: none), in the view's
    // points: only those two boxes need painting again. Not emitted while no outline is shown.
    void hoverOutlineMoved(QRectF before, QRectF after);
    // The node under the pointer changed (null: none).
    void hoveredNodeChanged(FileNode* node);
    // A click made this the selection; the window's selection becomes exactly this set.
    void selectionMade(const TreemapSelection& selection);
    // A double click asks to zoom into this folder (or root).
    void zoomRequested(FileNode* node);

private:
    void pictureArrived();
    void setHover(std::optional<TreemapHit> hit);
    void hoverOutlineMovedFrom(std::optional<TreemapRect> before);
    void clearHover();
    QPointF toPicture(QPointF viewPoint) const;
    void selectionChangedByClick();
    // Starts the outlines of a large selection in the shown picture in the background, unless
    // they are there or on their way; paints once they arrive.
    void outlineInBackground();

    TreemapCanvasInputs inputs_;
    TreemapCanvasSelection selection_;
    TreemapPictureJobs jobs_{inputs_};
    JobGeneration outlineJobs_;
    // What the newest outline job was started for.
    uint64_t outliningRevision_ = 0;
    std::weak_ptr<const TreemapLayout> outliningLayout_;
    int monitorRevision_ = 0;
    // The deleted boxes of a picture as of a monitor revision: found once when a paint first asks,
    // then only drawn, since the deleted marks change only with the revision.
    struct DeletedBoxes {
        std::weak_ptr<const TreemapLayout> layout;
        int revision = 0;
        std::vector<TreemapRect> boxes;
    };
    mutable DeletedBoxes deleted_;
    // The window dropped the picture on purpose (a new scan is starting): wait for new inputs.
    bool clearedOnRequest_ = false;

    FileNode* hoveredNode_ = nullptr;
    std::optional<TreemapRect> hoveredRect_;
    std::optional<QPointF> pointer_;
};

}  // namespace zelvane
