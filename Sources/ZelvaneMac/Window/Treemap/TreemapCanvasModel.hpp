#pragma once

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasInputs.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapHitIndex.hpp"

namespace zelvane {

struct TreemapHit {
    FileNode* node = nullptr;
    TreemapRect rect;
};

// What a right click asks for.
enum class TreemapMenuKind { none, displayOnly, fileActions };

// The outlines drawn over the picture, in drawing order.
struct TreemapOverlays {
    std::vector<TreemapRect> selected;  // white, 2 wide, inset by 1
    std::optional<TreemapRect> hovered; // light grey, 1 wide, inset by 0.5
    std::vector<TreemapRect> deleted;   // red, 2 wide, inset by 1
};

// The treemap canvas without its widget: the update rules, the layout-and-render jobs, the
// picture with its hit tree, hover, selection clicks, zoom requests and the busy count. The
// widget forwards its size, pointer and keys here and paints what this says.
//
// Invariant: the picture (layout, image, size, roots and zoomed node it was made for) always
// describes one finished job. It is current when the zoomed node and the roots (by identity, in
// order) are the ones it was made for; otherwise it is stale and only the background shows.
//
// Every job raises the busy count when it starts and lowers it once when its result arrives,
// applied or superseded. A job that comes back after the model is gone finds nothing to lower.
// GUI thread only.
class TreemapCanvasModel final : public QObject {
    Q_OBJECT
public:
    static constexpr int kResizeDebounceMs = 150;

    explicit TreemapCanvasModel(QObject* parent = nullptr);
    ~TreemapCanvasModel() override;

    void setCallbacks(TreemapCanvasCallbacks callbacks) { callbacks_ = std::move(callbacks); }
    const TreemapCanvasCallbacks& callbacks() const { return callbacks_; }

    // Compares the inputs with the ones seen last and lays out, renders or redraws as needed.
    void update(const TreemapCanvasInputs& inputs);

    // The view's size in points and its pixels per point. A size change waits for the debounce
    // (or, during a divider drag, for the drag's end) before a new picture is made.
    void setViewSize(QSizeF size);
    void setPixelScale(double scale) { pixelScale_ = scale > 0 ? scale : 2.0; }
    QSizeF viewSize() const { return viewSize_; }
    void splitDragBegan();
    void splitDragEnded();
    bool isLiveResizing() const { return liveResizing_; }

    // Drops the picture and the hover at once (the window calls it when the tree it shows goes).
    void clearStaleLayoutAndHover();

    // Picture.
    bool isStale() const;
    bool hasPicture() const { return !image_.isNull(); }
    const QImage& image() const { return image_; }
    QSizeF renderedSize() const { return renderedSize_; }
    const TreemapLayout& layout() const { return *layout_; }
    // Overlays are drawn only over a current picture at the view's size.
    bool overlaysShown() const { return !isStale() && hasPicture() && renderedSize_ == viewSize_; }
    TreemapOverlays overlays() const;
    bool isSelected(const FileNode* node) const;

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
    TreemapNodeList selectionNodes() const { return TreemapNodeList(selection_.begin(), selection_.end()); }
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
    int busyRegenerationCount() const { return busyCount_; }
    uint64_t regenerationGeneration() const { return generations_.current(); }
    bool isRegenerationScheduled() const { return pendingTimer_.isActive(); }
    int jobsStarted() const { return jobsStarted_; }
    int jobsApplied() const { return jobsApplied_; }
    int jobsSuperseded() const { return jobsSuperseded_; }

signals:
    // The picture or an outline changed: paint again (nothing needs laying out).
    void repaintNeeded();
    // The busy count went from 0 to 1 or back: the busy cursor comes or goes.
    void busyChanged(bool busy);
    // The node under the pointer changed; the tooltip follows it.
    void hoverChanged();

private:
    struct Picture;
    struct JobResult;

    void scheduleRegenerate(bool debounced);
    void performRegenerate();
    void apply(JobResult result, const QSizeF& size, std::vector<RootRef> roots, FileNode* zoomed);
    void jobFinished();
    // Drops the picture; what it held is freed on the pool.
    void releaseInBackground();
    void setHover(std::optional<TreemapHit> hit);
    // A job is on its way (or queued) that will make the picture current at the view's size.
    bool regenerationPending() const;
    bool needsNewPicture() const;
    QPointF toPicture(QPointF viewPoint) const;
    void keepGroupSelectionsAlive(const TreemapSelection& selection);
    void selectionChanged(const TreemapSelection& selection);

    TreemapCanvasCallbacks callbacks_;
    TreemapCanvasInputs inputs_;
    TreemapSelection selection_;
    int monitorRevision_ = 0;

    std::shared_ptr<const TreemapLayout> layout_;
    std::shared_ptr<const TreemapHitIndex> hitIndex_;
    QImage image_;
    QSizeF renderedSize_{0, 0};
    std::vector<RootRef> renderedRoots_;
    FileNode* renderedZoomedNode_ = nullptr;

    QSizeF viewSize_{0, 0};
    double pixelScale_ = 2.0;
    bool liveResizing_ = false;
    // The window dropped the picture on purpose (a new scan is starting): wait for new inputs.
    bool clearedOnRequest_ = false;
    QTimer pendingTimer_;

    JobGeneration generations_;
    int busyCount_ = 0;
    int jobsStarted_ = 0;
    int jobsApplied_ = 0;
    int jobsSuperseded_ = 0;
    // What the newest job was started for, while it has not come back.
    bool newestOutstanding_ = false;
    std::vector<FileNode*> newestRoots_;
    FileNode* newestZoomed_ = nullptr;
    QSizeF newestSize_;

    FileNode* hoveredNode_ = nullptr;
    std::optional<TreemapRect> hoveredRect_;
    std::optional<QPointF> pointer_;

    // Group nodes the canvas put into the selection live in the store of the layout that made
    // them; the store is kept while such a node stays selected, so the selection never dangles.
    std::vector<std::pair<FileNode*, std::shared_ptr<const void>>> selectedGroupStores_;
};

}  // namespace zelvane
