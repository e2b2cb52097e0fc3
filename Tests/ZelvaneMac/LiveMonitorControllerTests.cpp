// The live monitoring controller on real folders and on hand-made trees. Also run under
// ThreadSanitizer: batches cross from the monitor's thread to the main thread.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <set>

#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "LiveTreeFixtures.hpp"
#include "TreeBuilder.hpp"

namespace zelvane {
namespace {

using testing::TempDir;
using testing::makeDir;
using testing::nodeAt;
using testing::readTree;
using testing::writeFile;

constexpr int kWaitMillis = 20000;
// Long enough for a batch to pass the monitor's latency, the hop and one flush of the timer.
constexpr int kSettleMillis = 900;

void ensureApplication() {
    static int argc = 1;
    static char name[] = "LiveMonitorControllerTests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);  // lives until exit
}

struct Totals {
    int64_t size, alloc;
    int32_t files, dirs;
    bool operator==(const Totals&) const = default;
};
Totals totalsOf(const FileNode* n) {
    return {n->subFolderTotSize(), n->subFolderTotSizeAlloc(), n->subFolderFileCount(), n->subFolderDirCount()};
}

std::set<FileNode*> asSet(const std::vector<FileNode*>& v) { return {v.begin(), v.end()}; }

std::string fileName(int i) { return "f" + std::to_string(i); }

class LiveMonitorControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        QObject::connect(&controller, &LiveMonitorController::nodesChanged,
                         [this](const std::vector<FileNode*>& nodes) { refreshes.push_back(nodes); });
    }

    void startWatching(std::vector<RootRef> roots) {
        controller.start(std::move(roots));
        ASSERT_TRUE(controller.monitor());
        ASSERT_TRUE(controller.monitor()->waitUntilWatching(std::chrono::milliseconds(kWaitMillis)));
    }

    bool waitUntil(const std::function<bool()>& pred) { return QTest::qWaitFor(pred, kWaitMillis); }
    void settle() { QTest::qWait(kSettleMillis); }

    std::set<FileNode*> allRefreshed() const {
        std::set<FileNode*> out;
        for (const auto& r : refreshes) out.insert(r.begin(), r.end());
        return out;
    }

    static FileChangeEvent removal(std::string path) {
        return {std::move(path), EventStreamFlag::kItemRemoved | EventStreamFlag::kItemIsFile};
    }

    LiveMonitorController controller;
    std::vector<std::vector<FileNode*>> refreshes;
};

