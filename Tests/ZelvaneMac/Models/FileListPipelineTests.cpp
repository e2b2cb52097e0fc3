// Runs under ThreadSanitizer too: the background stages read the tree while the GUI thread
// renames nodes, reassigns duplicate groups and marks nodes deleted.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QTest>
#include <QThreadPool>
#include <QTreeView>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ScanEngine/Filter/FullPathTreeFilter.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Models/ResultTableRoles.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

std::vector<std::string> names(const std::vector<FileNode*>& nodes) {
    std::vector<std::string> out;
    for (const FileNode* n : nodes) out.push_back(n->name());
    return out;
}

// A small real tree: sizes 100..800 in two folders, two copies of "same.txt", one folder-only file.
struct Tree {
    TempDir dir;
    RootRef root;
    Tree() {
        for (int i = 1; i <= 4; ++i) writeFile(dir / ("a/f" + std::to_string(i) + ".txt"), 100 * i);
        for (int i = 5; i <= 8; ++i) writeFile(dir / ("b/deep/f" + std::to_string(i) + ".log"), 100 * i);
        writeFile(dir / "a/same.txt", 4242);
        writeFile(dir / "b/same.txt", 4242);
        root = fixtures::loadTreeFromDisk(dir.path());
    }
};

FileListInputs activeInputs(const Tree& t) {
    FileListInputs in;
    in.roots = {t.root};
    in.isActive = true;
    in.maxFiles = std::nullopt;
    return in;
}

bool waitForCount(const FileListPipeline& p, int count) {
    return pumpWidgetsUntil([&] { return p.results().count == count && !p.debouncePending(); });
}

std::optional<QString> lastDetail(const QString& label) {
    const auto& e = DebugTimingLog::shared().entries();
    for (auto it = e.rbegin(); it != e.rend(); ++it)
        if (it->label == label && it->endedAt) return it->detail.value_or(QString());
    return std::nullopt;
}

TEST(FileListSorting, StableTiesInBothDirectionsAndKeys) {
    qtWidgetApp();
    Tree t;
    std::vector<FileNode*> all = collectFileList({t.root}, false);
    ASSERT_EQ(all.size(), 10u);
    // Every node gets the same modified date: both directions must keep the input order.
    for (FileNode* n : all) n->modifiedDateRaw = 12345;
    EXPECT_EQ(sortNodes(all, FileListSortKey::modified, true), all);
    EXPECT_EQ(sortNodes(all, FileListSortKey::modified, false), all);
    // The two copies tie on size; the one collected first stays first in both directions.
    const auto desc = sortNodes(all, FileListSortKey::size, false);
    const auto asc = sortNodes(all, FileListSortKey::size, true);
    EXPECT_EQ(desc.front()->name(), "same.txt");
    EXPECT_EQ(desc[0]->parent()->name(), "a");
    EXPECT_EQ(desc[1]->parent()->name(), "b");
    EXPECT_EQ(asc[8]->parent()->name(), "a");
    EXPECT_EQ(asc[9]->parent()->name(), "b");
    EXPECT_EQ(asc.front()->name(), "f1.txt");
    // Unknown keys and "percent" order by size; the input is not changed.
    EXPECT_EQ(sortNodes(all, FileListSortKey::percent, false), desc);
    EXPECT_EQ(sortNodes(all, fileListSortKeyFromIdentifier("nonsense"), false), desc);
    EXPECT_EQ(names(sortNodes(all, FileListSortKey::name, true)).front(), "f1.txt");
    EXPECT_EQ(names(sortNodes(all, FileListSortKey::name, false)).back(), "f1.txt");
    // Folders are collected pre-order only when asked for.
    EXPECT_EQ(collectFileList({t.root}, true).size(), 13u);
    EXPECT_EQ(collectFileList({}, true).size(), 0u);
}

