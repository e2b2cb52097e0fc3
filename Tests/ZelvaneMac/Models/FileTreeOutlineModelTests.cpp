#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QUrl>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <set>
#include <string>
#include <vector>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

// Counts the complaints of QAbstractItemModelTester (it reports through qWarning).
class TesterWarnings final {
public:
    TesterWarnings() { count() = 0, previous_ = qInstallMessageHandler(&TesterWarnings::handle); }
    ~TesterWarnings() { qInstallMessageHandler(previous_); }
    static int& count() {
        static int n = 0;
        return n;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type != QtDebugMsg && type != QtInfoMsg) {
            ++count();
            ADD_FAILURE() << msg.toStdString();
        }
    }
    QtMessageHandler previous_ = nullptr;
};

// root/a holds ten folders f0..f9 (folder fi holds one file of i * 1000 bytes) and five loose
// files x0..x4 of 1000 bytes each, so with groups of 4 the group totals 5000 bytes, like f5.
struct SampleTree {
    TempDir dir;
    RootRef root;
    FileNode* a = nullptr;
    SampleTree() {
        for (int i = 0; i < 10; ++i) writeFile(dir / ("a/f" + std::to_string(i) + "/data"), i * 1000);
        for (int i = 0; i < 5; ++i) writeFile(dir / ("a/x" + std::to_string(i)), 1000);
        writeFile(dir / "top.txt", 10);
        root = fixtures::loadTreeFromDisk(dir.path());
        for (FileNode* k : root->children())
            if (k->name() == "a") a = k;
    }
    FileNode* child(FileNode* folder, const std::string& name) const {
        for (FileNode* k : folder->children())
            if (k->name() == name) return k;
        return nullptr;
    }
};

FileTreeOutlineInputs inputsFor(FileNode* root, int groupSize = 4) {
    FileTreeOutlineInputs in;
    in.roots = {root};
    in.display.fileGroupMinSize = groupSize;
    return in;
}

std::vector<std::string> rowNames(FileTreeOutlineModel& m, const QModelIndex& parent) {
    std::vector<std::string> out;
    for (int r = 0; r < m.rowCount(parent); ++r) {
        FileNode* n = m.nodeAt(m.index(r, 0, parent));
        out.push_back(n->isSyntheticGroup() ? "<group>" : n->name());
    }
    return out;
}

void walkAll(QAbstractItemModel& m, const QModelIndex& parent = {}) {
    for (int r = 0; r < m.rowCount(parent); ++r) {
        const QModelIndex i = m.index(r, 0, parent);
        for (int c = 0; c < m.columnCount(parent); ++c) m.data(m.index(r, c, parent));
        walkAll(m, i);
    }
}

TEST(FileTreeOutlineModel, PassesTheModelTesterThroughLoadsSortsRegroupingAndLiveChanges) {
    qtWidgetApp();
    SampleTree t;
    TesterWarnings warnings;
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    FileTreeOutlineInputs in = inputsFor(t.root.get());
    model.update(in);
    walkAll(model);
    for (const OutlineSortKey key : {OutlineSortKey::name, OutlineSortKey::size, OutlineSortKey::items,
                                     OutlineSortKey::modified, OutlineSortKey::attributes, OutlineSortKey::percent}) {
        model.setSort(key, true);
        walkAll(model);
        model.setSort(key, false);
    }
    in.display.fileGroupMinSize = 2;
    model.update(in);
    walkAll(model);
    FileNode* f3 = t.child(t.a, "f3");
    f3->flagDeletedRecursively();
    f3->subtractContributionFromAncestors();
    in.monitorRevision = 1;
    in.monitorDirtyNodes = {f3, t.a, t.root.get()};
    model.update(in);
    walkAll(model);
    in.roots = {};
    model.update(in);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(TesterWarnings::count(), 0);
}

