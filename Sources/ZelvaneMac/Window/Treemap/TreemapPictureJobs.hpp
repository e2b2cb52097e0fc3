#pragma once

#include <QObject>
#include <QSizeF>
#include <QString>
#include <QUuid>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasInputs.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasPicture.hpp"

namespace zelvane {

// The canvas's layout-and-render jobs: when one starts (at once, after a resize's debounce, or
// once a divider drag ends) and the picture the newest finished one made. A job runs on the
// shared pool with copies of everything it reads; a newer job supersedes it, and it stops at its
// next check of the cancel flag. Only the newest job's picture is ever shown.
//
// New roots usually come before their colour ranks (counted over the whole tree beside the
// layout): their boxes are then laid out at once, and the layout waits here until the colours
// are ready, when a second job colours and renders it. A layout whose inputs changed meanwhile is
// dropped.
//
// Every job raises the busy count when it starts and lowers it once when its result arrives,
// applied or superseded. A job that comes back after this object is gone finds nothing to lower.
// GUI thread only.
class TreemapPictureJobs final : public QObject {
    Q_OBJECT
public:
    static constexpr int kResizeDebounceMs = 150;

    // A job pictures `inputs` as they are when it starts; they belong to the canvas's model,
    // which owns this object.
    explicit TreemapPictureJobs(const TreemapCanvasInputs& inputs, QObject* parent = nullptr);
    ~TreemapPictureJobs() override;

    // The view's size in points and its pixels per point. A size change waits for the debounce
    // (or, during a divider drag, for the drag's end) before a new picture is made.
    void setViewSize(QSizeF size);
    void setPixelScale(double scale) { pixelScale_ = scale > 0 ? scale : 2.0; }
    QSizeF viewSize() const { return viewSize_; }
    void splitDragBegan();
    // Says whether a drag was under way.
    bool splitDragEnded();
    bool isLiveResizing() const { return liveResizing_; }

    // Starts a picture on the next turn of the event loop, or once the resize debounce is over.
    void schedule(bool debounced = false);
    // Starts it now: for new roots, whose layout should not wait behind the rest of the turn.
    void startNow();
    bool isScheduled() const { return pendingTimer_.isActive(); }
    // The picture is not of the inputs' roots (by identity, in order) and zoomed folder.
    bool isStale() const { return !picture_.madeFor(inputs_.roots, inputs_.zoomedNode); }
    // There is something to picture, and the picture is stale or (outside a drag) of another size.
    bool needsNewPicture() const;
    // A layout made before its colours were ready waits for them.
    bool awaitsColors() const { return laid_.has_value(); }
    // A job is on its way (or scheduled) that will make the picture current at the view's size.
    bool isPending() const;
    // Draws the shown picture's texts again over its own layout, for sizes that changed in the
    // tree since (live monitoring): the boxes stay where they are, so deleted entries keep their
    // outlines, while every label shows the size the other views show.
    void relabel();
    // Lets the picture go at once: only its size stays. What it held is freed on the pool, since
    // a whole disk's layout and the last handles of a replaced tree would stall the GUI thread.
    void dropPicture();

    const TreemapCanvasPicture& picture() const { return picture_; }
    int busyCount() const { return busyCount_; }
    int jobsStarted() const { return jobsStarted_; }
    int jobsApplied() const { return jobsApplied_; }
    int jobsSuperseded() const { return jobsSuperseded_; }

signals:
    // The newest job's picture replaced the one before.
    void pictureArrived();
    // The busy count went from 0 to 1 or back.
    void busyChanged(bool busy);

private:
    // A layout made without its colours, and what it was made from.
    struct Laid {
        TreemapLayoutInputs inputs;
        std::vector<RootRef> roots;
        std::shared_ptr<TreemapLayout> layout;
        // Made with the layout: the colours change no box.
        std::shared_ptr<const TreemapHitIndex> hitIndex;
    };

    void start();
    // Counts a picture job as started and busy; returns its timing entry.
    QUuid beginPictureJob(const QString& detail);
    // Runs a job that makes a whole picture; its result is applied, a superseded one only counted.
    template <class Work>
    void runPictureJob(Work work, QUuid timing);
    void startPicture();
    void startLayout(TreemapLayoutInputs layoutInputs);
    void startColoring();
    void layoutArrived(Laid laid);
    // Lets the waiting layout go (freed on the pool) and forgets a layout on its way.
    void dropLayout();
    void noteNewest(const std::vector<RootRef>& roots, const FileNode* zoomed, QSizeF size);
    void apply(TreemapCanvasPicture picture);
    void jobFinished();
    void releaseInBackground(TreemapCanvasPicture picture);

    const TreemapCanvasInputs& inputs_;
    QSizeF viewSize_{0, 0};
    double pixelScale_ = 2.0;
    bool liveResizing_ = false;
    QTimer pendingTimer_;

    TreemapCanvasPicture picture_;
    JobGeneration generations_;
    JobGeneration releases_;
    int busyCount_ = 0;
    int jobsStarted_ = 0;
    int jobsApplied_ = 0;
    int jobsSuperseded_ = 0;
    // What the newest job was started for, while its picture has not come (a layout waiting for
    // its colours included).
    bool newestOutstanding_ = false;
    std::vector<FileNode*> newestRoots_;
    const FileNode* newestZoomed_ = nullptr;
    QSizeF newestSize_;
    // A layout without colours on its way, and one that waits for its colours.
    std::optional<TreemapLayoutInputs> layingOut_;
    std::optional<Laid> laid_;
};

}  // namespace zelvane
