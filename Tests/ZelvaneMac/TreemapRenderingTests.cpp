#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include <QGlyphRun>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;

namespace {

// The shading written out pixel by pixel from its definition, to compare the renderer with.
// Each pixel takes the intensity evaluated at the left pixel of its pair; the last column
// (and a pixel whose partner would be the last column) is evaluated on its own.
struct Reference {
    int pw, ph;
    std::vector<uint8_t> rgba;
    Reference(int w, int h) : pw(w), ph(h), rgba(size_t(w) * size_t(h) * 4, 0) {}

    void shade(const TreemapRect& r, float x1, float x2, float y1, float y2, TreemapRGB c, double s, bool gradient) {
        auto tr = [](double v) { return int(std::trunc(v)); };
        int px0 = std::max(0, tr(s * r.minX() + 0.5)), px1 = std::min(pw - 1, tr(s * r.maxX() - 0.5));
        int py0 = std::max(0, tr(s * r.minY() + 0.5)), py1 = std::min(ph - 1, tr(s * r.maxY() - 0.5));
        if (px1 < px0 || py1 < py0) return;
        const float fs = float(s);
        const float f = (4 * fs < float(py1 - py0) && 4 * fs < float(px1 - px0)) ? 0.8f : 1.0f;
        const double len = std::sqrt(102.0);
        const float lx = float(-1 / len), ly = float(-1 / len), lz = float(10 / len);
        const float X2 = 2 * x2, Y2 = 2 * y2;
        for (int py = py0; py <= py1; ++py) {
            for (int px = px0; px <= px1; ++px) {
                int e = px0 + 2 * ((px - px0) / 2);
                if (px == px1 || e + 1 >= px1) e = px;
                float I = 0.85f;
                if (gradient) {
                    float Y = (float(py) + 0.5f) / fs, ny = Y2 * Y + y1;
                    float X = (float(e) + 0.5f) / fs, nx = X2 * X + x1;
                    I = ((lz - ly * ny) - nx * lx) / std::sqrt((ny * ny + 1) + nx * nx);
                    if (I > 1) I = 1;
                }
                if (e == px1 || py == py1) I *= f;
                float k = (I * 0.87f + 0.13f) * 1.4666667f;
                uint8_t* p = &rgba[(size_t(py) * size_t(pw) + size_t(px)) * 4];
                const float comps[3] = {c.r, c.g, c.b};
                for (int i = 0; i < 3; ++i) {
                    float v = comps[i] * k;
                    p[i] = std::isnan(v) || v >= 255 ? 255 : v <= 0 ? 0 : uint8_t(v);
                }
                p[3] = 255;
            }
        }
    }
    void shade(const TreemapRect& r, const CushionSurface& s, TreemapRGB c, double scale, bool gradient) {
        shade(r, float(s.x1), float(s.x2), float(s.y1), float(s.y2), c, scale, gradient);
    }
};

// Compares every byte; reports the first differing pixel.
void expectPixels(const QImage& image, const Reference& ref) {
    ASSERT_EQ(image.width(), ref.pw);
    ASSERT_EQ(image.height(), ref.ph);
    ASSERT_EQ(image.format(), QImage::Format_RGBA8888_Premultiplied);
    for (int y = 0; y < ref.ph; ++y) {
        const uchar* line = image.constScanLine(y);
        for (int x = 0; x < ref.pw; ++x)
            for (int c = 0; c < 4; ++c)
                if (line[x * 4 + c] != ref.rgba[(size_t(y) * size_t(ref.pw) + size_t(x)) * 4 + size_t(c)]) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") channel " << c << ": "
                                  << int(line[x * 4 + c]) << " != "
                                  << int(ref.rgba[(size_t(y) * size_t(ref.pw) + size_t(x)) * 4 + size_t(c)]);
                    return;
                }
    }
}

