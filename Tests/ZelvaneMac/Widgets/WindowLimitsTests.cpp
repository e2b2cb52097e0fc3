// What a real window does with input at the edges: trees deeper than anything a path can name,
// a search pattern that backtracks without end, and an export whose dates no clock shows.

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QThreadPool>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/OutlineRowSelection.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasSelection.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
using fixtures::writeWideExport;
namespace fs = std::filesystem;

// A shown, active window that picked no volume.
struct Window : fixtures::ShownWindow {
    using ShownWindow::ShownWindow;
    FileTreeOutlineModel& rows() const { return outline().model(); }
};

// The chain below `top`, top first.
std::vector<FileNode*> chainBelow(FileNode* top) {
    std::vector<FileNode*> chain{top};
    while (chain.back()->childCount() > 0) chain.push_back(chain.back()->children()[0]);
    return chain;
}

// Expand All opens folders down to a fixed depth and no further: the tree view lays out open rows
// one call per level, and a chain of open folders tens of thousands deep overflowed its stack.
TEST(WindowLimits, ExpandAllOpensADeepChainDownToTheOpenDepthOnly) {
    constexpr int kMax = FileTreeOutlineModel::kMaxOpenDepth;
    TempDir dir;
    fs::path deepest = dir.path();
    for (int i = 0; i < kMax + 50; ++i) {
        deepest /= "d";
        ASSERT_EQ(::mkdir(deepest.c_str(), 0755), 0);
    }
    writeFile(deepest / "end.txt", 10);
    Window w;
    ASSERT_TRUE(w.scan(dir.path()));
    const std::vector<FileNode*> chain = chainBelow(w.root());
    ASSERT_EQ(chain.size(), size_t(kMax + 52));

    w.key(Qt::Key_F4, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().isNodeExpanded(chain[kMax - 1]); }));
    const QModelIndex last = w.rows().indexForNode(chain[kMax]);
    ASSERT_TRUE(last.isValid()) << "the folder at the open depth is shown";
    EXPECT_FALSE(w.rows().hasChildren(last)) << "but shows no rows of its own";
    EXPECT_FALSE(w.rows().indexForNode(chain[kMax + 1]).isValid());
    // Selected elsewhere (the treemap, the File View): nothing below the open depth can be shown.
    w.window().treeSelection().set({chain.back()});
    QCoreApplication::processEvents();
    EXPECT_TRUE(w.outline().selectedNodes().empty());
    w.window().treeSelection().set({chain[kMax]});
    EXPECT_TRUE(pumpWidgetsUntil([&] { return w.outline().selectedNodes() == std::vector<FileNode*>{chain[kMax]}; }));

    // Reset Tree Expansion folds it all again.
    w.key(Qt::Key_F4);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !w.outline().isNodeExpanded(chain[1]); }));
}

// A click in the treemap on a file deeper than the outline opens selects it everywhere but in the
// outline, which shows no row for it: the outline's row selected before must not clear the
// window's selection on its way out.
TEST(WindowLimits, ATreemapClickBelowTheOpenDepthKeepsItsSelection) {
    TempDir dir;
    fs::path deepest = dir.path();
    for (int i = 0; i < FileTreeOutlineModel::kMaxOpenDepth + 200; ++i) {
        deepest /= "d";
        ASSERT_EQ(::mkdir(deepest.c_str(), 0755), 0);
    }
    writeFile(deepest / "end.bin", 4000000);
    writeFile(dir / "top.txt", 1000);
    Window w;
    ASSERT_TRUE(w.scan(dir.path()));
    FileNode* top = w.node(dir / "top.txt");
    FileNode* end = w.node(deepest / "end.bin");
    ASSERT_TRUE(top && end);

    const QModelIndex topRow = w.rows().indexForNode(top);
    ASSERT_TRUE(topRow.isValid());
    w.outline().outline().setCurrentIndex(topRow);
    ASSERT_EQ(w.window().treeSelection().nodes(), NodeSet{top});

    TreemapCanvas& canvas = *w.tree().treemapCanvas();
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return !canvas.model().isStale() && canvas.model().layout().nodeRects.find(end) != nullptr;
    }));
    const TreemapRect* box = canvas.model().layout().nodeRects.find(end);
    QTest::mouseClick(&canvas, Qt::LeftButton, {}, QPointF(box->x + box->width / 2, box->y + box->height / 2).toPoint());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().selectedNodes().empty(); }));
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet{end});
    w.tree().refreshNow();
    EXPECT_EQ(canvas.model().overlays().selected.size(), 1u);
}