TEST_F(LiveMonitorControllerTest, DeletionsOnDiskAreSubtractedFromEveryAncestorOnce) {
    TempDir tmp;
    makeDir(tmp / "A");
    writeFile(tmp / "A/a1", 1000);
    writeFile(tmp / "A/a2", 2000);
    makeDir(tmp / "A/S");
    writeFile(tmp / "A/S/s1", 300);
    writeFile(tmp / "A/S/s2", 400);
    makeDir(tmp / "B");
    writeFile(tmp / "B/b1", 5000);
    makeDir(tmp / "B/B2");
    writeFile(tmp / "B/B2/b21", 600);
    writeFile(tmp / "top", 7);
    makeDir(tmp / "H");
    ASSERT_EQ(::link((tmp / "top").c_str(), (tmp / "H/link").c_str()), 0);
    ASSERT_EQ(::symlink("A", (tmp / "toA").c_str()), 0);
    TempDir outside;

    RootRef rootRef = readTree(tmp.path());
    FileNode* root = rootRef.get();
    FileNode* A = nodeAt(root, "A");
    FileNode* a1 = nodeAt(root, "A/a1");
    FileNode* a2 = nodeAt(root, "A/a2");
    FileNode* S = nodeAt(root, "A/S");
    FileNode* B = nodeAt(root, "B");
    FileNode* top = nodeAt(root, "top");
    FileNode* toA = nodeAt(root, "toA");
    ASSERT_TRUE(A && a1 && a2 && S && B && top && toA && nodeAt(root, "H/link"));
    startWatching({rootRef});

    // One file.
    Totals rootBefore = totalsOf(root), aBefore = totalsOf(A);
    ASSERT_EQ(::unlink((tmp / "A/a1").c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return !refreshes.empty(); }));
    EXPECT_TRUE(a1->isDeleted());
    EXPECT_EQ(totalsOf(A), (Totals{aBefore.size - 1000, aBefore.alloc - a1->allocSize, aBefore.files - 1, aBefore.dirs}));
    EXPECT_EQ(totalsOf(root).size, rootBefore.size - 1000);
    EXPECT_EQ(totalsOf(root).files, rootBefore.files - 1);
    // The batch: the node, its ancestors and their children (whose percentages changed).
    std::set<FileNode*> expected{a1, A, root};
    for (FileNode* n : {A, root})
        for (FileNode* c : n->children()) expected.insert(c);
    EXPECT_EQ(asSet(refreshes.front()), expected);

    // A folder tree: an event for every file and folder in it, its share taken out once.
    rootBefore = totalsOf(root);
    const Totals bTotals = totalsOf(B);
    TempDir::removeTree(tmp / "B");
    ASSERT_TRUE(waitUntil([&] { return B->isDeleted(); }));
    settle();
    EXPECT_TRUE(nodeAt(root, "B/B2/b21")->isDeleted());
    EXPECT_EQ(totalsOf(root),
              (Totals{rootBefore.size - bTotals.size, rootBefore.alloc - bTotals.alloc, rootBefore.files - bTotals.files,
                      rootBefore.dirs - bTotals.dirs - 1}));

    // Renamed away, then moved back: marked once, and not again when it reappears.
    rootBefore = totalsOf(root);
    aBefore = totalsOf(A);
    const Totals sTotals = totalsOf(S);
    ASSERT_EQ(::rename((tmp / "A/S").c_str(), (outside / "S").c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return S->isDeleted(); }));
    ASSERT_EQ(::rename((outside / "S").c_str(), (tmp / "A/S").c_str()), 0);
    settle();
    EXPECT_EQ(totalsOf(A).size, aBefore.size - sTotals.size);
    EXPECT_EQ(totalsOf(A).dirs, aBefore.dirs - sTotals.dirs - 1);
    EXPECT_EQ(totalsOf(root).size, rootBefore.size - sTotals.size);

    // Removed and made again within the latency (the new file may get the removed one's number):
    // the scanned file is gone all the same, and what stands there now is said to be missed.
    rootBefore = totalsOf(root);
    int missed = 0;
    QObject::connect(&controller, &LiveMonitorController::missedChanges, [&missed] { ++missed; });
    ASSERT_EQ(::unlink((tmp / "A/a2").c_str()), 0);
    writeFile(tmp / "A/a2", 50);
    ASSERT_TRUE(waitUntil([&] { return a2->isDeleted(); }));
    EXPECT_EQ(totalsOf(root).size, rootBefore.size - 2000);
    EXPECT_EQ(totalsOf(root).files, rootBefore.files - 1);
    EXPECT_TRUE(waitUntil([&] { return missed > 0; }));

    // One name of a hard-linked file, and a symbolic link (never its target).
    ASSERT_EQ(::unlink((tmp / "top").c_str()), 0);
    ASSERT_EQ(::unlink((tmp / "toA").c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return top->isDeleted() && toA->isDeleted(); }));
    EXPECT_FALSE(nodeAt(root, "H/link")->isDeleted());
    EXPECT_FALSE(A->isDeleted());
}

