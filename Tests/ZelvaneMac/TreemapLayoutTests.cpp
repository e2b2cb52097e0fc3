#include <gtest/gtest.h>

#include <random>

#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;

namespace {

using Tree = testsupport::TreeBuilder;

TreemapLayoutOptions options(bool labels, const ColorRank* rank = nullptr, int groupMin = 4) {
    TreemapLayoutOptions o;
    o.metric = effectiveSizeMetric;
    o.showLabels = labels;
    o.colorRank = rank;
    o.fileGroupMinSize = groupMin;
    return o;
}

std::string numbered(const char* prefix, unsigned i, const char* suffix = "") {
    std::string s(prefix);
    s += std::to_string(i);
    s += suffix;
    return s;
}

CushionSurface ridged(CushionSurface s, const TreemapRect& r, double h) {
    s.addRidgeX(r.minX(), r.maxX(), h);
    s.addRidgeY(r.minY(), r.maxY(), h);
    return s;
}

}  // namespace

TEST(TreemapLayout, RootsShareTheWidthByMeasure) {
    Tree t;
    FileNode* a = t.root("/a");
    t.file(a, "x.bin", 3);
    FileNode* b = t.root("/b");
    t.file(b, "y.bin", 1);
    a->aggregateSizes();
    b->aggregateSizes();
    FileNode* roots[] = {a, b};
    TreemapLayout layout = layoutMultiRootTreemap(roots, {0, 0, 100, 50}, options(false), false, {});
    ASSERT_EQ(layout.hitRoots.size(), 2u);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{0, 0, 75, 50}));
    EXPECT_EQ(layout.hitRoots[1].rect, (TreemapRect{75, 0, 25, 50}));
    ASSERT_EQ(layout.leaves.size(), 2u);
    EXPECT_EQ(layout.leaves[0].rect, (TreemapRect{0, 0, 75, 50}));

    // A column under one point is skipped and its neighbour starts at the same x.
    FileNode* tiny = t.root("/tiny");
    t.file(tiny, "z", 1);
    tiny->aggregateSizes();
    FileNode* big = t.root("/big");
    t.file(big, "w", 165);
    big->aggregateSizes();
    FileNode* pair[] = {tiny, big};
    layout = layoutMultiRootTreemap(pair, {10, 0, 100, 50}, options(false), false, {});
    ASSERT_EQ(layout.hitRoots.size(), 1u);
    EXPECT_EQ(layout.hitRoots[0].node, big);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{10, 0, 99, 50}));

    // Nothing to measure, nothing laid out.
    FileNode* empty = t.root("/empty");
    FileNode* none[] = {empty};
    layout = layoutMultiRootTreemap(none, {0, 0, 100, 50}, options(false), false, {});
    EXPECT_TRUE(layout.hitRoots.empty());
    EXPECT_TRUE(layoutMultiRootTreemap(std::span<FileNode* const>(), {0, 0, 10, 10}, options(false), true, {}).leaves.empty());
}

