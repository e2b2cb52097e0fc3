#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

#include "ScanEngine/Support/Arithmetic.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"

namespace zelvane {

namespace {

// Free-space boxes get two ridges per axis of this size, k = 0.6552 / extent.
constexpr double kFreeSpaceRidgeNumerator = 0.6552;

void addRidge(double& linear, double& quadratic, double min, double max, double numerator) {
    const double extent = max - min;
    // The extent must truncate to a non-zero integer; NaN never does.
    if (!(std::fabs(extent) >= 1)) return;
    const double k = numerator / extent;
    linear += (min + max) * k;
    quadratic -= k;
}

template <class T>
void appendAll(std::vector<T>& to, std::vector<T>& from) {
    if (to.empty()) {
        to.swap(from);
        return;
    }
    to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
}

// Whole pages mapped for a list alone and unmapped when it is freed: for the subtree tasks'
// lists, which live only until they are copied into the layout's. In the worker threads'
// allocator arenas their memory (some megabytes for a whole disk) would stay resident, unused,
// after the layout.
template <class T>
struct PageAllocator {
    using value_type = T;
    PageAllocator() = default;
    template <class U>
    explicit PageAllocator(const PageAllocator<U>&) noexcept {}
    static size_t bytesFor(size_t n) {
        static const size_t page = size_t(::sysconf(_SC_PAGESIZE));
        if (n > (std::numeric_limits<size_t>::max() - page) / sizeof(T)) throw std::bad_alloc();
        return (n * sizeof(T) + page - 1) / page * page;
    }
    T* allocate(size_t n) {
        void* p = ::mmap(nullptr, bytesFor(n), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) noexcept { ::munmap(p, bytesFor(n)); }
    bool operator==(const PageAllocator&) const noexcept { return true; }
};

template <class T>
using PagedList = std::vector<T, PageAllocator<T>>;

struct Measured {
    int64_t metric;
    uint32_t order;  // position among the grouped children: equal measures keep it
    FileNode* node;
};

// Buffers reused for every folder of one layout walk.
struct Scratch {
    std::vector<Measured> measured;
    std::shared_ptr<NodeStore> groupStore;  // every synthetic group of this walk, made on demand
    NodeArena* groupArena = nullptr;
    std::vector<double> sizes;
    std::vector<TreemapRect> rects;
};

// A deleted file is grey whatever its type: the file types are counted without deleted files, so
// its type's colour would otherwise come and go with what else of that type is left.
uint8_t colorIndexFor(const FileNode& node, const ColorRank* rank, std::string& ext) {
    if (!rank || rank->empty() || node.isDeleted()) return uint8_t(kGraySlot);
    return paletteSlot(*rank, detectedExtensionInto(node, ext));
}

// Where the colour of content too small to lay out comes from: a file itself; for a folder, the
// largest file left found by following its largest entries down a few levels (none: grey).
FileNode* dustColorSource(FileNode* node, const TreemapLayoutOptions& options) {
    constexpr int kLevels = 8;
    FileNode* n = node;
    for (int level = 0; level < kLevels && n && n->isDir(); ++level) {
        FileNode* largest = nullptr;
        int64_t most = 0;
        for (FileNode* kid : n->children()) {
            const int64_t m = kid->isDeleted() ? 0 : options.metric(*kid);
            if (m > most) most = m, largest = kid;
        }
        n = largest;
    }
    return n && !n->isDir() ? n : nullptr;
}

bool near(double a, double b) { return std::fabs(a - b) <= 1e-6; }

// Widens `box` to take in `r` when the two together are a rectangle: they share a whole edge.
bool unite(TreemapRect& box, const TreemapRect& r) {
    const bool sameColumn = near(box.minX(), r.minX()) && near(box.maxX(), r.maxX());
    const bool sameRow = near(box.minY(), r.minY()) && near(box.maxY(), r.maxY());
    if (sameColumn && (near(box.maxY(), r.minY()) || near(r.maxY(), box.minY()))) {
        const double top = std::min(box.minY(), r.minY()), bottom = std::max(box.maxY(), r.maxY());
        box.y = top, box.height = bottom - top;
        return true;
    }
    if (sameRow && (near(box.maxX(), r.minX()) || near(r.maxX(), box.minX()))) {
        const double left = std::min(box.minX(), r.minX()), right = std::max(box.maxX(), r.maxX());
        box.x = left, box.width = right - left;
        return true;
    }
    return false;
}

// Whether `last` takes in the dust box `dust`, which it then covers: dust of the same folder, in
// the same colour, sharing a whole edge.
bool joinsDust(TreemapLeaf& last, const TreemapLeaf& dust) {
    return last.dust && last.colorIndex == dust.colorIndex && last.node->parent() == dust.node->parent() &&
           unite(last.rect, dust.rect);
}

uint8_t dustColorIndex(FileNode* source, const TreemapLayoutOptions& options, std::string& ext) {
    return source ? colorIndexFor(*source, options.colorRank, ext) : uint8_t(kGraySlot);
}

// A group node is made anew by every layout: a dust box names a file of the tree instead.
FileNode* dustNode(FileNode* n, FileNode* source) { return n->isSyntheticGroup() && source ? source : n; }

// A child at least a point square in area that is still less than a point wide or high (a thin
// slice of a strip) paints the pixels whose centres it covers, in its colour on its parent's
// cushion. Siblings of one colour that join into a rectangle become one box once the colours are
// known. The colour is that of `dustColorSource` of the node named, which is the same for a group
// and for the file that stands for it.
template <class Out>
void addDust(FileNode* n, const TreemapRect& r, const CushionSurface& parentSurface, const TreemapLayoutOptions& options,
             Out& into) {
    if (n->isSyntheticGroup()) n = dustNode(n, dustColorSource(n, options));
    into.leaves.push_back({n, r, parentSurface, uint8_t(kGraySlot), true});
}

// The colour most of the room of `members` would be painted in, judged by their measures from a
// sample spread evenly over them (they may be many thousands); `firstSource` is the colour's
// source of the first of them.
uint8_t dominantDustColor(std::span<const TreemapHitNode> members, const TreemapLayoutOptions& options,
                          std::string& ext) {
    constexpr size_t kSampled = 8;
    struct Weight {
        uint8_t colour;
        int64_t sum;
    };
    std::array<Weight, kSampled> weights;
    size_t colours = 0;
    const size_t samples = std::min(kSampled, members.size());
    for (size_t i = 0; i < samples; ++i) {
        FileNode* member = members[i * members.size() / samples].node;
        const uint8_t colour = dustColorIndex(dustColorSource(member, options), options, ext);
        size_t k = 0;
        while (k < colours && weights[k].colour != colour) ++k;
        if (k == colours) weights[colours++] = {colour, 0};
        weights[k].sum = saturatingAdd(weights[k].sum, std::max<int64_t>(0, options.metric(*member)));
    }
    if (colours == 0) return uint8_t(kGraySlot);
    // Ties go to the colour met first, that of the larger members.
    size_t best = 0;
    for (size_t k = 1; k < colours; ++k)
        if (weights[k].sum > weights[best].sum) best = k;
    return weights[best].colour;
}

// The children of a folder smaller than a point square in area (the tail of the placement, as
// the children are placed largest first) cover no pixel of their own, yet together they may
// cover many: a folder of thousands of small files would otherwise show as a hole. They are
// painted as at most two boxes on the folder's cushion, in the colour most of them have: the end
// of the strip the first of them stands in, and the rectangle the later strips fill (with the
// slivers squarify leaves between hair-thin strips). Their colours are judged once the colours
// are known, from the children each box stands for.
template <class Out>
void addDustTail(const TreemapHitNode& hit, const CushionSurface& surface, const TreemapLayoutOptions& options,
                 Out& into) {
    const std::span<TreemapHitNode> kids = hit.children;
    size_t t = 0;
    while (t < kids.size() && kids[t].rect.width * kids[t].rect.height >= 1) ++t;
    if (t == kids.size() || !(kids[t].rect.width > 0 && kids[t].rect.height > 0)) return;
    TreemapRect stripEnd = kids[t].rect;
    size_t j = t + 1;
    while (j < kids.size() && kids[j].rect.width > 0 && kids[j].rect.height > 0 && unite(stripEnd, kids[j].rect)) ++j;
    into.leaves.push_back({dustNode(kids[t].node, dustColorSource(kids[t].node, options)), stripEnd, surface,
                           uint8_t(kGraySlot), true, true});
    into.dustSamples.push_back(kids.subspan(t, j - t));

    bool any = false;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (size_t k = j; k < kids.size(); ++k) {
        const TreemapRect& r = kids[k].rect;
        if (!(r.width > 0 && r.height > 0)) continue;
        minX = any ? std::min(minX, r.minX()) : r.minX();
        minY = any ? std::min(minY, r.minY()) : r.minY();
        maxX = any ? std::max(maxX, r.maxX()) : r.maxX();
        maxY = any ? std::max(maxY, r.maxY()) : r.maxY();
        any = true;
    }
    if (!any) return;
    const TreemapRect rest{minX, minY, maxX - minX, maxY - minY};
    into.leaves.push_back({dustNode(kids[j].node, dustColorSource(kids[j].node, options)), rest, surface,
                           uint8_t(kGraySlot), true, true});
    into.dustSamples.push_back(kids.subspan(j));
}

// Lays out one node (its leaf, label or group box) and, for a folder whose content gets room,
// places its children into hit.children. Returns true when there are children to descend into;
// `surface` is then the surface the children inherit.
template <class Out>
bool layOutOne(TreemapHitNode& hit, bool isRoot, double ridgeHeight, CushionSurface& surface,
               const TreemapLayoutOptions& options, Out& into, Scratch& scratch) {
    const TreemapRect r = hit.rect;
    FileNode* n = hit.node;
    if (r.width < 1 || r.height < 1) {
        // Less than a point square: its parent painted it with the rest of its small children.
        if (!isRoot && r.width * r.height >= 1) addDust(n, r, surface, options, into);
        return false;
    }
    if (!isRoot) {
        surface.addRidgeX(r.minX(), r.maxX(), ridgeHeight);
        surface.addRidgeY(r.minY(), r.maxY(), ridgeHeight);
    }
    if (!n->isDir() || n->childCount() == 0) {
        into.leaves.push_back({n, r, surface});
        return false;
    }

    TreemapRect content = r;
    if (options.showLabels) {
        if (!n->isSyntheticGroup() && r.height > 14 && r.width >= 80) {
            into.folderLabels.push_back({n, TreemapRect{r.minX(), r.minY(), r.width, 12}, r});
            content = {r.minX() + 2, r.minY() + 13, std::max(0.0, r.width - 4), std::max(0.0, r.height - 14)};
        } else if (n->isSyntheticGroup()) {
            into.groupBoxes.push_back({n, r, r});
        }
    }
    if (content.width < 1 || content.height < 1) return false;

    // Grouping only changes anything when the folder holds enough loose files; checking that
    // first spares most folders building a copy of their children.
    std::span<FileNode* const> kids = n->children();
    FileNode::Grouped grouped;
    if (!n->isSyntheticGroup() && options.fileGroupMinSize >= 1) {
        size_t files = 0;
        for (const FileNode* kid : kids) files += !kid->isDir();
        if (files >= size_t(options.fileGroupMinSize)) {
            if (!scratch.groupArena) {
                scratch.groupStore = NodeStore::create();
                scratch.groupArena = &scratch.groupStore->makeArena();
            }
            grouped = n->groupedChildren(options.fileGroupMinSize, *scratch.groupArena);
            kids = grouped.nodes;
        }
    }
    scratch.measured.clear();
    for (size_t i = 0; i < kids.size(); ++i) {
        const int64_t m = options.metric(*kids[i]);
        if (m >= 1) scratch.measured.push_back({m, uint32_t(i), kids[i]});
    }
    if (scratch.measured.empty()) return false;
    // Largest first; the order tie-break makes this the stable sort without its buffer.
    std::sort(scratch.measured.begin(), scratch.measured.end(), [](const Measured& a, const Measured& b) {
        return a.metric != b.metric ? a.metric > b.metric : a.order < b.order;
    });

    // The squarified placement of the largest children, with this walk's buffers.
    const size_t count = std::min(scratch.measured.size(), kMaxChildrenPlaced);
    scratch.sizes.resize(count);
    scratch.rects.assign(count, TreemapRect{});
    double total = 0;
    for (size_t i = 0; i < count; ++i) total += scratch.sizes[i] = double(scratch.measured[i].metric);
    if (total > 0) layoutStrip(scratch.sizes, 0, count, total, content, scratch.rects);
    hit.children = into.hitNodes.allocate(count);
    for (size_t i = 0; i < count; ++i) hit.children[i] = {scratch.measured[i].node, scratch.rects[i], {}};
    addDustTail(hit, surface, options, into);
    return true;
}

}  // namespace

void CushionSurface::addRidgeX(double minX, double maxX, double height) {
    addRidge(x1, x2, minX, maxX, height * 4);
}

void CushionSurface::addRidgeY(double minY, double maxY, double height) {
    addRidge(y1, y2, minY, maxY, height * 4);
}

namespace {

// A folder whose subtree is laid out on a worker thread, into a layout of its own whose lists
// are later spliced into the main lists at the positions the folder would have filled.
struct TaskRange {
    size_t from = 0, to = 0;
};

struct SubtreeTask {
    TreemapHitNode* hit = nullptr;
    CushionSurface surface;  // inherited from the parent
    double ridgeHeight = 0;
    size_t leafPos = 0, labelPos = 0, groupPos = 0, samplePos = 0;
    uint64_t weight = 0;
    // What the task wrote, in the lists of the worker that ran it.
    unsigned worker = 0;
    TaskRange leaves, folderLabels, groupBoxes, dustSamples;
};

// What one worker's subtree tasks write, one after the other; each task keeps its ranges. The
// worker's hit nodes come from one pool for all its tasks, so only its last block is part-used.
struct WorkerLists {
    PagedList<TreemapLeaf> leaves;
    PagedList<TreemapFolderLabel> folderLabels;
    PagedList<TreemapFolderLabel> groupBoxes;
    PagedList<std::span<const TreemapHitNode>> dustSamples;
    TreemapHitNodePool hitNodes;
};

struct TaskPlan {
    std::vector<SubtreeTask> tasks;  // in depth-first order
    uint64_t minWeight = 0;
    uint64_t maxWeight = 0;
};

uint64_t subtreeWeight(const FileNode& n) {
    if (n.isSyntheticGroup()) return n.childCount();
    return uint64_t(std::max(0, n.subFolderFileCount())) + uint64_t(std::max(0, n.subFolderDirCount()));
}

// Depth-first with an explicit stack; hit nodes never move once allocated. With a plan, child
// folders of a task's size are set aside instead of descended into.
template <class Out>
void walk(TreemapHitNode& top, bool isRoot, double ridgeHeight, CushionSurface surface,
          const TreemapLayoutOptions& options, Out& into, Scratch& scratch, TaskPlan* plan) {
    struct Frame {
        TreemapHitNode* parent;
        size_t next;
        CushionSurface surface;
        double childRidge;
    };
    std::vector<Frame> stack;
    if (layOutOne(top, isRoot, ridgeHeight, surface, options, into, scratch))
        stack.push_back({&top, 0, surface, ridgeHeight * kRidgeShrinkPerLevel});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.parent->children.size()) {
            stack.pop_back();
            // Asked once per folder done: often enough to stop within a few milliseconds.
            if (isCancelled(options.cancel)) return;
            continue;
        }
        TreemapHitNode& child = f.parent->children[f.next++];
        CushionSurface childSurface = f.surface;
        const double ridge = f.childRidge;
        if (plan && child.node->isDir() && child.rect.width >= 1 && child.rect.height >= 1) {
            const uint64_t w = subtreeWeight(*child.node);
            if (w >= plan->minWeight && w <= plan->maxWeight) {
                SubtreeTask& t = plan->tasks.emplace_back();
                t.hit = &child;
                t.surface = childSurface;
                t.ridgeHeight = ridge;
                t.leafPos = into.leaves.size();
                t.labelPos = into.folderLabels.size();
                t.groupPos = into.groupBoxes.size();
                t.samplePos = into.dustSamples.size();
                t.weight = w;
                continue;
            }
        }
        if (layOutOne(child, false, ridge, childSurface, options, into, scratch))
            stack.push_back({&child, 0, childSurface, ridge * kRidgeShrinkPerLevel});
    }
}

// Puts each task's entries of one list back where the sequential walk would have put them.
template <class T>
void splice(std::vector<T>& list, const std::vector<SubtreeTask>& tasks, const std::vector<WorkerLists>& lists,
            size_t SubtreeTask::*pos, TaskRange SubtreeTask::*range, PagedList<T> WorkerLists::*field) {
    size_t extra = 0;
    for (const SubtreeTask& t : tasks) extra += (t.*range).to - (t.*range).from;
    if (extra == 0) return;
    std::vector<T> merged;
    merged.reserve(list.size() + extra);
    size_t from = 0;
    for (const SubtreeTask& t : tasks) {
        merged.insert(merged.end(), list.begin() + std::ptrdiff_t(from), list.begin() + std::ptrdiff_t(t.*pos));
        const PagedList<T>& part = lists[t.worker].*field;
        merged.insert(merged.end(), part.begin() + std::ptrdiff_t((t.*range).from),
                      part.begin() + std::ptrdiff_t((t.*range).to));
        from = t.*pos;
    }
    merged.insert(merged.end(), list.begin() + std::ptrdiff_t(from), list.end());
    list.swap(merged);
}

// Below this many nodes a layout is not worth handing to other threads.
constexpr uint64_t kParallelMinimumWeight = 50000;
constexpr uint64_t kTaskMinimumWeight = 256;

unsigned layoutThreads(const TreemapLayoutOptions& options) {
    // An explicit count is honoured as given (the result does not depend on it), even beyond the
    // processors: tests use it to check exactly that.
    if (options.maxThreads > 0) return unsigned(options.maxThreads);
    return parallelWorkerCount();
}

void runTasks(std::vector<SubtreeTask>& tasks, unsigned threads, const TreemapLayoutOptions& options,
              std::vector<std::shared_ptr<NodeStore>>& groupStores, std::vector<WorkerLists>& lists) {
    std::vector<size_t> order(tasks.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    // Largest first, so that the last tasks to start are short ones.
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return tasks[a].weight > tasks[b].weight; });