TEST_F(LiveMonitorControllerTest, NamesDifferingOnlyInCaseAreDifferentFiles) {
    TempDir tmp;
    makeDir(tmp / "docs");
    writeFile(tmp / "docs/readme.txt", 10);
    writeFile(tmp / "docs/README.txt", 20);
    writeFile(tmp / "docs/back\\slash.", 30);
    RootRef rootRef = readTree(tmp.path());
    FileNode* lower = nodeAt(rootRef.get(), "docs/readme.txt");
    FileNode* upper = nodeAt(rootRef.get(), "docs/README.txt");
    startWatching({rootRef});

    ASSERT_EQ(::unlink((tmp / "docs/readme.txt").c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return lower->isDeleted(); }));
    settle();
    EXPECT_FALSE(upper->isDeleted());
    EXPECT_EQ(nodeAt(rootRef.get(), "docs")->subFolderTotSize(), 50);

    // A case twin made and removed after the scan has no node: the folded lookup finds the file
    // that stays, whose own path still exists.
    writeFile(tmp / "docs/BACK\\SLASH.", 5);
    ASSERT_EQ(::unlink((tmp / "docs/BACK\\SLASH.").c_str()), 0);
    ASSERT_EQ(::unlink((tmp / "docs/README.txt").c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return upper->isDeleted(); }));
    settle();
    EXPECT_FALSE(nodeAt(rootRef.get(), "docs/back\\slash.")->isDeleted());
    EXPECT_EQ(nodeAt(rootRef.get(), "docs")->subFolderTotSize(), 30);
}

// A tree of nodes whose items do not exist on disk, below a root folder that does; events are
// fed straight to `handle`.
struct GhostTree {
    testsupport::TreeBuilder tree;
    RootRef root;
    FileNode* add(FileNode* parent, std::string_view name, bool isDir, int64_t size) {
        return isDir ? tree.folder(parent, name) : tree.file(parent, name, size);
    }
};

TEST_F(LiveMonitorControllerTest, FindsNodesByPathAsTheFileSystemNamesThem) {
    TempDir tmp;
    GhostTree t;
    FileNode* root = t.tree.root(tmp.path());
    t.root = t.tree.handle(root);
    FileNode* pair = t.add(root, "pair", true, 0);
    FileNode* lower = t.add(pair, "readme.txt", false, 1);
    FileNode* upper = t.add(pair, "README.txt", false, 2);
    FileNode* docs = t.add(root, "docs", true, 0);
    FileNode* notes = t.add(docs, "notes.TXT", false, 4);
    FileNode* strasse = t.add(docs, "Stra\xc3\x9f" "e", false, 8);
    FileNode* accented = t.add(docs, "e\xcc\x81t\xc3\xa9", false, 16);  // decomposed, then precomposed
    FileNode* bad = t.add(docs, "bad\xff", false, 32);
    FileNode* inner = t.add(root, "inner", true, 0);
    FileNode* innerFile = t.add(inner, "f", false, 64);
    root->aggregateSizes();

    GhostTree second;
    FileNode* root2 = second.tree.root(tmp / "inner");
    second.root = second.tree.handle(root2);
    FileNode* root2File = second.add(root2, "f", false, 128);
    root2->aggregateSizes();

    GhostTree gone;
    FileNode* goneRoot = gone.tree.root(tmp / "gone");
    gone.root = gone.tree.handle(goneRoot);
    FileNode* goneChild = gone.add(goneRoot, "child", false, 1);
    goneRoot->aggregateSizes();

    controller.start({gone.root, t.root, second.root});
    const std::string base = tmp.path();

    // Exact names first; a folded match only when a single child has it.
    controller.handle({removal(base + "/pair/Readme.txt")});
    EXPECT_FALSE(lower->isDeleted() || upper->isDeleted());
    controller.handle({removal(base + "/pair/readme.txt")});
    EXPECT_TRUE(lower->isDeleted());
    EXPECT_FALSE(upper->isDeleted());
    controller.handle({removal(base + "/docs/NOTES.txt"), removal(base + "/docs/STRASSE"),
                       removal(base + "/docs/\xc3\xa9t\xc3\xa9"), removal(base + "/docs/bad\xff")});
    EXPECT_TRUE(notes->isDeleted());
    EXPECT_TRUE(strasse->isDeleted());
    EXPECT_TRUE(accented->isDeleted());
    EXPECT_TRUE(bad->isDeleted());
    EXPECT_EQ(docs->subFolderTotSize(), 0);

    // Doubled and trailing slashes below a root are ignored.
    controller.handle({removal(base + "/inner///f/")});
    EXPECT_TRUE(innerFile->isDeleted());
    // Overlapping roots: the folder scanned on its own holds the same file, and follows too.
    EXPECT_TRUE(root2File->isDeleted());
    EXPECT_EQ(root2->subFolderTotSize(), 0);
    EXPECT_EQ(inner->subFolderTotSize(), 0);

    // A root's own path marks the whole root; it has no ancestors to touch.
    refreshes.clear();
    controller.handle({removal(tmp / "gone")});
    EXPECT_TRUE(goneRoot->isDeleted() && goneChild->isDeleted());
    controller.markDeletedLocally({});
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_TRUE(asSet(refreshes[0]).count(goneRoot));

    // A rename of a path that exists changes nothing: the root folder is still there.
    controller.handle({{base, EventStreamFlag::kItemRenamed | EventStreamFlag::kItemIsDir}});
    EXPECT_FALSE(root->isDeleted());
    // Paths outside every root, and items not in the tree, are ignored.
    controller.handle({removal("/elsewhere/file"), removal(base + "/docs/unknown"), removal(base + "x/pair")});
    EXPECT_FALSE(root->isDeleted() || pair->isDeleted());
}

