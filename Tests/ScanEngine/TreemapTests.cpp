#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Analysis/Treemap.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;

namespace {

struct Files {
    testsupport::TreeBuilder tree;
    std::vector<FileNode*> nodes;

    explicit Files(const std::vector<int64_t>& sizes) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            std::string name = std::to_string(i);
            name += ".dat";
            nodes.push_back(tree.loose(name, false, sizes[i], sizes[i]));
        }
    }
};

void expectRect(const TreemapRect& r, double x, double y, double w, double h) {
    EXPECT_NEAR(r.x, x, 1e-9);
    EXPECT_NEAR(r.y, y, 1e-9);
    EXPECT_NEAR(r.width, w, 1e-9);
    EXPECT_NEAR(r.height, h, 1e-9);
}

double overlapArea(const TreemapRect& a, const TreemapRect& b) {
    double w = std::min(a.maxX(), b.maxX()) - std::max(a.minX(), b.minX());
    double h = std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY());
    return w > 0 && h > 0 ? w * h : 0;
}

}  // namespace

TEST(Squarify, WorkedExampleFillsColumnThenRows) {
    Files f({6, 6, 4, 3, 2, 2, 1});
    auto placed = squarify(f.nodes, effectiveSizeMetric, {0, 0, 6, 4}, 100);
    ASSERT_EQ(placed.size(), 7u);
    for (size_t i = 0; i < placed.size(); ++i) EXPECT_EQ(placed[i].item, f.nodes[i]);
    expectRect(placed[0].rect, 0, 0, 3, 2);
    expectRect(placed[1].rect, 0, 2, 3, 2);
    expectRect(placed[2].rect, 3, 0, 12.0 / 7, 7.0 / 3);
    expectRect(placed[3].rect, 3 + 12.0 / 7, 0, 9.0 / 7, 7.0 / 3);
    expectRect(placed[4].rect, 3, 7.0 / 3, 1.2, 5.0 / 3);
    expectRect(placed[5].rect, 4.2, 7.0 / 3, 1.2, 5.0 / 3);
    expectRect(placed[6].rect, 5.4, 7.0 / 3, 0.6, 5.0 / 3);
}

TEST(Squarify, SquareCountsAsWideAndTiesJoinTheStrip) {
    Files f({5, 5});
    auto placed = squarify(f.nodes, effectiveSizeMetric, {0, 0, 100, 100}, 10);
    ASSERT_EQ(placed.size(), 2u);
    expectRect(placed[0].rect, 0, 0, 100, 50);
    expectRect(placed[1].rect, 0, 50, 100, 50);
}

TEST(Squarify, CountsAndEmptyResults) {
    Files five({5, 4, 3, 2, 1});
    EXPECT_TRUE(squarify(five.nodes, effectiveSizeMetric, {0, 0, 10, 10}, 0).empty());
    auto two = squarify(five.nodes, effectiveSizeMetric, {0, 0, 10, 10}, 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].item, five.nodes[0]);
    EXPECT_EQ(two[1].item, five.nodes[1]);
    // Only the kept items share the space.
    EXPECT_NEAR(two[0].rect.width * two[0].rect.height + two[1].rect.width * two[1].rect.height, 100, 1e-9);

    EXPECT_TRUE(squarify({}, effectiveSizeMetric, {0, 0, 10, 10}, 10).empty());

    Files nothing({0, -5, 0});
    auto empty = squarify(nothing.nodes, effectiveSizeMetric, {3, 4, 10, 10}, 10);
    ASSERT_EQ(empty.size(), 3u);
    for (const auto& p : empty) EXPECT_EQ(p.rect, (TreemapRect{0, 0, 0, 0}));

    // A negative size counts as nothing next to positive ones.
    Files mixed({10, -10});
    auto m = squarify(mixed.nodes, effectiveSizeMetric, {0, 0, 10, 10}, 10);
    expectRect(m[0].rect, 0, 0, 10, 10);
    EXPECT_EQ(m[1].rect.width * m[1].rect.height, 0);
}

TEST(Squarify, ThinStripsAndTinyRectangles) {
    // The first strip is far thinner than the minimum cut, yet the rest still moves by 0.25.
    Files thin({10, 1000000});
    auto placed = squarify(thin.nodes, effectiveSizeMetric, {0, 0, 100, 10}, 10);
    EXPECT_LT(placed[0].rect.width, 0.01);
    EXPECT_NEAR(placed[1].rect.x, 0.25, 1e-12);
    EXPECT_NEAR(placed[1].rect.width, 99.75, 1e-9);

    // With a long side of at most 0.5 only the first strip is placed.
    Files small({4, 3, 2, 1});
    auto tiny = squarify(small.nodes, effectiveSizeMetric, {0, 0, 0.5, 0.4}, 10);
    size_t placedCount = 0;
    for (const auto& p : tiny) placedCount += p.rect.width * p.rect.height > 0;
    EXPECT_GE(placedCount, 1u);
    EXPECT_LT(placedCount, 4u);
    EXPECT_EQ(tiny.back().rect, (TreemapRect{0, 0, 0, 0}));
}

TEST(Squarify, RandomInputsTileTheirContainer) {
    std::mt19937_64 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        const size_t n = 1 + rng() % 60;
        std::vector<int64_t> sizes(n);
        for (auto& s : sizes) s = 1 + int64_t(rng() % 1000);
        std::sort(sizes.rbegin(), sizes.rend());
        Files f(sizes);
        const TreemapRect box{double(rng() % 50), double(rng() % 50), 200.0 + double(rng() % 1800),
                              200.0 + double(rng() % 900)};
        auto placed = squarify(f.nodes, effectiveSizeMetric, box, 100000);
        ASSERT_EQ(placed.size(), n);

        double total = 0;
        for (auto s : sizes) total += double(s);
        double area = 0;
        for (size_t i = 0; i < n; ++i) {
            const TreemapRect& r = placed[i].rect;
            area += r.width * r.height;
            EXPECT_GE(r.minX(), box.minX() - 1e-7);
            EXPECT_GE(r.minY(), box.minY() - 1e-7);
            EXPECT_LE(r.maxX(), box.maxX() + 1e-7);
            EXPECT_LE(r.maxY(), box.maxY() + 1e-7);
            // Each item's share of the area is its share of the total.
            EXPECT_NEAR(r.width * r.height / (box.width * box.height), double(sizes[i]) / total, 1e-9);
            for (size_t j = 0; j < i; ++j) EXPECT_LT(overlapArea(r, placed[j].rect), 1e-6);
        }
        EXPECT_NEAR(area, box.width * box.height, 1e-6 * box.width * box.height);
    }
}
