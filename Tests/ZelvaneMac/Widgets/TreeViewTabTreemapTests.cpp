#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ColorsSheet.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "WindowParts.hpp"
#include "ZelvaneMac/Window/HoverPathState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::childNamed;
using fixtures::writeFile;

QPoint centreOf(const TreemapCanvas& canvas, FileNode* node) {
    const TreemapRect* r = canvas.model().layout().nodeRects.find(node);
    return r ? QPointF(r->x + r->width / 2, r->y + r->height / 2).toPoint() : QPoint(-1, -1);
}

// Every box of a file in the picture is in the colour the window's statistics ranked its
// extension in: the layout, made while the statistics were counted, took their colours after.
void expectBoxesInTheRankedColours(const TreemapCanvas& canvas, const ColorRank& rank) {
    size_t files = 0, ranked = 0;
    for (const TreemapLeaf& leaf : canvas.model().layout().leaves) {
        if (leaf.dust || leaf.node->isDir()) continue;
        ++files;
        const uint8_t slot = paletteSlot(rank, leaf.node->detectedExtension());
        ranked += slot != kGraySlot;
        EXPECT_EQ(leaf.colorIndex, slot) << leaf.node->name();
    }
    EXPECT_GT(files, 3u);
    EXPECT_GT(ranked, 3u);
}

// The treemap in its tab, driven by the window's real scan road: the scan, the statistics in the
// background, the colour ranks for exactly the shown roots.
TEST(TreeViewTabTreemap, ThePictureFollowsTheWindowAndClicksComeBackToIt) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    TempDir dir;
    for (int i = 0; i < 6; ++i) writeFile(dir / ("Photos/img" + std::to_string(i) + ".jpg"), 400000 + i * 10000);
    for (int i = 0; i < 3; ++i) writeFile(dir / ("Music/Album/track" + std::to_string(i) + ".mp3"), 900000);
    writeFile(dir / "Video/film.mkv", 3000000);
    writeFile(dir / "notes.txt", 120000);

    fixtures::WindowParts parts(prefs);
    TreeViewTab tab(parts.treeViewParts(), parts.menuCommands());
    ASSERT_TRUE(showExposed(tab, 1100, 800));
    TreemapCanvas* canvas = tab.treemapCanvas();
    ASSERT_NE(canvas, nullptr);

    const QString root = QString::fromStdString(dir.path().string());
    parts.viewModel().selectRoot(root, root);
    parts.viewModel().startScan(std::nullopt, false, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return parts.scanControl().colorRankReady() && !parts.scanControl().effectiveRoots().empty() &&
               canvas->model().jobsApplied() > 0 && !canvas->model().isStale() &&
               canvas->model().busyRegenerationCount() == 0;
    }));
    const RootRef scanned = parts.scanControl().effectiveRoots().at(0);
    ASSERT_EQ(canvas->model().inputs().roots.at(0), scanned);
    ASSERT_GT(canvas->width(), 100);
    EXPECT_EQ(canvas->model().renderedSize(), QSizeF(canvas->size()));
    expectBoxesInTheRankedColours(*canvas, parts.fileTypes().extensionColorRank());

    // A click selects in the window; the outline shows the same selection.
    FileNode* film = childNamed(childNamed(scanned.get(), "Video"), "film.mkv");
    ASSERT_TRUE(film);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, centreOf(*canvas, film));
    EXPECT_EQ(parts.treeSelection().nodes(), NodeSet{film});
    tab.refreshNow();
    EXPECT_EQ(canvas->model().overlays().selected.size(), 1u);

    // Hovering names the path in the window's status; a double click zooms the window's treemap.
    QTest::mouseMove(canvas, centreOf(*canvas, film));
    EXPECT_EQ(parts.hoverPathState().path().value_or(QString()).toStdString(), film->fullPath());
    QTest::mouseDClick(canvas, Qt::LeftButton, {}, centreOf(*canvas, film));
    EXPECT_EQ(parts.treemapZoom().root(), film->parent());
    tab.refreshNow();
    EXPECT_EQ(canvas->model().inputs().zoomedNode, film->parent());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !canvas->model().isStale() && canvas->model().busyRegenerationCount() == 0; }));
    EXPECT_EQ(canvas->model().layout().hitRoots.at(0).node, film->parent());
    parts.treemapZoom().setRoot(nullptr);
    tab.refreshNow();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !canvas->model().isStale() && canvas->model().busyRegenerationCount() == 0; }));

    // The display items of the context menu flip the window's toggles, and the picture follows.
    const bool allocated = parts.treemapToggles().showTreemapAllocatedSize();
    const QPoint at = centreOf(*canvas, film);
    QContextMenuEvent e(QContextMenuEvent::Mouse, at, canvas->mapToGlobal(at));
    QApplication::sendEvent(canvas, &e);
    ASSERT_TRUE(canvas->openMenu());
    canvas->displayActions()[1]->trigger();
    canvas->openMenu()->close();
    EXPECT_NE(parts.treemapToggles().showTreemapAllocatedSize(), allocated);
    tab.refreshNow();
    EXPECT_EQ(canvas->model().inputs().useAllocatedSize, parts.treemapToggles().showTreemapAllocatedSize());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return canvas->model().busyRegenerationCount() == 0 && !canvas->model().isRegenerationScheduled(); }));

    const QString dirPath = QDir::temp().filePath(QStringLiteral("zelvane-grabs"));
    QDir().mkpath(dirPath);
    const QString shot = QDir(dirPath).filePath(QStringLiteral("tree-view-tab-treemap.png"));
    ASSERT_TRUE(tab.grab().save(shot));
    std::cout << "tab grabbed to " << shot.toStdString() << "\n";

    // A new scan clears the picture at once; the new tree is painted when its colours are ready.
    const int applied = canvas->model().jobsApplied();
    writeFile(dir / "Video/second.mkv", 2000000);
    parts.scanControl().startScan();
    EXPECT_FALSE(canvas->model().hasPicture());
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return parts.scanControl().colorRankReady() && !parts.scanControl().effectiveRoots().empty() &&
               parts.scanControl().effectiveRoots()[0] != scanned && canvas->model().jobsApplied() > applied &&
               !canvas->model().isStale() && canvas->model().busyRegenerationCount() == 0;
    }));
    EXPECT_TRUE(canvas->model().hasPicture());
    EXPECT_TRUE(canvas->model().layout().nodeRects.find(
        childNamed(childNamed(parts.scanControl().effectiveRoots()[0].get(), "Video"), "second.mkv")));
    expectBoxesInTheRankedColours(*canvas, parts.fileTypes().extensionColorRank());
}

