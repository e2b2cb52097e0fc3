// The update banner across windows, the branding panel, the Tweaks sheet and the CSV options
// view, on real widgets.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "QtWidgetTestApp.hpp"
#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Widgets/Dialogs/TweaksSheet.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/BrandingPanel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/UpdateBanner.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"

namespace zelvane {
namespace {

TEST(UpdateBanner, ShowsTheFoundVersionInEveryWindowAndClosingItClearsThemAll) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    UpdateChecker checker(prefs, [](const QUrl&, std::function<void(QString, QByteArray)> done) {
        done({}, "VERSION=7.5b\nINFOURL=https://example.org/7");
    });
    WindowServices first, second;
    UpdateBanner a(first), b(second);
    EXPECT_FALSE(a.isOffered());  // no update: nothing offered, so the window shows no strip
    first.set({&checker, nullptr});
    second.set({&checker, nullptr});
    EXPECT_FALSE(a.isOffered());
    checker.checkForUpdates(true, false);
    // "7.5b" is no number, so no update; a plain newer version is one.
    EXPECT_FALSE(a.isOffered());
    UpdateChecker real(prefs, [](const QUrl&, std::function<void(QString, QByteArray)> done) {
        done({}, "VERSION=7.5\nINFOURL=https://example.org/7");
    });
    first.set({&real, nullptr});
    second.set({&real, nullptr});
    real.checkForUpdates(true, false);
    EXPECT_TRUE(a.isOffered());
    EXPECT_TRUE(b.isOffered());
    EXPECT_EQ(a.text(), "An update is available (v7.5). Click on the \"View Update\" button to learn more.");
    a.resize(900, 36);
    a.grab().save(dir.filePath("banner.png"));
    real.clearAvailableUpdate();
    EXPECT_FALSE(a.isOffered());
    EXPECT_FALSE(b.isOffered());
}

TEST(BrandingPanel, TooltipFollowsPortableModeAndTheYearComesFromTheBuild) {
    EXPECT_EQ(BrandingPanel::portableModeHelpText(false, QString("Stick")), "");
    EXPECT_EQ(BrandingPanel::portableModeHelpText(true, std::nullopt), "Portable Mode");
    EXPECT_EQ(BrandingPanel::portableModeHelpText(true, QString("Stick")),
              "Portable Mode: settings are kept on \u201CStick\u201D");
    EXPECT_EQ(BrandingPanel::makerNotice("20260916"), "\u00A9 2026 Zelvane Software");

    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    WindowServices services;
    const QString bundle = dir.filePath("ZelvaneMac.app");
    PortableMode mode(bundle, [](const QString&) { return true; });
    BrandingPanel panel(services);
    services.set({nullptr, &mode});
    EXPECT_EQ(panel.iconLabel()->toolTip(), "");
    ASSERT_TRUE(mode.prepare());
    EXPECT_TRUE(panel.iconLabel()->toolTip().startsWith("Portable Mode"));
}

TEST(TweaksSheet, WorksOnACopyThatOnlyOkHandsBackWithItsLimits) {
    qtWidgetApp();
    TweaksSettings start;
    start.decimalPlaces = 2;
    TweaksSheet sheet(start);
    sheet.toggle(0)->setChecked(false);  // drag/drop
    sheet.sizeUnitsPicker()->setCurrentIndex(1);
    sheet.decimalPlacesStepper()->setValue(9);  // stops at 4
    sheet.fileGroupStepper()->setValue(5000);   // stops at 999
    EXPECT_FALSE(sheet.settings().enableDragDrop);
    EXPECT_EQ(sheet.settings().byteUnitBaseRaw, 1024);
    EXPECT_EQ(sheet.settings().decimalPlaces, 4);
    EXPECT_EQ(sheet.settings().fileGroupMinSize, 999);
    sheet.decimalPlacesStepper()->setValue(-3);
    EXPECT_EQ(sheet.settings().decimalPlaces, 0);

    sheet.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&sheet, &escape);
    EXPECT_EQ(sheet.result(), QDialog::Rejected);
    QTemporaryDir dir;
    sheet.grab().save(dir.filePath("tweaks.png"));
}

TEST(TweaksSheet, TheWindowStoresOnlyWhatOkConfirms) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow window(prefs, {});
    window.menus().handleMenuAction(ZelvaneMenuAction::tweaks);
    auto* sheet = qobject_cast<TweaksSheet*>(window.sheets().sheet(AskedSheet::tweaks));
    ASSERT_TRUE(sheet);
    sheet->toggle(6)->setChecked(false);  // alternate row colours
    sheet->reject();
    EXPECT_EQ(window.sheets().sheet(AskedSheet::tweaks), nullptr);
    EXPECT_TRUE(prefs.value(PreferenceKeys::tweakAltRowColors));
    EXPECT_FALSE(prefs.object("tweakAltRowColors").isValid());

    window.menus().handleMenuAction(ZelvaneMenuAction::tweaks);
    sheet = qobject_cast<TweaksSheet*>(window.sheets().sheet(AskedSheet::tweaks));
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->toggle(6)->isChecked());  // a new opening starts from what is stored
    sheet->toggle(6)->setChecked(false);
    sheet->accept();
    EXPECT_FALSE(prefs.value(PreferenceKeys::tweakAltRowColors));
    EXPECT_TRUE(prefs.object("tweakFileGroupMinSize").isValid());  // all eleven are written
}

