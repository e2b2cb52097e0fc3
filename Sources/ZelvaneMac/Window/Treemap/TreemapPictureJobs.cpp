#include "ZelvaneMac/Window/Treemap/TreemapPictureJobs.hpp"

#include <new>
#include <system_error>
#include <thread>
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

TreemapLayoutOptions layoutOptionsOf(const TreemapCanvasInputs& inputs) {
    TreemapLayoutOptions options;
    options.metric = treemapMetric(inputs.useAllocatedSize);
    options.showLabels = inputs.showLabels;
    options.fileGroupMinSize = inputs.fileGroupMinSize;
    return options;
}

// The canvas's form of a finished picture: the image converted here, once, to the format the
// screen's backing store uses, so that painting it on the GUI thread is a plain copy. The hit
// index is made here unless it came with the layout.
TreemapCanvasPicture canvasPicture(TreemapImage made, std::shared_ptr<const TreemapLayout> layout, QSizeF size,
                                   std::vector<RootRef> roots, FileNode* zoomed,
                                   std::shared_ptr<const TreemapHitIndex> hitIndex = nullptr) {
    TreemapCanvasPicture picture;
    if (made.ok()) {
        picture.image = std::move(made.image);
        picture.image.convertTo(QImage::Format_ARGB32_Premultiplied);
    }
    picture.layout = std::move(layout);
    // A stopped job's result is dropped: its index is not worth making.
    if (made.status == TreemapRenderStatus::cancelled) picture.hitIndex = std::make_shared<const TreemapHitIndex>();
    else if (hitIndex) picture.hitIndex = std::move(hitIndex);
    else picture.hitIndex = std::make_shared<const TreemapHitIndex>(*picture.layout);
    picture.size = size;
    picture.roots = std::move(roots);
    picture.zoomedNode = zoomed;
    return picture;
}

// Renders the picture of `layout` while its hit index is made beside it, on a thread of its own:
// both only read the boxes. Without a thread, or memory for the index, `hitIndex` stays empty and
// the index is made after.
TreemapImage renderBesideHitIndex(const TreemapPictureRequest& request, const TreemapLayout& layout,
                                  std::shared_ptr<const TreemapHitIndex>& hitIndex) {
    std::jthread indexing;
    try {
        indexing = std::jthread([&layout, &hitIndex, cancel = request.layout.cancel] {
            if (isCancelled(cancel)) return;
            try {
                hitIndex = std::make_shared<const TreemapHitIndex>(layout);
            } catch (const std::bad_alloc&) {
            }
        });
    } catch (const std::system_error&) {
    }
    return renderTreemapPicture(request, layout);
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
    if (!liveResizing_ && viewSize_ != picture_.size) schedule(true);
}

void TreemapPictureJobs::splitDragBegan() {
    liveResizing_ = true;
    pendingTimer_.stop();
}

bool TreemapPictureJobs::splitDragEnded() {
    if (!liveResizing_) return false;
    liveResizing_ = false;
    if (viewSize_ != picture_.size) schedule(false);
    return true;
}

void TreemapPictureJobs::schedule(bool debounced) { pendingTimer_.start(debounced ? kResizeDebounceMs : 0); }

void TreemapPictureJobs::startNow() {
    pendingTimer_.stop();
    start();
}

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

void TreemapPictureJobs::noteNewest(const std::vector<RootRef>& roots, const FileNode* zoomed, QSizeF size) {
    newestOutstanding_ = true;
    newestRoots_.clear();
    for (const RootRef& r : roots) newestRoots_.push_back(r.get());
    newestZoomed_ = zoomed;
    newestSize_ = size;
}

void TreemapPictureJobs::start() {
    if (inputs_.roots.empty() || !(viewSize_.width() > 0) || !(viewSize_.height() > 0)) return;
    TreemapLayoutInputs layoutInputs(inputs_, viewSize_);
    const bool laidForThese = laid_ && laid_->inputs == layoutInputs;
    const bool layingOutThese = layingOut_ && *layingOut_ == layoutInputs;
    if (!inputs_.colorRankReady) {
        // The boxes do not depend on the colours: they are laid out while the colours are counted.
        if (!laidForThese && !layingOutThese) startLayout(std::move(layoutInputs));
        return;
    }
    if (laidForThese) startColoring();
    // A layout on its way for these inputs is coloured as it arrives.
    else if (!layingOutThese) startPicture();
}

QUuid TreemapPictureJobs::beginPictureJob(const QString& detail) {
    ++jobsStarted_;
    if (++busyCount_ == 1) emit busyChanged(true);
    return DebugTimingLog::begin(QStringLiteral("Treemap display"), detail);
}