// A cap keeps exactly the first rows of the whole order, ties in input order both ways, for every key.
TEST(FileListSorting, CappedOrderIsTheWholeOrderCut) {
    qtWidgetApp();
    Tree t;
    std::vector<FileNode*> all = collectFileList({t.root}, true);
    ASSERT_EQ(all.size(), 13u);
    for (size_t i = 0; i < all.size(); i += 3) all[i]->modifiedDateRaw = 777;
    for (FileListSortKey key : {FileListSortKey::name, FileListSortKey::path, FileListSortKey::size,
                                FileListSortKey::allocated, FileListSortKey::modified, FileListSortKey::attributes,
                                FileListSortKey::dupCount}) {
        for (bool ascending : {true, false}) {
            const auto whole = sortNodes(all, key, ascending);
            for (size_t cap : {size_t(0), size_t(1), size_t(4), size_t(12), size_t(13), size_t(50)}) {
                const auto capped = sortNodes(all, key, ascending, cap);
                ASSERT_EQ(capped.size(), std::min(cap, whole.size()));
                EXPECT_TRUE(std::equal(capped.begin(), capped.end(), whole.begin()))
                    << fileListSortIdentifier(key) << " " << ascending << " " << cap;
            }
        }
    }
    // Long lists, capped below a chunk of rows and at a chunk or more.
    std::vector<FileNode*> many;
    while (many.size() < 200000) many.insert(many.end(), all.begin(), all.end());
    for (FileListSortKey key : {FileListSortKey::name, FileListSortKey::size}) {
        const auto whole = sortNodes(many, key, false);
        for (size_t cap : {size_t(1000), size_t(65536), size_t(100000)}) {
            const auto capped = sortNodes(many, key, false, cap);
            ASSERT_EQ(capped.size(), cap);
            EXPECT_TRUE(std::equal(capped.begin(), capped.end(), whole.begin())) << fileListSortIdentifier(key) << " " << cap;
        }
    }
}

// Groups found in the background are given to their nodes there too: the GUI thread, which
// hears of it only afterwards, does no work per node.
TEST(FileListPipeline, DuplicateGroupsReachTheNodesOnTheBackgroundRoad) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    FileListInputs in = activeInputs(t);
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 10));
    FileNode* copy = testsupport::nodeAt(t.root.get(), "a/same.txt");
    ASSERT_NE(copy, nullptr);
    in.dupMethod = DuplicateMethod::nameSize;
    p.update(in);
    EXPECT_TRUE(p.isLocatingDuplicates());
    // No event is handled from here on: whatever reaches the nodes was done by the background job.
    QThreadPool::globalInstance()->waitForDone();
    ASSERT_NE(copy->dupGroup(), nullptr);
    EXPECT_EQ(copy->dupCount(), 1);
    EXPECT_TRUE(p.isLocatingDuplicates());
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !p.isLocatingDuplicates() && p.results().count == 10; }));

    // Taking them back (no method) goes the same road, and the rows follow it.
    in.dupMethod = DuplicateMethod::none;
    p.update(in);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(copy->dupGroup(), nullptr);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return p.results().count == 10 && !p.isLocatingDuplicates(); }));
}