TEST(FileTreeOutlineModel, SortsStablyWithGroupRowsLastByNameAscendingAndFirstDescending) {
    qtWidgetApp();
    SampleTree t;
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    model.update(inputsFor(t.root.get()));
    const QPersistentModelIndex a = model.indexForNode(t.a);
    ASSERT_TRUE(a.isValid());

    model.setSort(OutlineSortKey::name, true);
    EXPECT_EQ(rowNames(model, a), (std::vector<std::string>{"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7", "f8", "f9", "<group>"}));
    model.setSort(OutlineSortKey::name, false);
    EXPECT_EQ(rowNames(model, a), (std::vector<std::string>{"<group>", "f9", "f8", "f7", "f6", "f5", "f4", "f3", "f2", "f1", "f0"}));

    // The group (5000 bytes) ties with f5 and keeps its place after it in both directions.
    model.setSort(OutlineSortKey::size, false);
    EXPECT_EQ(rowNames(model, a), (std::vector<std::string>{"f9", "f8", "f7", "f6", "f5", "<group>", "f4", "f3", "f2", "f1", "f0"}));
    model.setSort(OutlineSortKey::size, true);
    EXPECT_EQ(rowNames(model, a), (std::vector<std::string>{"f0", "f1", "f2", "f3", "f4", "f5", "<group>", "f6", "f7", "f8", "f9"}));

    // Under "files" each folder counts 1 file and the group 5; the folders keep their order.
    model.setSort(OutlineSortKey::files, false);
    EXPECT_EQ(rowNames(model, a).front(), "<group>");
    // Files count as 0 items: inside the group every row ties and the stored order stands.
    model.setSort(OutlineSortKey::items, false);
    const QModelIndex group = model.indexForNode(model.syntheticGroupOf(t.a));
    EXPECT_EQ(rowNames(model, group), (std::vector<std::string>{"x0", "x1", "x2", "x3", "x4"}));

    // The percent column and unknown keys order by allocated size.
    model.setSort(OutlineSortKey::percent, false);
    std::vector<std::string> byPercent = rowNames(model, a);
    model.setSort(OutlineSortKey::allocated, false);
    EXPECT_EQ(rowNames(model, a), byPercent);
    EXPECT_TRUE(model.data(model.index(0, FileTreeOutlineModel::allocatedColumn, a), ResultTableRole::sortedColumn).toBool());

    // Each folder's row, told from what the folder knows of its place, follows every sort.
    for (OutlineSortKey key : {OutlineSortKey::name, OutlineSortKey::size, OutlineSortKey::files}) {
        for (bool ascending : {true, false}) {
            model.setSort(key, ascending);
            for (int r = 0; r < model.rowCount(a); ++r) {
                const QModelIndex row = model.index(r, 0, a);
                model.rowCount(row);  // its rows made
                EXPECT_EQ(model.existingIndexForNode(model.nodeAt(row)), row) << r;
            }
        }
    }
}

TEST(FileTreeOutlineModel, NamesEqualButForCaseKeepTheirStoredOrderInBothDirections) {
    qtWidgetApp();
    TempDir dir;
    writeFile(dir / "Apple", 1);
    writeFile(dir / "apple", 2);
    writeFile(dir / "Banana", 3);
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    model.update(inputsFor(root.get(), 0));
    const QModelIndex r = model.index(0, 0);
    model.setSort(OutlineSortKey::name, true);
    EXPECT_EQ(rowNames(model, r), (std::vector<std::string>{"Apple", "apple", "Banana"}));
    model.setSort(OutlineSortKey::name, false);
    EXPECT_EQ(rowNames(model, r), (std::vector<std::string>{"Banana", "Apple", "apple"}));
}

// Views keep a persistent index per open row in a hash table keyed by Qt's hash of the index,
// (row << 4) + column + internal id. Ids that were neighbouring addresses gave the rows of
// neighbouring folders the same few hash values, and folding a large opened tree took minutes.
TEST(FileTreeOutlineModel, RowsOfNeighbouringFoldersHashApart) {
    qtWidgetApp();
    TempDir dir;
    for (int f = 0; f < 40; ++f)
        for (int k = 0; k < 150; ++k) writeFile(dir / ("d" + std::to_string(f) + "/file" + std::to_string(k)), 1);
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    model.update(inputsFor(root.get(), 0));
    const QModelIndex top = model.index(0, 0);
    ASSERT_EQ(model.rowCount(top), 40);
    std::set<size_t> hashes;
    size_t rows = 0;
    for (int f = 0; f < model.rowCount(top); ++f) {
        const QModelIndex folder = model.index(f, 0, top);
        ASSERT_EQ(model.rowCount(folder), 150);
        for (int r = 0; r < model.rowCount(folder); ++r, ++rows) {
            const QModelIndex row = model.index(r, 0, folder);
            ASSERT_EQ(model.parent(row), folder);
            hashes.insert(qHash(row, 0));
        }
    }
    EXPECT_GE(hashes.size(), rows - rows / 100) << rows << " rows";
}

