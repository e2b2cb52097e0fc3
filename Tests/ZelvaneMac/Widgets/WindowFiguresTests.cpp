// The figures a real window shows after a scan of a real folder, while the user filters, renames
// and deletes, and while files go on disk: the file-type table, the selections box, the tree's
// rows and group rows and the status bar must agree with each other and with the disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "ScriptedUser.hpp"
#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Actions/FileActionController.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Models/ExtensionTableModel.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/Dialogs/ExportOptionsView.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListSelectionModel.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/SelectionsBox.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Preview/PreviewWindow.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/FileViewTabModel.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/ScanStatusTexts.hpp"

namespace zelvane {
namespace {

using fixtures::ShownWindow;
using fixtures::TempDir;
using fixtures::qPath;
using fixtures::writeFile;
namespace fs = std::filesystem;

// A window that scanned what its command line names, as `ZelvaneMac a b` does, and watches it.
struct ScannedWindow : ShownWindow {
    explicit ScannedWindow(const std::vector<fs::path>& folders) : ShownWindow(pathList(folders)) {
        EXPECT_TRUE(waitForResult());
        EXPECT_TRUE(waitUntilWatching());
    }
    static QStringList pathList(const std::vector<fs::path>& folders) {
        QStringList out;
        for (const fs::path& f : folders) out << qPath(f);
        return out;
    }
    FileTreeOutlineModel& rows() const { return outline().model(); }
    const ExtensionTableModel& fileTypes() const {
        return *static_cast<const ExtensionTableModel*>(tree().fileTypeTable()->model());
    }
    // The file-type table's row of an extension as (files, total size); (0, 0) when absent.
    std::pair<int64_t, int64_t> typeRow(const std::string& ext) const {
        for (const ExtensionStats& s : fileTypes().displayed())
            if (s.ext == ext) return {s.fileCount, s.totalSize};
        return {0, 0};
    }
    QString summary() { return window().contentView()->statusBar()->summaryLabel()->text(); }
    QString sizeText(int64_t bytes) {
        return SizeTextFormat::fromPreferences(prefs().value(PreferenceKeys::byteUnitBase),
                                               prefs().value(PreferenceKeys::byteSizeDisplayMode))(bytes);
    }
    // Live changes arrive after the monitor's latency and the controller's half-second flush.
    bool waitFor(const std::function<bool()>& done) { return pumpWidgetsUntil(done, 20000); }
};

// The treemap lays each new tree out while its file types are counted and colours it once they
// are: two filters applied one right after the other, the second while the first's layout and
// statistics still run, leave the picture of the second tree, in the colours counted for it.
TEST(WindowFigures, TheTreemapShowsTheLastFilteredTreeInItsOwnColours) {
    TempDir dir;
    for (int i = 0; i < 40; ++i) writeFile(dir / ("art/icon" + std::to_string(i) + ".svg"), 20000 + i * 100);
    for (int i = 0; i < 30; ++i) writeFile(dir / ("music/track" + std::to_string(i) + ".mp3"), 90000 + i * 100);
    for (int i = 0; i < 20; ++i) writeFile(dir / ("notes/note" + std::to_string(i) + ".txt"), 5000 + i * 10);
    ScannedWindow w({dir.path()});
    const TreemapCanvasModel& treemap = w.tree().treemapCanvas()->model();
    ScanController& scans = w.window().scanControl();
    const auto pictureShown = [&] {
        return scans.colorRankReady() && !scans.effectiveRoots().empty() && !treemap.isStale() &&
               treemap.hasPicture() && treemap.inputs().roots == scans.effectiveRoots() &&
               treemap.busyRegenerationCount() == 0 && !treemap.isRegenerationScheduled();
    };
    ASSERT_TRUE(w.waitFor(pictureShown));

    w.window().panes().setShowFilterPanel(true);
    w.prefs().set(PreferenceKeys::includeFilterText, QStringLiteral("*.mp3"));
    w.key(Qt::Key_F5, Qt::ShiftModifier);
    w.prefs().set(PreferenceKeys::includeFilterText, QStringLiteral("*.svg|*.txt"));
    w.key(Qt::Key_F5, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return pictureShown() && w.typeRow("svg").first == 40 && w.typeRow("mp3").first == 0; }));
    const ColorRank& rank = w.window().fileTypes().extensionColorRank();
    std::set<std::string> extensions;
    for (const TreemapLeaf& leaf : treemap.layout().leaves) {
        if (leaf.dust || leaf.node->isDir()) continue;
        const std::string ext = leaf.node->detectedExtension();
        extensions.insert(ext);
        EXPECT_EQ(leaf.colorIndex, paletteSlot(rank, ext)) << leaf.node->name();
    }
    EXPECT_EQ(extensions, (std::set<std::string>{"svg", "txt"}));
    EXPECT_NE(paletteSlot(rank, "svg"), paletteSlot(rank, "txt"));
}

// The table is refilled whenever the statistics are computed again, not only when the set of
// extensions changes: a stricter filter of the same type, clearing it, and files deleted on disk
// all change its figures.
TEST(WindowFigures, FileTypeTableFollowsFiltersAndDeletions) {
    TempDir dir;
    const int64_t svgSizes[] = {11000, 12000, 13000, 14000, 15000, 45100};
    for (int i = 0; i < 6; ++i) writeFile(dir / ("art/icon" + std::to_string(i) + ".svg"), svgSizes[i]);
    writeFile(dir / "art/small.svg", 900);
    writeFile(dir / "notes/readme.txt", 3000);
    ScannedWindow w({dir.path()});
    constexpr int64_t kAllSvg = 11000 + 12000 + 13000 + 14000 + 15000 + 45100 + 900;
    EXPECT_TRUE(w.waitFor([&] { return w.typeRow("svg") == std::make_pair(int64_t(7), kAllSvg); }));

    w.window().panes().setShowFilterPanel(true);
    const auto applyFilter = [&](const char* text) {
        w.prefs().set(PreferenceKeys::includeFilterText, QString::fromUtf8(text));
        w.key(Qt::Key_F5, Qt::ShiftModifier);
        return w.waitFor([&] { return w.window().scanControl().colorRankReady(); });
    };
    ASSERT_TRUE(applyFilter("*.svg S>10K"));
    ASSERT_TRUE(w.waitFor([&] { return w.typeRow("svg").first == 6; }));
    EXPECT_EQ(w.typeRow("svg").second, kAllSvg - 900);
    EXPECT_EQ(w.typeRow("txt").first, 0);

    ASSERT_TRUE(applyFilter("*.svg S>20K"));
    EXPECT_TRUE(w.waitFor([&] { return w.typeRow("svg").first == 1; }));
    EXPECT_EQ(w.typeRow("svg").second, 45100);
    EXPECT_EQ(w.fileTypes().rowCount(), 1);

    ASSERT_TRUE(applyFilter(""));
    EXPECT_TRUE(w.waitFor([&] { return w.typeRow("svg").first == 7 && w.typeRow("txt").first == 1; }));

    // Deleted on disk: the rows lose them as the tree's totals do.
    ASSERT_EQ(::unlink((dir / "art/icon5.svg").c_str()), 0);
    ASSERT_EQ(::unlink((dir / "notes/readme.txt").c_str()), 0);
    EXPECT_TRUE(w.waitFor([&] { return w.typeRow("svg").first == 6; }));
    EXPECT_EQ(w.typeRow("svg").second, kAllSvg - 45100);
    EXPECT_TRUE(w.waitFor([&] { return w.typeRow("txt").first == 0; }));
    int64_t tableTotal = 0;
    for (const ExtensionStats& s : w.fileTypes().displayed()) tableTotal += s.totalSize;
    EXPECT_EQ(tableTotal, w.root()->effectiveSize());

    // Deleted by a file action, with monitoring off: the action marks the nodes itself.
    w.prefs().set(PreferenceKeys::monitorFileSystemForChanges, false);
    FileNode* icon0 = w.node(dir / "art/icon0.svg");
    ASSERT_NE(icon0, nullptr);
    ASSERT_EQ(::unlink((dir / "art/icon0.svg").c_str()), 0);
    w.window().liveMonitor().markDeletedLocally(std::vector<FileNode*>{icon0});
    EXPECT_TRUE(w.waitFor([&] { return w.typeRow("svg").first == 5; }));
    EXPECT_EQ(w.typeRow("svg").second, kAllSvg - 45100 - 11000);
}

// Two roots on one disk (a folder and a folder inside it) share its space: the selections box
// shows the disk once.
TEST(WindowFigures, RootsOnOneVolumeCountItsCapacityOnce) {
    TempDir dir;
    writeFile(dir / "a/b/inner.bin", 100);
    writeFile(dir / "a/outer.bin", 100);
    const VolumeCapacity disk = volumeCapacity(dir.path().string());
    ASSERT_TRUE(disk.isKnown());
    ScannedWindow w({dir / "a", dir / "a/b"});
    ASSERT_EQ(w.window().scanControl().effectiveRoots().size(), 2u);

    const ScanViewModel& model = w.window().viewModel();
    ASSERT_TRUE(model.totalCapacity().has_value());
    EXPECT_EQ(*model.totalCapacity(), *disk.total);
    // Free space moves while other programs write; it can never be twice the disk's.
    EXPECT_LE(*model.availableCapacity(), *disk.total);
    const QStringList lines = w.window().contentView()->topBar()->selectionsBox()->lines();
    ASSERT_EQ(lines.size(), 4);
    const QString total = w.sizeText(*disk.total);
    EXPECT_TRUE(lines[1].contains(total)) << lines[1].toStdString();
    EXPECT_EQ(model.rootCapacities().size(), 2u) << "each root keeps its own entry for the treemap";
}