// Groups follow the search and the trees: a change of method gives the files new groups and takes
// the old ones off, a rescan's tree takes groups of its own while the earlier tree, still held,
// keeps none, and a cap changes the rows, never the groups. Thousands of copies make the search
// build its groups in several batches.
TEST(FileListPipeline, GroupsFollowAMethodChangeARescanAndACap) {
    qtWidgetApp();
    TempDir dir;
    constexpr int kNames = 2100;
    for (int i = 0; i < kNames; ++i)
        for (const char* folder : {"a/", "b/"}) {
            const auto path = dir / (folder + std::string("n") + std::to_string(i) + ".txt");
            writeFile(path, 10 + i % 5);
            // Every other copy in b is an hour newer: a copy by name and size, not by date.
            testsupport::setModified(path, 1700000000 + (folder[0] == 'b' && i % 2 ? 3600 : 0));
        }
    RootRef first = fixtures::loadTreeFromDisk(dir.path());
    FileListPipeline p;
    FileListInputs in;
    in.roots = {first};
    in.isActive = true;
    in.maxFiles = std::nullopt;
    in.dupMethod = DuplicateMethod::nameSize;
    const auto settled = [&](int count) {
        return pumpWidgetsUntil([&] { return p.results().count == count && !p.isLocatingDuplicates() && !p.debouncePending(); });
    };
    p.update(in);
    ASSERT_TRUE(settled(2 * kNames));
    const auto at = [](const RootRef& root, const std::string& path) { return testsupport::nodeAt(root.get(), path); };
    for (const char* path : {"a/n0.txt", "a/n1.txt", "b/n2099.txt"}) EXPECT_EQ(at(first, path)->dupCount(), 1) << path;
    const DuplicateGroup* byName = at(first, "a/n0.txt")->dupGroup();

    in.dupMethod = DuplicateMethod::nameSizeDate;
    p.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return at(first, "a/n0.txt")->dupGroup() != byName; }));
    ASSERT_TRUE(settled(2 * kNames));
    EXPECT_EQ(at(first, "a/n1.txt")->dupGroup(), nullptr);
    EXPECT_EQ(at(first, "b/n2099.txt")->dupGroup(), nullptr);
    ASSERT_NE(at(first, "b/n2098.txt")->dupGroup(), nullptr);
    EXPECT_EQ(FileListModel::dupChildren(*at(first, "b/n2098.txt")), std::vector<FileNode*>{at(first, "a/n2098.txt")});

    RootRef second = fixtures::loadTreeFromDisk(dir.path());
    in.roots = {second};
    p.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return at(second, "a/n0.txt")->dupGroup() != nullptr; }));
    ASSERT_TRUE(settled(2 * kNames));
    for (const char* path : {"a/n0.txt", "b/n2098.txt"}) {
        EXPECT_EQ(at(first, path)->dupGroup(), nullptr) << path;
        EXPECT_EQ(at(second, path)->dupCount(), 1) << path;
    }
    EXPECT_EQ(at(second, "a/n1.txt")->dupGroup(), nullptr);

    const DuplicateGroup* kept = at(second, "b/n2098.txt")->dupGroup();
    in.maxFiles = 100;
    p.update(in);
    ASSERT_TRUE(settled(100));
    EXPECT_EQ(at(second, "b/n2098.txt")->dupGroup(), kept);
    EXPECT_EQ(FileListModel::dupChildren(*at(second, "b/n2098.txt")), std::vector<FileNode*>{at(second, "a/n2098.txt")});
}

TEST(FileListPipeline, SearchCapAndTotalsLargestFirst) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    p.setDebounceMilliseconds(20);
    FileListInputs in = activeInputs(t);
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 10));
    EXPECT_EQ(p.sortKey(), FileListSortKey::allocated);
    EXPECT_EQ(p.displayed().front()->name(), "same.txt");
    // The log takes its entries through the event loop: they may arrive after the rows.
    ASSERT_TRUE(pumpWidgetsUntil([] { return lastDetail("File View load") && lastDetail("File View filter"); }));
    EXPECT_EQ(*lastDetail("File View load"), "10 files");
    EXPECT_TRUE(lastDetail("File View filter")->startsWith("10 -> 10 files, queue "));

    p.setSort(FileListSortKey::size, false);
    in.maxFiles = 3;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 3));
    EXPECT_EQ(names(p.displayed()), (std::vector<std::string>{"same.txt", "same.txt", "f8.log"}));
    EXPECT_EQ(p.results().totalSize, 4242 + 4242 + 800);

    in.maxFiles = 0;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 0));
    in.maxFiles = 1000;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 10));
    // Typing alone waits for the debounce; a control change with it runs at once.
    in.filterText = "*.log";
    p.update(in);
    EXPECT_TRUE(p.debouncePending());
    ASSERT_TRUE(waitForCount(p, 4));
    EXPECT_FALSE(p.highlightFilters().empty());

    // Spaces only: the whole list, no highlighting.
    in.filterText = "   ";
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 10));
    EXPECT_TRUE(p.highlightFilters().empty());

    // A term with '/' switches to full paths: the rows come from the tree filter.
    in.filterText = "deep/";
    in.matchEntirePath = false;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 4));
    EXPECT_TRUE(p.highlightFullPath());
}