// No depth makes the window fall over: an export read back 100,000 levels deep, Expand All.
TEST(WindowLimits, AnImportAHundredThousandLevelsDeepExpandsWithoutFailing) {
    TempDir dir;
    std::string path;
    path.reserve(200010);
    for (int i = 0; i < 100000; ++i) path += "/d";
    {
        std::ofstream csv(dir / "deep.csv");
        csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";
        csv << '"' << path << "/end.txt\",5,4096,2024/03/05 07:08:09,0,0,0\n";
    }
    Window w;
    ASSERT_TRUE(w.import(dir / "deep.csv"));
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    const std::vector<FileNode*> chain = chainBelow(w.root());
    ASSERT_EQ(chain.size(), 100002u);
    EXPECT_TRUE(pumpWidgetsUntil(
        [&] { return w.outline().isNodeExpanded(chain[FileTreeOutlineModel::kMaxOpenDepth - 1]); }));
    // The view still answers and paints.
    w.outline().outline().scrollToBottom();
    EXPECT_FALSE(w.window().grab().isNull());
}

// `ZelvaneMac zero.csv` with the name linked to /dev/zero grew memory until the program aborted, and
// a FIFO held the import (and then closing the window) for good: the window shows at once that
// the file could not be imported and why, and a real export imports afterwards as usual.
TEST(WindowLimits, ACommandLineImportOfADeviceOrAFIFOFailsAtOnceSayingWhy) {
    TempDir dir;
    const fs::path zero = dir / "zero.csv";
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    const fs::path fifo = dir / "fifo.tsv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    {
        std::ofstream csv(dir / "good.csv");
        csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";
        csv << "\"/top/a.txt\",5,4096,2024/03/05 07:08:09,0,0,0\n";
    }
    const auto shownFailure = [](Window& w) {
        for (const QLabel* label : w.tree().findChildren<QLabel*>())
            if (label->isVisible() && label->text().startsWith(QStringLiteral("Could not import"))) return label->text();
        return QString();
    };
    for (const fs::path& path : {zero, fifo}) {
        Window w({fixtures::qPath(path)});
        ASSERT_TRUE(pumpWidgetsUntil([&] { return !shownFailure(w).isEmpty(); }, 20000)) << path;
        EXPECT_EQ(shownFailure(w), "Could not import [" + fixtures::qPath(path) +
                                       "]: Not a regular file (a device, pipe or socket)");
        EXPECT_EQ(w.window().viewModel().scanState().tag(), ScanState::Tag::failed);
        w.window().grab().save(grabPath(path == zero ? "import-of-a-device.png" : "import-of-a-fifo.png"));
        ASSERT_TRUE(w.import(dir / "good.csv"));
        EXPECT_EQ(w.root()->subFolderTotSize(), 5);
    }
}

// A pattern that backtracks without end gives up on a name within its step limit: the search
// ends and the name counts as not matched. PCRE2's own limits would let the first alternative
// below run through 2^20 ways of splitting the twenty a's and then match by the second.
TEST(WindowLimits, FileViewSearchGivesUpOnARunawayPattern) {
    TempDir dir;
    writeFile(dir / "aaaaaaaaaa!", 10);
    writeFile(dir / (std::string(20, 'a') + "!"), 20);
    writeFile(dir / "plain.txt", 30);
    for (int i = 0; i < 200; ++i) writeFile(dir / "many" / (std::string(30, 'a') + "!" + std::to_string(1000 + i)), 1);
    Window w;
    ASSERT_TRUE(w.scan(dir.path()));
    w.window().controller().setSelectedTab(ContentTab::fileView);
    FileViewTab& tab = *w.window().contentView()->fileViewTab();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 203; }));

    w.prefs().set(PreferenceKeys::fileMatchEntirePath, false);
    tab.searchField().setFocus();
    QTest::keyClicks(&tab.searchField(), QStringLiteral("\\\"^(?:(a+)+$|a+!)\"\\"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 1; })) << w.window().fileResults().fileResultCount();
    // Each of the two hundred runaway names costs its limit and no more; a plain search follows.
    tab.searchField().setPlainText(QStringLiteral("\\(a+)+$\\"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 0; }));
    tab.searchField().setPlainText(QStringLiteral("plain"));
    EXPECT_TRUE(pumpWidgetsUntil([&] { return w.window().fileResults().fileResultCount() == 1; }));
}

