// Treemap pipeline timings on a tree of about a million files: extension statistics, layout and
// cushion rendering at full HD and 4K, labels on, file grouping on; layout and rendering on all
// processors unless a row says otherwise. Wall time and the processor time of all threads.
//
//   build/bench/treemap_bench                 synthetic tree in memory (the shape of make-tree.py)
//   build/bench/treemap_bench --tree DIR      a real folder, read first as the tests read one
//   --runs N                                  repetitions per step (default 5)
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <QGuiApplication>

#include <malloc.h>

#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "ResidentMemory.hpp"
#include "TreemapLayoutParts.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Folder depths, fan-outs, file counts, sizes and extensions follow the benchmark tree
// generator's defaults. Nodes are allocated folder by folder, as a scanner reading one folder
// at a time does, so that a folder's entries lie together in memory.
RootRef syntheticTree(size_t files, size_t folders, uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);

    // The folder hierarchy first, as indices: 0 is the root.
    const double depthWeights[] = {40, 3427, 6247, 9702, 12752, 13697, 12425, 9519, 6356, 3322, 1609, 904};
    double weightSum = 0;
    for (double w : depthWeights) weightSum += w;
    std::vector<std::vector<size_t>> subfolders(1);
    std::vector<int> depthOf{0};
    std::vector<size_t> previousLevel{0};
    for (size_t d = 0; d < 12; ++d) {
        const size_t count = std::max<size_t>(1, size_t(double(folders) * depthWeights[d] / weightSum));
        // Preferential attachment: a folder is picked once for itself and once per subfolder it
        // already has, so a few grow large; a third of the time the previous parent is reused.
        std::vector<size_t> attach = previousLevel;
        std::vector<size_t> level;
        size_t lastParent = previousLevel.front();
        for (size_t i = 0; i < count; ++i) {
            const size_t parent = unit(rng) < 0.3 ? lastParent : attach[rng() % attach.size()];
            lastParent = parent;
            attach.push_back(parent);
            subfolders[parent].push_back(subfolders.size());
            level.push_back(subfolders.size());
            subfolders.emplace_back();
            depthOf.push_back(int(d) + 1);
        }
        previousLevel = std::move(level);
    }

    // Heavy-tailed file counts per folder; about 8 % of folders get none.
    std::vector<double> cumulative(subfolders.size());
    double acc = 0;
    for (size_t i = 0; i < subfolders.size(); ++i) {
        if (i > 0 && unit(rng) >= 0.08) acc += std::pow(1.0 - unit(rng), -1.0 / 1.1);
        cumulative[i] = acc;
    }
    std::vector<uint32_t> fileCount(subfolders.size(), 0);
    for (size_t i = 0; i < files; ++i) {
        const size_t f = size_t(std::upper_bound(cumulative.begin(), cumulative.end(), unit(rng) * acc) - cumulative.begin());
        ++fileCount[std::min(f, subfolders.size() - 1)];
    }

    static const std::pair<const char*, int> exts[] = {
        {".txt", 6}, {".jpg", 8}, {".png", 6}, {".c", 4},   {".h", 5},    {".cpp", 3}, {".py", 4},   {".js", 6},
        {".json", 5}, {".html", 3}, {".css", 2}, {".md", 3}, {".so", 2},  {".o", 3},   {".a", 1},    {".pdf", 3},
        {".mp3", 2}, {".mp4", 1},  {".mov", 1}, {".zip", 1}, {".gz", 2},  {".tar", 1}, {".xml", 2},  {".log", 2},
        {".dat", 2}, {".bin", 1},  {".svg", 2}, {".ts", 2},  {".rs", 1},  {".go", 1},  {".java", 1}, {".class", 2},
        {".docx", 1}, {".xlsx", 1}, {".csv", 2}, {"", 8},    {".tar.gz", 1}, {".bak", 1}, {".swp", 1}};
    std::vector<int> extCumulative;
    int extSum = 0;
    for (const auto& e : exts) extCumulative.push_back(extSum += e.second);
    std::lognormal_distribution<double> sizeDist(std::log(3000.0), 2.2);

    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/bench");
    std::vector<std::pair<size_t, FileNode*>> pending{{0, root}};
    std::vector<FileNode*> kids;
    char name[64];
    size_t serial = 0;
    while (!pending.empty()) {
        auto [index, folder] = pending.back();
        pending.pop_back();
        kids.clear();
        for (size_t sub : subfolders[index]) {
            std::snprintf(name, sizeof name, "%s %zu", depthOf[sub] % 3 ? "project" : "data", sub);
            FileNode* f = tree.loose(name, true, 0, 0);
            kids.push_back(f);
            pending.emplace_back(sub, f);
        }
        for (uint32_t i = 0; i < fileCount[index]; ++i) {
            const int e = int(rng() % unsigned(extSum));
            const size_t ext = size_t(std::upper_bound(extCumulative.begin(), extCumulative.end(), e) - extCumulative.begin());
            const int64_t size = unit(rng) < 0.03 ? 0 : std::min<int64_t>(8 << 20, int64_t(sizeDist(rng)));
            const int64_t alloc = (size + 4095) / 4096 * 4096;
            std::snprintf(name, sizeof name, "file_%zu%s", serial++, exts[ext].first);
            kids.push_back(tree.loose(name, false, size, alloc));
        }
        if (!kids.empty()) tree.setChildren(folder, kids);
    }
    return tree.finish(root);
}