// Monitoring marks a node deleted only when its own path is gone: a rename in the window that
// changes only the case, or a case twin made and removed beside a file, leaves the file alone.
TEST(WindowFigures, CaseOnlyRenamesAndCaseTwinsLeaveFilesInPlace) {
    TempDir dir;
    writeFile(dir / "keep.txt", 4000);
    writeFile(dir / "back\\slash.", 6000);
    ScannedWindow w({dir.path()});
    FileNode* keep = w.node(dir / "keep.txt");
    ASSERT_NE(keep, nullptr);
    const int64_t total = w.root()->effectiveSize();

    w.renameInOutline(keep, QStringLiteral("Keep.txt"));
    ASSERT_TRUE(fs::exists(dir / "Keep.txt"));
    ASSERT_EQ(keep->name(), "Keep.txt");

    // A case twin of the other file comes and goes in a shell.
    FileNode* twin = w.node(dir / "back\\slash.");
    ASSERT_NE(twin, nullptr);
    writeFile(dir / "BACK\\SLASH.", 10);
    ASSERT_EQ(::unlink((dir / "BACK\\SLASH.").c_str()), 0);
    // Nothing is to happen: the events have passed the monitor and two flushes by then.
    QTest::qWait(2500);
    EXPECT_FALSE(keep->isDeleted());
    EXPECT_FALSE(twin->isDeleted());
    EXPECT_EQ(w.root()->effectiveSize(), total);
    EXPECT_EQ(w.rows().data(w.rows().indexForNode(keep)).toString(), "Keep.txt");
}

// `ZelvaneMac two two/B`: a file removed under B is in both trees, and both follow.
TEST(WindowFigures, EveryRootHoldingARemovedPathFollows) {
    TempDir dir;
    writeFile(dir / "two/a.bin", 100);
    for (const char* f : {"g1", "g2", "g3"}) writeFile(dir / "two/B" / f, 1000);
    ScannedWindow w({dir / "two", dir / "two/B"});
    ASSERT_EQ(w.window().scanControl().effectiveRoots().size(), 2u);
    FileNode* outer = w.root(0);
    FileNode* inner = w.root(1);
    ASSERT_EQ(inner->subFolderFileCount(), 3);

    ASSERT_EQ(::unlink((dir / "two/B/g2").c_str()), 0);
    EXPECT_TRUE(w.waitFor([&] { return inner->subFolderFileCount() == 2 && outer->subFolderFileCount() == 3; }));
    EXPECT_EQ(inner->effectiveSize(), 2000);
    EXPECT_EQ(outer->effectiveSize(), 2100);
    // Both root rows show the new figures.
    const QModelIndex innerRow = w.rows().indexForNode(inner);
    EXPECT_EQ(w.rows().data(innerRow.siblingAtColumn(FileTreeOutlineModel::filesColumn)).toString(), "2");
}

// docs/ holds six loose files f0.dat (1000 bytes) .. f5.dat (6000 bytes), enough for a group row,
// beside the folder sub/.
void writeGroupedDocs(const TempDir& dir) {
    for (int i = 0; i < 6; ++i) writeFile(dir / ("docs/f" + std::to_string(i) + ".dat"), 1000 * (i + 1));
    writeFile(dir / "docs/sub/inner.bin", 500);
}

// A group row made after a file of it went counts only the files still there, and its label
// follows each later deletion; the status bar adds up only rows that are not drawn deleted.
TEST(WindowFigures, GroupRowsAndTheSelectionSummaryLeaveDeletedFilesOut) {
    TempDir dir;
    writeGroupedDocs(dir);
    ScannedWindow w({dir.path()});
    FileNode* docs = w.node(dir / "docs");
    ASSERT_NE(docs, nullptr);
    w.outline().outline().collapseAll();

    // Gone before the folder was ever opened in the tree.
    ASSERT_EQ(::unlink((dir / "docs/f5.dat").c_str()), 0);
    FileNode* f5 = w.node(dir / "docs/f5.dat");
    ASSERT_TRUE(w.waitFor([&] { return f5->isDeleted(); }));

    FileTreeOutlineModel& rows = w.rows();
    FileNode* group = rows.syntheticGroupOf(docs);
    ASSERT_NE(group, nullptr);
    const QPersistentModelIndex groupRow = rows.indexForNode(group);
    w.outline().outline().expand(groupRow.parent());
    EXPECT_EQ(rows.data(groupRow).toString().toStdString(), "[5 Files in " + docs->fullPath() + "]");
    EXPECT_EQ(group->effectiveSize(), 15000);
    EXPECT_EQ(rows.data(QModelIndex(groupRow).siblingAtColumn(FileTreeOutlineModel::percentColumn)).toString(),
              QString::number(double(group->effectiveAllocSize()) / double(docs->effectiveAllocSize()) * 100, 'f', 1) + '%');
    EXPECT_LE(group->effectiveAllocSize(), docs->effectiveAllocSize());

    ASSERT_EQ(::unlink((dir / "docs/f0.dat").c_str()), 0);
    FileNode* f0 = w.node(dir / "docs/f0.dat");
    ASSERT_TRUE(w.waitFor([&] { return rows.data(groupRow).toString().startsWith("[4 Files in "); }));
    EXPECT_EQ(group->effectiveSize(), 14000);

    // Selecting a deleted row with a live one: only the live one is counted.
    FileNode* f1 = w.node(dir / "docs/f1.dat");
    w.window().treeSelection().set({f0, f1});
    ASSERT_TRUE(w.waitFor([&] { return w.summary().startsWith("Selected Files: 1 "); })) << w.summary().toStdString();
    EXPECT_TRUE(w.summary().contains(QStringLiteral("Total Size: ") + w.sizeText(2000))) << w.summary().toStdString();
    ASSERT_TRUE(f0->isDeleted());
}

// A selection past what the status bar adds up at once (every file of a type, Select All in a long
// list) is added up in the background: the line keeps its text meanwhile and then shows the same
// totals as one added up at once, deleted files left out; a later selection's text is never
// overwritten by an earlier one that finished after it.
TEST(WindowFigures, LargeSelectionsAreSummedInTheBackgroundToTheSameTotals) {
    TempDir dir;
    writeGroupedDocs(dir);
    for (int i = 0; i < 5; ++i) writeFile(dir / ("more/m" + std::to_string(i) + ".dat"), 700 + i);
    ScannedWindow w({dir.path()});
    StatusBar& status = *w.window().contentView()->statusBar();
    status.setSummaryCountedHere(3);
    ASSERT_EQ(::unlink((dir / "docs/f5.dat").c_str()), 0);
    FileNode* f5 = w.node(dir / "docs/f5.dat");
    ASSERT_TRUE(w.waitFor([&] { return f5->isDeleted(); }));
    const int64_t datBytes = 1000 + 2000 + 3000 + 4000 + 5000 + 700 + 701 + 702 + 703 + 704;
    int64_t datAlloc = 0;
    for (int i = 0; i < 5; ++i) {
        datAlloc += w.node(dir / ("docs/f" + std::to_string(i) + ".dat"))->allocSize;
        datAlloc += w.node(dir / ("more/m" + std::to_string(i) + ".dat"))->allocSize;
    }
    const QString datText = "Selected Files: 10  Total Size: " + w.sizeText(datBytes) + "  Allocated: " + w.sizeText(datAlloc);

    // The file-type table's Select of .dat: eleven nodes, one of them deleted.
    const QString before = w.summary();
    w.window().scanControl().selectAllFiles(QStringLiteral("dat"));
    ASSERT_TRUE(w.waitFor([&] { return w.window().treeSelection().nodes().size() == 11; }));
    ASSERT_TRUE(w.waitFor([&] { return !status.summaryPending(); }));
    EXPECT_EQ(status.summaryLabel()->toolTip(), datText);
    EXPECT_NE(before, datText);

    // A small selection made while a large one is still being added up wins.
    FileNode* inner = w.node(dir / "docs/sub/inner.bin");
    NodeSet all = w.window().treeSelection().nodes();
    w.window().treeSelection().set({});
    w.window().treeSelection().set(all);
    EXPECT_TRUE(status.summaryPending());
    EXPECT_EQ(status.summaryLabel()->toolTip(), w.window().viewModel().rootLabel()) << "the text before stays meanwhile";
    w.window().treeSelection().set({inner});
    QTest::qWait(200);
    EXPECT_FALSE(status.summaryPending());
    EXPECT_EQ(status.summaryLabel()->toolTip(), "Selected Files: 1  Total Size: " + w.sizeText(500) + "  Allocated: " +
                                                    w.sizeText(inner->allocSize));

    // Select All in the File View: every listed file once; the deleted one, drawn deleted, adds nothing.
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    ASSERT_TRUE(w.waitFor([&] { return w.window().fileResults().fileResultCount() == 11; }));
    list.outline().setFocus();
    QTest::keyClick(&list.outline(), Qt::Key_A, Qt::ControlModifier);
    ASSERT_EQ(w.window().fileSelection().nodes().size(), 12);
    EXPECT_TRUE(status.summaryPending());
    ASSERT_TRUE(w.waitFor([&] { return !status.summaryPending(); }));
    const int64_t allBytes = datBytes + 500;
    const int64_t allAlloc = datAlloc + inner->allocSize;
    EXPECT_EQ(status.summaryLabel()->toolTip(),
              "Selected Files: 11  Total Size: " + w.sizeText(allBytes) + "  Allocated: " + w.sizeText(allAlloc));
}

// 260 files in three folders: six slices of 50 rows, more than the window shows. Returns their bytes.
constexpr int kSlicedFiles = 260;
int64_t writeSlicedFiles(const TempDir& dir) {
    int64_t bytes = 0;
    for (int i = 0; i < kSlicedFiles; ++i) {
        writeFile(dir / ("d" + std::to_string(i % 3)) / ("f" + std::to_string(100 + i) + ".dat"), 1000 + 10 * i);
        bytes += 1000 + 10 * i;
    }
    return bytes;
}

// The File View listing every file, given to the view 50 rows at a time.
FileListView& showEveryFileInSlices(ScannedWindow& w) {
    w.prefs().set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all));
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    list.model().setSliceRows(50);
    w.window().controller().setSelectedTab(ContentTab::fileView);
    return list;
}