TreemapRenderOptions plain(double scale, bool gradient = true, bool labels = false) {
    TreemapRenderOptions o;
    o.pixelScale = scale;
    o.gradientEnabled = gradient;
    o.showLabels = labels;
    return o;
}

PaletteRGB grey100() { return PaletteRGB(13, TreemapRGB{100, 100, 100}); }

int alpha(const QImage& image, int x, int y) { return image.constScanLine(y)[x * 4 + 3]; }

}  // namespace

TEST(CushionShading, FlatBoxesAndTheEdgeFactor) {
    TreemapLayout layout;
    layout.leaves.push_back({nullptr, {0, 0, 10, 10}, {}, 0});
    TreemapImage out = renderTreemapImage({12, 12}, layout, grey100(), plain(1, false));
    ASSERT_TRUE(out.ok());
    const QImage& img = out.image;
    const uchar* p = img.constScanLine(4) + 4 * 4;
    EXPECT_EQ(p[0], 127);
    EXPECT_EQ(p[1], 127);
    EXPECT_EQ(p[3], 255);
    // Last row and column are darkened: 4 × scale is below both spans.
    EXPECT_EQ(img.constScanLine(4)[9 * 4], 105);
    EXPECT_EQ(img.constScanLine(9)[4 * 4], 105);
    // Uncovered pixels stay transparent.
    EXPECT_EQ(alpha(img, 10, 4), 0);
    EXPECT_EQ(alpha(img, 4, 11), 0);

    // 10 × 20 pixels: darkened at scale 2, not at scale 3.
    for (double scale : {2.0, 3.0}) {
        TreemapLayout l;
        l.leaves.push_back({nullptr, {0, 0, 10 / scale, 20 / scale}, {}, 0});
        QImage im = renderTreemapImage({10 / scale, 20 / scale}, l, grey100(), plain(scale, false)).image;
        ASSERT_EQ(im.width(), 10);
        EXPECT_EQ(im.constScanLine(5)[9 * 4], scale == 2 ? 105 : 127) << scale;
        EXPECT_EQ(im.constScanLine(5)[8 * 4], 127);
    }

    // A full component saturates.
    TreemapImage bright = renderTreemapImage({12, 12}, layout, PaletteRGB(13, TreemapRGB{255, 0, 10}), plain(1, false));
    EXPECT_EQ(bright.image.constScanLine(3)[3 * 4], 255);
    EXPECT_EQ(bright.image.constScanLine(3)[3 * 4 + 1], 0);
}

TEST(CushionShading, EveryPixelOfEveryWidthIsPainted) {
    for (int width = 1; width <= 9; ++width) {
        for (bool gradient : {false, true}) {
            TreemapLayout layout;
            CushionSurface s;
            s.addRidgeX(1, 1 + width, 0.1638);
            s.addRidgeY(1, 4, 0.1638);
            layout.leaves.push_back({nullptr, {1, 1, double(width), 3}, s, 3});
            QImage img = renderTreemapImage({double(width) + 2, 5}, layout, grey100(), plain(1, gradient)).image;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x) {
                    const bool inside = x >= 1 && x <= width && y >= 1 && y <= 3;
                    EXPECT_EQ(alpha(img, x, y), inside ? 255 : 0) << "width " << width << " at " << x << "," << y;
                }
        }
    }
    // A leaf narrower than a pixel after rounding stays transparent.
    TreemapLayout thin;
    thin.leaves.push_back({nullptr, {3.6, 0, 0.6, 5}, {}, 0});
    QImage img = renderTreemapImage({8, 5}, thin, grey100(), plain(1)).image;
    for (int x = 0; x < 8; ++x) EXPECT_EQ(alpha(img, x, 2), 0);
}