// In full-path mode a filter of comparisons alone matches the list (on every processor) and gives
// the rows the walk over the trees gives; a word or a path term still walks the trees.
TEST(FileListPipeline, FullPathComparisonsGiveTheTreeWalksRows) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    p.setDebounceMilliseconds(1);
    FileListInputs in = activeInputs(t);
    in.matchEntirePath = true;
    in.dupMethod = DuplicateMethod::nameSize;
    const auto rowsFor = [&](const char* text) {
        in.filterText = text;
        p.update(in);
        EXPECT_TRUE(pumpWidgetsUntil([&] { return !p.debouncePending() && !p.isLocatingDuplicates() && p.fullListSize() == 10; }));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        return p.displayed();
    };
    const auto walked = [&](const char* text) {
        bool fullpath = true;
        const std::u16string units = QString::fromUtf8(text).toStdU16String();
        return sortNodes(filterTreeFullPath(*t.root, decodeFilterText(units, fullpath), false, true),
                         FileListSortKey::allocated, false);
    };
    for (const char* text : {"s>450", "=files s>450", "=dup", "s<300|s>4000", "deep/ s>450", "same"}) {
        const std::vector<FileNode*> rows = rowsFor(text);
        EXPECT_FALSE(rows.empty()) << text;
        EXPECT_EQ(rows, walked(text)) << text;
    }
    EXPECT_EQ(rowsFor("=dup").size(), 2u);
}

TEST(FileListPipeline, HiddenTabRecordsAndActivationRunsTheWholeChain) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    p.setDebounceMilliseconds(20);
    FileListInputs in = activeInputs(t);
    in.isActive = false;
    p.update(in);
    EXPECT_EQ(p.pendingRebuild(), FileListPipeline::PendingRebuild::full);
    in.filterText = "*.txt";
    p.update(in);
    EXPECT_EQ(p.pendingRebuild(), FileListPipeline::PendingRebuild::full);  // never lowered
    QTest::qWait(60);
    EXPECT_EQ(p.fullListSize(), 0u);
    EXPECT_EQ(p.results().count, 0);

    // Activation together with another change (here the duplicate method): the pending collection
    // still runs, so the list is not rebuilt from an empty one.
    in.isActive = true;
    in.dupMethod = DuplicateMethod::nameSize;
    p.update(in);
    EXPECT_FALSE(p.pendingRebuild());
    ASSERT_TRUE(waitForCount(p, 6));
    EXPECT_EQ(p.fullListSize(), 10u);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !p.isLocatingDuplicates(); }));

    // Only a display change while hidden: activation runs the rebuild alone.
    in.isActive = false;
    p.update(in);
    in.filterText = "";
    in.maxFiles = 2;
    p.update(in);
    EXPECT_EQ(p.pendingRebuild(), FileListPipeline::PendingRebuild::displayOnly);
    in.isActive = true;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 2));

    // New roots while hidden and a filter change on activation: the whole chain again.
    Tree other;
    in.isActive = false;
    in.roots = {other.root};
    in.maxFiles = std::nullopt;
    p.update(in);
    EXPECT_EQ(p.fullListSize(), 0u);
    in.isActive = true;
    in.filterText = "f1";
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 1));
    EXPECT_EQ(p.displayed().front()->parent()->parent()->name(), other.root->name());
}

