#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include <filesystem>
#include <fstream>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

struct Export {
    TempDir dir;
    RootRef root;
    TreemapImageExportRequest request;
    Export() {
        qtWidgetApp();
        writeFile(dir / "tree/music/a.mp3", 300000);
        writeFile(dir / "tree/music/b.mp3", 200000);
        writeFile(dir / "tree/video/c.mkv", 900000);
        writeFile(dir / "tree/notes.txt", 100000);
        root = fixtures::loadTreeFromDisk(dir / "tree");
        request.roots = {root};
        request.width = 320;
        request.height = 200;
        request.useAllocatedSize = false;
        request.colorRank = computeExtensionStats(std::span<const RootRef>(request.roots), true, {}).colorRank;
        request.paletteRGB = TreemapColorSettings::paletteRGB(TreemapColorSettings::defaultColors());
    }
    QString out(const char* name) const { return QString::fromStdString((dir / name).string()); }
};

bool isGrey(QRgb p) { return qRed(p) == qGreen(p) && qGreen(p) == qBlue(p); }

TEST(TreemapImageExport, WritesThePictureAtTheChosenSizeInColourOrGrey) {
    Export e;
    const QString colour = e.out("colour.png");
    ASSERT_EQ(exportTreemapImage(e.request, colour), std::nullopt);
    QImage image(colour);
    ASSERT_EQ(image.size(), QSize(320, 200));
    int coloured = 0;
    for (int y = 0; y < 200; y += 7)
        for (int x = 0; x < 320; x += 7) coloured += !isGrey(image.pixel(x, y));
    EXPECT_GT(coloured, 100);

    e.request.shadesOfGray = true;
    const QString grey = e.out("grey.png");
    ASSERT_EQ(exportTreemapImage(e.request, grey), std::nullopt);
    image = QImage(grey);
    for (int y = 0; y < 200; y += 7)
        for (int x = 0; x < 320; x += 7) ASSERT_TRUE(isGrey(image.pixel(x, y))) << x << "," << y;

    // Zoomed: the folder alone fills the picture; here the one video file covers nearly all of it.
    e.request.shadesOfGray = false;
    for (FileNode* k : e.root->children())
        if (k->name() == "video") e.request.zoomedNode = k;
    ASSERT_TRUE(e.request.zoomedNode);
    const QString zoomed = e.out("zoomed.png");
    ASSERT_EQ(exportTreemapImage(e.request, zoomed), std::nullopt);
    image = QImage(zoomed);
    const int hueRight = QColor(image.pixel(300, 190)).hue(), hueMiddle = QColor(image.pixel(160, 190)).hue();
    EXPECT_NEAR(hueRight, hueMiddle, 3) << "one box across the bottom: only the shading differs";
    EXPECT_NEAR(QColor(image.pixel(20, 100)).hue(), hueMiddle, 3);

    // A root shown deleted (its folder went from the disk) is left out with its name, also where
    // its volume's free space would give it a column: the picture is the bare background.
    e.request.zoomedNode = nullptr;
    e.request.showFreeSpace = true;
    VolumeCapacity capacity;
    capacity.total = 8'000'000;
    capacity.available = 4'000'000;
    e.request.capacities = {capacity};
    ASSERT_TRUE(e.root->markDeletedWithSubtree());
    const QString gone = e.out("gone.png");
    ASSERT_EQ(exportTreemapImage(e.request, gone), std::nullopt);
    image = QImage(gone).convertToFormat(QImage::Format_ARGB32);
    const QRgb background = treemapBackgroundColor().toQColor().rgb();
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) drawn += image.pixel(x, y) != background;
    EXPECT_EQ(drawn, 0);
}

TEST(TreemapImageExport, RefusesSizesItCannotWriteWithTheAlertTextAndLeavesEarlierFilesAlone) {
    Export e;
    const QString path = e.out("kept.png");
    {
        std::ofstream old(path.toStdString());
        old << "earlier";
    }
    struct Case {
        int64_t w, h;
        const char* start;
    };
    const Case cases[] = {
        {0, 100, "Couldn't render the treemap image."},
        {100, -3, "Couldn't render the treemap image."},
        {32769, 10, "Couldn't render the treemap image."},
        {10, 40000, "Couldn't render the treemap image."},
        {20000, 20000, "Couldn't render the treemap image."},  // 400 million pixels
        {int64_t(1) << 40, int64_t(1) << 40, "Couldn't render the treemap image."},  // the product would overflow 32 bits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        e.request.width = c.w;
        e.request.height = c.h;
        const auto error = exportTreemapImage(e.request, path);
        ASSERT_TRUE(error);
        EXPECT_TRUE(error->startsWith(QString::fromUtf8(c.start))) << error->toStdString();
    }
    std::ifstream in(path.toStdString());
    std::string kept;
    std::getline(in, kept);
    EXPECT_EQ(kept, "earlier");

    // The largest side that is allowed still works.
    e.request.width = 32768;
    e.request.height = 8;
    EXPECT_EQ(exportTreemapImage(e.request, e.out("wide.png")), std::nullopt);
    EXPECT_EQ(QImage(e.out("wide.png")).size(), QSize(32768, 8));

    // A folder that does not exist: the write failure is reported.
    e.request.width = 50;
    e.request.height = 50;
    const auto error = exportTreemapImage(e.request, e.out("missing/folder/x.png"));
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->startsWith(QStringLiteral("Couldn't write the PNG file: ")));
    EXPECT_GT(error->size(), QStringLiteral("Couldn't write the PNG file: ").size());
}

TEST(TreemapImageExport, SizeEditsKeepNumericCharactersAndAcceptOnlyPositiveIntegers) {
    struct Case {
        const char* typed;
        const char* text;
        std::optional<int64_t> value;
    };
    const Case cases[] = {
        {"12a0", "120", 120}, {"", "", std::nullopt},    {"0", "0", std::nullopt},   {"abc", "", std::nullopt},
        {"100000", "100000", 100000}, {"00042", "00042", 42}, {" 1 9 ", "19", 19},
        {"99999999999999999999", "99999999999999999999", std::nullopt},
        {"\u0663\u0664", "\u0663\u0664", std::nullopt},  // Arabic-Indic digits are numeric but not decimal ASCII
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const auto edit = editTreemapExportSize(QString::fromUtf8(c.typed));
        EXPECT_EQ(edit.text, QString::fromUtf8(c.text));
        EXPECT_EQ(edit.value, c.value);
    }
}

}  // namespace
}  // namespace zelvane