// A row of an import whose size, count or date does not read as one (letters, a size below zero,
// a date no clock shows) is left out, not taken as a file of 0 bytes dated 1970: the folders
// above hold what the other rows hold, an impossible date never becomes a folder's newest date,
// and the window says how many lines it left out and, of a file cut inside a row, that it was.
TEST(WindowLimits, ImportedRowsThatDoNotReadAreLeftOutAndTheWindowSaysSo) {
    TempDir dir;
    {
        std::ofstream csv(dir / "damaged.csv");
        csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";
        csv << "\"/top/\",0,0,2024/03/05 07:08:09,0,2,1\n";
        csv << "\"/top/sub/\",0,0,2024/03/05 07:08:09,0,-7,-3\n";
        csv << "\"/top/sub/good.txt\",100,4096,2024/03/05 07:08:09,0,0,0\n";
        csv << "\"/top/sub/bad.txt\",5,4096,2026/13/45 99:99:99,0,0,0\n";
        csv << "\"/top/sub/neg.txt\",-5,-4096,2024/03/05 07:08:09,0,0,0\n";
        csv << "\"/top/cut/\",-9000,-8192,2024/03/05 07:08:09,0,-1,-1\n";
        csv << "\"/top/sub/letters.txt\",1O0,4096,2024/03/05 07:08:09,0,0,0\n";
        csv << "\"/top/last.txt\",7,4096,2024/0";
    }
    Window w;
    ASSERT_TRUE(w.prefs().value(PreferenceKeys::tweakShowMaxModifiedDate));
    ASSERT_TRUE(w.import(dir / "damaged.csv"));
    const ScanController& scan = w.window().scanControl();
    FileNode* top = scan.node(QStringLiteral("/top"));
    FileNode* sub = scan.node(QStringLiteral("/top/sub"));
    FileNode* good = scan.node(QStringLiteral("/top/sub/good.txt"));
    ASSERT_TRUE(top && sub && good);
    for (const char* gone : {"/top/sub/bad.txt", "/top/sub/neg.txt", "/top/cut", "/top/sub/letters.txt", "/top/last.txt"})
        EXPECT_EQ(scan.node(QString::fromUtf8(gone)), nullptr) << gone;
    // The folder whose row was left out holds what its rows below hold.
    EXPECT_EQ(sub->subFolderTotSize(), 100);
    EXPECT_EQ(sub->subFolderFileCount(), 1);
    EXPECT_EQ(top->subFolderTotSize(), 100);
    EXPECT_EQ(top->subFolderTotSizeAlloc(), 4096);
    EXPECT_EQ(sub->modifiedDateRaw, good->modifiedDateRaw);
    // The Modified cell of the folder shows 2024, not a date in 2027.
    const QModelIndex row = w.rows().indexForNode(sub).siblingAtColumn(FileTreeOutlineModel::modifiedColumn);
    const QString shown = w.rows().data(row).toString();
    EXPECT_FALSE(shown.contains(QStringLiteral("27"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QStringLiteral("24"))) << shown.toStdString();

    QMessageBox* alert = nullptr;
    ASSERT_TRUE(pumpWidgetsUntil([&] { return (alert = w.window().sheets().alert(QStringLiteral("Some Rows Were Left Out"))); }));
    EXPECT_EQ(alert->informativeText(),
              QStringLiteral("Lines left out because they could not be read as rows: 6\n\n"
                             "The file ends inside a row: it may have been cut short."));
    alert->grab().save(grabPath("import-rows-left-out.png"));
    alert->reject();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.window().sheets().alert(QStringLiteral("Some Rows Were Left Out")); }));

    // An export of the program's own imports again with nothing to say.
    {
        std::ofstream csv(dir / "whole.csv");
        csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n";
        csv << "\"/top/\",100,4096,2024/03/05 07:08:09,0,1,0\n";
        csv << "\"/top/good.txt\",100,4096,2024/03/05 07:08:09,0,0,0\n";
    }
    ASSERT_TRUE(w.import(dir / "whole.csv"));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.window().sheets().alert(QStringLiteral("Some Rows Were Left Out")), nullptr);
}