TEST(FileListPipeline, SupersededRebuildsAndDuplicates) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    FileListInputs in = activeInputs(t);
    in.dupMethod = DuplicateMethod::nameSize;
    p.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return p.results().count == 10 && !p.isLocatingDuplicates(); }));
    ASSERT_TRUE(pumpWidgetsUntil([] { return lastDetail("Duplicate detection").has_value(); }));
    EXPECT_TRUE(lastDetail("Duplicate detection")->startsWith("10 files, 1 groups, queue "));

    // Two rebuilds in flight: only the later one is shown; the earlier closes as superseded.
    int published = 0;
    QObject::connect(&p, &FileListPipeline::rowsPublished, [&] { ++published; });
    p.setSort(FileListSortKey::name, true);
    p.setSort(FileListSortKey::size, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return published == 1; }));
    QTest::qWait(50);
    EXPECT_EQ(published, 1);
    EXPECT_EQ(p.displayed().front()->name(), "f1.txt");
    EXPECT_TRUE(lastDetail("File View filter").has_value());
    bool sawSuperseded = false;
    for (const auto& e : DebugTimingLog::shared().entries())
        if (e.label == "File View filter" && e.detail == QStringLiteral("superseded before reaching main")) sawSuperseded = true;
    EXPECT_TRUE(sawSuperseded);

    // Duplicates only: the composed filter keeps the two copies.
    in.dupsOnly = true;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 2));
    FileNode* copy = p.displayed().front();
    EXPECT_EQ(copy->dupCount(), 1);
    EXPECT_EQ(FileListModel::dupChildren(*copy).size(), 1u);

    // Method none: groups cleared, columns hidden, dupsOnly ignored.
    bool columnsVisible = true;
    QObject::connect(&p, &FileListPipeline::duplicateColumnsVisibleChanged, [&](bool v) { columnsVisible = v; });
    in.dupMethod = DuplicateMethod::none;
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 10));
    EXPECT_FALSE(columnsVisible);
    EXPECT_EQ(copy->dupGroup(), nullptr);
}

TEST(FileListPipeline, BusyTokensBalancedEvenWhenTheCoordinatorGoesMidRun) {
    qtWidgetApp();
    Tree t;
    auto live = std::make_shared<int>(0);
    {
        FileListPipeline p;
        p.setBusyHook([live] {
            ++*live;
            return std::shared_ptr<void>(nullptr, [live](void*) { --*live; });
        });
        FileListInputs in = activeInputs(t);
        in.dupMethod = DuplicateMethod::nameSizeDate;
        p.update(in);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return p.results().count == 10 && !p.isLocatingDuplicates(); }));
        QTest::qWait(20);
        EXPECT_EQ(*live, 0);
        p.setSort(FileListSortKey::name, true);
        p.setSort(FileListSortKey::size, false);
        EXPECT_EQ(*live, 2);
    }
    // The results arrive after the coordinator is gone: their hops still end the busy state.
    ASSERT_TRUE(pumpWidgetsUntil([&] { return *live == 0; }));
}

TEST(FileListPipeline, StagesReadTheTreeWhileTheGuiThreadChangesIt) {
    qtWidgetApp();
    TempDir dir;
    for (int i = 0; i < 400; ++i) writeFile(dir / ("d" + std::to_string(i % 7) + "/n" + std::to_string(i) + ".dat"), i % 13);
    RootRef root = fixtures::loadTreeFromDisk(dir.path());
    FileListPipeline p;
    FileListInputs in;
    in.roots = {root};
    in.isActive = true;
    in.dupMethod = DuplicateMethod::nameSize;
    in.filterText = "n1";
    in.matchEntirePath = false;
    p.update(in);
    std::vector<FileNode*> files = collectFileList({root}, false);
    for (int round = 0; round < 30; ++round) {
        // New detections and rebuilds keep starting while the GUI thread renames, marks and
        // reassigns groups of the very nodes they read.
        in.dupMethod = round % 2 ? DuplicateMethod::nameSize : DuplicateMethod::nameSizeDate;
        p.update(in);
        p.setSort(round % 3 ? FileListSortKey::dupCount : FileListSortKey::name, round % 2);
        for (size_t i = round % 5; i < files.size(); i += 5) {
            files[i]->rename(std::string_view("n1renamed" + std::to_string(round) + "_" + std::to_string(i)));
            files[i]->setIsDeleted(round % 2);
        }
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !p.isLocatingDuplicates() && p.results().count > 0; }));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

TEST(FileListPipeline, ShownRowsKeepTheirTreeAliveWhenTheRootsMoveOn) {
    qtWidgetApp();
    FileListPipeline p;
    FileListModel model(p);
    std::weak_ptr<FileNode> gone;
    {
        Tree t;
        FileListInputs in = activeInputs(t);
        in.dupMethod = DuplicateMethod::nameSize;
        p.update(in);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return p.results().count == 10 && !p.isLocatingDuplicates(); }));
        gone = t.root;
        // The window drops the scan while the tab is hidden: the rows still shown stay readable.
        in.roots.clear();
        in.isActive = false;
        p.update(in);
    }
    EXPECT_FALSE(gone.expired());
    EXPECT_EQ(model.data(model.index(0, FileListModel::nameColumn), Qt::DisplayRole).toString(), "same.txt");
    FileListInputs empty;
    empty.isActive = true;
    p.update(empty);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return p.results().count == 0; }));
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(gone.expired());
}