TEST(TreemapLayout, FreeSpaceSplitsTheColumn) {
    Tree t;
    FileNode* vol = t.root("/");
    t.file(vol, "data.bin", 750);
    vol->aggregateSizes();
    FileNode* roots[] = {vol};
    const VolumeCapacity cap[] = {{1000, 250}};
    TreemapLayout layout = layoutMultiRootTreemap(roots, {0, 0, 400, 200}, options(false), true, cap);
    ASSERT_EQ(layout.hitRoots.size(), 1u);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{0, 0, 300, 200}));
    ASSERT_EQ(layout.freeSpaceBoxes.size(), 1u);
    const TreemapFreeSpaceBox& box = layout.freeSpaceBoxes[0];
    EXPECT_EQ(box.rect, (TreemapRect{300, 0, 100, 200}));
    EXPECT_EQ(box.freeBytes, 250);
    const double kx = 0.6552 / 100, ky = 0.6552 / 200;
    EXPECT_DOUBLE_EQ(box.surface.x1, 700 * kx + 700 * kx);
    EXPECT_DOUBLE_EQ(box.surface.x2, -kx - kx);
    EXPECT_DOUBLE_EQ(box.surface.y1, 200 * ky + 200 * ky);
    EXPECT_DOUBLE_EQ(box.surface.y2, -ky - ky);

    // Without free space (or without a capacity) the root's measure decides.
    layout = layoutMultiRootTreemap(roots, {0, 0, 400, 200}, options(false), false, cap);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{0, 0, 400, 200}));
    EXPECT_TRUE(layout.freeSpaceBoxes.empty());
    const VolumeCapacity unknown[] = {{1000, std::nullopt}};
    layout = layoutMultiRootTreemap(roots, {0, 0, 400, 200}, options(false), true, unknown);
    EXPECT_TRUE(layout.freeSpaceBoxes.empty());

    // Impossible capacities are clamped: the root never leaves its column.
    const VolumeCapacity negative[] = {{1000, -50}};
    layout = layoutMultiRootTreemap(roots, {0, 0, 400, 200}, options(false), true, negative);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{0, 0, 400, 200}));
    EXPECT_TRUE(layout.freeSpaceBoxes.empty());
    const VolumeCapacity tooMuch[] = {{1000, 5000}};
    layout = layoutMultiRootTreemap(roots, {0, 0, 400, 200}, options(false), true, tooMuch);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{0, 0, 0, 200}));
    ASSERT_EQ(layout.freeSpaceBoxes.size(), 1u);
    EXPECT_EQ(layout.freeSpaceBoxes[0].rect, (TreemapRect{0, 0, 400, 200}));
    EXPECT_EQ(layout.freeSpaceBoxes[0].freeBytes, 1000);
    EXPECT_TRUE(layout.leaves.empty());

    // A zoomed folder (it has a parent) takes the whole column.
    FileNode* sub = t.folder(vol, "sub");
    t.file(sub, "f", 10);
    vol->aggregateSizes();
    FileNode* zoomed[] = {sub};
    layout = layoutMultiRootTreemap(zoomed, {0, 0, 400, 200}, options(false), true, cap);
    EXPECT_EQ(layout.hitRoots[0].rect, (TreemapRect{0, 0, 400, 200}));
    EXPECT_TRUE(layout.freeSpaceBoxes.empty());
}

TEST(TreemapLayout, LabelStripsNeedRoom) {
    Tree t;
    FileNode* root = t.root("/r");
    FileNode* narrow = t.folder(root, "narrow");
    t.file(narrow, "a", 5);
    root->aggregateSizes();

    TreemapLayout layout;
    layoutTreemapNode(narrow, {0, 0, 79, 100}, false, 0.1638, {}, options(true), layout);
    EXPECT_TRUE(layout.folderLabels.empty());
    EXPECT_EQ(layout.nodeRects.count(narrow), 0u);
    ASSERT_EQ(layout.leaves.size(), 1u);
    EXPECT_EQ(layout.leaves[0].rect, (TreemapRect{0, 0, 79, 100}));

    layout = TreemapLayout();
    layoutTreemapNode(narrow, {10, 20, 80, 15}, false, 0.1638, {}, options(true), layout);
    ASSERT_EQ(layout.folderLabels.size(), 1u);
    EXPECT_EQ(layout.folderLabels[0].rect, (TreemapRect{10, 20, 80, 12}));
    EXPECT_EQ(layout.folderLabels[0].boxRect, (TreemapRect{10, 20, 80, 15}));
    EXPECT_EQ(layout.nodeRects.at(narrow), (TreemapRect{10, 20, 80, 15}));
    ASSERT_EQ(layout.leaves.size(), 1u);
    EXPECT_EQ(layout.leaves[0].rect, (TreemapRect{12, 33, 76, 1}));

    // Exactly 14 high: no strip; labels off: no strip either.
    layout = TreemapLayout();
    layoutTreemapNode(narrow, {0, 0, 200, 14}, false, 0.1638, {}, options(true), layout);
    EXPECT_TRUE(layout.folderLabels.empty());
    layout = TreemapLayout();
    layoutTreemapNode(narrow, {0, 0, 200, 200}, false, 0.1638, {}, options(false), layout);
    EXPECT_TRUE(layout.folderLabels.empty());
}