TEST(FileTreeOutlineModel, SelectionFindsFilesInsideGroupsAndLeavesRetiredGroupsOut) {
    qtWidgetApp();
    SampleTree t;
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    FileTreeOutlineInputs in = inputsFor(t.root.get());
    model.update(in);
    FileNode* x2 = t.child(t.a, "x2");
    const QModelIndex i = model.indexForNode(x2);
    ASSERT_TRUE(i.isValid());
    EXPECT_EQ(model.nodeAt(i), x2);
    FileNode* group = model.nodeAt(i.parent());
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->isSyntheticGroup());
    EXPECT_EQ(model.nodeAt(i.parent().parent()), t.a);
    EXPECT_EQ(model.syntheticGroupOf(t.a), group);
    EXPECT_EQ(model.indexForNode(group), i.parent());

    // Group rows stand for their files in file actions; duplicates collapse.
    std::vector<FileNode*> targets = model.nodesForActions({group, x2, t.child(t.a, "f1")});
    ASSERT_EQ(targets.size(), 6u);
    EXPECT_EQ(targets.back(), t.child(t.a, "f1"));
    for (FileNode* n : targets) EXPECT_FALSE(n->isSyntheticGroup());

    // Regrouping makes new group nodes; the old one is recognised without being found or acted on.
    in.display.fileGroupMinSize = 3;
    model.update(in);
    EXPECT_TRUE(model.isRetiredGroup(group));
    EXPECT_FALSE(model.indexForNode(group).isValid());
    EXPECT_EQ(model.nodesForActions({group}), std::vector<FileNode*>{});
    EXPECT_NE(model.syntheticGroupOf(t.a), group);
    EXPECT_TRUE(model.indexForNode(x2).isValid());
    // Something not in the tree is not found.
    SampleTree other;
    EXPECT_FALSE(model.indexForNode(other.a).isValid());
}

TEST(FileTreeOutlineModel, RowsToExpandAreFoldersThenTheGroupRowsOfFoldersInTheTree) {
    qtWidgetApp();
    SampleTree t;
    FileTreeOutlineInputs in = inputsFor(t.root.get());
    FileTreeOutlineModel model(in);
    OutlineUpdateActions first = model.update(in);
    EXPECT_TRUE(first.rootsChanged);
    EXPECT_TRUE(first.expandSingleRoot);

    SampleTree other;
    const std::vector<QModelIndex> rows = model.indexesToExpand({t.a, other.a}, {t.a, other.a});
    ASSERT_EQ(rows.size(), 2u) << "nodes of another tree are left out";
    EXPECT_EQ(model.nodeAt(rows[0]), t.a);
    EXPECT_TRUE(model.nodeAt(rows[1])->isSyntheticGroup());
    // Same roots by identity: nothing reloads.
    EXPECT_FALSE(model.update(in).reloaded);
}

// Expand All within a number of rows: the rows open from the top in the order they are shown,
// parents first; a row whose rows no longer fit stays closed and later smaller ones still open.
TEST(FileTreeOutlineModel, ExpandAllOpensRowsInShownOrderWhileTheirRowsFit) {
    qtWidgetApp();
    SampleTree t;
    FileTreeOutlineInputs in = inputsFor(t.root.get());
    FileTreeOutlineModel model(in);
    model.setSort(OutlineSortKey::size, false);
    model.update(in);
    const auto names = [&](const FileTreeOutlineModel::RowsToExpand& expand) {
        std::vector<std::string> out;
        for (const QModelIndex& i : expand.rows) out.push_back(model.nodeAt(i)->isSyntheticGroup() ? "<group>" : model.nodeAt(i)->name());
        return out;
    };
    const std::string rootName = t.root->name();
    // Everything fits: every folder and the group, in the order the rows are shown (largest first;
    // f5 and the group are as large and keep the stored order, f0 holds an empty file).
    EXPECT_EQ(names(model.rowsToExpandAll(1000)),
              (std::vector<std::string>{rootName, "a", "f9", "f8", "f7", "f6", "f5", "<group>", "f4", "f3", "f2", "f1", "f0"}));
    // The root's row, its two rows and a's eleven leave six: the group's five do not fit after
    // five folders of one row each, the next folder's row does.
    EXPECT_EQ(names(model.rowsToExpandAll(20)),
              (std::vector<std::string>{rootName, "a", "f9", "f8", "f7", "f6", "f5", "f4"}));
    // Not even a's rows fit: the root alone.
    EXPECT_EQ(names(model.rowsToExpandAll(10)), std::vector<std::string>{rootName});
    EXPECT_TRUE(model.rowsToExpandAll(1).rows.empty());
    // Whether a row stayed closed for want of room.
    EXPECT_FALSE(model.rowsToExpandAll(1000).leftClosed);
    EXPECT_TRUE(model.rowsToExpandAll(20).leftClosed);
    EXPECT_TRUE(model.rowsToExpandAll(10).leftClosed);
    EXPECT_TRUE(model.rowsToExpandAll(1).leftClosed);
}