TEST_F(LiveMonitorControllerTest, CoalescesRefreshesAndSkipsRepeatedRemovals) {
    TempDir tmp;
    GhostTree t;
    FileNode* root = t.tree.root(tmp.path());
    t.root = t.tree.handle(root);
    FileNode* A = t.add(root, "A", true, 0);
    FileNode* x = t.add(A, "x", false, 10);
    FileNode* y = t.add(A, "y", false, 20);
    FileNode* sub = t.add(A, "Sub", true, 0);
    FileNode* z = t.add(sub, "z", false, 40);
    FileNode* B = t.add(root, "B", true, 0);
    t.add(B, "w", false, 80);
    root->aggregateSizes();
    startWatching({t.root});
    const std::string base = tmp.path();

    controller.handle({removal(base + "/A/Sub/z")});
    controller.handle({removal(base + "/A/x")});
    EXPECT_TRUE(controller.hasPendingRefresh());
    ASSERT_TRUE(waitUntil([&] { return !refreshes.empty(); }));
    ASSERT_EQ(refreshes.size(), 1u) << "both removals go out in one refresh";
    EXPECT_EQ(asSet(refreshes[0]), (std::set<FileNode*>{z, x, sub, A, root, y, B}));
    EXPECT_EQ(root->subFolderTotSize(), 100);
    EXPECT_EQ(root->subFolderFileCount(), 2);

    // A repeated removal of a deleted node alone raises nothing; any other event does.
    controller.handle({removal(base + "/A/Sub/z")});
    EXPECT_FALSE(controller.hasPendingRefresh());
    EXPECT_EQ(root->subFolderTotSize(), 100);
    controller.handle({{base + "/A/new", EventStreamFlag::kItemCreated | EventStreamFlag::kItemIsFile}});
    EXPECT_TRUE(controller.hasPendingRefresh());
    settle();
    EXPECT_EQ(refreshes.size(), 1u) << "a flush without changed nodes delivers nothing";
    EXPECT_FALSE(controller.hasPendingRefresh());
}

TEST_F(LiveMonitorControllerTest, LocalDeletionsRefreshAtOnce) {
    GhostTree t;
    FileNode* root = t.tree.root("/nonexistent-zelvane-root");
    t.root = t.tree.handle(root);
    FileNode* A = t.add(root, "A", true, 0);
    FileNode* f = t.add(A, "f", false, 5);
    FileNode* g = t.add(A, "g", false, 6);
    root->aggregateSizes();
    controller.start({t.root});

    std::vector<FileNode*> nodes{f};
    controller.markDeletedLocally(nodes);
    ASSERT_EQ(refreshes.size(), 1u);
    EXPECT_EQ(asSet(refreshes[0]), (std::set<FileNode*>{f, A, root, g}));
    EXPECT_EQ(root->subFolderTotSize(), 6);

    controller.markDeletedLocally(nodes);  // already deleted
    controller.markDeletedLocally({});
    EXPECT_EQ(refreshes.size(), 1u);

    // With nobody listening the batch is dropped and nothing stays pending.
    QObject::disconnect(&controller, &LiveMonitorController::nodesChanged, nullptr, nullptr);
    std::vector<FileNode*> more{g};
    controller.markDeletedLocally(more);
    EXPECT_FALSE(controller.hasPendingRefresh());
    EXPECT_EQ(root->subFolderTotSize(), 0);
}