TEST(CushionShading, GoldenPixelsFromLaidOutTrees) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/");
    FileNode* outer = t.folder(root, "outer");
    t.file(outer, "a.bin", 600);
    t.file(outer, "b.bin", 250);
    t.file(root, "c.bin", 150);
    root->aggregateSizes();

    const PaletteRGB palette = defaultPaletteRGB();
    ColorRank rank{{"bin", 5}};
    TreemapLayoutOptions lo;
    lo.showLabels = false;
    lo.colorRank = &rank;
    FileNode* roots[] = {root};
    const VolumeCapacity cap[] = {{4000, 1000}};
    for (double scale : {1.0, 2.0, 1.5}) {
        TreemapLayout layout = layoutMultiRootTreemap(roots, {0, 0, 157, 63}, lo, true, cap);
        ASSERT_EQ(layout.leaves.size(), 3u);
        ASSERT_EQ(layout.freeSpaceBoxes.size(), 1u);
        TreemapImage out = renderTreemapImage({157, 63}, layout, palette, plain(scale));
        ASSERT_TRUE(out.ok());
        Reference ref(int(std::ceil(157 * scale)), int(std::ceil(63 * scale)));
        for (const auto& leaf : layout.leaves) ref.shade(leaf.rect, leaf.surface, palette[5], scale, true);
        ref.shade(layout.freeSpaceBoxes[0].rect, layout.freeSpaceBoxes[0].surface, freeSpaceRGB(palette), scale, true);
        expectPixels(out.image, ref);
        EXPECT_DOUBLE_EQ(out.image.devicePixelRatio(), scale);
    }
}

TEST(CushionShading, ShadingInBandsOnManyThreadsGivesTheSamePixelsAsOneThread) {
    fixtures::TempDir dir;
    for (int i = 0; i < 400; ++i)
        fixtures::writeFile(dir / ("t/d" + std::to_string(i % 17) + "/f" + std::to_string(i) + (i % 3 ? ".a" : ".b")),
                            1000 + (i * 7919) % 60000);
    RootRef root = fixtures::loadTreeFromDisk(dir / "t");
    const PaletteRGB palette = defaultPaletteRGB();
    ColorRank rank{{"a", 2}, {"b", 7}};
    TreemapLayoutOptions lo;
    lo.colorRank = &rank;
    const RootRef roots[] = {root};
    const VolumeCapacity cap[] = {{int64_t(root->effectiveSize()) * 3, int64_t(root->effectiveSize()) * 2}};
    const TreemapLayout layout = layoutMultiRootTreemap(roots, {0, 0, 701, 433}, lo, true, cap);
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        TreemapRenderOptions one = plain(scale);
        one.maxThreads = 1;
        const TreemapImage single = renderTreemapImage({701, 433}, layout, palette, one);
        ASSERT_TRUE(single.ok());
        for (int threads : {0, 3, 64}) {
            TreemapRenderOptions many = plain(scale);
            many.maxThreads = threads;
            const TreemapImage banded = renderTreemapImage({701, 433}, layout, palette, many);
            ASSERT_TRUE(banded.ok());
            EXPECT_TRUE(banded.image == single.image) << threads << " threads";
        }
    }
}

// A job stopped meanwhile makes no picture.
TEST(CushionShading, AStoppedRenderMakesNoPicture) {
    TreemapLayout layout;
    layout.leaves.push_back({nullptr, {0, 0, 900, 600}, {}, 0});
    CancelFlag stopped;
    stopped.set();
    TreemapRenderOptions cancelled = plain(1);
    cancelled.cancel = &stopped;
    const TreemapImage none = renderTreemapImage({900, 600}, layout, defaultPaletteRGB(), cancelled);
    EXPECT_EQ(none.status, TreemapRenderStatus::cancelled);
    EXPECT_TRUE(none.image.isNull());
}