// A file of which not one line reads as a row (random bytes, a tree of garbage rows) is refused,
// and the window says why where the result would be, in either tab, and in its status line.
TEST(WindowLimits, AnImportWithoutARowThatReadsFailsWithItsReason) {
    TempDir dir;
    writeFile(dir / "noise.csv", testsupport::noiseBytes(3 << 20));
    Window w;
    w.window().scanControl().importChosenCSV(fixtures::qPath(dir / "noise.csv"));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().viewModel().scanState().tag() == ScanState::Tag::failed; }));
    const QString reason = QStringLiteral("Could not import [") + fixtures::qPath(dir / "noise.csv") +
                           QStringLiteral("]: No valid rows found");
    EXPECT_EQ(std::get<ScanState::Failed>(w.window().viewModel().scanState().value).message, reason);
    EXPECT_TRUE(w.window().scanControl().effectiveRoots().empty());
    QCoreApplication::processEvents();
    const auto shows = [&](QWidget* where) {
        for (const QLabel* label : where->findChildren<QLabel*>())
            if (label->isVisible() && label->text().contains(QStringLiteral("No valid rows found"))) return true;
        return false;
    };
    EXPECT_TRUE(shows(&w.window())) << "the Tree View";
    w.window().grab().save(grabPath("import-refused-tree-view.png"));
    w.window().controller().setSelectedTab(ContentTab::fileView);
    QCoreApplication::processEvents();
    EXPECT_TRUE(shows(&w.window())) << "the File View";
    w.window().grab().save(grabPath("import-refused-file-view.png"));
}

// The rows the outline shows: every row whose folders above it are all open.
size_t shownRows(const FileTreeOutlineView& view) {
    const FileTreeOutlineModel& model = view.model();
    size_t rows = 0;
    std::vector<QModelIndex> open{QModelIndex()};
    while (!open.empty()) {
        const QModelIndex parent = open.back();
        open.pop_back();
        const int count = model.rowCount(parent);
        rows += size_t(count);
        for (int r = 0; r < count; ++r) {
            const QModelIndex i = model.index(r, 0, parent);
            if (view.outline().isExpanded(i)) open.push_back(i);
        }
    }
    return rows;
}

// Expand All on more entries than anyone reads through opens the rows from the top until about
// a fixed number are shown, and no more: opening a hundred thousand rows kept the window frozen
// for seconds, millions of them for minutes. A folder whose rows no longer fit stays closed;
// Reset Tree Expansion folds what was opened, and "*" on a row opens below it the same way.
TEST(WindowLimits, ExpandAllOnAHundredThousandFilesOpensTheFirstRowsOnly) {
    TempDir dir;
    writeWideExport(dir / "wide.csv", 100, 1000);
    Window w;
    ASSERT_TRUE(w.import(dir / "wide.csv"));
    ScanController& scans = w.window().scanControl();
    FileNode* first = scans.node(QStringLiteral("/wide/f000"));
    FileNode* last = scans.node(QStringLiteral("/wide/f099"));
    ASSERT_TRUE(first && last);

    w.key(Qt::Key_F4, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().isGroupExpanded(first); }));
    QCoreApplication::processEvents();
    const size_t shown = shownRows(w.outline());
    EXPECT_GT(shown, FileTreeOutlineView::kExpandAllRows / 2);
    EXPECT_LE(shown, FileTreeOutlineView::kExpandAllRows);
    EXPECT_FALSE(w.outline().isGroupExpanded(last));
    // The rows shown are the first ones a full expansion shows: the top folders' files.
    const QModelIndex firstFile = w.rows().index(0, 0, w.rows().indexForNode(w.rows().syntheticGroupOf(first)));
    EXPECT_TRUE(firstFile.isValid());
    // The status line says that Expand All stopped, and where, while the Tree View shows it.
    StatusBar& status = *w.window().contentView()->statusBar();
    const QString said = QStringLiteral("Expand All opens at most 50,000 rows; open the other folders one at a time");
    const auto noteShown = [&] {
        for (const QLabel* label : status.findChildren<QLabel*>())
            if (label->isVisible() && label->text() == said) return true;
        return false;
    };
    EXPECT_TRUE(pumpWidgetsUntil(noteShown));
    status.grab().save(grabPath("expand-all-note.png"));
    w.window().controller().setSelectedTab(ContentTab::fileView);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !noteShown(); }));
    w.window().controller().setSelectedTab(ContentTab::treeView);
    EXPECT_TRUE(pumpWidgetsUntil(noteShown));

    w.key(Qt::Key_F4);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !w.outline().isNodeExpanded(first); }));
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !noteShown(); })) << "every folder is closed again";

    // "*" on a folder row opens what is inside it by the same rule.
    ContextMenuOutlineView& view = w.outline().outline();
    view.setCurrentIndex(w.rows().indexForNode(scans.node(QStringLiteral("/wide"))));
    QTest::keyClick(&view, Qt::Key_Asterisk);
    EXPECT_TRUE(w.outline().isGroupExpanded(first));
    EXPECT_FALSE(w.outline().isGroupExpanded(last));
    EXPECT_LE(shownRows(w.outline()), FileTreeOutlineView::kExpandAllRows + 10);

    // Expand All that opens every folder says nothing.
    TempDir small;
    writeFile(small / "a/b/c.txt", 10);
    ASSERT_TRUE(w.scan(small.path()));
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.outline().isNodeExpanded(w.node(small / "a/b")); }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(noteShown());
}