    // A failure (memory running out) stops the other workers at their next task and is raised
    // again here, on the calling thread.
    CancelFlag stop;
    std::mutex failureMutex;
    std::exception_ptr failure;
    const unsigned workerCount = unsigned(std::min<size_t>(threads, tasks.size()));
    std::vector<Scratch> scratches(workerCount);
    lists.resize(workerCount);
    // Room mapped up front spares the lists most of their growing; pages never written to are
    // never made resident.
    constexpr size_t kListRoom = size_t(256) << 10;
    for (WorkerLists& l : lists) {
        l.leaves.reserve(kListRoom / sizeof(TreemapLeaf));
        l.folderLabels.reserve(kListRoom / sizeof(TreemapFolderLabel));
        l.groupBoxes.reserve(kListRoom / sizeof(TreemapFolderLabel));
        l.dustSamples.reserve(kListRoom / sizeof(std::span<const TreemapHitNode>));
    }
    parallelFor(order.size(), workerCount, 1, [&](size_t i, unsigned worker) {
        if (stop.isSet() || isCancelled(options.cancel)) return;
        try {
            SubtreeTask& t = tasks[order[i]];
            WorkerLists& out = lists[worker];
            t.worker = worker;
            t.leaves.from = t.leaves.to = out.leaves.size();
            t.folderLabels.from = t.folderLabels.to = out.folderLabels.size();
            t.groupBoxes.from = t.groupBoxes.to = out.groupBoxes.size();
            t.dustSamples.from = t.dustSamples.to = out.dustSamples.size();
            walk(*t.hit, false, t.ridgeHeight, t.surface, options, out, scratches[worker], nullptr);
            t.leaves.to = out.leaves.size();
            t.folderLabels.to = out.folderLabels.size();
            t.groupBoxes.to = out.groupBoxes.size();
            t.dustSamples.to = out.dustSamples.size();
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure) failure = std::current_exception();
            stop.set();
        }
    });
    if (failure) std::rethrow_exception(failure);
    for (Scratch& scratch : scratches)
        if (scratch.groupStore) groupStores.push_back(std::move(scratch.groupStore));
}