template <class Work>
void TreemapPictureJobs::runPictureJob(Work work, QUuid timing) {
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

void TreemapPictureJobs::startPicture() {
    dropLayout();
    const TreemapCanvasInputs& inputs = inputs_;
    const QSizeF size = viewSize_;
    const QUuid timing = beginPictureJob(QString());

    // The job gets copies of everything; the roots' handles keep the trees alive while it runs.
    std::vector<RootRef> roots = inputs.roots;
    FileNode* const zoomed = inputs.zoomedNode;
    auto colorRank = std::make_shared<const ColorRank>(inputs.colorRank);
    const TreemapLayoutOptions layoutOptions = layoutOptionsOf(inputs);
    const TreemapRenderOptions renderOptions = renderOptionsOf(inputs, pixelScale_);
    const bool showFreeSpace = inputs.showFreeSpace;
    std::vector<VolumeCapacity> capacities = inputs.capacities;
    PaletteRGB palette = normalizedPaletteRGB(inputs.paletteRGB);
    noteNewest(roots, zoomed, size);

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
        auto layout = std::make_shared<const TreemapLayout>(layOutTreemapPicture(request));
        std::shared_ptr<const TreemapHitIndex> hitIndex;
        TreemapImage image = renderBesideHitIndex(request, *layout, hitIndex);
        return canvasPicture(std::move(image), std::move(layout), size, roots, zoomed, std::move(hitIndex));
    };
    runPictureJob(std::move(work), timing);
}

void TreemapPictureJobs::startLayout(TreemapLayoutInputs layoutInputs) {
    dropLayout();
    ++jobsStarted_;
    if (++busyCount_ == 1) emit busyChanged(true);
    std::vector<RootRef> roots = inputs_.roots;
    FileNode* const zoomed = inputs_.zoomedNode;
    TreemapLayoutOptions layoutOptions = layoutOptionsOf(inputs_);
    layoutOptions.colorsLater = true;
    const bool showFreeSpace = inputs_.showFreeSpace;
    std::vector<VolumeCapacity> capacities = inputs_.capacities;
    const QSizeF size = viewSize_;
    noteNewest(roots, zoomed, size);
    layingOut_ = layoutInputs;

    auto work = [roots, zoomed, size, layoutOptions, showFreeSpace,
                 capacities = std::move(capacities)](const CancelFlag& cancel) {
        TreemapPictureRequest request;
        request.roots = roots;
        request.zoomedNode = zoomed;
        request.capacities = capacities;
        request.showFreeSpace = showFreeSpace;
        request.size = size;
        request.layout = layoutOptions;
        request.layout.cancel = &cancel;
        Laid laid;
        laid.layout = std::make_shared<TreemapLayout>(layOutTreemapPicture(request));
        if (!cancel.isSet()) laid.hitIndex = std::make_shared<const TreemapHitIndex>(*laid.layout);
        return laid;
    };
    runInBackground(
        this, generations_, std::move(work),
        [this, layoutInputs = std::move(layoutInputs), roots = std::move(roots)](Laid laid) {
            laid.inputs = layoutInputs;
            laid.roots = roots;
            layoutArrived(std::move(laid));
        },
        [this] {
            ++jobsSuperseded_;
            jobFinished();
        });
}

void TreemapPictureJobs::layoutArrived(Laid laid) {
    layingOut_.reset();
    laid_ = std::move(laid);
    // Colours that came while the layout ran are applied now, unless a new picture is scheduled
    // anyway (it finds this layout when its inputs are still these).
    if (inputs_.colorRankReady && !pendingTimer_.isActive() && laid_->inputs == TreemapLayoutInputs(inputs_, viewSize_))
        startColoring();
    jobFinished();
}

void TreemapPictureJobs::startColoring() {
    Laid laid = std::move(*laid_);
    laid_.reset();
    const QUuid timing = beginPictureJob(QStringLiteral("colours"));
    FileNode* const zoomed = inputs_.zoomedNode;
    const QSizeF size = laid.inputs.size;
    auto colorRank = std::make_shared<const ColorRank>(inputs_.colorRank);
    const TreemapLayoutOptions layoutOptions = layoutOptionsOf(inputs_);
    const TreemapRenderOptions renderOptions = renderOptionsOf(inputs_, pixelScale_);
    PaletteRGB palette = normalizedPaletteRGB(inputs_.paletteRGB);
    noteNewest(laid.roots, zoomed, size);

    auto work = [roots = std::move(laid.roots), layout = std::move(laid.layout), hitIndex = std::move(laid.hitIndex),
                 zoomed, size, layoutOptions, colorRank, renderOptions, palette](const CancelFlag& cancel) {
        TreemapPictureRequest request;
        request.roots = roots;
        request.zoomedNode = zoomed;
        request.size = size;
        request.palette = palette;
        request.layout = layoutOptions;
        request.layout.colorRank = colorRank.get();
        request.layout.cancel = &cancel;
        request.render = renderOptions;
        colorTreemapLayout(*layout, request.layout);
        TreemapImage image = renderTreemapPicture(request, *layout);
        return canvasPicture(std::move(image), layout, size, roots, zoomed, hitIndex);
    };
    runPictureJob(std::move(work), timing);
}

void TreemapPictureJobs::dropLayout() {
    if (!layingOut_ && !laid_) return;
    if (layingOut_) generations_.supersede();
    layingOut_.reset();
    newestOutstanding_ = false;
    if (!laid_) return;
    TreemapCanvasPicture unused;
    unused.layout = std::move(laid_->layout);
    unused.hitIndex = std::move(laid_->hitIndex);
    unused.roots = std::move(laid_->roots);
    laid_.reset();
    releaseInBackground(std::move(unused));
}

void TreemapPictureJobs::relabel() {
    // A job still to start reads the sizes as they are then; one on its way may have read them
    // before they changed, so a new one takes its place. So does a layout waiting for colours.
    if (layingOut_ || laid_) {
        dropLayout();
        if (!liveResizing_) schedule();
        return;
    }
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
    dropLayout();
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
