#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "QtWidgetTestApp.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ColorsSheet.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportTreemapImageView.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

namespace zelvane {
namespace {

namespace K = PreferenceKeys;

struct Store {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath("prefs.plist")};
};

QStringList storedList(const Preferences& p, const StringKey& key) {
    return TreemapColorSettings::decodeStringArray(p.value(key)).value_or(QStringList{QStringLiteral("<not a list>")});
}

void retype(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    if (!text.isEmpty()) QTest::keyClicks(field, text);
}

TEST(ColorsSheet, OKWritesTheThirteenColoursAndListsBackAndCancelWritesNothing) {
    qtWidgetApp();
    Store s;
    QWidget window;
    int storedCount = 0;

    // Unchanged defaults come back as the same 13 upper-case strings.
    ColorsSheet* sheet = ColorsSheet::present(&window, s.preferences, [&] { ++storedCount; });
    EXPECT_TRUE(sheet->sizeButton()->isChecked());
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_EQ(storedCount, 1);
    EXPECT_EQ(storedList(s.preferences, K::treemapPaletteColorsJSON), TreemapColorSettings::defaultColors());
    EXPECT_EQ(storedList(s.preferences, K::treemapExtensionListsJSON), TreemapColorSettings::defaultExtensionLists());
    EXPECT_TRUE(s.preferences.value(K::treemapColorBySize));

    // Extension mode, a colour, a list emptied and one edited: all stored on OK.
    sheet = ColorsSheet::present(&window, s.preferences, [&] { ++storedCount; });
    QTest::mouseClick(sheet->extensionButton(), Qt::LeftButton);
    sheet->setColor(4, QColor(0x12, 0xAB, 0xEF));
    retype(sheet->extensionField(4), QString());
    retype(sheet->extensionField(12), QStringLiteral("tmp, bak"));
    QTest::keyClick(sheet, Qt::Key_Return);
    EXPECT_EQ(storedCount, 2);
    EXPECT_FALSE(s.preferences.value(K::treemapColorBySize));
    const QStringList colors = storedList(s.preferences, K::treemapPaletteColorsJSON);
    ASSERT_EQ(colors.size(), 13);
    EXPECT_EQ(colors[4], QStringLiteral("12ABEF"));
    const QStringList lists = storedList(s.preferences, K::treemapExtensionListsJSON);
    ASSERT_EQ(lists.size(), 13);
    EXPECT_EQ(lists[4], QString()) << "an emptied list is stored empty";
    EXPECT_EQ(lists[12], QStringLiteral("tmp, bak"));

    // Cancel, Escape and closing the window leave everything as stored, and report once.
    for (int way = 0; way < 3; ++way) {
        SCOPED_TRACE(way);
        const QString before = s.preferences.value(K::treemapPaletteColorsJSON);
        sheet = ColorsSheet::present(&window, s.preferences, [&] { ++storedCount; });
        int cancels = 0;
        QObject::connect(sheet, &QDialog::rejected, [&] { ++cancels; });
        QTest::mouseClick(sheet->colorBlindButton(), Qt::LeftButton);
        if (way == 0) QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        if (way == 1) QTest::keyClick(sheet, Qt::Key_Escape);
        if (way == 2) sheet->close();
        EXPECT_EQ(cancels, 1);
        EXPECT_EQ(storedCount, 2);
        EXPECT_EQ(s.preferences.value(K::treemapPaletteColorsJSON), before);
    }
}

TEST(ColorsSheet, PresetsAndTheSizeModeEnableWhatTheyShould) {
    qtWidgetApp();
    ColorsSheet sheet(ColorSettingsDraft::fromStored(true, TreemapColorSettings::defaultColors(),
                                                     TreemapColorSettings::defaultExtensionLists()));
    // By size: the lists and their preset are off, the colours stay editable.
    for (int i = 0; i < 13; ++i) {
        EXPECT_FALSE(sheet.extensionField(i)->isEnabled());
        EXPECT_TRUE(sheet.colorWell(i)->isEnabled());
    }
    EXPECT_FALSE(sheet.defaultExtensionsButton()->isEnabled());
    EXPECT_FALSE(sheet.extensionsHeader()->isEnabled()) << "the header is dimmed";
    EXPECT_TRUE(sheet.defaultColorsButton()->isEnabled());
    EXPECT_TRUE(sheet.colorBlindButton()->isEnabled());
    sheet.extensionButton()->click();
    EXPECT_TRUE(sheet.extensionField(0)->isEnabled());
    EXPECT_TRUE(sheet.defaultExtensionsButton()->isEnabled());

    sheet.colorBlindButton()->click();
    QStringList hex = sheet.draft().choice().colors;
    EXPECT_EQ(hex, TreemapColorSettings::colorBlindColors());
    for (int i = 9; i < 13; ++i) EXPECT_EQ(hex[i], QStringLiteral("202020"));
    sheet.defaultColorsButton()->click();
    EXPECT_EQ(sheet.draft().choice().colors, TreemapColorSettings::defaultColors());

    retype(sheet.extensionField(0), QStringLiteral("wav"));
    EXPECT_EQ(sheet.draft().extensionLists[0], QStringLiteral("wav"));
    sheet.defaultExtensionsButton()->click();
    EXPECT_EQ(sheet.extensionField(0)->text(), TreemapColorSettings::defaultExtensionLists()[0]);

    sheet.resize(sheet.sizeHint());
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("colors-sheet.png"));
    ASSERT_TRUE(sheet.grab().save(path));
    std::cout << "sheet grabbed to " << path.toStdString() << "\n";
}