// Below this many leaves the colours are set on the calling thread alone. A dust box's colour
// may take a walk down a few levels of large folders, so batches are small.
constexpr size_t kParallelColorMinimum = 4096;
constexpr size_t kColorBatch = 512;

// Colours the leaves from `firstLeaf` on (the sampled dust among them from `firstSample` of the
// samples on), then joins the dust boxes that make one box, in the order they were laid: each
// against the box before it, as if it had been joined as it was laid.
void colorLeaves(TreemapLayout& into, size_t firstLeaf, size_t firstSample, const TreemapLayoutOptions& options) {
    std::vector<TreemapLeaf>& leaves = into.leaves;
    const size_t count = leaves.size() - firstLeaf;
    const size_t batches = (count + kColorBatch - 1) / kColorBatch;
    // Where each batch's sampled dust starts among the samples.
    std::vector<size_t> sampleStart(batches + 1, firstSample);
    for (size_t b = 0; b < batches; ++b) {
        size_t sampled = 0;
        const size_t end = std::min(leaves.size(), firstLeaf + (b + 1) * kColorBatch);
        for (size_t i = firstLeaf + b * kColorBatch; i < end; ++i) sampled += leaves[i].sampled;
        sampleStart[b + 1] = sampleStart[b] + sampled;
    }
    const unsigned threads = count >= kParallelColorMinimum ? layoutThreads(options) : 1;
    std::vector<std::string> exts(std::min<size_t>(threads, std::max<size_t>(batches, 1)));
    parallelFor(
        batches, unsigned(exts.size()), 1,
        [&](size_t b, unsigned worker) {
            std::string& ext = exts[worker];
            size_t sample = sampleStart[b];
            const size_t end = std::min(leaves.size(), firstLeaf + (b + 1) * kColorBatch);
            for (size_t i = firstLeaf + b * kColorBatch; i < end; ++i) {
                TreemapLeaf& leaf = leaves[i];
                if (leaf.sampled) leaf.colorIndex = dominantDustColor(into.dustSamples[sample++], options, ext);
                else if (leaf.dust) leaf.colorIndex = dustColorIndex(dustColorSource(leaf.node, options), options, ext);
                else leaf.colorIndex = colorIndexFor(*leaf.node, options.colorRank, ext);
            }
        },
        options.cancel);

    size_t kept = firstLeaf;
    for (size_t i = firstLeaf; i < leaves.size(); ++i) {
        if (leaves[i].dust && !leaves[i].sampled && kept > 0 && joinsDust(leaves[kept - 1], leaves[i])) continue;
        if (kept != i) leaves[kept] = leaves[i];
        ++kept;
    }
    leaves.resize(kept);
    into.dustSamples.resize(firstSample);
    if (into.dustSamples.empty()) into.dustSamples.shrink_to_fit();
}

}  // namespace