// A long file list reaches the view a slice at a time. Select All and Shift+End still take every
// row of the list, those the view has not been given yet too, and so do the status line, the File
// menu and the context menu; rows given later come selected; a Shift+click or Shift+Up after
// Shift+End means the rows the user sees selected, and a Ctrl+click leaves the rest selected.
TEST(WindowFigures, FileViewSelectionsReachRowsNotGivenToTheViewYet) {
    TempDir dir;
    constexpr int kFiles = kSlicedFiles;
    const int64_t allBytes = writeSlicedFiles(dir);
    ScannedWindow w({dir.path()});
    FileListView& list = showEveryFileInSlices(w);
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == size_t(kFiles); }));
    std::vector<FileNode*> rows = list.pipeline().displayed();
    ASSERT_LT(list.model().rowCount(), kFiles);
    auto& outline = list.outline();
    const NodeSet& selected = w.window().fileSelection().nodes();
    const auto nodesOf = [&](size_t from, size_t to) { return NodeSet(rows.begin() + long(from), rows.begin() + long(to) + 1); };
    // Where a row near the top is, scrolled into view.
    const auto rowAt = [&](int r) {
        outline.scrollToTop();
        QCoreApplication::processEvents();
        return outline.visualRect(list.model().index(r, 0)).center();
    };

    // Ctrl+A: all 260, in the list's order, in the status line and for the File menu's Copy Path.
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list.selectedNodes(), rows);
    EXPECT_EQ(selected, nodesOf(0, kFiles - 1));
    ASSERT_TRUE(w.waitFor([&] { return !w.window().contentView()->statusBar()->summaryPending(); }));
    EXPECT_EQ(w.window().contentView()->statusBar()->summaryLabel()->toolTip(),
              "Selected Files: 260  Total Size: " + w.sizeText(allBytes) + "  Allocated: " +
                  w.sizeText(selectionTotals(selected, SelectionCountMode::nodes).alloc));
    QApplication::clipboard()->clear();
    w.window().menus().action(ZelvaneMenuAction::copyPath)->trigger();
    ASSERT_TRUE(w.waitFor([&] { return !QApplication::clipboard()->text().isEmpty(); }));
    EXPECT_EQ(QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), kFiles);
    // A program pasting them is handed the bytes the clipboard holds, not the text converted anew.
    const QMimeData* pasted = QApplication::clipboard()->mimeData();
    const QByteArray once = pasted->data(QStringLiteral("text/plain"));
    EXPECT_EQ(once.constData(), pasted->data(QStringLiteral("text/plain")).constData());
    EXPECT_EQ(once, QApplication::clipboard()->text().toUtf8());
    // The context menu acts on them all as well.
    testing::ScriptedUser user;
    QApplication::clipboard()->clear();
    user.choose({"Copy Path"});
    testing::rightClick(outline.viewport(), rowAt(3));
    ASSERT_TRUE(w.waitFor([&] { return !QApplication::clipboard()->text().isEmpty(); }));
    EXPECT_EQ(QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), kFiles);
    // Scrolled to the end, the view is given the other rows, selected, and the selection stays.
    for (int i = 0; i < 10 && list.model().canFetchMore({}); ++i) {
        outline.scrollToBottom();
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(list.model().rowCount(), kFiles);
    EXPECT_TRUE(outline.selectionModel()->isRowSelected(kFiles - 1, {}));
    EXPECT_EQ(list.selectedNodes(), rows);
    EXPECT_EQ(selected.size(), kFiles);

    // Shift+End from the third row, with the first slices given: the third row to the last of the list.
    outline.scrollToTop();
    bool republished = false;
    QObject::connect(&list.model(), &QAbstractItemModel::modelReset, &outline, [&] { republished = true; });
    list.pipeline().setSort(FileListSortKey::name, true);
    ASSERT_TRUE(w.waitFor([&] { return republished; }));
    rows = list.pipeline().displayed();
    ASSERT_EQ(rows.size(), size_t(kFiles));
    ASSERT_LT(list.model().rowCount(), kFiles);
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, rowAt(2));
    EXPECT_EQ(selected, nodesOf(2, 2));
    QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(selected, nodesOf(2, kFiles - 1));
    // Shift+Up: up to the row above the one the cursor went to, the rows below it no longer.
    const int end = outline.currentIndex().row();
    ASSERT_GE(end, 49);
    ASSERT_LT(end, kFiles - 1);
    QTest::keyClick(&outline, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(selected, nodesOf(2, size_t(end) - 1));
    // Shift+click after Shift+End: from the first row clicked to the row Shift-clicked.
    QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(selected, nodesOf(2, kFiles - 1));
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, Qt::ShiftModifier, rowAt(5));
    EXPECT_EQ(selected, nodesOf(2, 5));
    // Ctrl+click on one row after Shift+End takes that row out and keeps the rest.
    QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier);
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, Qt::ControlModifier, rowAt(4));
    NodeSet withoutFourth = nodesOf(2, kFiles - 1);
    withoutFourth.remove(rows[4]);
    EXPECT_EQ(selected, withoutFourth);
    // A plain click replaces it all.
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, rowAt(1));
    EXPECT_EQ(selected, nodesOf(1, 1));

    // A selection of more rows than are put in a set at once comes from the background: the one
    // before stays meanwhile, and a selection made before it comes takes its place for good.
    w.window().contentView()->fileViewTab()->setSelectionSetHere(100);
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selected, nodesOf(1, 1));
    ASSERT_TRUE(w.waitFor([&] { return selected.size() == kFiles; }));
    EXPECT_EQ(selected, nodesOf(0, kFiles - 1));
    EXPECT_TRUE(outline.grab().save(grabPath("file-view-select-all-of-a-long-list.png")));
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, rowAt(2));
    QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier);
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, rowAt(3));
    EXPECT_EQ(selected, nodesOf(3, 3));
    QTest::qWait(300);
    EXPECT_EQ(selected, nodesOf(3, 3));
}

// The File menu's actions on every row of a long file list, more rows than are listed at once and
// more than the view has been given: the items are listed, ordered and resolved away from the
// window, and come out as they do for a few rows. Copy Path and Copy give every file in path
// order, Select Parent goes to the first file's folder, and Delete Immediately of every folder
// with everything in it asks about the folders alone (their contents go with them, unasked and
// without failing) and leaves nothing on disk.
TEST(WindowFigures, FileMenuActionsOnEveryRowOfALongListKeepTheirOrderAndResults) {
    TempDir dir;
    constexpr int kFiles = int(FileActionController::kItemsCopiedInPlace) + 300;
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i) {
        const fs::path file = dir / ("d" + std::to_string(i % 3)) / ("f" + std::to_string(100 + i) + ".dat");
        writeFile(file, 10 + i);
        paths.push_back(file.native());
    }
    std::sort(paths.begin(), paths.end());
    ScannedWindow w({dir.path()});
    FileListView& list = showEveryFileInSlices(w);
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == size_t(kFiles); }));
    ASSERT_LT(list.model().rowCount(), kFiles);
    auto& outline = list.outline();
    const NodeSet& selected = w.window().fileSelection().nodes();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] { return selected.size() == kFiles; }));
    MenuBar& menus = w.window().menus();

    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    menus.action(ZelvaneMenuAction::copyPath)->trigger();
    ASSERT_TRUE(w.waitFor([&] { return !clipboard->text().isEmpty(); }));
    QStringList expected;
    for (const std::string& p : paths) expected << QString::fromStdString(p);
    EXPECT_EQ(clipboard->text().split(QLatin1Char('\n')), expected);

    clipboard->clear();
    menus.action(ZelvaneMenuAction::copy)->trigger();
    ASSERT_TRUE(w.waitFor([&] { return clipboard->mimeData() && clipboard->mimeData()->hasUrls(); }));
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    EXPECT_EQ(clipboard->mimeData()->urls(), urls);

    menus.action(ZelvaneMenuAction::selectParent)->trigger();
    ASSERT_TRUE(w.waitFor([&] { return !w.window().treeSelection().nodes().isEmpty(); }));
    EXPECT_EQ((*w.window().treeSelection().nodes().begin())->pathBytes(), (dir / "d0").native());
    EXPECT_EQ(w.window().controller().selectedTab(), ContentTab::treeView);

    // Every folder and file: the three folders are what goes.
    w.prefs().set(PreferenceKeys::fileIncludeFolders, true);
    w.window().controller().setSelectedTab(ContentTab::fileView);
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == size_t(kFiles) + 3; }));
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] { return selected.size() == kFiles + 3; }));
    testing::ScriptedUser user;
    user.answer({QStringLiteral("Delete Immediately")});
    menus.action(ZelvaneMenuAction::deleteImmediately)->trigger();
    ASSERT_TRUE(w.waitFor([&] { return !fs::exists(dir / "d0") && !fs::exists(dir / "d1") && !fs::exists(dir / "d2"); }));
    ASSERT_TRUE(w.waitFor([&] { return !QApplication::overrideCursor(); }));
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Permanently erase 3 items?"));
    EXPECT_TRUE(fs::exists(dir.path()));
}