// Selecting every file of a type in a tree of a hundred thousand files selects them all in the
// window, and the outline shows a part of them: opening the folder of each of them made every
// row of the tree. Which of them the outline shows, and the treemap's outlines of them all, are
// worked out in the background and shown when ready; a newer selection drops them.
TEST(WindowLimits, SelectingEveryFileOfATypeOfAHundredThousandShowsAFewInTheOutline) {
    TempDir dir;
    writeWideExport(dir / "wide.csv", 100, 1000);
    Window w;
    ASSERT_TRUE(w.import(dir / "wide.csv"));
    ExtensionTableView* table = w.tree().fileTypeTable();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return table->tableModel().rowCount() == 1; }));
    std::unique_ptr<QMenu> menu(table->buildContextMenu(table->visualRect(table->model()->index(0, 1)).center()));
    ASSERT_FALSE(menu->actions().isEmpty());
    menu->actions()[0]->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().treeSelection().nodes().size() == 100000; }));
    w.tree().refreshNow();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !w.outline().selectedNodes().empty(); }));
    const std::vector<FileNode*> selected = w.outline().selectedNodes();
    EXPECT_LE(selected.size(), OutlineRowSelection::kShownNodes);
    EXPECT_GE(selected.size(), 100u) << "as many as the rows allow";
    for (FileNode* n : selected) EXPECT_TRUE(w.window().treeSelection().nodes().contains(n));
    EXPECT_LE(shownRows(w.outline()), FileTreeOutlineView::kExpandAllRows);

    // The treemap outlines the box of every selected file it draws, and of no other.
    const TreemapCanvasModel& map = w.tree().treemapCanvas()->model();
    const auto outlined = [&] {
        std::vector<TreemapRect> boxes;
        if (map.overlaysShown())
            for (const TreemapRect& r : map.overlays().selected) boxes.push_back(r);
        return boxes;
    };
    ASSERT_TRUE(pumpWidgetsUntil([&] { return map.hasPicture() && !map.isStale(); }));
    size_t drawn = 0;
    map.layout().nodeRects.forEach([&](const FileNode* n, const TreemapRect&) {
        drawn += w.window().treeSelection().nodes().contains(const_cast<FileNode*>(n)) ? 1 : 0;
    });
    ASSERT_GT(drawn, size_t(TreemapCanvasSelection::kOutlinedInPlace / 10)) << map.layout().nodeRects.size() << " boxes of " << map.renderedSize().width() << "x" << map.renderedSize().height();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outlined().size() == drawn; }));

    // The outline showing its part never narrows the window's selection.
    w.tree().refreshNow();
    EXPECT_EQ(w.window().treeSelection().nodes().size(), 100000);

    // A click in the outline then selects that row alone, everywhere.
    const QModelIndex row = w.rows().indexForNode(selected.front());
    w.outline().outline().selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet{selected.front()});

    // A selection of one file made while both are being worked out: theirs are dropped.
    FileNode* one = nullptr;
    for (FileNode* n : selected)
        if (n != selected.front() && map.layout().nodeRects.find(n)) one = n;
    ASSERT_TRUE(one) << "a file of the outline's with a box of its own";
    w.window().treeSelection().clear();
    w.tree().refreshNow();
    menu->actions()[0]->trigger();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().treeSelection().nodes().size() == 100000; }));
    w.tree().refreshNow();
    w.window().treeSelection().set({one});
    w.tree().refreshNow();
    QTest::qWait(200);
    EXPECT_EQ(w.outline().selectedNodes(), std::vector<FileNode*>{one});
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outlined().size() == 1; }));
    QTest::qWait(100);
    EXPECT_EQ(outlined().size(), 1u);
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet{one});
}