TEST(CushionShading, PaletteSlotsBeyondThePaletteFallBackToGrey) {
    TreemapLayout layout;
    layout.leaves.push_back({nullptr, {0, 0, 4, 4}, {}, 200});
    layout.leaves.push_back({nullptr, {4, 0, 4, 4}, {}, 2});
    // A palette of two colours is completed from the defaults.
    PaletteRGB shortPalette{{255, 0, 0}, {0, 255, 0}};
    QImage img = renderTreemapImage({8, 4}, layout, shortPalette, plain(1, false)).image;
    const PaletteRGB full = TreemapColorSettings::paletteRGB({});
    Reference ref(8, 4);
    ref.shade({0, 0, 4, 4}, CushionSurface{}, full[12], 1, false);
    ref.shade({4, 0, 4, 4}, CushionSurface{}, full[2], 1, false);
    expectPixels(img, ref);
}

TEST(CushionShading, OversizedPicturesAreRefused) {
    TreemapLayout layout;
    for (QSizeF size : {QSizeF(100000, 100000), QSizeF(32769, 1), QSizeF(20000, 20000), QSizeF(qInf(), 10),
                        QSizeF(std::nan(""), 10)}) {
        TreemapImage out = renderTreemapImage(size, layout, grey100(), plain(1));
        EXPECT_EQ(out.status, TreemapRenderStatus::imageTooLarge) << size.width();
        EXPECT_TRUE(out.image.isNull());
    }
    EXPECT_EQ(renderTreemapImage({20000, 20000}, layout, grey100(), plain(0.5)).status, TreemapRenderStatus::ok);
    EXPECT_EQ(renderTreemapImage({100, 100}, layout, grey100(), plain(std::nan(""))).status,
              TreemapRenderStatus::imageTooLarge);
    EXPECT_TRUE(renderExtensionSwatch("x", {}, grey100(), {1e9, 1e9}, 1).isNull());

    auto limit = treemapPixelSize({32768, 8192}, 1);
    ASSERT_TRUE(limit);
    EXPECT_EQ(limit->width, 32768);
    EXPECT_FALSE(treemapPixelSize({32768, 8193}, 1));
    EXPECT_FALSE(treemapPixelSize({16385, 16385}, 1));

    // Tiny and negative sizes still give one pixel.
    auto tiny = treemapPixelSize({0.2, -5}, 1);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->width, 1);
    EXPECT_EQ(tiny->height, 1);
    EXPECT_EQ(renderTreemapImage({0.2, 3}, layout, grey100(), plain(1)).image.width(), 1);
}

TEST(CushionShading, SwatchIsOneRidgedCushion) {
    const PaletteRGB palette = defaultPaletteRGB();
    ColorRank rank{{"mp3", 0}, {"bad", 900}};
    QImage swatch = renderExtensionSwatch("mp3", rank, palette, {16, 12}, 2);
    ASSERT_FALSE(swatch.isNull());
    EXPECT_EQ(swatch.width(), 32);
    EXPECT_EQ(swatch.height(), 24);
    EXPECT_DOUBLE_EQ(swatch.devicePixelRatio(), 2);
    const float kx = 0.72f / 16.0f, ky = 0.72f / 12.0f;
    Reference ref(32, 24);
    ref.shade({0, 0, 16, 12}, 16.0f * kx, -kx, 12.0f * ky, -ky, palette[0], 2, true);
    expectPixels(swatch, ref);

    for (const char* grey : {"unknown", "bad"}) {
        QImage g = renderExtensionSwatch(grey, rank, palette, {16, 12}, 2);
        Reference gr(32, 24);
        gr.shade({0, 0, 16, 12}, 16.0f * kx, -kx, 12.0f * ky, -ky, palette[12], 2, true);
        expectPixels(g, gr);
    }
}