TEST(TreeViewTabTreemap, TheColoursSheetChangesTheColourRanksAndTheTreemapRepaints) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    TempDir dir;
    writeFile(dir / "a/film.mkv", 900000);
    writeFile(dir / "a/song.mp3", 300000);
    fixtures::WindowParts parts(prefs);
    TreeViewTab tab(parts.treeViewParts(), parts.menuCommands());
    MainWindowController& controller = parts.controller();
    // The sheet as the window presents it: OK stores the settings, then the window recomputes
    // its colour ranks.
    QPointer<ColorsSheet> sheet;
    auto open = [&] { sheet = ColorsSheet::present(&tab, prefs, [&] { controller.recomputeColorRank(); }); };
    auto colorsSheet = [&] { return sheet.data(); };
    tab.resize(900, 700);
    tab.show();
    const QString root = QString::fromStdString((dir / "a").string());
    parts.viewModel().selectRoot(root, root);
    parts.viewModel().startScan(std::nullopt, false, true);
    TreemapCanvas* canvas = tab.treemapCanvas();
    auto settled = [&] {
        return parts.scanControl().colorRankReady() && canvas->model().jobsApplied() > 0 && !canvas->model().isStale() &&
               canvas->model().busyRegenerationCount() == 0 && !canvas->model().isRegenerationScheduled();
    };
    ASSERT_TRUE(pumpWidgetsUntil(settled));
    EXPECT_EQ(parts.fileTypes().extensionColorRank().at("mkv"), 0) << "by size: the largest extension first";

    // Cancel: nothing changes.
    open();
    ASSERT_TRUE(colorsSheet());
    colorsSheet()->cancelButton()->click();
    EXPECT_TRUE(prefs.value(PreferenceKeys::treemapColorBySize));
    EXPECT_EQ(parts.fileTypes().extensionColorRank().at("mkv"), 0);

    // Extension lists: "mkv" is in the video list (slot 1); the picture is made again.
    const int jobs = canvas->model().jobsStarted();
    open();
    ASSERT_TRUE(colorsSheet());
    colorsSheet()->extensionButton()->click();
    colorsSheet()->okButton()->click();
    EXPECT_FALSE(prefs.value(PreferenceKeys::treemapColorBySize));
    EXPECT_EQ(parts.fileTypes().extensionColorRank().at("mkv"), 1);
    tab.refreshNow();
    ASSERT_TRUE(pumpWidgetsUntil(settled));
    EXPECT_GT(canvas->model().jobsStarted(), jobs);
    EXPECT_EQ(canvas->model().inputs().colorRank.at("mp3"), 0);
}