// Delete Immediately or Move to Trash of every File View row of a scanned folder: the rows stay
// listed in the deleted look, none is left highlighted, and the status line and the File menu's
// actions agree that nothing is selected.
TEST(WindowFigures, ErasingEveryFileViewRowLeavesNoRowSelected) {
    for (const char* answer : {"Delete Immediately", "Move to Trash"}) {
        SCOPED_TRACE(answer);
        TempDir dir;
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        constexpr int kFiles = 24;
        for (int i = 0; i < kFiles; ++i) writeFile(dir / "tree" / ("d" + std::to_string(i % 3)) / ("f" + std::to_string(i) + ".dat"), 100 + i);
        ScannedWindow w({dir / "tree"});
        w.prefs().set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all));
        FileListView& list = w.window().contentView()->fileViewTab()->fileList();
        w.window().controller().setSelectedTab(ContentTab::fileView);
        ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == size_t(kFiles); }));
        const std::vector<FileNode*> rows = list.pipeline().displayed();
        auto& outline = list.outline();
        outline.setFocus();
        QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
        ASSERT_EQ(w.window().fileSelection().nodes().size(), kFiles);

        // Files another program removes leave the selection as their rows are drawn gone; the
        // others stay selected.
        fs::remove_all(dir / "tree/d0");
        std::vector<FileNode*> gone, left;
        for (FileNode* n : rows) (n->parent()->name() == "d0" ? gone : left).push_back(n);
        ASSERT_TRUE(w.waitFor([&] { return std::all_of(gone.begin(), gone.end(), [](const FileNode* n) { return n->isDeleted(); }); }));
        ASSERT_TRUE(w.waitFor([&] { return w.window().fileSelection().nodes().size() == qsizetype(left.size()); }));
        EXPECT_EQ(w.window().fileSelection().nodes(), NodeSet(left.begin(), left.end()));
        EXPECT_EQ(outline.selectionModel()->selectedRows().size(), qsizetype(left.size()));
        for (FileNode* n : left) EXPECT_FALSE(n->isDeleted());

        testing::ScriptedUser user;
        user.answer({QString::fromUtf8(answer)});
        w.window().menus().action(std::string_view(answer) == "Move to Trash" ? ZelvaneMenuAction::moveToTrash
                                                                              : ZelvaneMenuAction::deleteImmediately)
            ->trigger();
        ASSERT_TRUE(w.waitFor([&] { return std::all_of(rows.begin(), rows.end(), [](const FileNode* n) { return n->isDeleted(); }); }));
        ASSERT_TRUE(w.waitFor([&] { return !QApplication::overrideCursor(); }));
        ASSERT_EQ(user.alerts.size(), 1u);
        EXPECT_EQ(user.alerts[0].text, std::string_view(answer) == "Move to Trash" ? QStringLiteral("Move 16 items to the Trash?")
                                                                                 : QStringLiteral("Permanently erase 16 items?"));
        for (int i = 1; i < 3; ++i) EXPECT_TRUE(fs::is_empty(dir / "tree" / ("d" + std::to_string(i))));
        // The list looks for the selected rows whose items went on the thread pool, and the
        // status line adds up what is left in turn.
        EXPECT_TRUE(w.waitFor([&] {
            return outline.selectionModel()->selectedRows().isEmpty() && w.window().fileSelection().nodes().isEmpty() &&
                   !w.window().contentView()->statusBar()->summaryPending();
        }));

        // Still listed, drawn gone; nothing highlighted, nothing selected, nothing counted.
        EXPECT_EQ(list.model().rowCount(), kFiles);
        EXPECT_TRUE(outline.selectionModel()->selectedRows().isEmpty()) << outline.selectionModel()->selectedRows().size();
        EXPECT_EQ(list.selection().size(), 0u);
        EXPECT_TRUE(w.window().fileSelection().nodes().isEmpty());
        EXPECT_FALSE(w.summary().contains(QString::number(kFiles))) << w.summary().toStdString();
        // A second Delete finds nothing to erase and asks nothing.
        user.clear();
        w.window().menus().action(ZelvaneMenuAction::deleteImmediately)->trigger();
        QTest::qWait(50);
        EXPECT_TRUE(user.alerts.empty());
    }
}

// The rows of the Tree View whose items go (removed on disk, erased or trashed from the window)
// leave its selection as the File View's do: none stays highlighted while the status line says
// nothing is selected, and the CSV export's "Selected only" then does not start on.
TEST(WindowFigures, ErasingEveryTreeViewRowLeavesNoRowSelected) {
    for (const char* answer : {"Delete Immediately", "Move to Trash"}) {
        SCOPED_TRACE(answer);
        TempDir dir;
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        for (int i = 0; i < 9; ++i) writeFile(dir / "tree" / ("d" + std::to_string(i % 3)) / ("f" + std::to_string(i) + ".dat"), 100 + i);
        ScannedWindow w({dir / "tree"});
        ContextMenuOutlineView& outline = w.outline().outline();
        FileTreeOutlineModel& rows = w.rows();
        w.key(Qt::Key_F4, Qt::ShiftModifier);  // Expand All
        ASSERT_TRUE(w.waitFor([&] { return outline.isExpanded(rows.indexForNode(w.node(dir / "tree/d2"))); }));
        // Every row below the root: the first clicked, the last with Shift.
        std::vector<FileNode*> shown;
        for (QModelIndex i = outline.indexBelow(rows.index(0, 0)); i.isValid(); i = outline.indexBelow(i)) shown.push_back(rows.nodeAt(i));
        ASSERT_EQ(shown.size(), 12u);
        const auto click = [&](FileNode* n, Qt::KeyboardModifiers mods) {
            QTest::mouseClick(outline.viewport(), Qt::LeftButton, mods, outline.visualRect(rows.indexForNode(n)).center());
        };
        click(shown.front(), {});
        click(shown.back(), Qt::ShiftModifier);
        ASSERT_EQ(w.window().treeSelection().nodes(), NodeSet(shown.begin(), shown.end()));

        // What another program removes leaves the selection as its rows are drawn gone; the rest
        // stays selected.
        fs::remove_all(dir / "tree/d0");
        std::vector<FileNode*> gone, left;
        for (FileNode* n : shown) (n->fullPath().find("/d0") != std::string::npos ? gone : left).push_back(n);
        ASSERT_EQ(gone.size(), 4u);
        ASSERT_TRUE(w.waitFor([&] { return std::all_of(gone.begin(), gone.end(), [](const FileNode* n) { return n->isDeleted(); }); }));
        EXPECT_TRUE(w.waitFor([&] { return w.window().treeSelection().nodes() == NodeSet(left.begin(), left.end()); }));
        EXPECT_EQ(w.outline().selectedNodes(), left);

        testing::ScriptedUser user;
        user.answer({QString::fromUtf8(answer)});
        w.window().menus().action(std::string_view(answer) == "Move to Trash" ? ZelvaneMenuAction::moveToTrash
                                                                              : ZelvaneMenuAction::deleteImmediately)
            ->trigger();
        ASSERT_TRUE(w.waitFor([&] { return std::all_of(shown.begin(), shown.end(), [](const FileNode* n) { return n->isDeleted(); }); }));
        ASSERT_TRUE(w.waitFor([&] { return !QApplication::overrideCursor(); }));
        EXPECT_EQ(user.alerts.size(), 1u);
        EXPECT_TRUE(fs::is_empty(dir / "tree"));

        // Still shown, drawn gone; nothing highlighted, nothing selected, nothing counted.
        EXPECT_TRUE(w.waitFor([&] { return outline.selectionModel()->selection().isEmpty(); }))
            << outline.selectionModel()->selectedRows().size();
        EXPECT_TRUE(w.window().treeSelection().nodes().isEmpty());
        ASSERT_TRUE(w.waitFor([&] { return !w.window().contentView()->statusBar()->summaryPending(); }));
        EXPECT_FALSE(w.summary().contains(QStringLiteral("Selected"))) << w.summary().toStdString();
        w.window().grab().save(grabPath("tree-view-gone-rows.png"));

        // The export of the selection has nothing to write: it is not offered.
        std::optional<std::pair<bool, bool>> selectedOnly;  // (checked, enabled)
        QTimer look;
        look.setInterval(20);
        QObject::connect(&look, &QTimer::timeout, [&] {
            auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!panel) return;
            look.stop();
            if (auto* options = panel->findChild<ExportOptionsView*>())
                selectedOnly = {options->selectedOnlyToggle()->isChecked(), options->selectedOnlyToggle()->isEnabled()};
            panel->reject();
        });
        look.start();
        w.key(Qt::Key_E, Qt::ControlModifier | Qt::AltModifier);
        ASSERT_TRUE(selectedOnly.has_value());
        EXPECT_FALSE(selectedOnly->first);
        EXPECT_FALSE(selectedOnly->second);
    }
}

// Delete Immediately of every row of an import, more rows than are marked at once, whose items are
// gone from the disk: nothing is asked, and every row, the folders' totals and the status line
// show them gone once the marks are made, a few turns of the event loop later.
TEST(WindowFigures, DeletingEveryRowOfAnImportShowsEveryOneGone) {
    TempDir dir;
    fixtures::writeWideExport(dir / "wide.csv", 3, 500);
    ShownWindow w;
    ASSERT_TRUE(w.import(dir / "wide.csv"));
    FileNode* top = w.window().scanControl().effectiveRoots().at(0).get();
    ASSERT_EQ(top->subFolderFileCount(), 1500);
    w.prefs().set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all));
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    list.model().setSliceRows(100);
    w.window().controller().setSelectedTab(ContentTab::fileView);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return list.pipeline().displayed().size() == 1500u; }, 20000));
    const std::vector<FileNode*> rows = list.pipeline().displayed();
    auto& outline = list.outline();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileSelection().nodes().size() == 1500; }, 20000));
    testing::ScriptedUser user;
    w.window().menus().action(ZelvaneMenuAction::deleteImmediately)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil(
        [&] { return std::all_of(rows.begin(), rows.end(), [](const FileNode* n) { return n->isDeleted(); }); }, 20000));
    ASSERT_TRUE(pumpWidgetsUntil([] { return !QApplication::overrideCursor(); }, 20000));
    EXPECT_TRUE(user.alerts.empty());
    EXPECT_EQ(top->subFolderFileCount(), 0);
    EXPECT_EQ(top->subFolderTotSize(), 0);
    for (FileNode* folder : top->children()) EXPECT_EQ(folder->subFolderTotSizeAlloc(), 0);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.window().contentView()->statusBar()->summaryPending(); }, 20000));
    const QString summary = w.window().contentView()->statusBar()->summaryLabel()->text();
    EXPECT_FALSE(summary.contains(QStringLiteral("1,500"))) << summary.toStdString();
    // No row stays selected, those the view is given later included.
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileSelection().nodes().isEmpty(); }, 20000));
    EXPECT_FALSE(list.outline().rowSelection().runToListEnd());
    list.outline().scrollToBottom();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return list.model().rowCount() > 100; }, 20000));
    EXPECT_TRUE(list.outline().selectionModel()->selectedRows().isEmpty());
    EXPECT_EQ(list.selection().size(), 0u);
}