TEST(FileListModel, RowsDuplicateMembersAndHighlightRanges) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    FileListModel model(p);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    FileListInputs in = activeInputs(t);
    in.dupMethod = DuplicateMethod::nameSize;
    in.filterText = "same";
    in.matchEntirePath = false;
    p.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return model.rowCount() == 2 && !p.isLocatingDuplicates(); }));
    const QModelIndex first = model.index(0, FileListModel::nameColumn);
    ASSERT_TRUE(model.hasChildren(first));
    ASSERT_EQ(model.rowCount(first), 1);
    const QModelIndex member = model.index(0, FileListModel::dupCountColumn, first);
    EXPECT_TRUE(model.isMemberRow(member));
    EXPECT_EQ(model.data(member, Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, FileListModel::dupCountColumn), Qt::DisplayRole).toString(), "1");
    EXPECT_NE(model.nodeAt(member), model.nodeAt(first));
    EXPECT_TRUE(model.data(model.index(0, FileListModel::nameColumn, first), ResultTableRole::highlightRanges).isNull());
    EXPECT_LT(model.data(model.index(0, FileListModel::percentColumn, first), ResultTableRole::barFraction).toDouble(),
              model.data(model.index(0, FileListModel::percentColumn), ResultTableRole::barFraction).toDouble());

    // Name mode: the name's matches, and the same characters at the end of the path.
    const auto ranges = model.data(first, ResultTableRole::highlightRanges).value<QList<QPoint>>();
    EXPECT_EQ(ranges, (QList<QPoint>{QPoint(0, 4)}));
    const QString path = model.data(model.index(0, FileListModel::pathColumn), Qt::DisplayRole).toString();
    const auto pathRanges = model.data(model.index(0, FileListModel::pathColumn), ResultTableRole::highlightRanges).value<QList<QPoint>>();
    ASSERT_EQ(pathRanges.size(), 1);
    EXPECT_EQ(path.mid(pathRanges[0].x(), pathRanges[0].y()), "same");
    EXPECT_EQ(pathRanges[0].x(), path.size() - 8);

    // Full-path mode: matches anywhere in the path.
    in.filterText = "a/same";
    p.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return model.rowCount() == 1 && !p.debouncePending(); }));
    EXPECT_TRUE(p.highlightFullPath());
    const QString path2 = model.data(model.index(0, FileListModel::pathColumn), Qt::DisplayRole).toString();
    const auto full = model.data(model.index(0, FileListModel::pathColumn), ResultTableRole::highlightRanges).value<QList<QPoint>>();
    ASSERT_FALSE(full.isEmpty());
    EXPECT_EQ(path2.mid(full[0].x(), full[0].y()).toLower(), "a/same");

    // Percent of the root by the sort's size kind; a deleted node shows 0.
    FileNode* n = model.nodeAt(model.index(0, 0));
    n->setIsDeleted(true);
    EXPECT_EQ(model.data(model.index(0, FileListModel::percentColumn), Qt::DisplayRole).toString(), "0.0%");
    EXPECT_EQ(model.data(model.index(0, FileListModel::sizeColumn), ResultTableRole::textTone).toInt(), int(TextTone::deleted));
}