TEST(TreemapLabels, TextOnlyWhereThereIsRoom) {
    testsupport::TreeBuilder t;
    FileNode* wide = t.loose("wide.txt", false, 1234, 1234);
    FileNode* narrow = t.loose("narrow.txt", false, 1234, 1234);
    TreemapLayout layout;
    layout.leaves.push_back({wide, {0, 0, 80, 12}, {}, 0});
    layout.leaves.push_back({narrow, {0, 20, 79, 30}, {}, 0});
    layout.freeSpaceBoxes.push_back({{100, 0, 80, 15}, {}, 5000000});
    layout.freeSpaceBoxes.push_back({{100, 20, 80, 14}, {}, 5000000});

    // Dark enough that white text shows on the lightened free-space grey too.
    const PaletteRGB dark(13, TreemapRGB{40, 40, 40});
    const QImage bare = renderTreemapImage({200, 60}, layout, dark, plain(1, false, false)).image;
    const QImage labelled = renderTreemapImage({200, 60}, layout, dark, plain(1, false, true)).image;
    auto differs = [&](QRect area) {
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (bare.pixel(x, y) != labelled.pixel(x, y)) return true;
        return false;
    };
    EXPECT_TRUE(differs(QRect(0, 0, 80, 12)));
    EXPECT_FALSE(differs(QRect(0, 20, 79, 30)));
    EXPECT_TRUE(differs(QRect(100, 0, 80, 15)));
    EXPECT_FALSE(differs(QRect(100, 20, 80, 14)));
    // Text stays inside its rectangle.
    EXPECT_FALSE(differs(QRect(0, 13, 90, 6)));
}

TEST(TreemapLabels, FolderBevelsFollowThePixelScale) {
    testsupport::TreeBuilder t;
    FileNode* folder = t.root("/");
    t.file(folder, "f", 10);
    folder->aggregateSizes();
    TreemapLayout layout;
    layout.folderLabels.push_back({folder, {10, 10, 100, 12}, {10, 10, 100, 40}});
    for (double scale : {1.0, 2.0}) {
        QImage img = renderTreemapImage({120, 60}, layout, grey100(), plain(scale, true, true)).image;
        // The left edge of the bevel lies on x = 10 points; nothing lies left of it.
        const int y = int(30 * scale);
        EXPECT_GT(alpha(img, int(10 * scale), y), 0) << scale;
        EXPECT_EQ(alpha(img, int(8 * scale), y), 0) << scale;
        // The label strip carries text; the folder's interior below it does not.
        bool text = false;
        for (int x = int(14 * scale); x < int(100 * scale); ++x) text |= alpha(img, x, int(16 * scale)) > 0;
        EXPECT_TRUE(text) << scale;
        EXPECT_EQ(alpha(img, int(60 * scale), int(35 * scale)), 0);
    }
}

// A root named with its trailing slash, as a shell completes a folder, is labelled as the same
// root without it: "two/ (10 B)", never "two// (10 B)".
TEST(TreemapLabels, ARootWithATrailingSlashIsLabelledWithOne) {
    const auto labelled = [](const char* rootName) {
        testsupport::TreeBuilder t;
        FileNode* root = t.root(rootName);
        t.file(root, "f", 10);
        const RootRef held = t.finish(root);
        TreemapLayout layout;
        layout.folderLabels.push_back({root, {0, 0, 300, 12}, {0, 0, 300, 40}});
        return renderTreemapImage({300, 40}, layout, grey100(), plain(1, true, true)).image;
    };
    EXPECT_EQ(labelled("/x/two/"), labelled("/x/two"));
    EXPECT_NE(labelled("/x/two"), labelled("/x/tw"));
}

