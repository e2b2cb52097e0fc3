// The treemap canvas on a scanned tree, offscreen, in a 1920 x 1080 view: the first picture, a
// resize until the new picture is on screen (after the 0.15 s debounce), the longest stall of the
// GUI thread while layout and rendering run in the background, hover hit-testing, and the paint of
// the picture with every drawn file's box outlined as deleted.
//
//   build/bench/gui_treemap --tree DIR [--runs N] [--logical]
//
// The tree is read with the application's parallel scanner (one worker per processor). Sizes by
// allocated space (by logical size with --logical), labels on, files grouped from 4, colours by
// size rank, as the window starts.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "Platform/Processors.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"

using namespace zelvane;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Ticks every millisecond on the GUI thread and remembers the longest gap between two ticks (how
// long the thread could not answer the user) and the most processor time the GUI thread itself
// spent between two ticks (the share of that gap that is our own work, not a busy machine).
class StallMeter final {
public:
    StallMeter() {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            const double cpu = threadCpuMs();
            longest_ = std::max(longest_, std::chrono::duration<double, std::milli>(now - last_).count());
            longestCpu_ = std::max(longestCpu_, cpu - lastCpu_);
            last_ = now;
            lastCpu_ = cpu;
        });
    }
    void start() {
        longest_ = longestCpu_ = 0;
        last_ = Clock::now();
        lastCpu_ = threadCpuMs();
        timer_.start();
    }
    double stop() {
        timer_.stop();
        return longest_;
    }
    double longestOwnWork() const { return longestCpu_; }

private:
    QTimer timer_;
    Clock::time_point last_;
    double lastCpu_ = 0;
    double longest_ = 0;
    double longestCpu_ = 0;
};