// A selection of every file of a type outlines its boxes on each paint: the list is worked out once
// for the selection and the picture, not again at every hover, and follows either when it changes.
TEST(TreeViewTabTreemap, ALargeSelectionsOutlinesAreWorkedOutOncePerSelectionAndPicture) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    TempDir dir;
    for (int i = 0; i < 40; ++i) writeFile(dir / ("logs/run" + std::to_string(i) + ".log"), 20000 + i * 500);
    for (int i = 0; i < 4; ++i) writeFile(dir / ("Photos/img" + std::to_string(i) + ".jpg"), 400000);

    fixtures::WindowParts parts(prefs);
    TreeViewTab tab(parts.treeViewParts(), parts.menuCommands());
    ASSERT_TRUE(showExposed(tab, 1100, 800));
    TreemapCanvas* canvas = tab.treemapCanvas();
    const QString root = QString::fromStdString(dir.path().string());
    parts.viewModel().selectRoot(root, root);
    parts.viewModel().startScan(std::nullopt, false, true);
    const auto settled = [&] {
        return parts.scanControl().colorRankReady() && !parts.scanControl().effectiveRoots().empty() &&
               canvas->model().jobsApplied() > 0 && !canvas->model().isStale() &&
               canvas->model().busyRegenerationCount() == 0;
    };
    ASSERT_TRUE(pumpWidgetsUntil(settled));
    const RootRef scanned = parts.scanControl().effectiveRoots().at(0);
    FileNode* logs = childNamed(scanned.get(), "logs");
    FileNode* photos = childNamed(scanned.get(), "Photos");
    ASSERT_TRUE(logs && photos);
    const auto filesOf = [](FileNode* folder) {
        NodeSet files;
        for (FileNode* k : folder->children()) files.insert(k);
        return files;
    };
    const auto boxesOf = [&](const NodeSet& nodes) {
        size_t n = 0;
        for (FileNode* k : nodes) n += canvas->model().layout().nodeRects.find(k) != nullptr;
        return n;
    };

    parts.treeSelection().set(filesOf(logs));
    tab.refreshNow();
    const size_t logBoxes = boxesOf(filesOf(logs));
    ASSERT_GT(logBoxes, 10u);
    const TreemapOverlays first = canvas->model().overlays();
    EXPECT_EQ(first.selected.size(), logBoxes);
    // Hovering repaints with the same list.
    QTest::mouseMove(canvas, centreOf(*canvas, *filesOf(photos).begin()));
    canvas->repaint();
    const TreemapOverlays again = canvas->model().overlays();
    EXPECT_EQ(again.selected.data(), first.selected.data());
    EXPECT_EQ(again.selected.size(), logBoxes);

    parts.treeSelection().set(filesOf(photos));
    tab.refreshNow();
    EXPECT_EQ(canvas->model().overlays().selected.size(), boxesOf(filesOf(photos)));
    EXPECT_EQ(canvas->model().overlays().selected.size(), 4u);

    // A picture zoomed into the photos has boxes of its own for the same selection.
    const TreemapRect before = canvas->model().overlays().selected[0];
    parts.treemapZoom().setRoot(photos);
    tab.refreshNow();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return settled() && canvas->model().layout().hitRoots.at(0).node == photos; }));
    const TreemapOverlays overZoomed = canvas->model().overlays();
    const auto& zoomed = overZoomed.selected;
    ASSERT_EQ(zoomed.size(), 4u);
    EXPECT_NE(zoomed[0], before);
    for (const TreemapRect& r : zoomed) {
        bool aPhoto = false;
        for (FileNode* k : filesOf(photos)) aPhoto = aPhoto || *canvas->model().layout().nodeRects.find(k) == r;
        EXPECT_TRUE(aPhoto);
    }
}

}  // namespace
}  // namespace zelvane