// Copy Path and Select Parent of every row of an import of 140,000 files, more than are put in
// order or written out a stretch at a time, imported in an order far from their paths' (folders
// interleaved, names backwards) and in folders whose names sort around "/": the clipboard holds
// every path once in byte order, accented names as they read, and Select Parent goes to the
// folder of the first.
TEST(WindowFigures, CopyPathAndSelectParentOfAHundredThousandImportedRowsKeepPathOrder) {
    TempDir dir;
    const std::vector<std::string> folders = {"x", "x y", "x.y", "x-y", "\xC3\xA9t\xC3\xA9"};
    constexpr int kPerFolder = 28'000;
    std::vector<std::string> expected;
    {
        std::ofstream csv(dir / "mixed.csv");
        csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";
        csv << "\"/mixed/\",0,0,2024/03/05 07:08:09,0," << folders.size() * kPerFolder << ',' << folders.size() << '\n';
        for (const std::string& f : folders) csv << "\"/mixed/" << f << "/\",0,0,2024/03/05 07:08:09,0," << kPerFolder << ",0\n";
        for (int n = kPerFolder - 1; n >= 0; --n) {
            for (const std::string& f : folders) {
                const std::string path = "/mixed/" + f + "/n" + std::to_string(n) + ".txt";
                csv << '"' << path << "\",100,4096,2024/03/05 07:08:09,0,0,0\n";
                expected.push_back(path);
            }
        }
    }
    std::sort(expected.begin(), expected.end());
    ShownWindow w;
    ASSERT_TRUE(w.import(dir / "mixed.csv"));
    w.prefs().set(PreferenceKeys::fileMaxFilesOption, maxFilesRawValue(MaxFilesOption::all));
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    w.window().controller().setSelectedTab(ContentTab::fileView);
    // Once the duplicates are found too (their rows come anew).
    const FileListPipeline& pipeline = list.pipeline();
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return pipeline.displayed().size() == expected.size() && !pipeline.isLocatingDuplicates() && !pipeline.debouncePending() &&
               !QApplication::overrideCursor();
    }, 60000));
    auto& outline = list.outline();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileSelection().nodes().size() == qsizetype(expected.size()); }, 60000));

    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    w.window().menus().action(ZelvaneMenuAction::copyPath)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return clipboard->mimeData() && clipboard->mimeData()->hasText(); }, 60000));
    const QByteArray text = clipboard->mimeData()->data(QStringLiteral("text/plain"));
    std::string joined;
    for (const std::string& path : expected) joined += (joined.empty() ? "" : "\n") + path;
    EXPECT_EQ(text.size(), qsizetype(joined.size()));
    EXPECT_TRUE(text.toStdString() == joined);

    w.window().menus().action(ZelvaneMenuAction::selectParent)->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.window().treeSelection().nodes().isEmpty(); }, 60000));
    EXPECT_EQ((*w.window().treeSelection().nodes().begin())->pathBytes(), "/mixed/x y");
}

// The context menu of every row of a long list counts the rows for its Move item without listing
// them, and its actions take every row in the list's order; Quick Look previews the first rows
// only (it shows one at a time), and a drag of more rows than a drag carries is refused with a
// word of why.
TEST(WindowFigures, TheContextMenuQuickLookAndDragOfEveryRowOfALongListStayBounded) {
    TempDir dir;
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    constexpr int kFiles = int(FileListView::kItemsDragged) + 20;
    for (int i = 0; i < kFiles; ++i) writeFile(dir / "tree" / ("d" + std::to_string(i % 7)) / ("f" + std::to_string(i) + ".dat"), 1 + i % 50);
    ScannedWindow w({dir / "tree"});
    FileListView& list = showEveryFileInSlices(w);
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == size_t(kFiles); }));
    const std::vector<FileNode*> rows = list.pipeline().displayed();
    auto& outline = list.outline();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] { return w.window().fileSelection().nodes().size() == kFiles; }));
    outline.scrollToTop();
    QCoreApplication::processEvents();
    const QPoint firstRow = outline.visualRect(list.model().index(0, 0)).center();

    // The Move item counts every row, and the question counts every item.
    testing::ScriptedUser user;
    user.choose({QStringLiteral("Move %1 Items to Trash").arg(kFiles)});
    user.answer({Qt::Key_Escape});
    testing::rightClick(outline.viewport(), firstRow);
    ASSERT_TRUE(w.waitFor([&] { return !user.alerts.empty(); }));
    EXPECT_EQ(user.alerts[0].text, QStringLiteral("Move %1 items to the Trash?").arg(kFiles));
    for (int i = 0; i < 7; ++i) EXPECT_TRUE(fs::exists(dir / "tree" / ("d" + std::to_string(i))));

    // Copy Path gives the rows as the list shows them.
    user.clear();
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    user.choose({QStringLiteral("Copy Path")});
    testing::rightClick(outline.viewport(), firstRow);
    ASSERT_TRUE(w.waitFor([&] { return !clipboard->text().isEmpty(); }));
    QStringList shown;
    for (FileNode* n : rows) shown << QString::fromStdString(n->fullPath());
    EXPECT_EQ(clipboard->text().split(QLatin1Char('\n')), shown);

    // Space previews the first rows.
    QTest::keyClick(&outline, Qt::Key_Space);
    auto* preview = w.window().findChild<PreviewWindow*>();
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->itemCount(), int(FileListView::kItemsPreviewed));
    preview->close();

    // A drag of them all is refused, and says why.
    outline.setFocus();
    QTest::mousePress(outline.viewport(), Qt::LeftButton, {}, firstRow);
    // The view takes the first move for the start of a drag and starts it on the next.
    for (int step = 1; step <= 2; ++step) {
        const QPoint at = firstRow + QPoint(30 * step, 0);
        QMouseEvent move(QEvent::MouseMove, at, outline.viewport()->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(outline.viewport(), &move);
    }
    EXPECT_TRUE(w.waitFor([] { return QToolTip::isVisible(); }));
    EXPECT_TRUE(QToolTip::text().contains(QStringLiteral("Copy and paste them instead")));
    QTest::mouseRelease(outline.viewport(), Qt::LeftButton, {}, firstRow + QPoint(60, 0));
}

// The Tree View's context menu on every row of a large opened outline counts the window's
// selection for its Move item without listing the rows, and its actions take every selected item.
TEST(WindowFigures, TheTreeViewContextMenuOnEveryRowOfALargeOutlineCountsAndActsOnThemAll) {
    TempDir dir;
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    constexpr int kFiles = int(FileActionController::kItemsCopiedInPlace) + 200;
    for (int i = 0; i < kFiles; ++i) writeFile(dir / "tree" / ("d" + std::to_string(i % 4)) / ("f" + std::to_string(i) + ".dat"), 1 + i % 50);
    ScannedWindow w({dir / "tree"});
    w.window().menus().handleMenuAction(ZelvaneMenuAction::expandAll);
    ContextMenuOutlineView& outline = w.outline().outline();
    ASSERT_TRUE(w.waitFor([&] { return w.outline().model().rowCount(w.outline().model().index(0, 0)) == 4; }));
    QCoreApplication::processEvents();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    const NodeSet& selected = w.window().treeSelection().nodes();
    ASSERT_TRUE(w.waitFor([&] { return size_t(selected.size()) > FileActionController::kItemsCopiedInPlace; }));
    const qsizetype rows = selected.size();
    std::vector<std::string> expected;
    for (FileNode* n : selected)
        if (!n->isSyntheticGroup()) expected.push_back(n->fullPath());
    std::sort(expected.begin(), expected.end());
    outline.scrollToTop();
    QCoreApplication::processEvents();
    const QPoint firstRow = outline.visualRect(w.outline().model().index(0, 0)).center();

    testing::ScriptedUser user;
    user.choose({QStringLiteral("Move %1 Items to Trash").arg(rows)});
    user.answer({Qt::Key_Escape});
    testing::rightClick(outline.viewport(), firstRow);
    ASSERT_TRUE(w.waitFor([&] { return !user.alerts.empty(); }));
    ASSERT_TRUE(w.waitFor([] { return !QApplication::overrideCursor(); }));
    EXPECT_TRUE(fs::exists(dir / "tree" / "d0"));

    user.clear();
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    user.choose({QStringLiteral("Copy Path")});
    testing::rightClick(outline.viewport(), firstRow);
    ASSERT_TRUE(w.waitFor([&] { return !clipboard->text().isEmpty(); }));
    std::vector<std::string> copied;
    for (const QString& line : clipboard->text().split(QLatin1Char('\n'))) copied.push_back(line.toStdString());
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, expected);
}