void pumpUntil(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct Stats {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double min() const { return *std::min_element(v.begin(), v.end()); }
    double median() const {
        auto s = v;
        std::sort(s.begin(), s.end());
        return s[s.size() / 2];
    }
    double max() const { return *std::max_element(v.begin(), v.end()); }
    double quantile(double q) const {
        auto s = v;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, size_t(q * double(s.size())))];
    }
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::string tree;
    int runs = 5;
    bool logical = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--logical")) logical = true;
        if (!std::strcmp(argv[i], "--tree") && i + 1 < argc) tree = argv[++i];
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    }
    if (tree.empty()) {
        std::fprintf(stderr, "usage: gui_treemap --tree DIR [--runs N] [--logical]\n");
        return 2;
    }

    auto t0 = Clock::now();
    ParallelScanOptions scan;
    scan.workerCount = activeProcessorCount();
    std::vector<RootRef> roots = parallelScanToTree({tree}, scan);
    if (roots.empty()) {
        std::fprintf(stderr, "could not read %s\n", tree.c_str());
        return 1;
    }
    std::printf("scan: %.0f ms, %d files, %d folders\n", msSince(t0), roots[0]->subFolderFileCount(),
                roots[0]->subFolderDirCount());

    TreemapCanvasInputs inputs;
    inputs.roots = roots;
    inputs.useAllocatedSize = !logical;
    inputs.colorRank = computeExtensionStats(std::span<const RootRef>(roots), true, {}).colorRank;

    TreemapCanvas canvas(nullptr);
    canvas.resize(1920, 1080);
    canvas.show();
    QCoreApplication::processEvents();
    TreemapCanvasModel& model = canvas.model();
    StallMeter stalls;

    // Time spent on the GUI thread from a finished job to the picture painted.
    auto paintNow = [&] {
        const auto p0 = Clock::now();
        canvas.repaint();
        return msSince(p0);
    };

    t0 = Clock::now();
    stalls.start();
    canvas.update(inputs);
    pumpUntil([&] { return model.jobsApplied() == 1; });
    const double firstPaint = paintNow();
    const double first = msSince(t0);
    const double firstStall = stalls.stop();
    std::printf("first picture: %.0f ms (%zu leaves), paint %.1f ms, longest GUI stall %.1f ms (own work %.1f ms)\n",
                first, model.layout().leaves.size(), firstPaint, firstStall, stalls.longestOwnWork());

    Stats afterDebounce, total, paint, stall, ownWork;
    Clock::time_point jobStart;
    QObject::connect(&model, &TreemapCanvasModel::busyChanged, [&](bool busy) {
        if (busy) jobStart = Clock::now();
    });
    for (int r = 0; r < runs; ++r) {
        const int applied = model.jobsApplied();
        stalls.start();
        const auto resized = Clock::now();
        canvas.resize(r % 2 ? 1920 : 1900, 1080);
        pumpUntil([&] { return model.jobsApplied() > applied; });
        const double p = paintNow();
        total.add(msSince(resized));
        afterDebounce.add(msSince(jobStart));
        paint.add(p);
        stall.add(stalls.stop());
        ownWork.add(stalls.longestOwnWork());
    }
    std::printf("resize to picture on screen, after the debounce: min %.0f / median %.0f / max %.0f ms "
                "(from the resize: median %.0f ms)\n",
                afterDebounce.min(), afterDebounce.median(), afterDebounce.max(), total.median());
    std::printf("painting the finished picture: median %.1f ms; longest GUI stall during a resize: %.1f ms "
                "(own work at most %.1f ms)\n",
                paint.median(), stall.max(), ownWork.max());

    // The job's steps one by one, on this thread, for the share of each.
    {
        TreemapLayoutOptions lo;
        lo.metric = treemapMetric(inputs.useAllocatedSize);
        lo.colorRank = &inputs.colorRank;
        auto s0 = Clock::now();
        const TreemapLayout layout = layoutMultiRootTreemap(std::span<const RootRef>(roots), TreemapRect{0, 0, 1920, 1080},
                                                            lo, false, {});
        const double layoutMs = msSince(s0);
        TreemapRenderOptions ro;
        ro.pixelScale = 1;
        ro.metric = lo.metric;
        s0 = Clock::now();
        const TreemapImage image = renderTreemapImage(QSizeF(1920, 1080), layout, inputs.paletteRGB, ro);
        const double renderMs = msSince(s0);
        s0 = Clock::now();
        QImage converted = image.image;
        converted.convertTo(QImage::Format_ARGB32_Premultiplied);
        const double convertMs = msSince(s0);
        s0 = Clock::now();
        const TreemapHitIndex index(layout);
        const double indexMs = msSince(s0);
        std::printf("steps: layout %.0f ms (all processors), render %.0f ms (all processors), convert %.1f ms, hit index %.1f ms\n",
                    layoutMs, renderMs, convertMs, indexMs);
    }

    // Hover: hit-tests over the whole view, one at a time.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> xs(0, 1920), ys(0, 1080);
    Stats hits, hitsCpu;
    const int probes = 200000;
    double sum = 0;
    size_t found = 0;
    for (int i = 0; i < probes; ++i) {
        const QPointF p(xs(rng), ys(rng));
        const double c0 = threadCpuMs();
        const auto h0 = Clock::now();
        const auto hit = model.nodeAt(p);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - h0).count();
        hitsCpu.add((threadCpuMs() - c0) * 1000);
        sum += us;
        hits.add(us);
        found += hit.has_value();
    }
    std::printf("hit-test: mean %.2f us, median %.2f us, 99.9 %% %.2f us, max %.1f us over %d points (%zu hits)\n",
                sum / probes, hits.median(), hits.quantile(0.999), hits.max(), probes, found);
    std::printf("hit-test processor time: 99.9 %% %.2f us, max %.1f us\n", hitsCpu.quantile(0.999), hitsCpu.max());
    // The slowest point again, many times: a slow path of the code repeats, a busy machine does not.
    const size_t worst = size_t(std::max_element(hitsCpu.v.begin(), hitsCpu.v.end()) - hitsCpu.v.begin());
    std::mt19937 replay(7);
    QPointF worstPoint;
    for (size_t i = 0; i <= worst; ++i) worstPoint = QPointF(xs(replay), ys(replay));
    const auto w0 = Clock::now();
    for (int i = 0; i < 1000; ++i) (void)model.nodeAt(worstPoint);
    std::printf("the slowest point again: %.2f us each\n", msSince(w0));

    // Hover as the pointer moves: hit-test, hover outline and tooltip text.
    const auto m0 = Clock::now();
    for (int i = 0; i < 20000; ++i) {
        model.mouseMoved(QPointF(xs(rng), ys(rng)));
        (void)model.toolTipText();
    }
    std::printf("pointer move with hover and tooltip text: mean %.2f us\n", msSince(m0) * 1000 / 20000);

    // Deleted boxes: every drawn file marked deleted, as live monitoring marks what went, and the
    // picture repainted with their outlines (a repaint the window makes on every live change).
    size_t marked = 0;
    for (const TreemapLeaf& leaf : model.layout().leaves)
        if (!leaf.dust && !leaf.node->isDir() && !leaf.node->isSyntheticGroup()) {
            leaf.node->setIsDeleted(true);
            ++marked;
        }
    inputs.monitorRevision += 1;
    canvas.update(inputs);
    // The labels are drawn again with the sizes left (a job of its own).
    const auto relabel = Clock::now();
    pumpUntil([&] {
        return msSince(relabel) > 300 && !model.isRegenerationScheduled() && model.busyRegenerationCount() == 0;
    });
    // The first paint after the change finds the boxes; the ones after it only draw them.
    const double firstDeletedPaint = paintNow();
    std::printf("first paint after the files were marked: %.1f ms\n", firstDeletedPaint);
    Stats deletedPaint, finding;
    for (int i = 0; i < 9; ++i) {
        deletedPaint.add(paintNow());
        const auto f0 = Clock::now();
        (void)model.overlays();
        finding.add(msSince(f0));
    }
    std::printf("painting with %zu deleted boxes outlined (%zu files marked): min %.1f / median %.1f / max %.1f ms, "
                "of which finding the boxes: median %.1f ms\n",
                model.overlays().deleted.size(), marked, deletedPaint.min(), deletedPaint.median(), deletedPaint.max(),
                finding.median());
    // The pointer moving over them: each move onto another box repaints what the hover changed.
    struct PaintCounter : QObject {
        int paints = 0;
        double ms = 0;
        Clock::time_point began;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) began = Clock::now(), ++paints;
            return false;
        }
    } counter;
    canvas.installEventFilter(&counter);
    Stats hoverPaint;
    for (int i = 0; i < 40; ++i) {
        const int before = counter.paints;
        const auto h0 = Clock::now();
        const FileNode* was = model.hoveredNode();
        model.mouseMoved(QPointF(xs(rng), ys(rng)));
        if (model.hoveredNode() == was) continue;
        while (counter.paints == before && msSince(h0) < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        hoverPaint.add(msSince(counter.began));
    }
    canvas.removeEventFilter(&counter);
    std::printf("pointer moves over them, the repaint of each: min %.1f / median %.1f / max %.1f ms\n",
                hoverPaint.min(), hoverPaint.median(), hoverPaint.max());
    return 0;
}
