#include "ZelvaneMac/Window/Treemap/TreemapPictureJobs.hpp"

#include <utility>

#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"

namespace zelvane {

namespace {

TreemapRenderOptions renderOptionsOf(const TreemapCanvasInputs& inputs, double pixelScale) {
    TreemapRenderOptions options;
    options.pixelScale = pixelScale;
    options.byteUnitBase = inputs.byteUnitBase;
    options.byteSizeDisplayMode = inputs.byteSizeDisplayMode;
    options.gradientEnabled = inputs.gradientEnabled;
    return options;
}

}  // namespace

TreemapPictureJobs::TreemapPictureJobs(const TreemapCanvasInputs& inputs, QObject* parent)
    : QObject(parent), inputs_(inputs) {
    pendingTimer_.setSingleShot(true);
    connect(&pendingTimer_, &QTimer::timeout, this, &TreemapPictureJobs::start);
}

TreemapPictureJobs::~TreemapPictureJobs() = default;

void TreemapPictureJobs::setViewSize(QSizeF size) {
    if (size == viewSize_) return;
    viewSize_ = size;
    if (!liveResizing_ && viewSize_ != picture_.size && inputs_.colorRankReady) schedule(true);
}

void TreemapPictureJobs::splitDragBegan() {
    liveResizing_ = true;
    pendingTimer_.stop();
}

bool TreemapPictureJobs::splitDragEnded() {
    if (!liveResizing_) return false;
    liveResizing_ = false;
    if (viewSize_ != picture_.size && inputs_.colorRankReady) schedule(false);
    return true;
}

void TreemapPictureJobs::schedule(bool debounced) { pendingTimer_.start(debounced ? kResizeDebounceMs : 0); }

bool TreemapPictureJobs::needsNewPicture() const {
    if (inputs_.roots.empty() || !(viewSize_.width() > 0) || !(viewSize_.height() > 0)) return false;
    return isStale() || (!liveResizing_ && picture_.size != viewSize_);
}

bool TreemapPictureJobs::isPending() const {
    if (pendingTimer_.isActive()) return true;
    if (!newestOutstanding_ || newestZoomed_ != inputs_.zoomedNode || newestSize_ != viewSize_) return false;
    if (newestRoots_.size() != inputs_.roots.size()) return false;
    for (size_t i = 0; i < newestRoots_.size(); ++i)
        if (newestRoots_[i] != inputs_.roots[i].get()) return false;
    return true;
}

void TreemapPictureJobs::start() {
    const TreemapCanvasInputs& inputs = inputs_;
    const QSizeF size = viewSize_;
    if (inputs.roots.empty() || !(size.width() > 0) || !(size.height() > 0)) return;
    ++jobsStarted_;
    if (++busyCount_ == 1) emit busyChanged(true);
    const QUuid timing = DebugTimingLog::begin(QStringLiteral("Treemap display"), QString());

    // The job gets copies of everything; the roots' handles keep the trees alive while it runs.
    std::vector<RootRef> roots = inputs.roots;
    FileNode* const zoomed = inputs.zoomedNode;
    auto colorRank = std::make_shared<const ColorRank>(inputs.colorRank);
    TreemapLayoutOptions layoutOptions;
    layoutOptions.metric = treemapMetric(inputs.useAllocatedSize);
    layoutOptions.showLabels = inputs.showLabels;
    layoutOptions.fileGroupMinSize = inputs.fileGroupMinSize;
    const TreemapRenderOptions renderOptions = renderOptionsOf(inputs, pixelScale_);
    const bool showFreeSpace = inputs.showFreeSpace;
    std::vector<VolumeCapacity> capacities = inputs.capacities;
    PaletteRGB palette = normalizedPaletteRGB(inputs.paletteRGB);

    newestOutstanding_ = true;
    newestRoots_.clear();
    for (const RootRef& r : roots) newestRoots_.push_back(r.get());
    newestZoomed_ = zoomed;
    newestSize_ = size;

    // A job overtaken by a newer one stops at its next check, so that a burst of resizes keeps
    // one job busy rather than one per step.
    auto work = [roots = std::move(roots), zoomed, size, layoutOptions, colorRank, renderOptions, showFreeSpace,
                 capacities = std::move(capacities), palette](const CancelFlag& cancel) {
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
        TreemapPicture made = makeTreemapPicture(request);
        TreemapCanvasPicture picture;
        // Converted here, once, to the format the screen's backing store uses, so that painting
        // it on the GUI thread is a plain copy.
        if (made.image.ok()) {
            picture.image = std::move(made.image.image);
            picture.image.convertTo(QImage::Format_ARGB32_Premultiplied);
        }
        picture.layout = std::make_shared<const TreemapLayout>(std::move(made.layout));
        // A stopped job's result is dropped: its index is not worth making.
        picture.hitIndex = made.image.status == TreemapRenderStatus::cancelled
                               ? std::make_shared<const TreemapHitIndex>()
                               : std::make_shared<const TreemapHitIndex>(*picture.layout);
        picture.size = size;
        picture.roots = roots;
        picture.zoomedNode = zoomed;
        return picture;
    };
    runInBackground(
        this, generations_, std::move(work),
        [this, timing](TreemapCanvasPicture picture) {
            DebugTimingLog::end(timing, QString::number(picture.layout->leaves.size()) + QStringLiteral(" leaves"));
            apply(std::move(picture));
        },
        [this, timing] {
            DebugTimingLog::end(timing, QStringLiteral("superseded"));
            ++jobsSuperseded_;
            jobFinished();
        });
}

void TreemapPictureJobs::relabel() {
    // A job still to start reads the sizes as they are then; one on its way may have read them
    // before they changed, so a new one takes its place.
    if (pendingTimer_.isActive()) return;
    if (newestOutstanding_) {
        if (!liveResizing_) schedule();
        return;
    }
    if (isStale() || picture_.image.isNull()) return;
    ++jobsStarted_;
    if (++busyCount_ == 1) emit busyChanged(true);
    TreemapRenderOptions render = renderOptionsOf(inputs_, pixelScale_);
    render.metric = treemapMetric(inputs_.useAllocatedSize);
    render.showLabels = inputs_.showLabels;
    auto work = [shown = picture_, render, palette = normalizedPaletteRGB(inputs_.paletteRGB)](const CancelFlag& cancel) mutable {
        TreemapRenderOptions options = render;
        options.cancel = &cancel;
        TreemapImage made = renderTreemapImage(shown.size, *shown.layout, palette, options);
        if (made.ok()) {
            shown.image = std::move(made.image);
            shown.image.convertTo(QImage::Format_ARGB32_Premultiplied);
        }
        return std::move(shown);
    };
    runInBackground(
        this, generations_, std::move(work), [this](TreemapCanvasPicture picture) { apply(std::move(picture)); },
        [this] {
            ++jobsSuperseded_;
            jobFinished();
        });
}

void TreemapPictureJobs::apply(TreemapCanvasPicture picture) {
    releaseInBackground(std::exchange(picture_, std::move(picture)));
    newestOutstanding_ = false;
    ++jobsApplied_;
    emit pictureArrived();
    jobFinished();
}

void TreemapPictureJobs::jobFinished() {
    if (--busyCount_ == 0) emit busyChanged(false);
}

void TreemapPictureJobs::dropPicture() {
    TreemapCanvasPicture kept;
    kept.size = picture_.size;
    releaseInBackground(std::exchange(picture_, std::move(kept)));
}

void TreemapPictureJobs::releaseInBackground(TreemapCanvasPicture picture) {
    // The index points into the layout: it goes first.
    auto work = [picture = std::move(picture)]() mutable {
        picture.hitIndex.reset();
        picture.layout.reset();
        picture.image = QImage();
        picture.roots.clear();
        return true;
    };
    runInBackground(this, releases_, std::move(work), [](bool) {});
}

}  // namespace zelvane