// Copy Path from the Tree View's context menu gives the paths in the order the rows are shown,
// however many rows are selected: more than are listed in place give them as a few rows do (each
// group row standing for its files), under the size order and after a header click, with rows
// let go of here and there. Its Quick Look previews the first of them.
TEST(WindowFigures, TreeViewContextMenuCopyPathOfManyRowsKeepsTheShownOrder) {
    TempDir dir;
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    // Folders of different sizes: largest first is not the order of their names.
    const int files[] = {150, 450, 250, 350};
    for (int d = 0; d < 4; ++d)
        for (int i = 0; i < files[d]; ++i)
            writeFile(dir / "tree" / ("d" + std::to_string(d)) / ("f" + std::to_string(i) + ".dat"), 1 + i % 50);
    // Too few files for a group row: their own rows.
    writeFile(dir / "tree/d1/few/x.dat", 70000);
    writeFile(dir / "tree/d1/few/y.dat", 90000);
    ScannedWindow w({dir / "tree"});
    w.window().menus().handleMenuAction(ZelvaneMenuAction::expandAll);
    ContextMenuOutlineView& outline = w.outline().outline();
    ASSERT_TRUE(w.waitFor([&] { return w.rows().rowCount(w.rows().index(0, 0)) == 4; }));
    QCoreApplication::processEvents();
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(w.waitFor([&] {
        return size_t(w.window().treeSelection().nodes().size()) > FileActionController::kItemsCopiedInPlace;
    }));

    QClipboard* clipboard = QApplication::clipboard();
    const auto copyPathFromMenu = [&] {
        clipboard->clear();
        testing::ScriptedUser user;
        user.choose({QStringLiteral("Copy Path")});
        outline.scrollToTop();
        QCoreApplication::processEvents();
        testing::rightClick(outline.viewport(), outline.visualRect(w.rows().index(0, 0)).center());
        EXPECT_TRUE(w.waitFor([&] { return !clipboard->text().isEmpty(); }));
        return clipboard->text().split(QLatin1Char('\n'));
    };
    // Equal lists, or where they part.
    const auto firstDifference = [](const QStringList& got, const QStringList& wanted) {
        for (qsizetype i = 0; i < std::min(got.size(), wanted.size()); ++i)
            if (got[i] != wanted[i]) return QStringLiteral("line %1: %2, not %3").arg(i).arg(got[i], wanted[i]).toStdString();
        return got.size() == wanted.size() ? std::string() : QStringLiteral("%1 lines, not %2").arg(got.size()).arg(wanted.size()).toStdString();
    };
    // What the actions on a few rows take: the selected rows in shown order.
    const auto shownOrder = [&] {
        QStringList out;
        for (FileNode* n : w.outline().actionTargets()) out << QString::fromStdString(n->fullPath());
        return out;
    };

    const QStringList bySize = shownOrder();
    ASSERT_GT(size_t(bySize.size()), FileActionController::kItemsCopiedInPlace);
    ASSERT_EQ(bySize.at(1), qPath(dir / "tree/d1"));  // the largest folder's row follows the root's
    QStringList byPath = bySize;
    byPath.sort();
    ASSERT_NE(bySize, byPath);
    EXPECT_EQ(firstDifference(copyPathFromMenu(), bySize), "");

    // Quick Look from the menu previews the first of them, in the same order.
    {
        testing::ScriptedUser user;
        user.choose({QStringLiteral("Quick Look")});
        testing::rightClick(outline.viewport(), outline.visualRect(w.rows().index(0, 0)).center());
    }
    auto* preview = w.window().findChild<PreviewWindow*>();
    ASSERT_TRUE(w.waitFor([&] { return preview || (preview = w.window().findChild<PreviewWindow*>()); }));
    ASSERT_EQ(preview->itemCount(), int(FileListView::kItemsPreviewed));
    const std::vector<FileNode*> targets = w.outline().actionTargets();
    for (int i : {1, 2, 500, int(FileListView::kItemsPreviewed) - 1}) {
        preview->showItem(i);
        EXPECT_EQ(preview->currentContent().displayName, QString::fromStdString(targets.at(size_t(i))->name())) << "item " << i;
    }
    preview->close();

    // Sorted by name, some rows let go of: several runs of rows in one folder.
    emit outline.header()->sectionClicked(FileTreeOutlineModel::nameColumn);
    QCoreApplication::processEvents();
    for (const char* name : {"d1/few/x.dat", "d2", "d2/f7.dat"})
        outline.selectionModel()->select(w.rows().indexForNode(w.node(dir / "tree" / name)),
                                         QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    ASSERT_TRUE(w.waitFor([&] {
        return !w.window().treeSelection().nodes().contains(w.node(dir / "tree/d2"));
    }));
    const QStringList byName = shownOrder();
    ASSERT_GT(size_t(byName.size()), FileActionController::kItemsCopiedInPlace);
    ASSERT_EQ(byName.at(1), qPath(dir / "tree/d0"));
    ASSERT_FALSE(byName.contains(qPath(dir / "tree/d1/few/x.dat")));
    EXPECT_EQ(firstDifference(copyPathFromMenu(), byName), "");
}

// Rows picked with clicks on any column of a long file list are whole rows, and stay whole when
// the view is given the next slice of rows: the status line, the menus and the next Ctrl+click
// read them from the first column.
TEST(WindowFigures, FileViewRowsPickedInAnyColumnStayWholeAsSlicesCome) {
    TempDir dir;
    constexpr int kFiles = kSlicedFiles;
    writeSlicedFiles(dir);
    ScannedWindow w({dir.path()});
    FileListView& list = showEveryFileInSlices(w);
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == size_t(kFiles); }));
    const std::vector<FileNode*> rows = list.pipeline().displayed();
    auto& outline = list.outline();
    const NodeSet& selected = w.window().fileSelection().nodes();
    const auto nodesOf = [&](size_t from, size_t to) { return NodeSet(rows.begin() + long(from), rows.begin() + long(to) + 1); };
    const int pathColumn = 1;
    const auto click = [&](int r, Qt::KeyboardModifiers mods) {
        outline.scrollToTop();
        QCoreApplication::processEvents();
        QTest::mouseClick(outline.viewport(), Qt::LeftButton, mods,
                          outline.visualRect(list.model().index(r, pathColumn)).center());
    };
    const auto giveEveryRow = [&] {
        for (int i = 0; i < 10 && list.model().canFetchMore({}); ++i) {
            outline.scrollToBottom();
            QCoreApplication::processEvents();
        }
    };
    outline.setFocus();

    // Shift+End from a row clicked in the Path column: every row from there to the end.
    click(2, {});
    ASSERT_LT(list.model().rowCount(), kFiles);
    QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(selected, nodesOf(2, kFiles - 1));
    EXPECT_TRUE(outline.selectionModel()->isRowSelected(3, {}));
    EXPECT_EQ(outline.currentIndex().column(), pathColumn) << "the cursor keeps its column";

    // Five rows by a click and a Shift+click there; the rest of the list reaches the view; a
    // Ctrl+click adds a sixth to the five.
    click(1, {});
    click(5, Qt::ShiftModifier);
    EXPECT_EQ(selected, nodesOf(1, 5));
    giveEveryRow();
    ASSERT_EQ(list.model().rowCount(), kFiles);
    for (int r = 1; r <= 5; ++r) EXPECT_TRUE(outline.selectionModel()->isRowSelected(r, {})) << r;
    click(7, Qt::ControlModifier);
    NodeSet six = nodesOf(1, 5);
    six.insert(rows[7]);
    EXPECT_EQ(selected, six);
}

// Ctrl+A in the tree selects every row shown, folders open at several depths, and the window's
// selection takes them in the order the outline shows them; rows picked below folders that are
// not selected themselves come in that order too.
TEST(WindowFigures, SelectAllInTheTreeTakesTheShownRowsInShownOrder) {
    TempDir dir;
    writeFile(dir / "a/big.bin", 9000);
    writeFile(dir / "a/sub/mid.bin", 4000);
    writeFile(dir / "a/sub/deep/low.bin", 300);
    writeFile(dir / "b/other.bin", 5000);
    writeFile(dir / "c/closed.bin", 2000);
    writeFile(dir / "top.txt", 100);
    ScannedWindow w({dir.path()});
    ContextMenuOutlineView& outline = w.outline().outline();
    FileTreeOutlineModel& rows = w.rows();
    for (const char* folder : {"a", "a/sub", "a/sub/deep", "b"}) outline.expand(rows.indexForNode(w.node(dir / folder)));
    QCoreApplication::processEvents();

    // The order the view itself shows, row under row.
    std::vector<FileNode*> shown;
    for (QModelIndex i = rows.index(0, 0); i.isValid(); i = outline.indexBelow(i)) shown.push_back(rows.nodeAt(i));
    ASSERT_EQ(shown.size(), 11u);  // the root, a, big, sub, mid, deep, low, b, other, c, top.txt
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.outline().selectedNodes(), shown);
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet(shown.begin(), shown.end()));

    // Two rows deep in a and one in b, picked bottom up, a and sub themselves not selected.
    const auto click = [&](FileNode* n, Qt::KeyboardModifiers mods) {
        QTest::mouseClick(outline.viewport(), Qt::LeftButton, mods, outline.visualRect(rows.indexForNode(n)).center());
    };
    FileNode* other = w.node(dir / "b/other.bin");
    FileNode* low = w.node(dir / "a/sub/deep/low.bin");
    FileNode* mid = w.node(dir / "a/sub/mid.bin");
    click(other, {});
    click(low, Qt::ControlModifier);
    click(mid, Qt::ControlModifier);
    EXPECT_EQ(w.outline().selectedNodes(), (std::vector<FileNode*>{mid, low, other}));
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet({mid, low, other}));
}