TEST(TreemapLayout, LeavesEmptyFoldersAndColours) {
    Tree t;
    FileNode* root = t.root("/r");
    FileNode* zeros = t.folder(root, "zeros");
    t.file(zeros, "a.txt", 0);
    t.file(zeros, "b.txt", 0);
    FileNode* emptyJpg = t.folder(root, "photos.jpg");
    FileNode* plainEmpty = t.folder(root, "plain");
    FileNode* song = t.file(root, "Song.MP3", 100);
    FileNode* odd = t.file(root, "x.weird", 100);
    FileNode* huge = t.file(root, "y.huge", 100);
    FileNode* neg = t.file(root, "z.neg", 100);
    root->aggregateSizes();

    ColorRank rank{{"mp3", 3}, {"jpg", 2}, {"huge", 300}, {"neg", -1}};
    auto leafOf = [](const TreemapLayout& l, const FileNode* n) -> const TreemapLeaf* {
        for (const auto& leaf : l.leaves)
            if (leaf.node == n) return &leaf;
        return nullptr;
    };

    // Folders of zero size are not placed; the files are (no grouping here).
    TreemapLayout layout;
    TreemapHitNode hit = layoutTreemapNode(root, {0, 0, 400, 400}, true, 0.18, {}, options(false, &rank, 100), layout);
    EXPECT_EQ(leafOf(layout, song)->colorIndex, 3);
    EXPECT_EQ(leafOf(layout, odd)->colorIndex, kGraySlot);
    EXPECT_EQ(leafOf(layout, huge)->colorIndex, kGraySlot);
    EXPECT_EQ(leafOf(layout, neg)->colorIndex, kGraySlot);
    EXPECT_EQ(leafOf(layout, zeros), nullptr);
    EXPECT_EQ(layout.leaves.size(), 4u);
    EXPECT_EQ(hit.children.size(), 4u);

    // An empty folder is a leaf coloured by its own name; a folder of zero-size files shows nothing.
    layout = TreemapLayout();
    layoutTreemapNode(emptyJpg, {0, 0, 50, 50}, false, 0.1638, {}, options(true, &rank), layout);
    ASSERT_EQ(layout.leaves.size(), 1u);
    EXPECT_EQ(layout.leaves[0].colorIndex, 2);
    layout = TreemapLayout();
    layoutTreemapNode(plainEmpty, {0, 0, 50, 50}, false, 0.1638, {}, options(true, &rank), layout);
    EXPECT_EQ(layout.leaves[0].colorIndex, kGraySlot);
    layout = TreemapLayout();
    hit = layoutTreemapNode(zeros, {0, 0, 200, 200}, false, 0.1638, {}, options(true, &rank), layout);
    EXPECT_TRUE(layout.leaves.empty());
    EXPECT_TRUE(hit.children.empty());
    EXPECT_EQ(layout.folderLabels.size(), 1u);

    // Without a rank everything is grey.
    layout = TreemapLayout();
    layoutTreemapNode(song, {0, 0, 5, 5}, false, 0.1638, {}, options(false), layout);
    EXPECT_EQ(layout.leaves[0].colorIndex, kGraySlot);
}