void colorTreemapLayout(TreemapLayout& layout, const TreemapLayoutOptions& options) {
    colorLeaves(layout, 0, 0, options);
    layout.nodeRects.index(layout.leaves, layout.folderLabels);
}

TreemapHitNode layoutTreemapNode(FileNode* node, const TreemapRect& in, bool isRoot, double ridgeHeight,
                                 const CushionSurface& surface, const TreemapLayoutOptions& options,
                                 TreemapLayout& into) {
    TreemapHitNode top{node, in, {}};
    if (!node) return top;
    const size_t firstLeaf = into.leaves.size();
    const size_t firstSample = into.dustSamples.size();

    // Large trees: the top of the tree is walked here, and the subtrees below a size share are
    // laid out on worker threads. Splicing their lists back gives the sequential result.
    const unsigned threads = layoutThreads(options);
    const uint64_t weight = subtreeWeight(*node);
    std::optional<TaskPlan> plan;
    if (threads > 1 && weight >= kParallelMinimumWeight) {
        plan.emplace();
        plan->minWeight = kTaskMinimumWeight;
        plan->maxWeight = std::max(kTaskMinimumWeight, weight / (uint64_t(threads) * 8));
    }

    Scratch scratch;
    walk(top, isRoot, ridgeHeight, surface, options, into, scratch, plan ? &*plan : nullptr);
    if (scratch.groupStore) into.retained.push_back(std::move(scratch.groupStore));
    if (isCancelled(options.cancel)) return top;
    if (plan && !plan->tasks.empty()) {
        std::vector<std::shared_ptr<NodeStore>> groupStores;
        std::vector<WorkerLists> lists;
        runTasks(plan->tasks, threads, options, groupStores, lists);
        // Adopted even when stopped: the hit nodes set aside for the tasks refer to them.
        for (WorkerLists& l : lists) into.hitNodes.adopt(std::move(l.hitNodes));
        for (auto& store : groupStores)
            if (store) into.retained.push_back(std::move(store));
        if (isCancelled(options.cancel)) return top;
        const std::vector<SubtreeTask>& tasks = plan->tasks;
        splice(into.leaves, tasks, lists, &SubtreeTask::leafPos, &SubtreeTask::leaves, &WorkerLists::leaves);
        splice(into.folderLabels, tasks, lists, &SubtreeTask::labelPos, &SubtreeTask::folderLabels,
               &WorkerLists::folderLabels);
        splice(into.groupBoxes, tasks, lists, &SubtreeTask::groupPos, &SubtreeTask::groupBoxes,
               &WorkerLists::groupBoxes);
        splice(into.dustSamples, tasks, lists, &SubtreeTask::samplePos, &SubtreeTask::dustSamples,
               &WorkerLists::dustSamples);
    }
    if (!options.colorsLater) {
        colorLeaves(into, firstLeaf, firstSample, options);
        if (isCancelled(options.cancel)) return top;
    }

    // Indexed again once the colours have joined the dust.
    into.nodeRects.index(into.leaves, into.folderLabels);
    return top;
}