// Each box of the sheet edits its own setting and stores it under its own key, and says what it does.
TEST(TweaksSheet, EachBoxStoresItsOwnKey) {
    qtWidgetApp();
    const std::span<const TweakToggle> toggles = tweakToggles();
    ASSERT_EQ(toggles.size(), 8u);
    for (size_t i = 0; i < toggles.size(); ++i) {
        QTemporaryDir dir;
        Preferences prefs(dir.filePath("p.plist"));
        TweaksSheet sheet(loadTweaks(prefs));
        QCheckBox* box = sheet.toggle(int(i));
        EXPECT_EQ(box->text(), localized(toggles[i].label));
        EXPECT_EQ(box->isChecked(), toggles[i].key.defaultValue);
        box->setChecked(!box->isChecked());
        storeTweaks(prefs, sheet.settings());
        for (size_t j = 0; j < toggles.size(); ++j)
            EXPECT_EQ(prefs.value(toggles[j].key), toggles[j].key.defaultValue != (i == j)) << "box " << i << ", key " << j;
        EXPECT_EQ(loadTweaks(prefs), sheet.settings());
    }
}

// What OK stores reaches the views of the open window at once: the rows of both tabs, the sizes
// they write and the rows the file list takes.
TEST(TweaksSheet, TheOpenWindowsViewsFollowWhatOkStores) {
    fixtures::TempDir tree;
    fixtures::writePhotosMusicAndNotes(tree.path());
    fixtures::ShownWindow w;
    ASSERT_TRUE(w.scan(tree.path()));
    ContextMenuOutlineView& treeRows = w.outline().outline();
    FileViewTab& fileView = *w.window().contentView()->fileViewTab();
    QTreeView& listRows = fileView.fileList().outline();
    EXPECT_TRUE(treeRows.alternatingRowColors());
    EXPECT_TRUE(listRows.alternatingRowColors());
    EXPECT_EQ(fileView.currentInputs().byteUnitBase, ByteUnitBase::decimal);

    w.window().sheets().present(AskedSheet::tweaks);
    auto* sheet = qobject_cast<TweaksSheet*>(w.window().sheets().sheet(AskedSheet::tweaks));
    ASSERT_TRUE(sheet);
    const std::span<const TweakToggle> toggles = tweakToggles();
    for (size_t i = 0; i < toggles.size(); ++i)
        if (toggles[i].field == &TweaksSettings::altRowColors) sheet->toggle(int(i))->setChecked(false);
    sheet->sizeUnitsPicker()->setCurrentIndex(1);
    sheet->accept();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !treeRows.alternatingRowColors(); }));
    EXPECT_FALSE(listRows.alternatingRowColors());
    EXPECT_EQ(fileView.currentInputs().byteUnitBase, ByteUnitBase::binary);

    // The File View shown: the search bar's folders box is stored, and the list takes the folders.
    w.window().controller().setSelectedTab(ContentTab::fileView);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 12; }));
    w.prefs().set(PreferenceKeys::fileIncludeFolders, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 15; }))
        << w.window().fileResults().fileResultCount();
}

TEST(ExportOptionsView, ChoicesGoToTheSelectionAndToggleChangesAreStoredAtOnce) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    ExportSourceSelection none(ExportSource::treeView, false, CSVFileFormat::csv);
    ExportOptionsView view(prefs, none);
    EXPECT_FALSE(view.selectedOnlyToggle()->isEnabled());
    EXPECT_FALSE(view.selectedOnlyToggle()->isChecked());
    view.tsvChoice()->setChecked(true);
    EXPECT_EQ(none.format(), CSVFileFormat::tsv);
    view.fileViewChoice()->setChecked(true);
    EXPECT_EQ(none.source(), ExportSource::fileView);
    view.maxDepthStepper()->setValue(1200);
    EXPECT_EQ(prefs.value(PreferenceKeys::csvMaxDepth), 999);
    for (QCheckBox* box : view.findChildren<QCheckBox*>()) {
        if (box->text() == "Export File ID") box->setChecked(true);
    }
    EXPECT_TRUE(prefs.value(PreferenceKeys::csvExportFileID));
    view.grab().save(dir.filePath("options.png"));

    ExportSourceSelection some(ExportSource::treeView, true, CSVFileFormat::tsv);
    ExportOptionsView withSelection(prefs, some);
    EXPECT_TRUE(withSelection.selectedOnlyToggle()->isChecked());
    EXPECT_TRUE(withSelection.tsvChoice()->isChecked());
}

}  // namespace
}  // namespace zelvane