// Children too thin or too small for a cushion of their own are painted in their colour on their
// parent's cushion (dust), with no rectangle of their own to outline: a thin slice by itself, and
// the many children smaller than a point square together, as at most two boxes each in the colour
// most of its room would have.
TEST(TreemapLayout, SmallChildrenArePaintedAsDustAndStayOutOfTheRectangles) {
    Tree t;
    FileNode* root = t.root("/r");
    FileNode* big = t.file(root, "big.dat", 991);
    FileNode* small = t.file(root, "small.gz", 9);
    root->aggregateSizes();
    const ColorRank rank{{"gz", 3}, {"txt", 5}};
    TreemapLayout layout;
    TreemapHitNode hit = layoutTreemapNode(root, {0, 0, 10, 100}, true, 0.18, {}, options(false, &rank, 10), layout);
    ASSERT_EQ(hit.children.size(), 2u);
    EXPECT_EQ(hit.children[1].node, small);
    EXPECT_NEAR(hit.children[1].rect.height, 0.9, 1e-9);
    EXPECT_TRUE(hit.children[1].children.empty());
    ASSERT_EQ(layout.leaves.size(), 2u);
    EXPECT_EQ(layout.leaves[0].node, big);
    EXPECT_FALSE(layout.leaves[0].dust);
    EXPECT_EQ(layout.leaves[1].node, small);
    EXPECT_TRUE(layout.leaves[1].dust);
    EXPECT_EQ(layout.leaves[1].colorIndex, 3);
    EXPECT_EQ(layout.leaves[1].surface, CushionSurface{}) << "the root's flat surface, no ridge of its own";
    EXPECT_EQ(layout.nodeRects.count(small), 0u);

    // Two hundred files far smaller than a point beside a big one: all of their room is painted.
    Tree many;
    FileNode* folder = many.root("/m");
    many.file(folder, "big.dat", 100000);
    for (int i = 0; i < 40; ++i) many.file(folder, numbered("n", unsigned(i), ".txt"), 10);
    for (int i = 0; i < 160; ++i) many.file(folder, numbered("p", unsigned(i), ".gz"), 10);
    folder->aggregateSizes();
    layout = TreemapLayout();
    hit = layoutTreemapNode(folder, {0, 0, 50, 50}, true, 0.18, {}, options(false, &rank, 0), layout);
    ASSERT_EQ(hit.children.size(), 201u);
    const double bigArea = hit.children[0].rect.width * hit.children[0].rect.height;
    size_t dust = 0;
    double dustArea = 0, gzArea = 0;
    for (const TreemapLeaf& leaf : layout.leaves) {
        if (!leaf.dust) continue;
        ++dust;
        dustArea += leaf.rect.width * leaf.rect.height;
        if (leaf.colorIndex == 3) gzArea += leaf.rect.width * leaf.rect.height;
    }
    EXPECT_GE(dust, 1u);
    EXPECT_LE(dust, 2u);
    EXPECT_NEAR(dustArea, 50.0 * 50.0 - bigArea, 0.3);
    EXPECT_GT(gzArea, dustArea / 2) << "most of them are .gz";
    EXPECT_EQ(layout.nodeRects.size(), 1u) << "only the big file has a rectangle";

    // A rectangle under one point lays out nothing at all.
    layout = TreemapLayout();
    hit = layoutTreemapNode(root, {0, 0, 0.9, 100}, true, 0.18, {}, options(false), layout);
    EXPECT_TRUE(hit.children.empty());
    EXPECT_TRUE(layout.leaves.empty());
}