// The bevels are stroked band by band on the shading's threads, each band through an image of
// its own rows: the result must be what one painter stroking every whole side over the finished
// picture gives, at whole and fractional pixel scales and whatever the threads.
TEST(TreemapLabels, BevelsDrawnBandByBandAreThoseOfOnePainterOverThePicture) {
    fixtures::TempDir dir;
    for (int i = 0; i < 300; ++i)
        fixtures::writeFile(dir / ("t/d" + std::to_string(i % 7) + "/e" + std::to_string(i % 3) + "/f" + std::to_string(i)),
                            5000 + (i * 7919) % 90000);
    RootRef root = fixtures::loadTreeFromDisk(dir / "t");
    const RootRef roots[] = {root};
    const TreemapLayout layout = layoutMultiRootTreemap(roots, {0, 0, 701, 433}, TreemapLayoutOptions{}, false, {});
    ASSERT_GT(layout.folderLabels.size(), 5u);
    TreemapLayout bare, bevelled;  // no folder names: those are texts, drawn by one painter
    bare.leaves = bevelled.leaves = layout.leaves;
    for (TreemapFolderLabel label : layout.folderLabels) {
        label.node = nullptr;
        bevelled.folderLabels.push_back(label);
    }
    for (double scale : {1.0, 1.5, 2.0}) {
        TreemapRenderOptions options = plain(scale);
        options.maxThreads = 1;
        QImage reference = renderTreemapImage({701, 433}, bare, defaultPaletteRGB(), options).image;
        {
            QPainter painter(&reference);
            const QPen dark(QColor::fromRgbF(48 / 255.0f, 48 / 255.0f, 48 / 255.0f), 1);
            const QPen light(QColor::fromRgbF(64 / 255.0f, 64 / 255.0f, 64 / 255.0f), 1);
            for (const TreemapFolderLabel& label : layout.folderLabels) {
                const TreemapRect& b = label.boxRect;
                QPainterPath lower, upper;
                lower.moveTo(b.minX(), b.minY());
                lower.lineTo(b.minX(), b.maxY());
                lower.lineTo(b.maxX(), b.maxY());
                painter.strokePath(lower, dark);
                upper.moveTo(b.maxX(), b.maxY());
                upper.lineTo(b.maxX(), b.minY());
                upper.lineTo(b.minX(), b.minY());
                painter.strokePath(upper, light);
            }
        }
        for (int threads : {1, 0, 64}) {
            SCOPED_TRACE(testing::Message() << "scale " << scale << ", threads " << threads);
            options.maxThreads = threads;
            const TreemapImage banded = renderTreemapImage({701, 433}, bevelled, defaultPaletteRGB(), options);
            ASSERT_TRUE(banded.ok());
            EXPECT_TRUE(banded.image == reference);
        }
    }
}

TEST(TreemapLabels, DrawTextRespectsItsRectangle) {
    QImage img(200, 60, QImage::Format_RGBA8888_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        drawTreemapText(p, "a rather long label that cannot fit on one line of this box", QRectF(10, 10, 60, 12),
                        Qt::white, false);
        drawTreemapText(p, "never drawn", QRectF(100, 10, 0, 12), Qt::white, false);
        drawTreemapText(p, "wrapped words over several lines", QRectF(100, 10, 50, 40), Qt::white, true);
    }
    int inside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x) {
            if (alpha(img, x, y) == 0) continue;
            const bool inFirst = x >= 10 && x < 70 && y >= 10 && y < 22;
            const bool inThird = x >= 100 && x < 150 && y >= 10 && y < 50;
            EXPECT_TRUE(inFirst || inThird) << x << "," << y;
            ++inside;
        }
    EXPECT_GT(inside, 20);
    // Wrapping uses more than one line.
    bool secondLine = false;
    for (int x = 100; x < 150; ++x) secondLine |= alpha(img, x, 25) > 0 || alpha(img, x, 27) > 0;
    EXPECT_TRUE(secondLine);
}

// Where the glyphs of the characters [from, to) of a laid-out line are drawn.
static QRectF drawnAt(const QTextLayout& layout, qsizetype from, qsizetype to) {
    QRectF drawn;
    for (const QGlyphRun& run : layout.lineAt(0).glyphRuns(int(from), int(to - from))) drawn |= run.boundingRect();
    return drawn;
}