// A removal of many that comes with the stores of its trees is marked over the next turns, in a
// followed tree and in one nobody follows (an import, a tree the window let go): the list keeps
// that tree whole until it is marked, and lets it go then.
TEST_F(LiveMonitorControllerTest, ALargeRemovalWithItsStoresIsMarkedEvenInATreeNobodyFollows) {
    GhostTree followed;
    FileNode* kept = followed.tree.root("/nonexistent-zelvane-kept");
    followed.root = followed.tree.handle(kept);
    FileNode* keptFolder = followed.add(kept, "A", true, 0);
    std::vector<FileNode*> keptFiles;
    for (int i = 0; i < 1500; ++i) keptFiles.push_back(followed.add(keptFolder, fileName(i), false, 3));
    kept->aggregateSizes();
    controller.keepInStep({followed.root});

    GhostTree lost;
    FileNode* lostRoot = lost.tree.root("/nonexistent-zelvane-lost");
    FileNode* lostFolder = lost.add(lostRoot, "B", true, 0);
    std::vector<FileNode*> lostFiles;
    for (int i = 0; i < 1500; ++i) lostFiles.push_back(lost.add(lostFolder, fileName(i), false, 2));
    lostRoot->aggregateSizes();
    const std::shared_ptr<NodeStore>& lostStore = lost.tree.store();
    controller.markGoneLocally(NodesGone::of(lostFiles, {lostStore}));
    controller.markGoneLocally(NodesGone::of(keptFiles, {followed.tree.store()}));
    // The removal holds the tree nobody follows until its nodes are marked, then lets it go.
    EXPECT_GT(lostStore.use_count(), 1);
    ASSERT_TRUE(waitUntil([&] { return !controller.hasPendingRefresh(); }));
    for (const auto& files : {keptFiles, lostFiles})
        EXPECT_TRUE(std::all_of(files.begin(), files.end(), [](const FileNode* f) { return f->isDeleted(); }));
    EXPECT_EQ(kept->subFolderTotSize(), 0);
    EXPECT_EQ(kept->subFolderFileCount(), 0);
    EXPECT_EQ(lostRoot->subFolderTotSize(), 0);
    EXPECT_EQ(lostFolder->subFolderFileCount(), 0);
    EXPECT_TRUE(allRefreshed().count(keptFolder));
    EXPECT_TRUE(allRefreshed().count(lostFolder));
    EXPECT_EQ(lostStore.use_count(), 1);
}

TEST_F(LiveMonitorControllerTest, NothingChangesAfterStop) {
    TempDir tmp;
    writeFile(tmp / "f", 10);
    writeFile(tmp / "g", 10);
    RootRef rootRef = readTree(tmp.path());
    FileNode* f = nodeAt(rootRef.get(), "f");
    FileNode* g = nodeAt(rootRef.get(), "g");

    controller.start({});
    EXPECT_FALSE(controller.isWatching());

    startWatching({rootRef});
    controller.stop();
    EXPECT_FALSE(controller.isWatching());
    ASSERT_EQ(::unlink((tmp / "f").c_str()), 0);
    settle();
    EXPECT_FALSE(f->isDeleted());
    EXPECT_TRUE(refreshes.empty());

    // A batch already on its way when the controller stopped finds no root.
    ASSERT_EQ(::unlink((tmp / "g").c_str()), 0);
    controller.handle({removal(tmp / "g")});
    EXPECT_FALSE(g->isDeleted());
}