TEST(TreemapLayout, OrderGroupsAndRidges) {
    Tree t;
    FileNode* root = t.root("/r");
    FileNode* first = t.folder(root, "first");
    t.file(first, "f1", 50);
    FileNode* second = t.folder(root, "second");
    t.file(second, "f2", 50);
    root->aggregateSizes();

    // Equal measures keep the stored order.
    TreemapLayout layout;
    TreemapHitNode hit = layoutTreemapNode(root, {0, 0, 200, 100}, true, 0.18, {}, options(false), layout);
    ASSERT_EQ(hit.children.size(), 2u);
    EXPECT_EQ(hit.children[0].node, first);
    EXPECT_EQ(hit.children[1].node, second);
    EXPECT_EQ(layout.leaves[0].node, first->children()[0]);

    // Ridges shrink by 0.91 a level; the root adds none.
    const TreemapRect firstRect = hit.children[0].rect;
    CushionSurface expected = ridged({}, firstRect, 0.18 * 0.91);
    expected = ridged(expected, layout.leaves[0].rect, 0.18 * 0.91 * 0.91);
    EXPECT_EQ(layout.leaves[0].surface, expected);

    // Loose files are grouped: the group gets a box while labels are on, no rectangle entry,
    // and the layout keeps the group alive.
    Tree g;
    FileNode* dir = g.root("/files");
    for (int i = 0; i < 5; ++i) g.file(dir, numbered("f", unsigned(i), ".txt"), 10 + i);
    FileNode* sub = g.folder(dir, "sub");
    g.file(sub, "s", 200);
    dir->aggregateSizes();
    FileNode* dirs[] = {dir};
    layout = layoutMultiRootTreemap(dirs, {0, 0, 400, 300}, options(true), false, {});
    ASSERT_EQ(layout.groupBoxes.size(), 1u);
    const FileNode* group = layout.groupBoxes[0].node;
    EXPECT_TRUE(group->isSyntheticGroup());
    EXPECT_EQ(layout.groupBoxes[0].rect, layout.groupBoxes[0].boxRect);
    EXPECT_EQ(layout.nodeRects.count(group), 0u);
    EXPECT_EQ(layout.leaves.size(), 6u);
    // The larger subfolder comes first, then the group.
    ASSERT_EQ(layout.hitRoots[0].children.size(), 2u);
    EXPECT_EQ(layout.hitRoots[0].children[0].node, sub);
    EXPECT_EQ(layout.hitRoots[0].children[1].node, group);
    EXPECT_EQ(group->parent(), dir);
    EXPECT_EQ(group->effectiveSize(), 10 + 11 + 12 + 13 + 14);
    // The group outlives everything but the layout (a use after free shows under ASan).
    TreemapLayout kept = std::move(layout);
    layout = TreemapLayout();
    EXPECT_EQ(kept.groupBoxes[0].node->name(), "[5 Files in /files]");

    // Labels off: the group is laid out but not boxed.
    layout = layoutMultiRootTreemap(dirs, {0, 0, 400, 300}, options(false), false, {});
    EXPECT_TRUE(layout.groupBoxes.empty());
    EXPECT_EQ(layout.leaves.size(), 6u);
}

TEST(TreemapLayout, SameRootTwiceKeepsTheFirstRectangle) {
    Tree t;
    FileNode* root = t.root("/r");
    FileNode* f = t.file(root, "f", 10);
    root->aggregateSizes();
    FileNode* roots[] = {root, root};
    TreemapLayout layout = layoutMultiRootTreemap(roots, {0, 0, 100, 100}, options(false), false, {});
    ASSERT_EQ(layout.leaves.size(), 2u);
    EXPECT_EQ(layout.nodeRects.at(f), (TreemapRect{0, 0, 50, 100}));
}