// A label names the item first and its size after it, "4.1 KB" as written, whether the name is
// Latin, Arabic or Hebrew and whatever direction the painter lays text out in.
TEST(TreemapLabels, NamesOfEveryScriptComeBeforeTheirSizeInTheirWrittenOrder) {
    const QString size = QStringLiteral("4.1 KB");
    for (const QString& name : {QStringLiteral("مجلد عربي/"), QStringLiteral("קובץ.txt"), QStringLiteral("/tmp/x/"),
                                QStringLiteral("back\\slash.")}) {
        for (const Qt::LayoutDirection direction : {Qt::LayoutDirectionAuto, Qt::LeftToRight, Qt::RightToLeft}) {
            SCOPED_TRACE(name.toStdString() + " " + std::to_string(int(direction)));
            const QString label = treemapLabel(name, size);
            QTextLayout layout(label, QGuiApplication::font());
            QTextOption option;
            option.setTextDirection(direction);
            layout.setTextOption(option);
            layout.beginLayout();
            layout.createLine();
            layout.endLayout();
            const qsizetype nameAt = label.indexOf(name), sizeAt = label.indexOf(size);
            ASSERT_GE(nameAt, 0);
            ASSERT_GT(sizeAt, nameAt);
            const QRectF shownName = drawnAt(layout, nameAt, nameAt + name.size());
            const QRectF open = drawnAt(layout, sizeAt - 1, sizeAt), number = drawnAt(layout, sizeAt, sizeAt + 3);
            const QRectF unit = drawnAt(layout, sizeAt + 4, sizeAt + 6), close = drawnAt(layout, sizeAt + 6, sizeAt + 7);
            EXPECT_LE(shownName.right(), open.left() + 0.5);
            EXPECT_LT(open.center().x(), number.center().x());
            EXPECT_LT(number.center().x(), unit.center().x());
            EXPECT_LT(unit.center().x(), close.center().x());
            // The name reads as it would on its own: a leading "/" or a trailing "." stays where it is written.
            const QChar first = name.front(), last = name.back();
            if (!first.isLetter()) {
                EXPECT_LT(drawnAt(layout, nameAt, nameAt + 1).center().x(), shownName.center().x());
            }
            if (!last.isLetter() && !name.isRightToLeft()) {
                EXPECT_GT(drawnAt(layout, nameAt + name.size() - 1, nameAt + name.size()).center().x(), shownName.center().x());
            }
        }
    }
}

TEST(TreemapPNG, WrittenAndReadBack) {
    fixtures::TempDir dir;
    TreemapLayout layout;
    CushionSurface s;
    s.addRidgeX(0, 64, 0.18);
    s.addRidgeY(0, 48, 0.18);
    layout.leaves.push_back({nullptr, {0, 0, 64, 48}, s, 1});
    layout.leaves.push_back({nullptr, {64, 0, 33, 48}, {}, 12});
    TreemapImage out = renderTreemapImage({100, 50}, layout, defaultPaletteRGB(), plain(1));
    ASSERT_TRUE(out.ok());

    const std::string path = (dir / "map.png").string();
    {
        std::ofstream old((dir / "map.png").string());
        old << "an earlier file";
    }
    PNGWriteResult written = writeTreemapPNG(out.image, path);
    ASSERT_TRUE(written.ok) << written.errorMessage.toStdString();
    QImageReader reader(QString::fromStdString(path));
    EXPECT_EQ(reader.format(), "png");
    QImage back = reader.read();
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(100, 50));
    const QImage expected = out.image.convertToFormat(QImage::Format_ARGB32);
    const QImage actual = back.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 100; ++x) ASSERT_EQ(actual.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(qAlpha(actual.pixel(99, 10)), 0);

    // A failure is reported, and leaves nothing behind.
    PNGWriteResult failed = writeTreemapPNG(out.image, (dir / "missing/map.png").string());
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.errorMessage.isEmpty());
    EXPECT_FALSE(writeTreemapPNG(QImage(), path).ok);
    EXPECT_FALSE(QImage(QString::fromStdString(path)).isNull());
}

// Texts need a GUI application. It is made here rather than kept for the life of the process, so
// that the font libraries it loads are released before the leak check at exit.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