TEST(FileTreeOutlineModel, LiveDeletionsUpdateTheirRowsWithoutAResetAndSortsKeepPersistentRows) {
    qtWidgetApp();
    SampleTree t;
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    FileTreeOutlineInputs in = inputsFor(t.root.get());
    model.update(in);
    model.setSort(OutlineSortKey::name, true);
    FileNode* f3 = t.child(t.a, "f3");
    FileNode* f7 = t.child(t.a, "f7");
    const QPersistentModelIndex held = model.indexForNode(f3);
    const QModelIndex f3Data = model.index(0, 0, held);  // f3's rows are shown too

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    const int64_t before = t.a->effectiveSize();
    f3->flagDeletedRecursively();
    f3->subtractContributionFromAncestors();
    f7->flagDeletedRecursively();
    f7->subtractContributionFromAncestors();
    in.monitorRevision = 7;
    in.monitorDirtyNodes = {f3, f7, t.a, t.root.get()};
    model.update(in);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(t.a->effectiveSize(), before - 10000);
    bool coversF3 = false, coversF7 = false, coversF3Child = false;
    for (const auto& args : changes) {
        const QModelIndex tl = args[0].toModelIndex(), br = args[1].toModelIndex();
        if (tl.parent() == held.parent() && tl.row() <= held.row() && br.row() >= held.row()) coversF3 = true;
        const QModelIndex f7i = model.indexForNode(f7);
        if (tl.parent() == f7i.parent() && tl.row() <= f7i.row() && br.row() >= f7i.row()) coversF7 = true;
        if (tl.parent() == f3Data.parent() && tl.row() == 0) coversF3Child = true;
    }
    EXPECT_TRUE(coversF3 && coversF7 && coversF3Child);
    const QModelIndex pct = model.index(held.row(), FileTreeOutlineModel::percentColumn, held.parent());
    EXPECT_EQ(model.data(pct).toString(), "0.0%");
    EXPECT_EQ(TextTone(model.data(pct, ResultTableRole::textTone).toInt()), TextTone::deleted);

    model.setSort(OutlineSortKey::size, false);
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(model.nodeAt(held), f3);
    EXPECT_EQ(model.nodeAt(held.parent()), t.a);
}

// The group row sums its files when it is made; a file of it deleted on disk takes its share
// out of the group's row as it does out of the folder's.
TEST(FileTreeOutlineModel, ALiveDeletionInsideAGroupUpdatesTheGroupsTotals) {
    qtWidgetApp();
    SampleTree t;
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    FileTreeOutlineInputs in = inputsFor(t.root.get());
    model.update(in);
    FileNode* group = model.syntheticGroupOf(t.a);
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->subFolderTotSize(), 5000);
    const QModelIndex groupRow = model.indexForNode(group);
    ASSERT_TRUE(groupRow.isValid());

    QSignalSpy changes(&model, &QAbstractItemModel::dataChanged);
    FileNode* x1 = t.child(t.a, "x1");
    x1->flagDeletedRecursively();
    x1->subtractContributionFromAncestors();
    in.monitorRevision = 3;
    in.monitorDirtyNodes = {x1, t.a, t.root.get()};
    model.update(in);
    EXPECT_EQ(group->subFolderTotSize(), 4000);
    EXPECT_EQ(group->subFolderFileCount(), 4);
    EXPECT_EQ(t.a->subFolderTotSize(), 45000 + 4000);
    bool coversGroup = false;
    for (const auto& args : changes) {
        const QModelIndex tl = args[0].toModelIndex(), br = args[1].toModelIndex();
        if (tl.parent() == groupRow.parent() && tl.row() <= groupRow.row() && br.row() >= groupRow.row())
            coversGroup = true;
    }
    EXPECT_TRUE(coversGroup) << "the group's row is redrawn";

    // Seen again (another batch naming the same folder), the totals stay where they are.
    in.monitorRevision = 4;
    model.update(in);
    EXPECT_EQ(group->subFolderTotSize(), 4000);

    // Too many changes to list: every group row sums its files again and every row is redrawn.
    QSignalSpy relaid(&model, &QAbstractItemModel::layoutChanged);
    FileNode* x2 = t.child(t.a, "x2");
    x2->flagDeletedRecursively();
    x2->subtractContributionFromAncestors();
    in.monitorRevision = 5;
    in.monitorDirtyNodes.clear();
    in.monitorChangedMany = true;
    model.update(in);
    EXPECT_EQ(group->subFolderTotSize(), 3000);
    EXPECT_EQ(group->subFolderFileCount(), 3);
    EXPECT_EQ(relaid.size(), 1);
}