TEST(TreemapLayout, ChainsDeeperThanAnyStack) {
    Tree t;
    FileNode* root = t.root("/deep");
    FileNode* cur = root;
    for (int i = 0; i < 200000; ++i) cur = t.folder(cur, "d");
    t.file(cur, "bottom.bin", 4096);
    root->aggregateSizes();

    {
        TreemapLayout layout;
        TreemapHitNode hit = layoutTreemapNode(root, {0, 0, 640, 480}, true, 0.18, {}, options(false), layout);
        ASSERT_EQ(layout.leaves.size(), 1u);
        EXPECT_EQ(layout.leaves[0].rect, (TreemapRect{0, 0, 640, 480}));
        size_t depth = 0;
        for (const TreemapHitNode* h = &hit; !h->children.empty(); h = &h->children[0]) ++depth;
        EXPECT_EQ(depth, 200001u);
    }
    // With labels the strips shrink the rectangle for a few dozen levels; below 15 points the
    // chain is walked to its end without strips.
    RootRef handle = t.handle(root);
    TreemapLayout labelled = layoutMultiRootTreemap(std::span<const RootRef>(&handle, 1), {0, 0, 640, 480}, options(true), false, {});
    ASSERT_EQ(labelled.leaves.size(), 1u);
    EXPECT_LE(labelled.leaves[0].rect.height, 14);
    EXPECT_GT(labelled.folderLabels.size(), 10u);
    EXPECT_LT(labelled.folderLabels.size(), 100u);
}

TEST(TreemapLayout, RealTreeLeavesTileWithoutOverlap) {
    fixtures::TempDir dir;
    std::mt19937 rng(7);
    for (int i = 0; i < 240; ++i) {
        std::string path = numbered("d", rng() % 6, "/") + numbered("e", rng() % 4);
        if (rng() % 3 == 0) path += "/deeper";
        static const char* exts[] = {".mp3", ".txt", ".jpg", ".bin", "", ".zip", ".log"};
        fixtures::writeFile(dir / path / numbered("file", unsigned(i), exts[rng() % 7]), 1 + rng() % 20000);
    }
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    auto stats = computeExtensionStats(std::span<const RootRef>(&root, 1), true, {});
    TreemapLayoutOptions o = options(true, &stats.colorRank);
    const TreemapRect area{0, 0, 1200, 800};
    TreemapLayout layout = layoutMultiRootTreemap(std::span<const RootRef>(&root, 1), area, o, false, {});

    ASSERT_GT(layout.leaves.size(), 100u);
    std::string ext;
    for (size_t i = 0; i < layout.leaves.size(); ++i) {
        const TreemapLeaf& a = layout.leaves[i];
        EXPECT_GE(a.rect.minX(), area.minX() - 1e-9);
        EXPECT_LE(a.rect.maxX(), area.maxX() + 1e-9);
        EXPECT_GE(a.rect.minY(), area.minY() - 1e-9);
        EXPECT_LE(a.rect.maxY(), area.maxY() + 1e-9);
        auto it = stats.colorRank.find(detectedExtensionInto(*a.node, ext));
        EXPECT_EQ(a.colorIndex, it == stats.colorRank.end() ? kGraySlot : it->second);
        EXPECT_EQ(layout.nodeRects.at(a.node), a.rect);
        for (size_t j = 0; j < i; ++j) {
            const TreemapRect& b = layout.leaves[j].rect;
            double w = std::min(a.rect.maxX(), b.maxX()) - std::max(a.rect.minX(), b.minX());
            double h = std::min(a.rect.maxY(), b.maxY()) - std::max(a.rect.minY(), b.minY());
            EXPECT_FALSE(w > 1e-6 && h > 1e-6) << a.node->name() << " overlaps " << layout.leaves[j].node->name();
        }
    }
    // Every labelled folder's strip lies inside its box, and its leaves below the strip.
    for (const auto& label : layout.folderLabels) {
        EXPECT_EQ(label.rect.height, 12);
        EXPECT_EQ(label.rect.minY(), label.boxRect.minY());
    }
}

