#include <gtest/gtest.h>

#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

using namespace zelvane;
namespace TCS = zelvane::TreemapColorSettings;

TEST(TreemapColors, DefaultPaletteDerivesFromDarkenedBaseColours) {
    const QStringList expected = {"9A500D", "8B8E04", "16761F", "6D28A5", "88274D", "1070C6", "5954FA",
                                  "A21E95", "B00C0C", "4C691C", "0F9E7D", "603E15", "484848"};
    EXPECT_EQ(TCS::defaultColors(), expected);
    EXPECT_EQ(TCS::defaultExtensionLists().size(), 13);
    EXPECT_TRUE(TCS::defaultExtensionLists()[12].isEmpty());
    EXPECT_EQ(TCS::colorBlindColors().size(), 13);
    EXPECT_EQ(TCS::colorBlindColors()[0], "88CCEE");
    EXPECT_EQ(TCS::colorBlindColors()[12], "202020");

    // The initial render palette is the same colours at full precision.
    const PaletteRGB& p = defaultPaletteRGB();
    ASSERT_EQ(p.size(), kPaletteSlotCount);
    const PaletteRGB rounded = TCS::paletteRGB(TCS::defaultColors());
    for (size_t i = 0; i < kPaletteSlotCount; ++i) {
        EXPECT_NEAR(p[i].r, rounded[i].r, 0.5f);
        EXPECT_NEAR(p[i].g, rounded[i].g, 0.5f);
        EXPECT_NEAR(p[i].b, rounded[i].b, 0.5f);
    }
    EXPECT_FLOAT_EQ(p[12].r, 72.0f);
}

TEST(TreemapColors, LightnessArithmetic) {
    const DeviceRGBColor grey = darkenColor(72, 72, 72, 2.0);
    EXPECT_DOUBLE_EQ(grey.red, 144 / 255.0);
    EXPECT_DOUBLE_EQ(grey.green, 144 / 255.0);
    EXPECT_DOUBLE_EQ(grey.blue, 144 / 255.0);
    EXPECT_EQ(grey.alpha, 1);

    const DeviceRGBColor same = darkenColor(109, 40, 165, 1.0);
    EXPECT_NEAR(same.red, 109 / 255.0, 1e-12);
    EXPECT_NEAR(same.green, 40 / 255.0, 1e-12);
    EXPECT_NEAR(same.blue, 165 / 255.0, 1e-12);

    for (double factor : {0.0, -0.5}) {
        const DeviceRGBColor black = darkenColor(200, 30, 90, factor);
        EXPECT_EQ(black.red, 0);
        EXPECT_EQ(black.green, 0);
        EXPECT_EQ(black.blue, 0);
    }

    const DeviceRGBColor background = treemapBackgroundColor();
    EXPECT_NEAR(background.red * 255, 57.6, 1e-9);
    EXPECT_EQ(treemapHoverColor().red * 255, 176);

    // A component of exactly 148.5 rounds up.
    EXPECT_EQ(TCS::hexString(DeviceRGBColor{148.5 / 255, 0, 1, 1}), "9500FF");
    EXPECT_EQ(TCS::hexString(QColor()), "808080");
    EXPECT_EQ(TCS::hexString(QColor(18, 52, 86)), "123456");

    const HSL hsl = rgbToHSL(1, 0, 0);
    EXPECT_EQ(hsl.h, 0);
    EXPECT_EQ(hsl.s, 1);
    EXPECT_EQ(hsl.l, 0.5);
    EXPECT_DOUBLE_EQ(rgbToHSL(0, 0, 1).h, 2.0 / 3.0);
}

TEST(TreemapColors, FreeSpaceColourComesFromTheGreySlot) {
    const TreemapRGB free = freeSpaceRGB(defaultPaletteRGB());
    EXPECT_FLOAT_EQ(free.r, 144.0f);
    EXPECT_FLOAT_EQ(free.g, 144.0f);
    EXPECT_FLOAT_EQ(free.b, 144.0f);

    // A palette too short to have a grey slot falls back to the default grey.
    EXPECT_EQ(freeSpaceRGB(PaletteRGB{}), free);
    EXPECT_EQ(freeSpaceRGB(PaletteRGB(5, TreemapRGB{1, 2, 3})), free);

    PaletteRGB custom = defaultPaletteRGB();
    custom[12] = {10.4f, 10.5f, 0};
    const TreemapRGB lighter = freeSpaceRGB(custom);
    // Components are rounded (half away from zero) before lightening.
    const DeviceRGBColor expected = darkenColor(10, 11, 0, 2.0);
    EXPECT_EQ(lighter, resolveTreemapColor(expected));
}

