// A real window rescanning a real folder with Ctrl+R: the outline reopens the rows that were open,
// at every depth and in folders of many rows, selects the same rows again and scrolls the first of
// them into view as the selection did; what went from the disk between the scans is left out. A
// sort by a header click keeps the same rows selected and the same current row.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <ostream>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/RescanRestore.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

namespace zelvane {
namespace {

using fixtures::ShownWindow;
using fixtures::TempDir;
using fixtures::writeFile;
namespace fs = std::filesystem;

// What the outline shows: the paths of its open rows (a group row as "<folder> [files]") in
// shown order, the paths of its selected rows, and where it is scrolled.
struct Shown {
    std::vector<std::string> open;
    std::vector<std::string> selected;
    int scrolled = 0;
    bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& s, std::ostream* os) {
    *os << "open:";
    for (const std::string& p : s.open) *os << " " << p;
    *os << "; selected:";
    for (const std::string& p : s.selected) *os << " " << p;
    *os << "; scrolled to " << s.scrolled;
}

Shown shownBy(ShownWindow& w) {
    const FileTreeOutlineModel& model = w.outline().model();
    const ContextMenuOutlineView& view = w.outline().outline();
    Shown s;
    std::vector<QModelIndex> stack;
    for (int r = model.rowCount() - 1; r >= 0; --r) stack.push_back(model.index(r, 0));
    while (!stack.empty()) {
        const QModelIndex i = stack.back();
        stack.pop_back();
        if (!view.isExpanded(i)) continue;
        const FileNode* n = model.nodeAt(i);
        s.open.push_back(n->isSyntheticGroup() ? n->parent()->fullPath() + " [files]" : n->fullPath());
        for (int r = model.rowCount(i) - 1; r >= 0; --r) stack.push_back(model.index(r, 0, i));
    }
    for (const FileNode* n : w.outline().selectedNodes()) s.selected.push_back(n->fullPath());
    s.scrolled = view.verticalScrollBar()->value();
    return s;
}

void rescan(ShownWindow& w) {
    const std::vector<RootRef> before = w.window().scanControl().effectiveRoots();
    w.key(Qt::Key_R, Qt::ControlModifier);
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return w.finished() && !sameRootObjects(w.window().scanControl().effectiveRoots(), before) &&
               !w.window().scanControl().rescanRestore().isFinding();
    }));
    ASSERT_TRUE(w.waitUntilChangesShown());  // the outline takes what the restore found on its next update
}

void open(ShownWindow& w, FileNode* node) {
    FileTreeOutlineModel& model = w.outline().model();
    const QModelIndex i = model.indexForNode(node);
    ASSERT_TRUE(i.isValid()) << node->fullPath();
    w.outline().outline().expand(i);
}