// Large layouts split their subtrees among threads; the result must be the one-thread result.
// This test also runs under ThreadSanitizer.
namespace {

// A tree of 3,000 folders and 70,000 files, skewed towards few folders so that some hold
// thousands of files: grouped files, dust and subtrees for other threads.
FileNode* skewedTree(Tree& t) {
    std::mt19937 rng(99);
    FileNode* root = t.root("/big");
    std::vector<FileNode*> folders{root};
    for (unsigned i = 0; i < 3000; ++i) {
        FileNode* parent = folders[rng() % folders.size()];
        folders.push_back(t.folder(parent, numbered("dir", i)));
    }
    static const char* exts[] = {".a", ".b", ".c", ".mp3", ""};
    for (unsigned i = 0; i < 70000; ++i) {
        FileNode* parent = folders[rng() % 4 == 0 ? rng() % folders.size() : rng() % 40];
        t.file(parent, numbered("f", i, exts[rng() % 5]), int64_t(1 + rng() % 100000));
    }
    root->aggregateSizes();
    return root;
}

// Every box, label, group, rectangle and hit node of `b` as in `a`. Group nodes are made anew by
// every layout: their folder and name identify them.
void expectSameLayout(const TreemapLayout& a, const TreemapLayout& b) {
    ASSERT_EQ(b.leaves.size(), a.leaves.size());
    for (size_t i = 0; i < a.leaves.size(); ++i) {
        ASSERT_EQ(b.leaves[i].node, a.leaves[i].node) << i;
        EXPECT_EQ(b.leaves[i].rect, a.leaves[i].rect);
        EXPECT_EQ(b.leaves[i].surface, a.leaves[i].surface);
        EXPECT_EQ(b.leaves[i].colorIndex, a.leaves[i].colorIndex) << i;
        EXPECT_EQ(b.leaves[i].dust, a.leaves[i].dust);
    }
    ASSERT_EQ(b.folderLabels.size(), a.folderLabels.size());
    for (size_t i = 0; i < a.folderLabels.size(); ++i) {
        EXPECT_EQ(b.folderLabels[i].node, a.folderLabels[i].node);
        EXPECT_EQ(b.folderLabels[i].boxRect, a.folderLabels[i].boxRect);
    }
    auto sameNode = [](const FileNode* x, const FileNode* y) {
        if (x == y) return true;
        return x && y && x->isSyntheticGroup() && y->isSyntheticGroup() && x->parent() == y->parent() &&
               x->name() == y->name();
    };
    ASSERT_EQ(b.groupBoxes.size(), a.groupBoxes.size());
    for (size_t i = 0; i < a.groupBoxes.size(); ++i) {
        EXPECT_TRUE(sameNode(b.groupBoxes[i].node, a.groupBoxes[i].node)) << i;
        EXPECT_EQ(b.groupBoxes[i].rect, a.groupBoxes[i].rect);
    }
    EXPECT_EQ(b.nodeRects.size(), a.nodeRects.size());
    for (const auto& leaf : a.leaves)
        if (!leaf.dust) {
            EXPECT_EQ(b.nodeRects.at(leaf.node), leaf.rect);
        }

    ASSERT_EQ(b.hitRoots.size(), a.hitRoots.size());
    std::vector<std::pair<const TreemapHitNode*, const TreemapHitNode*>> pending;
    for (size_t i = 0; i < a.hitRoots.size(); ++i) pending.emplace_back(&a.hitRoots[i], &b.hitRoots[i]);
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        ASSERT_TRUE(sameNode(x->node, y->node));
        ASSERT_EQ(x->rect, y->rect);
        ASSERT_EQ(x->children.size(), y->children.size());
        for (size_t i = 0; i < x->children.size(); ++i) pending.emplace_back(&x->children[i], &y->children[i]);
    }
}

size_t hitNodeCount(const TreemapLayout& layout) {
    std::vector<const TreemapHitNode*> pending;
    for (const TreemapHitNode& r : layout.hitRoots) pending.push_back(&r);
    size_t visited = 0;
    while (!pending.empty()) {
        const TreemapHitNode* n = pending.back();
        pending.pop_back();
        ++visited;
        for (const TreemapHitNode& k : n->children) pending.push_back(&k);
    }
    return visited;
}

}  // namespace