TEST(TreemapColors, ExtensionListsToRanks) {
    ColorRank rank = TCS::colorRank({"mp3, OGG", "ogg"});
    EXPECT_EQ(rank.size(), 2u);
    EXPECT_EQ(rank.at("mp3"), 0);
    EXPECT_EQ(rank.at("ogg"), 1);

    rank = TCS::colorRank({",,exe,", "\tJPG\t ,  , \u00A0Tar"});
    EXPECT_EQ(rank.size(), 3u);
    EXPECT_EQ(rank.at("exe"), 0);
    EXPECT_EQ(rank.at("jpg"), 1);
    EXPECT_EQ(rank.at("tar"), 1);

    // Line breaks are not blanks: they stay part of the piece.
    rank = TCS::colorRank({"\nmp3"});
    EXPECT_EQ(rank.count("\nmp3"), 1u);

    rank = TCS::colorRank(TCS::defaultExtensionLists());
    EXPECT_EQ(rank.at("mp3"), 0);
    EXPECT_EQ(rank.at("pkg"), 11);
    EXPECT_EQ(rank.at("key"), 10);
    for (const auto& [ext, slot] : rank) EXPECT_LT(slot, kGraySlot) << ext;

    // Non-ASCII extensions are lower-cased too.
    rank = TCS::colorRank({"ÄBC"});
    EXPECT_EQ(rank.count("äbc"), 1u);
}

TEST(TreemapColors, StoredSettingsAreNormalisedToThirteenSlots) {
    const QStringList& defaults = TCS::defaultColors();
    for (const char* bad : {"", "[]", "not json", "{\"a\":1}", "[1,2]", "[\"FF0000\", null]", "\"FF0000\""})
        EXPECT_EQ(TCS::paletteColors(QString::fromUtf8(bad)), defaults) << bad;

    QStringList one = TCS::paletteColors("[\"FF0000\"]");
    ASSERT_EQ(one.size(), 13);
    EXPECT_EQ(one[0], "FF0000");
    EXPECT_EQ(one.mid(1), defaults.mid(1));

    QStringList many;
    for (int i = 0; i < 20; ++i) many.append(QString::number(i));
    EXPECT_EQ(TCS::paletteColors(TCS::encodeStringArray(many)), many.mid(0, 13));
    EXPECT_EQ(TCS::extensionLists(TCS::encodeStringArray(many)), many.mid(0, 13));
    EXPECT_EQ(TCS::extensionLists("[\"zip\"]").mid(1), TCS::defaultExtensionLists().mid(1));
    EXPECT_EQ(TCS::extensionLists("{}"), TCS::defaultExtensionLists());

    const PaletteRGB rgb = TCS::paletteRGB({"zz", "0x10", " FF8000", "#FF0000", "FFFFFFFFFFFFFFFFFFFFFF", "12345678", "0x"});
    ASSERT_EQ(rgb.size(), kPaletteSlotCount);
    EXPECT_EQ(rgb[0], (TreemapRGB{0, 0, 0}));
    EXPECT_EQ(rgb[1], (TreemapRGB{0, 0, 16}));
    EXPECT_EQ(rgb[2], (TreemapRGB{255, 128, 0}));
    EXPECT_EQ(rgb[3], (TreemapRGB{0, 0, 0}));
    EXPECT_EQ(rgb[4], (TreemapRGB{255, 255, 255}));
    EXPECT_EQ(rgb[5], (TreemapRGB{0x34, 0x56, 0x78}));
    EXPECT_EQ(rgb[6], (TreemapRGB{0, 0, 0}));
    EXPECT_EQ(rgb[12], (TreemapRGB{72, 72, 72}));

    EXPECT_EQ(normalizedPaletteRGB(PaletteRGB{}).size(), kPaletteSlotCount);
    EXPECT_EQ(normalizedPaletteRGB(PaletteRGB(20)).size(), 20u);
}

TEST(TreemapColors, StringArraysRoundTrip) {
    const QStringList lists = {"a,b", "quote \" and \\ back", "ünï,😀", "", "/slash/"};
    const auto decoded = TCS::decodeStringArray(TCS::encodeStringArray(lists));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, lists);
    EXPECT_FALSE(TCS::decodeStringArray(""));
    EXPECT_EQ(TCS::decodeStringArray("[]")->size(), 0);
}