// Expand All (Shift+F4), then Ctrl+A in the outline, which keeps the keyboard.
ContextMenuOutlineView& expandAllAndSelectAll(ShownWindow& w) {
    w.key(Qt::Key_F4, Qt::ShiftModifier);
    EXPECT_TRUE(w.waitUntilChangesShown());
    ContextMenuOutlineView& o = w.outline().outline();
    o.setFocus();
    QTest::keyClick(&o, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(w.waitUntilChangesShown());
    return o;
}

// A tree whose open rows sit at several depths and in folders of more rows than a glance reads:
// `wide` holds 90 folders, each with a subfolder and enough files to fold into a group row.
void makeTree(const TempDir& dir) {
    for (int k = 0; k < 90; ++k) {
        const fs::path folder = dir / "wide" / ("f" + std::to_string(100 + k));
        writeFile(folder / "inner/deeper/leaf.txt", 10 + k);
        for (int f = 0; f < 6; ++f) writeFile(folder / ("file" + std::to_string(f) + ".dat"), 100 * (k + 1) + f);
    }
    writeFile(dir / "deep/a/b/c/d/e/end.txt", 5000);
    writeFile(dir / "small/one.txt", 20);
}

TEST(WindowRescan, CtrlRReopensTheOpenRowsAndReselectsTheSameRowsAtTheSameScroll) {
    TempDir dir;
    makeTree(dir);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    const auto node = [&](const char* p) { return w.node(dir.path() / p); };
    // Open rows at each depth, some inside the wide folder, and two group rows.
    for (const char* p : {"wide", "wide/f120", "wide/f120/inner", "wide/f120/inner/deeper", "wide/f177", "wide/f177/inner",
                          "wide/f101", "deep", "deep/a", "deep/a/b", "deep/a/b/c", "deep/a/b/c/d", "deep/a/b/c/d/e"})
        open(w, node(p));
    FileTreeOutlineModel& model = w.outline().model();
    for (const char* p : {"wide/f120", "wide/f101"}) {
        const QModelIndex group = model.indexForNode(model.syntheticGroupOf(node(p)));
        ASSERT_TRUE(group.isValid());
        w.outline().outline().expand(group);
    }
    // Files and folders selected far down, so the outline scrolls to them.
    w.window().treeSelection().set(NodeSet{node("wide/f120/inner"), node("wide/f120/file3.dat"), node("wide/f105"),
                                    node("deep/a/b/c/d/e/end.txt")});
    ASSERT_TRUE(w.waitUntilChangesShown());
    const Shown before = shownBy(w);
    ASSERT_EQ(before.open.size(), 16u) << "the root, 13 folders and 2 groups";
    ASSERT_EQ(before.selected.size(), 4u);
    ASSERT_GT(before.scrolled, 0) << "the selection lies below the first screen";

    rescan(w);
    EXPECT_EQ(shownBy(w), before);

    // Sorted by another column, the same rows are found where they now stand. The restore scrolls
    // the first selected row into view from the top, as the selection did before.
    w.outline().sortBy(OutlineSortKey::name, true);
    w.outline().outline().verticalScrollBar()->setValue(0);
    w.window().treeSelection().set(NodeSet{node("wide/f101/file2.dat"), node("wide/f189")});
    ASSERT_TRUE(w.waitUntilChangesShown());
    const Shown sorted = shownBy(w);
    ASSERT_EQ(sorted.selected, (std::vector<std::string>{node("wide/f101/file2.dat")->fullPath(),
                                                         node("wide/f189")->fullPath()}));
    rescan(w);
    EXPECT_EQ(shownBy(w), sorted);

    // A folder closed over open rows: those rows are not shown open and are not opened again.
    w.outline().outline().collapse(w.outline().model().indexForNode(node("deep/a/b")));
    ASSERT_TRUE(w.outline().isNodeExpanded(node("deep/a/b/c")));
    rescan(w);
    EXPECT_TRUE(w.outline().isNodeExpanded(node("deep/a")));
    EXPECT_FALSE(w.outline().isNodeExpanded(node("deep/a/b")));
    EXPECT_FALSE(w.outline().isNodeExpanded(node("deep/a/b/c")));
}

TEST(WindowRescan, AnOpenFolderRenamedOrRemovedBetweenScansIsLeftOutAndTheRestComesBack) {
    TempDir dir;
    makeTree(dir);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    const auto node = [&](const char* p) { return w.node(dir.path() / p); };
    for (const char* p : {"wide", "wide/f130", "wide/f130/inner", "wide/f140", "wide/f140/inner", "wide/f150", "deep", "deep/a"})
        open(w, node(p));
    w.window().treeSelection().set(NodeSet{node("wide/f130/inner/deeper"), node("wide/f140/file1.dat"), node("wide/f150/file0.dat")});
    ASSERT_TRUE(w.waitUntilChangesShown());
    const Shown before = shownBy(w);
    ASSERT_EQ(before.open.size(), 11u) << "the root, 8 folders and the groups of the selected files";

    // f130 is renamed (its new name was never open), f140 removed; f150 and the rest stay.
    fs::rename(dir / "wide/f130", dir / "wide/g130");
    fs::remove_all(dir / "wide/f140");
    rescan(w);
    Shown after = shownBy(w);
    std::sort(after.open.begin(), after.open.end());
    const std::string root = w.root()->fullPath();
    EXPECT_EQ(after.open, (std::vector<std::string>{root, root + "/deep", root + "/deep/a", root + "/wide", root + "/wide/f150",
                                                    root + "/wide/f150 [files]"}));
    EXPECT_EQ(after.selected, (std::vector<std::string>{root + "/wide/f150/file0.dat"}));
    EXPECT_FALSE(w.outline().outline().isExpanded(w.outline().model().indexForNode(node("wide/g130"))));
}

TEST(WindowRescan, ASelectionOfTensOfThousandsOfFilesComesBackWhole) {
    TempDir dir;
    // More files than the window names on the spot: their paths are made in the background.
    const int files = int(RescanRestore::kSelectedPathsMadeInPlace) + 500;
    for (int k = 0; k < files; ++k) writeFile(dir / ("d" + std::to_string(k / 200)) / ("f" + std::to_string(k) + ".txt"), 1 + k % 7);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    NodeSet all;
    for (FileNode* folder : w.root()->children())
        for (FileNode* f : folder->children()) all.insert(f);
    ASSERT_EQ(all.size(), files);
    const auto paths = [](const NodeSet& nodes) {
        std::vector<std::string> out;
        for (const FileNode* n : nodes) out.push_back(n->fullPath());
        std::sort(out.begin(), out.end());
        return out;
    };
    w.window().treeSelection().set(all);
    const std::vector<std::string> before = paths(all);

    rescan(w);
    EXPECT_EQ(paths(w.window().treeSelection().nodes()), before);
}

// More open folders than the window names on the spot, every shown row selected (Expand All,
// Ctrl+A): their paths are made in the background, and after Ctrl+R the same rows are open and the
// same nodes selected; the outline's group rows are its own and are not carried over.
TEST(WindowRescan, ThousandsOfOpenFoldersWithEveryRowSelectedComeBackWhole) {
    TempDir dir;
    const int folders = int(RescanRestore::kOpenPathsMadeInPlace) + 100;
    for (int k = 0; k < folders; ++k) {
        const fs::path folder = dir / ("g" + std::to_string(k / 40)) / ("d" + std::to_string(k));
        writeFile(folder / "a.txt", 10 + k);
        writeFile(folder / "sub/b.bin", 20 + k);
    }
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    expandAllAndSelectAll(w);
    // The window's selection (the outline shows only the first few thousand rows of a larger one).
    const auto selectedPaths = [&] {
        std::vector<std::string> out;
        for (const FileNode* n : w.window().treeSelection().nodes())
            if (!n->isSyntheticGroup()) out.push_back(n->fullPath());
        std::sort(out.begin(), out.end());
        return out;
    };
    const Shown before = shownBy(w);
    const std::vector<std::string> selectedBefore = selectedPaths();
    ASSERT_GT(before.open.size(), size_t(2 * folders)) << "every folder and its subfolder open";
    ASSERT_GT(selectedBefore.size(), size_t(3 * folders));

    rescan(w);
    EXPECT_EQ(shownBy(w).open, before.open);
    EXPECT_EQ(selectedPaths(), selectedBefore);
}

// The status line's text, once it settled.
QString summary(ShownWindow& w) { return w.window().contentView()->statusBar()->summaryLabel()->text(); }
bool waitFor(const std::function<bool()>& done) { return pumpWidgetsUntil(done, 20000); }

// The paths of the outline's selected rows, a group row as "<folder> [files]", sorted.
// The selected rows' paths in row order (a group row as "<folder> [files]").
std::vector<std::string> selectedInRowOrder(ShownWindow& w) {
    std::vector<std::string> out;
    for (const FileNode* n : w.outline().selectedNodes())
        out.push_back(n->isSyntheticGroup() ? n->parent()->fullPath() + " [files]" : n->fullPath());
    return out;
}

std::vector<std::string> selectedRowPaths(ShownWindow& w) {
    std::vector<std::string> out = selectedInRowOrder(w);
    std::sort(out.begin(), out.end());
    return out;
}

// Calls `visit` with every row the outline shows, top to bottom, walked down through the open rows.
void forEachShownRow(ShownWindow& w, const std::function<void(const QModelIndex&)>& visit) {
    const FileTreeOutlineModel& model = w.outline().model();
    ContextMenuOutlineView& view = w.outline().outline();
    std::vector<QModelIndex> stack;
    for (int r = model.rowCount() - 1; r >= 0; --r) stack.push_back(model.index(r, 0));
    while (!stack.empty()) {
        const QModelIndex i = stack.back();
        stack.pop_back();
        visit(i);
        if (view.isExpanded(i))
            for (int r = model.rowCount(i) - 1; r >= 0; --r) stack.push_back(model.index(r, 0, i));
    }
}

// Every row the outline shows is selected.
bool everyShownRowSelected(ShownWindow& w, size_t& shown) {
    shown = 0;
    bool all = true;
    forEachShownRow(w, [&](const QModelIndex& i) {
        ++shown;
        all = all && w.outline().outline().selectionModel()->isSelected(i);
    });
    return all;
}

// Expand All and Ctrl+A, then Ctrl+R: the same rows come back selected, the group rows of files
// included, and the status line says the same. A group row selected alone comes back as well,
// with its files counted. Ctrl+A over the restored rows then selects every row shown.
TEST(WindowRescan, SelectedGroupRowsComeBackAndCtrlASelectsTheWholeOutlineAfterwards) {
    TempDir dir;
    makeTree(dir);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    ContextMenuOutlineView& o = expandAllAndSelectAll(w);
    const std::vector<std::string> before = selectedRowPaths(w);
    ASSERT_TRUE(waitFor([&] { return summary(w).startsWith("Selected Files: "); }));
    const QString summaryBefore = summary(w);
    const std::string root = w.root()->fullPath();
    ASSERT_TRUE(std::count(before.begin(), before.end(), root + "/wide/f130 [files]") == 1) << "the group rows are selected";

    rescan(w);
    EXPECT_EQ(selectedRowPaths(w), before);
    EXPECT_TRUE(waitFor([&] { return summary(w) == summaryBefore; })) << summary(w).toStdString();

    // Some rows deselected: Ctrl+A selects every shown row again.
    o.selectionModel()->select(w.outline().model().indexForNode(w.node(dir.path() / "wide/f140")),
                               QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    rescan(w);
    QTest::keyClick(&o, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(w.waitUntilChangesShown());
    size_t shown = 0;
    EXPECT_TRUE(everyShownRowSelected(w, shown));
    EXPECT_EQ(selectedRowPaths(w).size(), shown);
    EXPECT_EQ(size_t(w.window().treeSelection().nodes().size()), shown);

    // A group row alone: its six files are the status line's.
    FileNode* group = w.outline().model().syntheticGroupOf(w.node(dir.path() / "wide/f150"));
    ASSERT_TRUE(group);
    w.window().treeSelection().set(NodeSet{group});
    ASSERT_TRUE(waitFor([&] { return summary(w).startsWith("Selected Files: 6 "); })) << summary(w).toStdString();
    const QString groupSummary = summary(w);
    rescan(w);
    EXPECT_EQ(selectedRowPaths(w), std::vector<std::string>{root + "/wide/f150 [files]"});
    EXPECT_TRUE(waitFor([&] { return summary(w) == groupSummary; })) << summary(w).toStdString();
}

// The rows shown, top to bottom, as paths (a group row as "<folder> [files]").
std::vector<std::string> shownRowPaths(ShownWindow& w) {
    std::vector<std::string> out;
    forEachShownRow(w, [&](const QModelIndex& i) {
        const FileNode* n = w.outline().model().nodeAt(i);
        out.push_back(n->isSyntheticGroup() ? n->parent()->fullPath() + " [files]" : n->fullPath());
    });
    return out;
}

// Ctrl+A selects the rows shown and nothing else: folders left open inside a folded one (their
// rows hidden, though still open once it unfolds) bring none of their rows, and the selection,
// read back top to bottom, is the outline's rows in their order, the window's as a set. The same
// once the folded folder opens, and after Ctrl+R has reopened the rows and selected them again.
TEST(WindowRescan, CtrlASelectsTheRowsShownInTheirOrderAndNoneInsideAFoldedFolder) {
    TempDir dir;
    makeTree(dir);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    const auto node = [&](const char* p) { return w.node(dir.path() / p); };
    for (const char* p : {"wide", "wide/f120", "wide/f120/inner", "deep", "deep/a", "deep/a/b", "deep/a/b/c"}) open(w, node(p));
    FileTreeOutlineModel& model = w.outline().model();
    ContextMenuOutlineView& o = w.outline().outline();
    o.expand(model.indexForNode(model.syntheticGroupOf(node("wide/f120"))));
    o.collapse(model.indexForNode(node("deep/a")));
    ASSERT_TRUE(o.isExpanded(model.indexForNode(node("deep/a/b"))));

    const std::string root = w.root()->fullPath();
    // `folded`: whether deep/a is folded (none: whatever the restore opened).
    const auto selectAllMatchesTheRowsShown = [&](std::optional<bool> folded) {
        o.setFocus();
        QTest::keyClick(&o, Qt::Key_A, Qt::ControlModifier);
        ASSERT_TRUE(w.waitUntilChangesShown());
        const std::vector<std::string> shown = shownRowPaths(w);
        const std::vector<std::string> selected = selectedInRowOrder(w);
        EXPECT_EQ(selected, shown);
        if (folded) {
            EXPECT_EQ(std::count(selected.begin(), selected.end(), root + "/deep/a/b"), *folded ? 0 : 1);
            EXPECT_EQ(std::count(selected.begin(), selected.end(), root + "/deep/a/b/c/d"), *folded ? 0 : 1);
        }
        EXPECT_EQ(std::count(selected.begin(), selected.end(), root + "/wide/f120/inner/deeper"), 1);
        EXPECT_EQ(std::count(selected.begin(), selected.end(), root + "/wide/f120/file3.dat"), 1);
        EXPECT_EQ(size_t(w.window().treeSelection().nodes().size()), shown.size());
    };
    selectAllMatchesTheRowsShown(true);
    o.expand(model.indexForNode(node("deep/a")));
    ASSERT_TRUE(w.waitUntilChangesShown());
    selectAllMatchesTheRowsShown(false);
    o.collapse(model.indexForNode(node("deep/a")));
    ASSERT_TRUE(w.waitUntilChangesShown());
    // The rows inside it selected before stay selected, and the restore opens their folders.
    rescan(w);
    ASSERT_TRUE(o.isExpanded(model.indexForNode(node("wide/f120/inner"))));
    selectAllMatchesTheRowsShown(std::nullopt);
}

// Expand All, Ctrl+A, then header clicks: after each sort the same nodes are selected, the current
// row is the same node, and the window hears of no change of selection. The same with only some
// rows of a few folders selected.
TEST(WindowOutlineSort, AHeaderClickKeepsTheSelectedNodesAndTheCurrentRow) {
    TempDir dir;
    makeTree(dir);
    ShownWindow w;
    ASSERT_TRUE(w.scan(dir.path()));
    const auto node = [&](const char* p) { return w.node(dir.path() / p); };
    w.key(Qt::Key_F4, Qt::ShiftModifier);  // Expand All
    ASSERT_TRUE(w.waitUntilChangesShown());
    FileTreeOutlineModel& model = w.outline().model();
    ContextMenuOutlineView& o = w.outline().outline();
    FileNode* current = node("wide/f150/file2.dat");
    ASSERT_TRUE(model.existingIndexForNode(current).isValid()) << "Expand All opened the group rows";
    o.setFocus();
    QTest::keyClick(&o, Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(w.waitUntilChangesShown());
    o.selectionModel()->setCurrentIndex(model.indexForNode(current), QItemSelectionModel::NoUpdate);
    int reported = 0;
    QObject::connect(&w.window().treeSelection(), &NodeSelection::changed, &o, [&] { ++reported; });

    const auto sortsKeepingTheSelection = [&](const NodeSet& selected) {
        for (int column : {FileTreeOutlineModel::nameColumn, FileTreeOutlineModel::sizeColumn, FileTreeOutlineModel::sizeColumn,
                           FileTreeOutlineModel::modifiedColumn}) {
            emit o.header()->sectionClicked(column);
            const std::vector<FileNode*> now = w.outline().selectedNodes();
            EXPECT_EQ(now.size(), size_t(selected.size())) << "column " << column;
            EXPECT_EQ(NodeSet(now.begin(), now.end()), selected) << "column " << column;
            EXPECT_EQ(model.nodeAt(o.currentIndex()), current) << "column " << column;
        }
        ASSERT_TRUE(w.waitUntilChangesShown());
        EXPECT_EQ(reported, 0);
        EXPECT_EQ(w.window().treeSelection().nodes(), selected);
    };
    const NodeSet all = w.window().treeSelection().nodes();
    ASSERT_GT(all.size(), 800) << "every row shown";
    sortsKeepingTheSelection(all);

    // Some rows here and there: a folder among its siblings, files inside a group row, a deep one.
    const NodeSet some{node("wide/f120"), node("wide/f121"), node("wide/f160"), node("wide/f101/file2.dat"),
                       node("wide/f101/file4.dat"), node("deep/a/b/c/d/e/end.txt"), node("small")};
    w.window().treeSelection().set(some);
    ASSERT_TRUE(w.waitUntilChangesShown());
    ASSERT_EQ(w.outline().selectedNodes().size(), size_t(some.size()));
    o.selectionModel()->setCurrentIndex(model.indexForNode(current), QItemSelectionModel::NoUpdate);
    reported = 0;
    sortsKeepingTheSelection(some);
}

}  // namespace
}  // namespace zelvane