// A right click on the empty area below the rows opens no menu and leaves the selection as it
// was, in the Tree View's outline and in the File View's list alike: neither the press before the
// menu event nor the release after it reaches the view's selection. On a selected row it keeps
// the rows selected and opens the menu.
TEST(WindowFigures, ARightClickBelowTheRowsKeepsTheSelection) {
    TempDir dir;
    writeFile(dir / "a/one.bin", 9000);
    writeFile(dir / "a/two.bin", 4000);
    writeFile(dir / "b/three.bin", 5000);
    ScannedWindow w({dir.path()});
    int menus = 0;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            ++menus;
            popup->close();
        }
    });
    closer.start();
    // As the window system delivers it: the press, the menu event it brings, the release.
    const auto rightClick = [&](QAbstractItemView& view, QPoint at) {
        QTest::mousePress(view.viewport(), Qt::RightButton, {}, at);
        testing::rightClick(view.viewport(), at);
        QTest::mouseRelease(view.viewport(), Qt::RightButton, {}, at);
        QCoreApplication::processEvents();
    };
    const auto belowTheRows = [](QAbstractItemView& view) {
        const QPoint below(view.viewport()->width() / 2, view.viewport()->height() - 3);
        EXPECT_FALSE(view.indexAt(below).isValid());
        return below;
    };

    ContextMenuOutlineView& outline = w.outline().outline();
    FileTreeOutlineModel& rows = w.rows();
    for (const char* folder : {"a", "b"}) outline.expand(rows.indexForNode(w.node(dir / folder)));
    QCoreApplication::processEvents();
    FileNode* one = w.node(dir / "a/one.bin");
    FileNode* three = w.node(dir / "b/three.bin");
    const auto rowCentre = [&](FileNode* n) { return outline.visualRect(rows.indexForNode(n)).center(); };
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, rowCentre(one));
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(three));
    const std::vector<FileNode*> picked{one, three};
    ASSERT_EQ(w.outline().selectedNodes(), picked);
    rightClick(outline, belowTheRows(outline));
    EXPECT_EQ(w.outline().selectedNodes(), picked);
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet(picked.begin(), picked.end()));
    EXPECT_EQ(menus, 0);
    rightClick(outline, rowCentre(three));
    EXPECT_TRUE(w.waitFor([&] { return menus == 1; }));
    EXPECT_EQ(w.outline().selectedNodes(), picked);

    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == 3u; }));
    QTreeView& files = list.outline();
    QTest::mouseClick(files.viewport(), Qt::LeftButton, {}, files.visualRect(list.model().index(0, 0)).center());
    QTest::mouseClick(files.viewport(), Qt::LeftButton, Qt::ControlModifier, files.visualRect(list.model().index(2, 0)).center());
    const NodeSet listed = w.window().fileSelection().nodes();
    ASSERT_EQ(listed.size(), 2);
    rightClick(files, belowTheRows(files));
    EXPECT_EQ(w.window().fileSelection().nodes(), listed);
    EXPECT_EQ(files.selectionModel()->selectedRows().size(), 2);
    EXPECT_EQ(menus, 1);
}

// Select All over an opened outline selects every folder together with what is inside it, the
// "[N Files in ...]" row and its files too: the status line still names each file once, as the
// root's row does, whether it adds up at once or in the background.
TEST(WindowFigures, SelectAllInAnOpenOutlineCountsEachFileOnce) {
    TempDir dir;
    writeGroupedDocs(dir);
    writeFile(dir / "top.txt", 100);
    ScannedWindow w({dir.path()});
    ContextMenuOutlineView& outline = w.outline().outline();
    FileTreeOutlineModel& rows = w.rows();
    FileNode* docs = w.node(dir / "docs");
    outline.expand(rows.indexForNode(docs));
    outline.expand(rows.indexForNode(w.node(dir / "docs/sub")));
    outline.expand(rows.indexForNode(rows.syntheticGroupOf(docs)));
    QCoreApplication::processEvents();
    const FileNode* root = w.window().scanControl().effectiveRoots().at(0).get();
    const QString whole = "Selected Files: 8  Total Size: " + w.sizeText(root->effectiveSize()) + "  Allocated: " +
                          w.sizeText(root->effectiveAllocSize());
    StatusBar& status = *w.window().contentView()->statusBar();
    for (size_t countedHere : {size_t(1000), size_t(3)}) {
        status.setSummaryCountedHere(countedHere);
        QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, outline.visualRect(rows.indexForNode(docs)).center());
        ASSERT_EQ(w.window().treeSelection().nodes(), NodeSet{docs});
        outline.setFocus();
        QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
        ASSERT_GE(w.window().treeSelection().nodes().size(), 12u) << "the root, docs, sub, the group and the files";
        ASSERT_TRUE(w.waitFor([&] { return !status.summaryPending(); }));
        EXPECT_EQ(status.summaryLabel()->toolTip(), whole) << countedHere;
    }
}

// The blocks of the regular files below `folder`, each file once however many links it has: what
// `du` counts of them.
int64_t fileBlocksOnDisk(const fs::path& folder) {
    std::set<ino_t> seen;
    int64_t bytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        struct stat st {};
        if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !seen.insert(st.st_ino).second) continue;
        bytes += int64_t(st.st_blocks) * 512;
    }
    return bytes;
}

// The disk keeps a file's blocks while any of its hard links is left. When the link that counted
// them goes, from a shell or by Delete Immediately, the folders go on counting them once, as du
// does, instead of showing them freed.
TEST(WindowFigures, HardLinkedSpaceStaysCountedWhileALinkIsLeft) {
    TempDir dir;
    writeFile(dir / "a/big.bin", 100000);
    writeFile(dir / "b/other.bin", 5000);
    writeFile(dir / "c/mid.bin", 60000);
    fs::create_directories(dir / "d");
    ASSERT_EQ(::link((dir / "a/big.bin").c_str(), (dir / "b/big2.bin").c_str()), 0);
    ASSERT_EQ(::link((dir / "c/mid.bin").c_str(), (dir / "d/mid2.bin").c_str()), 0);
    ScannedWindow w({dir.path()});
    FileNode* root = w.root();
    ASSERT_EQ(root->subFolderTotSizeAlloc(), fileBlocksOnDisk(dir.path()));
    // The scan decides which link of each pair counts the blocks: the first it met.
    const auto countingLink = [&](const fs::path& one, const fs::path& other) {
        return w.node(one)->doNotCountAllocated() ? other : one;
    };

    const fs::path big = countingLink(dir / "a/big.bin", dir / "b/big2.bin");
    ASSERT_EQ(::unlink(big.c_str()), 0);
    ASSERT_TRUE(w.waitFor([&] { return w.node(big)->isDeleted(); }));
    EXPECT_EQ(root->subFolderTotSizeAlloc(), fileBlocksOnDisk(dir.path()));

    const fs::path mid = countingLink(dir / "c/mid.bin", dir / "d/mid2.bin");
    w.window().treeSelection().set({w.node(mid)});
    testing::ScriptedUser user;
    user.answer({QStringLiteral("Delete Immediately")});
    w.key(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return !fs::exists(mid) && !QGuiApplication::overrideCursor(); }));
    ASSERT_EQ(user.alerts.size(), 1u);
    EXPECT_EQ(root->subFolderTotSizeAlloc(), fileBlocksOnDisk(dir.path()));
    const QModelIndex rootRow = w.rows().indexForNode(root).siblingAtColumn(FileTreeOutlineModel::allocatedColumn);
    EXPECT_TRUE(w.waitFor([&] { return w.rows().data(rootRow).toString() == w.sizeText(fileBlocksOnDisk(dir.path())); }))
        << w.rows().data(rootRow).toString().toStdString();
}

// A File View row of a hard link whose blocks another link counts shows its allocated size in
// brackets; the status bar's allocated total counts those blocks once, as the tree does.
TEST(WindowFigures, FileViewAllocatedTotalCountsHardLinkedBlocksOnce) {
    TempDir dir;
    writeFile(dir / "a/big.bin", 100000);
    writeFile(dir / "c/small.txt", 3000);
    fs::create_directories(dir / "b");
    ASSERT_EQ(::link((dir / "a/big.bin").c_str(), (dir / "b/big2.bin").c_str()), 0);
    ScannedWindow w({dir.path()});
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileNode* root = w.root();
    ASSERT_TRUE(w.waitFor([&] { return w.window().fileResults().fileResultCount() == 3; }));
    EXPECT_EQ(root->subFolderTotSizeAlloc(), fileBlocksOnDisk(dir.path()));
    EXPECT_EQ(w.window().fileResults().fileResultTotalAlloc(), root->subFolderTotSizeAlloc());
    const QString shown = w.window().contentView()->statusBar()->totalsLabel()->toolTip();
    EXPECT_TRUE(shown.contains(w.sizeText(root->subFolderTotSizeAlloc()))) << shown.toStdString();
}

// A hard link whose blocks another link counts adds nothing to its folder's allocated total, so
// its share of that folder by allocated size is nothing either: no row of the outline shows more
// than its folder ("% of Parent", the tree's default allocated order), the shares of a folder's
// rows add up to the folder, and the File View's shares of the root and the file-type table's
// shares follow the same rule.
TEST(WindowFigures, AHardLinkCountedElsewhereNeverShowsMoreThanItsFolder) {
    TempDir dir;
    writeFile(dir / "one/a/big.bin", 24000);
    writeFile(dir / "one/a/small.txt", 3000);
    writeFile(dir / "two/b/small2.txt", 3000);
    ASSERT_EQ(::link((dir / "one/a/big.bin").c_str(), (dir / "two/b/big2.bin").c_str()), 0);
    ScannedWindow w({dir.path()});
    FileNode* big = w.node(dir / "one/a/big.bin");
    FileNode* big2 = w.node(dir / "two/b/big2.bin");
    ASSERT_TRUE(big && big2);
    ASSERT_NE(big->doNotCountAllocated(), big2->doNotCountAllocated()) << "the scan counts the blocks once";
    FileNode* uncounted = big->doNotCountAllocated() ? big : big2;
    ASSERT_EQ(w.rows().sortKey(), OutlineSortKey::allocated);

    const auto percentOf = [](const QModelIndex& index) {
        QString text = index.data().toString();
        EXPECT_TRUE(text.endsWith(u'%')) << text.toStdString();
        text.chop(1);
        return text.toDouble();
    };
    for (FileNode* folder : {w.node(dir / "one/a"), w.node(dir / "two/b")}) {
        SCOPED_TRACE(folder->fullPath());
        const QModelIndex parent = w.rows().indexForNode(folder);
        w.outline().outline().expand(parent);
        double sum = 0;
        for (int r = 0; r < w.rows().rowCount(parent); ++r) {
            const QModelIndex row = w.rows().index(r, FileTreeOutlineModel::percentColumn, parent);
            const double pct = percentOf(row);
            EXPECT_LE(pct, 100.0) << w.rows().nodeAt(row)->fullPath();
            if (w.rows().nodeAt(row) == uncounted) {
                EXPECT_EQ(row.data().toString(), "0.0%");
            }
            sum += pct;
        }
        EXPECT_NEAR(sum, 100.0, 0.15);
    }

    // The File View's shares of the root add up to the root.
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileListView& list = w.window().contentView()->fileViewTab()->fileList();
    ASSERT_TRUE(w.waitFor([&] { return list.pipeline().displayed().size() == 4u; }));
    ASSERT_EQ(list.pipeline().sortKey(), FileListSortKey::allocated);
    double sum = 0;
    for (int r = 0; r < list.model().rowCount(); ++r) {
        const QModelIndex row = list.model().index(r, FileListModel::percentColumn);
        const double pct = percentOf(row);
        EXPECT_LE(pct, 100.0) << list.model().nodeAt(row)->fullPath();
        if (list.model().nodeAt(row) == uncounted) {
            EXPECT_EQ(row.data().toString(), "0.0%");
        }
        sum += pct;
    }
    EXPECT_NEAR(sum, 100.0, 0.3);

    for (int r = 0; r < w.fileTypes().rowCount(); ++r) {
        const QModelIndex row = w.fileTypes().index(r, ExtensionTableModel::percentColumn);
        EXPECT_LE(percentOf(row), 100.0);
    }
}