TreemapLayout layoutMultiRootTreemap(std::span<FileNode* const> roots, const TreemapRect& in,
                                     const TreemapLayoutOptions& options, bool showFreeSpace,
                                     std::span<const VolumeCapacity> capacities) {
    TreemapLayout result;
    if (roots.empty()) return result;

    struct ColumnBasis {
        int64_t denominatorContribution = 0;
        std::optional<int64_t> total;
        std::optional<int64_t> available;
    };
    std::vector<ColumnBasis> bases(roots.size());
    int64_t sum = 0;
    for (size_t i = 0; i < roots.size(); ++i) {
        ColumnBasis& b = bases[i];
        if (i < capacities.size() && showFreeSpace && capacities[i].total && *capacities[i].total > 0 &&
            capacities[i].available) {
            b = {*capacities[i].total, capacities[i].total, capacities[i].available};
        } else {
            b.denominatorContribution = roots[i] ? options.metric(*roots[i]) : 0;
        }
        sum = saturatingAdd(sum, b.denominatorContribution);
    }
    if (sum <= 0) return result;

    double x = in.minX();
    const double width = in.width;
    for (size_t i = 0; i < roots.size(); ++i) {
        FileNode* root = roots[i];
        const ColumnBasis& b = bases[i];
        const double colW = std::floor(width * (double(b.denominatorContribution) / double(sum)));
        if (!root || !(colW >= 1)) continue;

        TreemapLayout partial;
        TreemapRect rootRect{x, in.minY(), colW, in.height};
        if (b.total && *b.total > 0 && b.available && root->parent() == nullptr) {
            const int64_t total = *b.total;
            // A volume can report more free space than its size, or less than none; either
            // would push the root's rectangle out of its column.
            const int64_t available = std::clamp<int64_t>(*b.available, 0, total);
            const double usedW = std::floor((double(total - available) / double(total)) * colW);
            rootRect.width = usedW;
            const double freeW = colW - usedW;
            if (freeW >= 1) {
                TreemapFreeSpaceBox box;
                box.rect = {x + usedW, in.minY(), freeW, in.height};
                for (int pass = 0; pass < 2; ++pass) {
                    addRidge(box.surface.x1, box.surface.x2, box.rect.minX(), box.rect.maxX(), kFreeSpaceRidgeNumerator);
                    addRidge(box.surface.y1, box.surface.y2, box.rect.minY(), box.rect.maxY(), kFreeSpaceRidgeNumerator);
                }
                box.freeBytes = available;
                partial.freeSpaceBoxes.push_back(box);
            }
        }

        TreemapHitNode hit = layoutTreemapNode(root, rootRect, true, kRootRidgeHeight, CushionSurface{}, options, partial);
        appendAll(result.leaves, partial.leaves);
        appendAll(result.folderLabels, partial.folderLabels);
        appendAll(result.groupBoxes, partial.groupBoxes);
        appendAll(result.dustSamples, partial.dustSamples);
        appendAll(result.freeSpaceBoxes, partial.freeSpaceBoxes);
        appendAll(result.retained, partial.retained);
        result.hitRoots.push_back(hit);
        result.hitNodes.adopt(std::move(partial.hitNodes));
        x += colW;
    }
    // The lists of every column together; a node shown in two columns keeps its box of the first.
    result.nodeRects.index(result.leaves, result.folderLabels);
    return result;
}

TreemapLayout layoutMultiRootTreemap(std::span<const RootRef> roots, const TreemapRect& in,
                                     const TreemapLayoutOptions& options, bool showFreeSpace,
                                     std::span<const VolumeCapacity> capacities) {
    std::vector<FileNode*> raw;
    raw.reserve(roots.size());
    for (const RootRef& r : roots) raw.push_back(r.get());
    TreemapLayout layout = layoutMultiRootTreemap(std::span<FileNode* const>(raw), in, options, showFreeSpace, capacities);
    layout.retained.insert(layout.retained.end(), roots.begin(), roots.end());
    return layout;
}

}  // namespace zelvane