TEST(TreemapLayout, ThreadsDoNotChangeTheResult) {
    Tree t;
    FileNode* root = skewedTree(t);
    ColorRank rank{{"a", 1}, {"mp3", 4}};

    auto run = [&](int threads) {
        TreemapLayoutOptions o = options(true, &rank);
        o.maxThreads = threads;
        return layoutMultiRootTreemap(std::span<FileNode* const>(&root, 1), {0, 0, 1600, 1000}, o, false, {});
    };
    const TreemapLayout one = run(1);
    const TreemapLayout many = run(6);
    ASSERT_GT(one.leaves.size(), 5000u);
    ASSERT_GT(one.groupBoxes.size(), 10u);
    expectSameLayout(one, many);
    EXPECT_GT(hitNodeCount(one), 70000u);
}

// The window lays a new tree out while its colour ranks are still being counted, and colours the
// boxes once they are there: the result must be the layout made with the colours known, on one
// thread or many, including which dust boxes of one colour joined into one.
TEST(TreemapLayout, ColoursSetAfterTheLayoutGiveTheLayoutMadeWithThem) {
    Tree t;
    FileNode* root = skewedTree(t);
    // Nothing ranked, then a rank that tells the extensions apart.
    for (const ColorRank& rank : {ColorRank{}, ColorRank{{"a", 1}, {"b", 2}, {"mp3", 4}}}) {
        SCOPED_TRACE(rank.size());
        for (const TreemapRect& bounds : {TreemapRect{0, 0, 1600, 1000}, TreemapRect{0, 0, 1000, 195}}) {
            TreemapLayoutOptions o = options(true, &rank);
            o.maxThreads = 1;
            const TreemapLayout known =
                layoutMultiRootTreemap(std::span<FileNode* const>(&root, 1), bounds, o, false, {});
            for (int threads : {1, 6}) {
                SCOPED_TRACE(threads);
                TreemapLayoutOptions later = options(true, nullptr);
                later.colorsLater = true;
                later.maxThreads = threads;
                TreemapLayout laid =
                    layoutMultiRootTreemap(std::span<FileNode* const>(&root, 1), bounds, later, false, {});
                // Before its colours: every box grey, the sampled dust's members kept, no dust joined.
                size_t sampled = 0;
                for (const TreemapLeaf& leaf : laid.leaves) {
                    EXPECT_EQ(leaf.colorIndex, kGraySlot);
                    sampled += leaf.sampled;
                }
                EXPECT_EQ(laid.dustSamples.size(), sampled);
                ASSERT_GT(sampled, 100u);
                const size_t before = laid.leaves.size();

                later.colorRank = &rank;
                colorTreemapLayout(laid, later);
                EXPECT_LT(laid.leaves.size(), before) << "dust of one colour joined";
                EXPECT_TRUE(laid.dustSamples.empty());
                expectSameLayout(known, laid);
            }
        }
    }
}

// A picture keeps its hit nodes as long as it is shown. Subtrees laid out on other threads must
// not each leave a part-used block behind: with hundreds of them, the spare room grew larger than
// the nodes themselves.
TEST(TreemapLayout, ParallelLayoutKeepsLittleSpareRoomForHitNodes) {
    Tree t;
    FileNode* root = t.root("/many");
    for (unsigned d = 0; d < 400; ++d) {
        FileNode* folder = t.folder(root, numbered("dir", d));
        for (unsigned f = 0; f < 260; ++f) t.file(folder, numbered("f", f, ".a"), int64_t(1000 + f));
    }
    root->aggregateSizes();
    TreemapLayoutOptions o = options(true, nullptr);
    o.maxThreads = 6;
    const TreemapLayout layout =
        layoutMultiRootTreemap(std::span<FileNode* const>(&root, 1), {0, 0, 1600, 1000}, o, false, {});
    // Every file of every folder got a box to be found by.
    ASSERT_GE(layout.hitNodes.size(), 400u * 260u);
    EXPECT_LE(layout.hitNodes.capacity(), layout.hitNodes.size() + layout.hitNodes.size() / 4 + 7 * 4096);
}