// An open group row of loose files whose whole folder goes, in a shell or to the Trash from the
// window, is drawn gone like its files and its folder and, as they do, keeps what it held: its
// label and figures are those of the struck rows it shows.
TEST(WindowFigures, AnOpenGroupRowKeepsWhatItHeldWhenItsWholeFolderGoes) {
    TempDir dir;
    writeGroupedDocs(dir);
    for (int i = 0; i < 5; ++i) writeFile(dir / ("kept/g" + std::to_string(i) + ".dat"), 100 * (i + 1));
    writeFile(dir / "rest.bin", 7);
    fs::create_directories(dir / "data");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ScannedWindow w({dir.path()});
    FileTreeOutlineModel& rows = w.rows();
    QTreeView& outline = w.outline().outline();
    outline.expand(rows.indexForNode(w.root()));
    const auto openGroupOf = [&](FileNode* folder) {
        outline.expand(rows.indexForNode(folder));
        FileNode* group = rows.syntheticGroupOf(folder);
        EXPECT_NE(group, nullptr);
        if (group) outline.expand(rows.indexForNode(group));
        return group;
    };
    FileNode* docs = w.node(dir / "docs");
    FileNode* kept = w.node(dir / "kept");
    FileNode* docsGroup = openGroupOf(docs);
    FileNode* keptGroup = openGroupOf(kept);
    ASSERT_TRUE(docsGroup && keptGroup);
    ASSERT_EQ(docsGroup->effectiveSize(), 21000);
    const QPersistentModelIndex docsRow = rows.indexForNode(docsGroup);
    const QPersistentModelIndex keptRow = rows.indexForNode(keptGroup);
    const auto goneAsItWas = [&](const QPersistentModelIndex& row, FileNode* group, int files, int64_t size) {
        const QModelIndex at(row);
        return w.changesShown() && group->isDeleted() && group->effectiveSize() == size && group->subFolderFileCount() == files &&
               rows.data(at).toString().startsWith(QStringLiteral("[%1 Files in ").arg(files)) &&
               rows.data(at.siblingAtColumn(FileTreeOutlineModel::sizeColumn)).toString() == w.sizeText(size) &&
               rows.data(at.siblingAtColumn(FileTreeOutlineModel::filesColumn)).toString() == QLocale().toString(files);
    };

    fs::remove_all(dir / "docs");
    ASSERT_TRUE(w.waitFor([&] { return docs->isDeleted(); }));
    EXPECT_TRUE(w.waitFor([&] { return goneAsItWas(docsRow, docsGroup, 6, 21000); })) << rows.data(docsRow).toString().toStdString();

    w.window().treeSelection().set({kept});
    testing::ScriptedUser user;
    user.answer({Qt::Key_Return});
    w.key(Qt::Key_Delete);
    // The move runs in the background; the row goes when it has.
    ASSERT_TRUE(w.waitFor([&] { return kept->isDeleted(); }));
    ASSERT_FALSE(fs::exists(dir / "kept"));
    EXPECT_TRUE(w.waitFor([&] { return goneAsItWas(keptRow, keptGroup, 5, 1500); })) << rows.data(keptRow).toString().toStdString();
    // The struck folders keep what they held too.
    EXPECT_EQ(docs->subFolderFileCount(), 7);
    EXPECT_EQ(kept->effectiveSize(), 1500);
    EXPECT_EQ(w.root()->effectiveSize(), 7);
}

// A file renamed in the window (F2) is labelled with its new name on the treemap.
TEST(WindowFigures, TheTreemapLabelsAFileRenamedInTheWindowWithItsNewName) {
    TempDir dir;
    writeFile(dir / "alpha/kept.bin", 700000);
    writeFile(dir / "alpha/old-name.bin", 500000);
    writeFile(dir / "beta/rest.bin", 400000);
    ScannedWindow w({dir.path()});
    const TreemapCanvasModel& treemap = w.tree().treemapCanvas()->model();
    ASSERT_TRUE(w.waitFor([&] { return treemap.hasPicture() && !treemap.isStale() && treemap.busyRegenerationCount() == 0; }));
    // The shown picture's own boxes, drawn with the names the tree holds now.
    const auto drawnNow = [&] { return fixtures::treemapRedrawnNow(treemap, w.prefs()); };
    ASSERT_EQ(treemap.image(), drawnNow());
    const QImage before = treemap.image();

    FileNode* file = w.node(dir / "alpha/old-name.bin");
    ASSERT_NE(file, nullptr);
    w.renameInOutline(file, QStringLiteral("a much longer new name.bin"));
    ASSERT_TRUE(fs::exists(dir / "alpha/a much longer new name.bin"));
    ASSERT_EQ(file->name(), "a much longer new name.bin");

    EXPECT_TRUE(w.waitFor([&] { return treemap.busyRegenerationCount() == 0 && treemap.image() == drawnNow(); }))
        << "the label still shows the old name";
    EXPECT_NE(treemap.image(), before);
}

// The File View's totals in the status bar follow deletions as the tree's do: a file removed in a
// shell, or erased from the list, stays drawn struck out but no longer counts.
TEST(WindowFigures, FileViewTotalsLeaveDeletedFilesOut) {
    TempDir dir;
    writeFile(dir / "art/a.svg", 11000);
    writeFile(dir / "art/b.svg", 15000);
    writeFile(dir / "notes/c.txt", 3000);
    ScannedWindow w({dir.path()});
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileNode* root = w.root();
    const auto agreesWithTree = [&] {
        return w.window().fileResults().fileResultCount() == root->subFolderFileCount() &&
               w.window().fileResults().fileResultTotalSize() == root->subFolderTotSize() &&
               w.window().fileResults().fileResultTotalAlloc() == root->subFolderTotSizeAlloc();
    };
    ASSERT_TRUE(w.waitFor([&] { return w.window().fileResults().fileResultCount() == 3; }));
    EXPECT_TRUE(agreesWithTree());

    ASSERT_EQ(::unlink((dir / "art/b.svg").c_str()), 0);
    EXPECT_TRUE(w.waitFor([&] { return root->subFolderFileCount() == 2 && agreesWithTree(); }))
        << w.window().fileResults().fileResultCount() << " files, " << w.window().fileResults().fileResultTotalSize() << " bytes";

    // Erased in the Tree View while the list is not shown: the list's totals follow all the same.
    w.window().controller().setSelectedTab(ContentTab::treeView);
    w.window().treeSelection().set({w.node(dir / "notes/c.txt")});
    testing::ScriptedUser user;
    user.answer({QStringLiteral("Delete Immediately")});
    w.key(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(w.waitFor([&] { return !fs::exists(dir / "notes/c.txt") && !QGuiApplication::overrideCursor(); }));
    w.window().controller().setSelectedTab(ContentTab::fileView);
    EXPECT_TRUE(w.waitFor([&] { return root->subFolderFileCount() == 1 && agreesWithTree(); }));
    const QString shown = w.window().contentView()->statusBar()->totalsLabel()->toolTip();
    EXPECT_TRUE(shown.startsWith("(1 files  Total Size: " + w.sizeText(11000))) << shown.toStdString();
}

// Copy File and Size Info lists what the outline shows open: a group row of loose files that the
// user opened lists its files, and the same row closed lists only itself.
TEST(WindowFigures, TheClipboardListingOpensTheGroupRowsTheOutlineShowsOpen) {
    TempDir dir;
    writeGroupedDocs(dir);
    ScannedWindow w({dir.path()});
    FileNode* docs = w.node(dir / "docs");
    ASSERT_NE(docs, nullptr);
    FileTreeOutlineModel& rows = w.rows();
    QTreeView& outline = w.outline().outline();
    outline.expand(rows.indexForNode(w.root()));
    outline.expand(rows.indexForNode(docs));
    FileNode* group = rows.syntheticGroupOf(docs);
    ASSERT_NE(group, nullptr);
    const auto copied = [&] {
        QGuiApplication::clipboard()->clear();
        w.key(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        return QGuiApplication::clipboard()->text();
    };

    QString text = copied();
    EXPECT_TRUE(text.contains(QString::fromStdString(group->name()))) << text.toStdString();
    EXPECT_FALSE(text.contains("f5.dat")) << "the group row is closed";

    outline.expand(rows.indexForNode(group));
    ASSERT_TRUE(outline.isExpanded(rows.indexForNode(group)));
    text = copied();
    const qsizetype groupLine = text.indexOf(QString::fromStdString(group->name()));
    const qsizetype largest = text.indexOf(QString("%1        f5.dat\n").arg("5.86 KB", 20));
    EXPECT_GT(largest, groupLine) << text.toStdString();
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(text.contains(QString("f%1.dat").arg(i))) << text.toStdString();
}

}  // namespace
}  // namespace zelvane