TEST(ColorsSheet, ShortOrOddStoredSettingsAreCompletedWithoutFailing) {
    qtWidgetApp();
    // Three stored colours, one unreadable; two lists.
    const auto d = ColorSettingsDraft::fromStored(
        false, {QStringLiteral("FF0000"), QStringLiteral("zz"), QStringLiteral("0000ff")},
        {QStringLiteral("a"), QStringLiteral("b")});
    ASSERT_EQ(d.colors.size(), 13u);
    const QStringList hex = d.choice().colors;
    EXPECT_EQ(hex[0], QStringLiteral("FF0000"));
    EXPECT_EQ(hex[1], QStringLiteral("000000")) << "a string that does not scan is black";
    EXPECT_EQ(hex[2], QStringLiteral("0000FF"));
    EXPECT_EQ(hex.mid(3), TreemapColorSettings::defaultColors().mid(3)) << "the rest from the defaults";
    ASSERT_EQ(d.extensionLists.size(), 13);
    EXPECT_EQ(d.extensionLists[12], QString());

    // Typing into a slot the stored lists did not have is kept.
    ColorsSheet sheet(d);
    retype(sheet.extensionField(7), QStringLiteral("md"));
    EXPECT_EQ(sheet.draft().choice().extensionLists[7], QStringLiteral("md"));

    // Fourteen stored colours: the sheet shows and hands back thirteen.
    QStringList many = TreemapColorSettings::defaultColors();
    many << QStringLiteral("ABCDEF");
    EXPECT_EQ(ColorSettingsDraft::fromStored(true, many, {}).choice().colors.size(), 13);
}

TEST(ExportTreemapImageView, SizeFieldsKeepDigitsAndStoreOnlyValidSizes) {
    qtWidgetApp();
    Store s;
    TreemapImageExportSelection selection(false);
    {
        ExportTreemapImageView view(s.preferences, selection);
        EXPECT_EQ(view.widthField()->text(), QStringLiteral("1920")) << "first run";
        EXPECT_EQ(view.heightField()->text(), QStringLiteral("1080"));

        struct Case {
            QLineEdit* field;
            const char* typed;
            const char* shown;
            int64_t stored;
        };
        const Case cases[] = {
            {view.widthField(), "12a0", "120", 120},
            {view.widthField(), "0", "0", 120},                    // 0 keeps the previous width
            {view.widthField(), "100000", "100000", 100000},       // no upper limit here
            {view.heightField(), "", "", 1080},                    // cleared: unchanged
            {view.heightField(), "7 6 8", "768", 768},
            // Each keystroke is an edit: the last value that still fitted the integer range stays.
            {view.heightField(), "99999999999999999999", "99999999999999999999", 999999999999999999},
            {view.widthField(), "-5", "5", 5},
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.typed);
            retype(c.field, QString::fromUtf8(c.typed));
            EXPECT_EQ(c.field->text(), QString::fromUtf8(c.shown));
            const auto& key = c.field == view.widthField() ? K::treemapExportWidth : K::treemapExportHeight;
            EXPECT_EQ(s.preferences.value(key), c.stored);
        }

        // A preset sets both.
        QMenu* presets = view.presetsButton()->menu();
        ASSERT_EQ(presets->actions().size(), 7);
        EXPECT_EQ(presets->actions()[4]->text(), QStringLiteral("2560x1440"));
        presets->actions()[4]->trigger();
        EXPECT_EQ(view.widthField()->text(), QStringLiteral("2560"));
        EXPECT_EQ(view.heightField()->text(), QStringLiteral("1440"));
        EXPECT_EQ(s.preferences.value(K::treemapExportWidth), 2560);
        EXPECT_EQ(s.preferences.value(K::treemapExportHeight), 1440);

        // Grey is a stored setting; free space goes to the export's selection only.
        view.shadesOfGrayToggle()->click();
        EXPECT_TRUE(s.preferences.value(K::treemapExportShadesOfGray));
        view.freeSpaceToggle()->click();
        EXPECT_TRUE(selection.showFreeSpace());
        EXPECT_FALSE(s.preferences.value(K::showTreemapFreeSpace));

        view.resize(view.sizeHint());
        const QString path = QDir::current().absoluteFilePath(QStringLiteral("export-treemap-options.png"));
        ASSERT_TRUE(view.grab().save(path));
        std::cout << "options grabbed to " << path.toStdString() << "\n";
    }
    // The next export shows the last stored values.
    ExportTreemapImageView again(s.preferences, selection);
    EXPECT_EQ(again.widthField()->text(), QStringLiteral("2560"));
    EXPECT_EQ(again.heightField()->text(), QStringLiteral("1440"));
    EXPECT_TRUE(again.shadesOfGrayToggle()->isChecked());
    EXPECT_TRUE(again.freeSpaceToggle()->isChecked());
}

}  // namespace
}  // namespace zelvane