// Batches are planned on a thread of their own while the main thread goes on. A plan overtaken
// by a change of the followed trees is never applied as it was made: a copy let go meanwhile is
// not touched, the watched tree still ends right, and after a restart on a new tree nothing of
// the old plan reaches the old tree or the new one.
TEST_F(LiveMonitorControllerTest, PlansOvertakenByTreeChangesAreMadeAgainOrDropped) {
    TempDir tmp;
    for (const char* folder : {"a", "b"}) {
        makeDir(tmp / folder);
        for (int i = 0; i < 1500; ++i) writeFile(tmp / (std::string(folder) + "/" + fileName(i)), 10 + i % 7);
    }
    writeFile(tmp / "keep", 5);
    RootRef first = readTree(tmp.path());
    RootRef copy = readTree(tmp.path());
    const std::weak_ptr<FileNode> copyGone = copy;
    controller.keepInStep({copy});
    copy.reset();  // held by the controller alone
    startWatching({first});
    const auto allDeletedBelow = [&](const char* folder) {
        for (int i = 0; i < 1500; ++i)
            if (!nodeAt(first.get(), std::string(folder) + "/" + fileName(i))->isDeleted()) return false;
        return true;
    };
    // The copy is let go as soon as the first batch is taken in, likely while it is planned.
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(::unlink((tmp / ("a/" + fileName(i))).c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return controller.hasPendingRefresh(); }));
    controller.keepInStep({});
    ASSERT_TRUE(waitUntil([&] { return allDeletedBelow("a") && !controller.hasPendingRefresh(); }));
    EXPECT_TRUE(copyGone.expired()) << "no plan holds a tree let go once it is done";
    EXPECT_EQ(nodeAt(first.get(), "a")->subFolderFileCount(), 0);
    EXPECT_EQ(first->subFolderFileCount(), 1500 + 1);
    EXPECT_FALSE(nodeAt(first.get(), "a")->isDeleted()) << "the folder is still there";

    // Watching starts again on a tree read anew while the removals of b are being planned.
    for (int i = 0; i < 1500; ++i) ASSERT_EQ(::unlink((tmp / ("b/" + fileName(i))).c_str()), 0);
    ASSERT_TRUE(waitUntil([&] { return controller.hasPendingRefresh(); }));
    RootRef second = readTree(tmp.path());
    controller.start({second});
    int markedAtRestart = 0;
    for (int i = 0; i < 1500; ++i) markedAtRestart += nodeAt(first.get(), "b/" + fileName(i))->isDeleted();
    const int32_t filesAtRestart = first->subFolderFileCount();
    refreshes.clear();
    settle();
    int markedNow = 0;
    for (int i = 0; i < 1500; ++i) markedNow += nodeAt(first.get(), "b/" + fileName(i))->isDeleted();
    EXPECT_EQ(markedNow, markedAtRestart) << "nothing planned for the old tree is applied after the restart";
    EXPECT_EQ(first->subFolderFileCount(), filesAtRestart);
    EXPECT_EQ(second->subFolderFileCount(), 1);
    EXPECT_FALSE(nodeAt(second.get(), "keep")->isDeleted());
    for (const auto& r : refreshes)
        for (FileNode* n : r) {
            while (n->parent()) n = n->parent();
            EXPECT_EQ(n, second.get()) << "only the tree watched now is refreshed";
        }
}

TEST_F(LiveMonitorControllerTest, ControllerGoneWithBatchesInFlight) {
    TempDir tmp;
    for (int i = 0; i < 20; ++i) writeFile(tmp / fileName(i), 1);
    RootRef rootRef = readTree(tmp.path());
    {
        auto doomed = std::make_unique<LiveMonitorController>();
        int calls = 0;
        QObject::connect(doomed.get(), &LiveMonitorController::nodesChanged, [&] { ++calls; });
        doomed->start({rootRef});
        ASSERT_TRUE(doomed->monitor()->waitUntilWatching(std::chrono::milliseconds(kWaitMillis)));
        for (int i = 0; i < 20; ++i) ::unlink((tmp / fileName(i)).c_str());
        // The monitor delivers while the main thread does not run its loop.
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMillis));
        doomed.reset();
        QTest::qWait(200);
        EXPECT_EQ(calls, 0);
    }
    EXPECT_FALSE(nodeAt(rootRef.get(), "f0")->isDeleted());
}

}  // namespace
}  // namespace zelvane