// Ctrl+A over the part of a large selection the outline shows (single rows in many open folders)
// selects every row shown, and that selection, told once, is the window's; a large selection
// shown in its place then leaves only its own part selected, none of the rows of Select All.
TEST(WindowLimits, SelectAllOverAPartShownOfALargeSelectionSelectsEveryRowShown) {
    TempDir dir;
    writeWideExport(dir / "wide.csv", 100, 1000);
    Window w;
    ASSERT_TRUE(w.import(dir / "wide.csv"));
    ExtensionTableView* table = w.tree().fileTypeTable();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return table->tableModel().rowCount() == 1; }));
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shownRows(w.outline()) > FileTreeOutlineView::kExpandAllRows / 2; }));
    std::unique_ptr<QMenu> menu(table->buildContextMenu(table->visualRect(table->model()->index(0, 1)).center()));
    ASSERT_FALSE(menu->actions().isEmpty());
    const auto selectType = [&] {
        menu->actions()[0]->trigger();
        EXPECT_TRUE(pumpWidgetsUntil([&] { return w.window().treeSelection().nodes().size() == 100000; }));
        w.tree().refreshNow();
        EXPECT_TRUE(pumpWidgetsUntil([&] { return w.outline().selectedNodes().size() >= 100; }));
    };
    selectType();
    const size_t partShown = w.outline().selectedNodes().size();
    EXPECT_LE(partShown, OutlineRowSelection::kShownNodes);

    ContextMenuOutlineView& view = w.outline().outline();
    int told = 0;
    QObject::connect(&w.window().treeSelection(), &NodeSelection::changed, &view, [&] { ++told; });
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    const size_t shown = shownRows(w.outline());
    const std::vector<FileNode*> all = w.outline().selectedNodes();
    EXPECT_EQ(all.size(), shown);
    EXPECT_EQ(w.window().treeSelection().nodes(), NodeSet(all.begin(), all.end()));
    EXPECT_EQ(told, 1);

    selectType();
    const std::vector<FileNode*> again = w.outline().selectedNodes();
    EXPECT_LE(again.size(), OutlineRowSelection::kShownNodes);
    for (FileNode* n : again) EXPECT_FALSE(n->isDir()) << "a row of Select All left selected";
    EXPECT_EQ(w.window().treeSelection().nodes().size(), 100000);
}

// Ctrl+A over an opened outline of a hundred thousand files selects its group rows with the rest,
// more rows than the treemap outlines or the status line adds up on the spot: the window closed
// while that work still runs in the background leaves it reading rows that are still there.
TEST(WindowLimits, AWindowClosedWhileTheTreemapOutlinesSelectedGroupRowsLeavesThemAlive) {
    TempDir dir;
    writeWideExport(dir / "wide.csv", 100, 1000);
    Window w;
    ASSERT_TRUE(w.import(dir / "wide.csv"));
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return shownRows(w.outline()) > FileTreeOutlineView::kExpandAllRows / 2; }));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.treemapDrawn(); }));

    // The outlines are worked out on the pool: held until the window is gone.
    HeldPoolThreads held;
    ASSERT_TRUE(held.waitUntilHeld());
    ContextMenuOutlineView& view = w.outline().outline();
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    const NodeSet selected = w.window().treeSelection().nodes();
    ASSERT_GT(selected.size(), TreemapCanvasSelection::kOutlinedInPlace);
    ASSERT_TRUE(std::any_of(selected.begin(), selected.end(), [](const FileNode* n) { return n->isSyntheticGroup(); }));
    w.tree().refreshNow();
    ASSERT_EQ(w.tree().treemapCanvas()->model().overlays().selected.size(), 0u) << "outlined on the spot, not in the background";
    w.close();
    held.release();
    QThreadPool::globalInstance()->waitForDone();
}

}  // namespace
}  // namespace zelvane