// A list longer than a slice reaches the view a slice at a time: scrolling to the end brings the
// next, and new rows start again with the first.
TEST(FileListModel, LongListsReachTheViewASliceAtATime) {
    qtWidgetApp();
    Tree t;
    FileListPipeline p;
    FileListModel model(p);
    model.setSliceRows(4);
    FileListInputs in = activeInputs(t);
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 10));
    EXPECT_EQ(p.results().count, 10);
    EXPECT_EQ(model.rowCount(), 4);
    ASSERT_TRUE(model.canFetchMore({}));
    model.fetchMore({});
    EXPECT_EQ(model.rowCount(), 8);
    EXPECT_EQ(model.nodeAt(model.index(7, 0)), p.displayed()[7]);

    // A view scrolled to its end asks for the rest.
    QTreeView view;
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.resize(400, 100);
    view.show();
    for (int i = 0; i < 10 && model.canFetchMore({}); ++i) {
        view.scrollToBottom();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(model.rowCount(), 10);
    EXPECT_FALSE(model.canFetchMore({}));
    EXPECT_EQ(model.nodeAt(model.index(9, 0)), p.displayed()[9]);

    // New rows begin again with one slice.
    view.setModel(nullptr);
    in.filterText = "*.txt";
    p.update(in);
    ASSERT_TRUE(waitForCount(p, 6));
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_TRUE(model.canFetchMore({}));
}

TEST(FilterFields, HistoryRules) {
    const QStringList h = FilterFieldHistory::recording("  Foo  ", {"FOO", "bar"});
    EXPECT_EQ(h, (QStringList{"Foo", "bar"}));
    EXPECT_EQ(FilterFieldHistory::recording("   ", {"a"}), QStringList{"a"});
    QStringList twenty;
    for (int i = 0; i < 20; ++i) twenty << QString::number(i);
    const QStringList full = FilterFieldHistory::recording("new", twenty);
    EXPECT_EQ(full.size(), 20);
    EXPECT_EQ(full.front(), "new");
    EXPECT_EQ(full.back(), "18");
    EXPECT_EQ(FilterFieldHistory::recording("x", {"a", "X", "b", "x"}), (QStringList{"x", "a", "b", "x"}));
    EXPECT_EQ(FilterFieldHistory::encode({"a", "b\"c"}), R"(["a","b\"c"])");
    EXPECT_EQ(FilterFieldHistory::decode("not json"), QStringList{});
    EXPECT_EQ(FilterFieldHistory::decode(""), QStringList{});
    EXPECT_EQ(FilterFieldHistory::decode("[1,2]"), QStringList{});
    EXPECT_EQ(FilterFieldHistory::decode(R"(["a","b"])"), (QStringList{"a", "b"}));
    EXPECT_EQ(FilterFieldHistory::encode({}), "[]");
}

TEST(FilterFields, HighlighterExamples) {
    using FilterSyntaxHighlighter::highlightedRanges;
    EXPECT_EQ(highlightedRanges("s>1m report"), (QList<QPoint>{QPoint(0, 4)}));
    EXPECT_EQ(highlightedRanges("NAMELEN>=20"), (QList<QPoint>{QPoint(0, 11)}));
    EXPECT_EQ(highlightedRanges("namelen>=20"), (QList<QPoint>{QPoint(0, 11)}));
    EXPECT_EQ(highlightedRanges("x /usr/lib y"), (QList<QPoint>{QPoint(2, 8)}));
    EXPECT_EQ(highlightedRanges("a==5 dupcount<>2"), (QList<QPoint>{QPoint(0, 4), QPoint(5, 11)}));
    EXPECT_TRUE(highlightedRanges("abc>1").isEmpty());
    EXPECT_TRUE(highlightedRanges("!s>1m").isEmpty());
    EXPECT_TRUE(highlightedRanges("s>").isEmpty());
    EXPECT_TRUE(highlightedRanges("\"s>1m\"").isEmpty());
    EXPECT_TRUE(highlightedRanges("report").isEmpty());
}

TEST(FilterFields, MaxFilesOptions) {
    EXPECT_EQ(maxFilesOptionOrDefault("1000"), MaxFilesOption::oneThousand);
    EXPECT_EQ(maxFilesOptionOrDefault("all"), MaxFilesOption::oneThousand);
    EXPECT_EQ(maxFilesOptionOrDefault("ALL"), MaxFilesOption::all);
    EXPECT_EQ(maxFilesCap(MaxFilesOption::all), std::nullopt);
    EXPECT_EQ(maxFilesCap(maxFilesOptionOrDefault("100,000")), 100000);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(maxFilesDisplayLabel(MaxFilesOption::tenThousand), "10.000");
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(maxFilesRawValue(MaxFilesOption::tenThousand), "10,000");
}

}  // namespace
}  // namespace zelvane