// Processor time of every thread of the process: the work a step does, which a busy machine
// does not inflate the way it does wall time.
double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Timing {
    double min = 0, median = 0, cpuMin = 0;
};

Timing measure(int runs, const std::function<void()>& step) {
    std::vector<double> ms, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        const double c0 = processCpuMs();
        step();
        ms.push_back(msSince(t0));
        cpu.push_back(processCpuMs() - c0);
    }
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], *std::min_element(cpu.begin(), cpu.end())};
}

void row(const char* what, Timing t, const std::string& note = {}) {
    std::printf("| %-44s | %9.1f | %9.1f | %9.1f | %s\n", what, t.min, t.median, t.cpuMin, note.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::string treePath;
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--tree") && i + 1 < argc) treePath = argv[++i];
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    }

    auto t0 = Clock::now();
    RootRef root = treePath.empty() ? syntheticTree(1000000, 80000, 1) : testsupport::readTreeFromDisk(treePath);
    const double loadMs = msSince(t0);
    std::printf("tree: %s, %d files, %d folders, %.1f GB; %s in %.0f ms\n",
                treePath.empty() ? "synthetic" : treePath.c_str(), root->subFolderFileCount(),
                root->subFolderDirCount(), double(root->effectiveSize()) / 1e9,
                treePath.empty() ? "built" : "read sequentially", loadMs);
    std::printf("| step | min ms | median ms | processor ms (min) | notes\n|---|---:|---:|---:|---\n");

    ExtensionStatsResult stats;
    const Timing st = measure(runs, [&] { stats = computeExtensionStats(std::span<const RootRef>(&root, 1), true, {}); });
    row("computeExtensionStats (colour by size)", st, std::to_string(stats.all.size()) + " extensions");

    TreemapLayoutOptions lo;
    lo.metric = effectiveSizeMetric;
    lo.showLabels = true;
    lo.colorRank = &stats.colorRank;
    lo.fileGroupMinSize = FileNode::defaultMinGroupSize;
    const PaletteRGB palette = defaultPaletteRGB();

    {
        // The window's first picture: its default treemap pane by allocated size, laid out before
        // the colour ranks are known and coloured once they are.
        TreemapLayoutOptions later = lo;
        later.metric = treemapMetric(true);
        later.colorsLater = true;
        const TreemapRect pane{0, 0, 1000, 195};
        TreemapLayout layout;
        row("layout 1000x195 by allocated size, colours later", measure(runs, [&] {
                layout = layoutMultiRootTreemap(std::span<const RootRef>(&root, 1), pane, later, false, {});
            }));
        std::vector<TreemapLayout> laid(static_cast<size_t>(runs));
        for (TreemapLayout& l : laid) l = layoutMultiRootTreemap(std::span<const RootRef>(&root, 1), pane, later, false, {});
        size_t next = 0;
        row("  its colours", measure(runs, [&] { colorTreemapLayout(laid[next++ % laid.size()], later); }),
            std::to_string(laid[0].leaves.size()) + " leaves, " + std::to_string(laid[0].hitNodes.size()) + " hit nodes");
        TreemapRenderOptions ro;
        ro.metric = later.metric;
        row("  its rendering @1x, labels on", measure(runs, [&] { renderTreemapImage({1000, 195}, laid[0], palette, ro); }));
    }
    {
        // What the window's first picture keeps and what each step of its making peaks at: the
        // resident high-water mark starts anew at each step, heap in use is glibc's count.
        TreemapLayoutOptions later = lo;
        later.metric = treemapMetric(true);
        later.colorsLater = true;
        const auto heapMiB = [] {
            const struct mallinfo2 heap = mallinfo2();
            return double(heap.uordblks + heap.hblkhd) / 1048576.0;
        };
        struct Mark {
            double rss, heap;
        };
        const auto mark = [&] { return Mark{double(bench::residentKiB().first) / 1024.0, heapMiB()}; };
        const auto memRow = [&](const char* what, const std::function<void()>& step) {
            malloc_trim(0);
            const Mark before = mark();
            bench::resetPeak();
            step();
            const double peak = double(bench::residentKiB().second) / 1024.0;
            const Mark after = mark();
            std::printf("| %-44s | peak +%.1f MiB | resident +%.1f MiB | heap in use +%.1f MiB\n", what,
                        peak - before.rss, after.rss - before.rss, after.heap - before.heap);
        };
        TreemapLayout layout;
        memRow("memory: layout 1000x195, colours later", [&] {
            layout = layoutMultiRootTreemap(std::span<const RootRef>(&root, 1), {0, 0, 1000, 195}, later, false, {});
        });
        bench::printTreemapLayoutParts(stdout, "|   its parts | ", layout, 1);
        memRow("memory: its colours", [&] { colorTreemapLayout(layout, later); });
        TreemapRenderOptions ro;
        ro.metric = later.metric;
        TreemapImage image;
        memRow("memory: its rendering @1x, labels on", [&] { image = renderTreemapImage({1000, 195}, layout, palette, ro); });
        memRow("memory: the layout freed", [&] { layout = TreemapLayout(); });
    }
    {
        TreemapLayoutOptions one = lo;
        one.maxThreads = 1;
        TreemapLayout layout;
        row("layout 1920x1080, labels and grouping on, 1 thread", measure(runs, [&] {
                layout = layoutMultiRootTreemap(std::span<const RootRef>(&root, 1), {0, 0, 1920, 1080}, one, false, {});
            }));
    }
    for (auto [w, h] : {std::pair{1920.0, 1080.0}, std::pair{3840.0, 2160.0}}) {
        TreemapLayout layout;
        const Timing lt = measure(runs, [&] {
            layout = layoutMultiRootTreemap(std::span<const RootRef>(&root, 1), {0, 0, w, h}, lo, false, {});
        });
        char label[96];
        std::snprintf(label, sizeof label, "layout %.0fx%.0f, labels and grouping on, all threads", w, h);
        row(label, lt, std::to_string(layout.leaves.size()) + " leaves, " + std::to_string(layout.folderLabels.size()) +
                           " labelled folders, " + std::to_string(layout.groupBoxes.size()) + " groups");
        for (double scale : {1.0, 2.0}) {
            if (scale == 2 && w > 2000) continue;
            TreemapRenderOptions ro;
            ro.pixelScale = scale;
            ro.showLabels = false;
            ro.metric = lo.metric;
            std::snprintf(label, sizeof label, "render %.0fx%.0f @%gx, shading only", w, h, scale);
            row(label, measure(runs, [&] { renderTreemapImage({w, h}, layout, palette, ro); }));
            ro.showLabels = true;
            std::snprintf(label, sizeof label, "render %.0fx%.0f @%gx, labels on", w, h, scale);
            row(label, measure(runs, [&] { renderTreemapImage({w, h}, layout, palette, ro); }));
        }
    }
    return 0;
}