TEST(FileTreeOutlineModel, CellsShowRootLabelsPercentagesCountsAndHardLinksInParentheses) {
    qtWidgetApp();
    TempDir dir;
    writeFile(dir / "a/one", 4096);
    ASSERT_EQ(::link((dir / "a/one").c_str(), (dir / "a/two").c_str()), 0);
    writeFile(dir / "empty/.keep", 0);
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    FileTreeOutlineModel model(FileTreeOutlineInputs{});
    FileTreeOutlineInputs in = inputsFor(root.get(), 0);
    in.rootLabels = {QStringLiteral("My Root (Disk)")};
    model.update(in);
    const QModelIndex r = model.index(0, 0);
    EXPECT_EQ(model.data(r).toString(), "My Root (Disk)");
    // A new label for the same root (its volume renamed) shows without the rows made anew.
    in.rootLabels = {QStringLiteral("My Root (Renamed)")};
    EXPECT_FALSE(model.update(in).reloaded);
    EXPECT_EQ(model.data(r).toString(), "My Root (Renamed)");
    EXPECT_EQ(model.data(r.siblingAtColumn(FileTreeOutlineModel::percentColumn)).toString(), "100.0%");
    EXPECT_DOUBLE_EQ(model.data(r.siblingAtColumn(FileTreeOutlineModel::percentColumn), ResultTableRole::barFraction).toDouble(), 1.0);
    model.setSort(OutlineSortKey::name, true);
    const QModelIndex a = model.index(0, 0, r);
    ASSERT_EQ(model.nodeAt(a)->name(), "a");
    EXPECT_DOUBLE_EQ(model.data(a.siblingAtColumn(FileTreeOutlineModel::percentColumn), ResultTableRole::barFraction).toDouble(), 0.9);
    const QModelIndex two = model.index(1, 0, a);
    ASSERT_EQ(model.nodeAt(two)->name(), "two");
    const QString alloc = model.data(two.siblingAtColumn(FileTreeOutlineModel::allocatedColumn)).toString();
    EXPECT_TRUE(alloc.startsWith('(') && alloc.endsWith(')')) << alloc.toStdString();
    EXPECT_EQ(TextTone(model.data(two.siblingAtColumn(FileTreeOutlineModel::allocatedColumn), ResultTableRole::textTone).toInt()),
              TextTone::secondary);
    EXPECT_EQ(model.data(two.siblingAtColumn(FileTreeOutlineModel::itemsColumn)).toString(), "");
    EXPECT_EQ(model.data(a.siblingAtColumn(FileTreeOutlineModel::filesColumn)).toString(), "2");
    // A file in a folder whose total is 0 has a share of 0.
    const QModelIndex empty = model.index(1, 0, r);
    const QModelIndex keep = model.index(0, 0, empty);
    EXPECT_EQ(model.data(keep.siblingAtColumn(FileTreeOutlineModel::percentColumn)).toString(), "0.0%");
    EXPECT_EQ(model.data(empty.siblingAtColumn(FileTreeOutlineModel::foldersColumn)).toString(), "0");
    // Drags carry file URLs of real rows only.
    std::unique_ptr<QMimeData> mime(model.mimeData({two}));
    ASSERT_TRUE(mime);
    EXPECT_EQ(mime->urls().value(0).toLocalFile().toStdString(), (dir / "a/two").string());
}

}  // namespace
}  // namespace zelvane
