#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"

// Jobs read the trees on the pool's threads while the GUI thread changes the model's state: these
// tests run under ThreadSanitizer as well.
namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::childNamed;
using fixtures::writeFile;

// Waits until nothing is scheduled and every job has come back.
bool settle(TreemapCanvasModel& m) {
    return pumpWidgetsUntil([&] { return !m.isRegenerationScheduled() && m.busyRegenerationCount() == 0; });
}

TreemapCanvasInputs inputsFor(std::vector<RootRef> roots) {
    TreemapCanvasInputs in;
    in.roots = std::move(roots);
    in.useAllocatedSize = false;  // exact byte sizes: the geometry below depends on them
    in.showLabels = false;
    in.fileGroupMinSize = 0;
    return in;
}

// Two real trees: "a" with two equal files side by side, "b" with a folder and a loose file.
struct Trees {
    TempDir dir;
    RootRef a, b;
    Trees() {
        writeFile(dir / "a/left.bin", 40000);
        writeFile(dir / "a/right.bin", 40000);
        writeFile(dir / "b/sub/inner1.dat", 30000);
        writeFile(dir / "b/sub/inner2.dat", 10000);
        writeFile(dir / "b/loose.txt", 40000);
        a = fixtures::loadTreeFromDisk(dir / "a");
        b = fixtures::loadTreeFromDisk(dir / "b");
    }
};

struct Counters {
    int repaints = 0;
    std::vector<FileNode*> hovers;
    std::vector<TreemapSelection> selections;
    std::vector<FileNode*> zooms;
};

void wire(TreemapCanvasModel& m, Counters& c) {
    QObject::connect(&m, &TreemapCanvasModel::repaintNeeded, [&c] { ++c.repaints; });
    QObject::connect(&m, &TreemapCanvasModel::hoveredNodeChanged, [&c](FileNode* n) { c.hovers.push_back(n); });
    QObject::connect(&m, &TreemapCanvasModel::selectionMade, [&c](const TreemapSelection& s) { c.selections.push_back(s); });
    QObject::connect(&m, &TreemapCanvasModel::zoomRequested, [&c](FileNode* n) { c.zooms.push_back(n); });
}

TEST(TreemapCanvasModel, EachInputChangeLeadsToANewPictureOrOnlyARedraw) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    Counters c;
    wire(m, c);
    m.setViewSize(QSizeF(200, 100));
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), 0) << "no roots yet: nothing to lay out";

    TreemapCanvasInputs in = inputsFor({t.a});
    m.update(in);
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.jobsApplied(), 1);
    EXPECT_FALSE(m.isStale());
    EXPECT_EQ(m.renderedSize(), QSizeF(200, 100));
    EXPECT_EQ(m.image().size(), QSize(400, 200)) << "rendered at the pixel scale (2 without a screen)";

    // What only redraws (or does nothing), and what lays out again.
    struct Step {
        const char* what;
        std::function<void(TreemapCanvasInputs&)> change;
        bool newPicture;
        bool redraw;
    };
    FileNode* left = childNamed(t.a.get(), "left.bin");
    const std::vector<Step> steps = {
        {"the same inputs again", [](auto&) {}, false, false},
        {"a selection", [&](auto& i) { i.selection = {left}; }, false, true},
        {"the monitor revision", [](auto& i) { i.monitorRevision = 1; }, false, true},
        {"capacities while free space is hidden", [](auto& i) { i.capacities = {{1000, 10}}; }, false, false},
        {"free space shown", [](auto& i) { i.showFreeSpace = true; }, true, false},
        {"capacities while free space is shown", [](auto& i) { i.capacities = {{1000, 20}}; }, true, false},
        {"a missing available value", [](auto& i) { i.capacities = {{1000, std::nullopt}}; }, true, false},
        {"labels", [](auto& i) { i.showLabels = true; }, true, false},
        {"allocated size", [](auto& i) { i.useAllocatedSize = true; }, true, false},
        {"unit base", [](auto& i) { i.byteUnitBase = ByteUnitBase::binary; }, true, false},
        {"display mode", [](auto& i) { i.byteSizeDisplayMode = ByteSizeDisplayMode::mb; }, true, false},
        {"gradient", [](auto& i) { i.gradientEnabled = false; }, true, false},
        {"group size", [](auto& i) { i.fileGroupMinSize = 5; }, true, false},
        {"colour rank", [](auto& i) { i.colorRank = {{"bin", 3}}; }, true, false},
        {"one palette component", [](auto& i) { i.paletteRGB[5].g += 1; }, true, false},
        {"colour ranks not ready, nothing else", [](auto& i) { i.colorRankReady = false; }, false, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        const int jobsBefore = m.jobsStarted();
        const int repaintsBefore = c.repaints;
        s.change(in);
        m.update(in);
        EXPECT_EQ(m.isRegenerationScheduled(), s.newPicture);
        ASSERT_TRUE(settle(m));
        EXPECT_EQ(m.jobsStarted() - jobsBefore, s.newPicture ? 1 : 0);
        if (!s.newPicture) {
            EXPECT_EQ(c.repaints - repaintsBefore, s.redraw ? 1 : 0);
        }
        EXPECT_FALSE(m.isStale());
    }
}

// The colour slot of every box of the picture that stands for one file.
std::vector<std::pair<std::string, int>> fileColours(const TreemapCanvasModel& m) {
    std::vector<std::pair<std::string, int>> out;
    for (const TreemapLeaf& leaf : m.layout().leaves)
        if (!leaf.dust && !leaf.node->isDir()) out.emplace_back(leaf.node->name(), leaf.colorIndex);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(TreemapCanvasModel, RootsThatArriveBeforeTheirColoursAreLaidOutAtOnceAndPaintedOnceTheColoursAreReady) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    Counters c;
    wire(m, c);
    m.setViewSize(QSizeF(300, 200));
    TreemapCanvasInputs in = inputsFor({t.a});
    m.update(in);
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.jobsApplied(), 1);
    const int started = m.jobsStarted();

    // New roots, ranks still computing: only the background, while their boxes are laid out.
    in.roots = {t.b};
    in.colorRankReady = false;
    c.hovers.clear();
    m.update(in);
    EXPECT_TRUE(m.isStale());
    EXPECT_EQ(m.jobsStarted(), started + 1) << "the layout starts at once";
    ASSERT_EQ(c.hovers.size(), 1u);
    EXPECT_EQ(c.hovers[0], nullptr) << "new roots clear the hover";
    EXPECT_FALSE(m.nodeAt(QPointF(10, 10))) << "a stale picture hits nothing";
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsApplied(), 1) << "no picture without its colours";
    EXPECT_TRUE(m.isStale());
    // Updates meanwhile (a selection) leave the waiting layout alone.
    in.selection = {childNamed(t.b.get(), "loose.txt")};
    m.update(in);
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), started + 1);

    // Ranks ready, colours unchanged (by size with nothing ranked yet): the layout is coloured
    // and painted now, not left blank until a resize, and not laid out again.
    in.colorRankReady = true;
    m.update(in);
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsApplied(), 2);
    EXPECT_EQ(m.jobsStarted(), started + 2) << "one layout, one colouring";
    EXPECT_EQ(m.jobsSuperseded(), 0);
    EXPECT_FALSE(m.isStale());
    EXPECT_TRUE(m.nodeAt(QPointF(10, 10)));

    // An update while that picture is already current schedules nothing more.
    m.update(in);
    EXPECT_FALSE(m.isRegenerationScheduled());

    // After the window dropped the picture on purpose (a scan starts), the same roots are not
    // painted again on their own.
    m.clearStaleLayoutAndHover();
    EXPECT_TRUE(m.isStale());
    EXPECT_FALSE(m.hasPicture());
    m.update(in);
    EXPECT_FALSE(m.isRegenerationScheduled());
}

TEST(TreemapCanvasModel, ColoursThatArriveWhileTheLayoutRunsPaintThatLayoutInThem) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(300, 200));
    TreemapCanvasInputs in = inputsFor({t.a});
    in.colorRankReady = false;
    {
        // The layout is held on the pool while the colours arrive.
        HeldPoolThreads hold;
        ASSERT_TRUE(hold.waitUntilHeld());
        m.update(in);
        EXPECT_EQ(m.jobsStarted(), 1);
        in.colorRank = {{"bin", 3}};
        in.colorRankReady = true;
        m.update(in);
        QCoreApplication::processEvents();
        EXPECT_EQ(m.jobsStarted(), 1) << "the layout on its way is not started again";
    }
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), 2);
    EXPECT_EQ(m.jobsApplied(), 1);
    EXPECT_EQ(m.jobsSuperseded(), 0);
    ASSERT_FALSE(m.isStale());
    const std::vector<std::pair<std::string, int>> painted{{"left.bin", 3}, {"right.bin", 3}};
    EXPECT_EQ(fileColours(m), painted);

    // Other colours for the same roots colour a new picture.
    in.colorRank = {{"bin", 7}};
    m.update(in);
    ASSERT_TRUE(settle(m));
    const std::vector<std::pair<std::string, int>> repainted{{"left.bin", 7}, {"right.bin", 7}};
    EXPECT_EQ(fileColours(m), repainted);
}

// A rescan or a filter replaces the roots while the first layout still runs alone; a live change
// comes while a layout waits for its colours. Only a layout of the roots shown, made after the
// change, is painted, in the colours that came for those roots.
TEST(TreemapCanvasModel, ALayoutOvertakenBeforeItsColoursIsNeverPainted) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(300, 200));
    TreemapCanvasInputs in = inputsFor({t.a});
    in.showLabels = true;  // the sizes shown follow live changes
    in.colorRankReady = false;
    {
        HeldPoolThreads hold;
        ASSERT_TRUE(hold.waitUntilHeld());
        m.update(in);
        in.roots = {t.b};  // the scan again, or a filter: new roots before the first layout ran
        m.update(in);
        EXPECT_EQ(m.jobsStarted(), 2);
        EXPECT_EQ(m.busyRegenerationCount(), 2);
    }
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsSuperseded(), 1);
    EXPECT_EQ(m.jobsApplied(), 0);
    EXPECT_TRUE(m.isStale());

    // A live change to the tree while the layout of "b" waits: laid out again, from the sizes now.
    in.monitorRevision = 1;
    m.update(in);
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), 3);
    EXPECT_TRUE(m.isStale());

    in.colorRank = {{"txt", 5}, {"dat", 2}};
    in.colorRankReady = true;
    m.update(in);
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), 4) << "the waiting layout coloured, not laid out again";
    EXPECT_EQ(m.jobsApplied(), 1);
    ASSERT_FALSE(m.isStale());
    EXPECT_EQ(m.layout().hitRoots.at(0).node, t.b.get());
    const std::vector<std::pair<std::string, int>> painted{{"inner1.dat", 2}, {"inner2.dat", 2}, {"loose.txt", 5}};
    EXPECT_EQ(fileColours(m), painted);

    // A resize while a layout waits for colours lays out at the new size instead.
    in.roots = {t.a};
    in.colorRankReady = false;
    m.update(in);
    ASSERT_TRUE(settle(m));
    m.setViewSize(QSizeF(320, 200));
    ASSERT_TRUE(settle(m));
    in.colorRankReady = true;
    m.update(in);
    ASSERT_TRUE(settle(m));
    EXPECT_FALSE(m.isStale());
    EXPECT_EQ(m.renderedSize(), QSizeF(320, 200));
    EXPECT_EQ(m.layout().hitRoots.at(0).rect.width, 320);
}

TEST(TreemapCanvasModel, AJobOvertakenByANewerOneIsDroppedAndTheBusyCountComesBackToZero) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    Counters c;
    wire(m, c);
    QSignalSpy busy(&m, &TreemapCanvasModel::busyChanged);
    m.setViewSize(QSizeF(200, 100));

    // Hold the pool's threads so that both jobs are queued before either runs: the first then
    // finishes after the second was started, whatever the machine's speed.
    HeldPoolThreads hold;
    ASSERT_TRUE(hold.waitUntilHeld());

    TreemapCanvasInputs in = inputsFor({t.a});
    m.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return m.jobsStarted() == 1; }));
    in.roots = {t.b};
    m.update(in);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return m.jobsStarted() == 2; }));
    EXPECT_EQ(m.busyRegenerationCount(), 2);
    hold.release();
    ASSERT_TRUE(settle(m));

    EXPECT_EQ(m.jobsSuperseded(), 1);
    EXPECT_EQ(m.jobsApplied(), 1);
    EXPECT_EQ(m.busyRegenerationCount(), 0);
    ASSERT_EQ(busy.count(), 2) << "busy once, idle once: the cursor came and went once";
    EXPECT_TRUE(busy[0][0].toBool());
    EXPECT_FALSE(busy[1][0].toBool());
    EXPECT_FALSE(m.isStale()) << "the newer roots' picture is the one shown";
    ASSERT_TRUE(m.nodeAt(QPointF(1, 1)));

    // The timing log tells the two apart (its entries change on a later turn of the event loop).
    int superseded = 0, leaves = 0;
    pumpWidgetsUntil([&] {
        superseded = leaves = 0;
        for (const auto& e : DebugTimingLog::shared().entries()) {
            if (e.label != QStringLiteral("Treemap display") || !e.detail) continue;
            if (*e.detail == QStringLiteral("superseded")) ++superseded;
            if (e.detail->endsWith(QStringLiteral(" leaves"))) ++leaves;
        }
        return superseded >= 1 && leaves >= 1;
    });
    EXPECT_GE(superseded, 1);
    EXPECT_GE(leaves, 1);
}

TEST(TreemapCanvasModel, AJobThatReturnsAfterItsCanvasWentIsIgnored) {
    qtWidgetApp();
    Trees t;
    auto m = std::make_unique<TreemapCanvasModel>();
    m->setViewSize(QSizeF(200, 100));
    m->update(inputsFor({t.a, t.b}));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return m->jobsStarted() == 1; }));
    m.reset();
    // The job finishes on its own and its result finds nobody; nothing may crash.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

TEST(TreemapCanvasModel, AReplacedOrDroppedPictureLetsGoOfItsTrees) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(200, 100));
    m.update(inputsFor({t.a}));
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.jobsApplied(), 1);

    // The picture of "a" is the last holder of its tree once the window shows "b".
    const std::weak_ptr<FileNode> a = t.a;
    t.a.reset();
    m.update(inputsFor({t.b}));
    ASSERT_TRUE(settle(m));
    ASSERT_FALSE(m.isStale());
    EXPECT_TRUE(pumpWidgetsUntil([&] { return a.expired(); })) << "the replaced picture is freed";

    // Dropped on request while the window still names "b": the picture's handle goes, the
    // window's stays, and nothing new is made until new inputs come.
    const std::weak_ptr<FileNode> b = t.b;
    m.clearStaleLayoutAndHover();
    EXPECT_TRUE(m.isStale());
    EXPECT_FALSE(m.hasPicture());
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), 2);
    t.b.reset();
    m.update(inputsFor({}));
    EXPECT_TRUE(pumpWidgetsUntil([&] { return b.expired(); })) << "nothing else holds the tree";
}

TEST(TreemapCanvasModel, HitTestingGivesEachSharedEdgeToTheBoxOnItsRightOrBelow) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(200, 100));
    m.update(inputsFor({t.a}));
    ASSERT_TRUE(settle(m));

    FileNode* left = childNamed(t.a.get(), "left.bin");
    FileNode* right = childNamed(t.a.get(), "right.bin");
    const auto l = m.nodeAt(QPointF(0, 0));
    ASSERT_TRUE(l);
    FileNode* first = l->node;
    ASSERT_TRUE(first == left || first == right);
    FileNode* second = first == left ? right : left;
    EXPECT_EQ(l->rect, (TreemapRect{0, 0, 100, 100}));

    struct Case {
        QPointF p;
        FileNode* expected;
    };
    const Case cases[] = {
        {{99.999, 50}, first}, {{100, 50}, second},   // the shared edge belongs to the right box
        {{199.999, 99.999}, second}, {{200, 50}, nullptr}, {{50, 100}, nullptr},  // right and bottom edges are outside
        {{-0.001, 0}, nullptr}, {{0, -0.001}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p.x() << "," << c.p.y());
        const auto hit = m.nodeAt(c.p);
        EXPECT_EQ(hit ? hit->node : nullptr, c.expected);
    }
    EXPECT_FALSE(m.isPointInFreeSpaceBox(QPointF(50, 50)));
}

TEST(TreemapCanvasModel, AWideFolderIsHitTestedExactlyLikeAWalkOverEveryChild) {
    qtWidgetApp();
    TempDir dir;
    std::mt19937 rng(3);
    for (int i = 0; i < 1500; ++i) writeFile(dir / ("w/f" + std::to_string(i)), 1 + int64_t(rng() % 5000));
    for (int i = 0; i < 200; ++i) writeFile(dir / ("w/d/g" + std::to_string(i)), 1 + int64_t(rng() % 900));
    RootRef root = fixtures::loadTreeFromDisk(dir / "w");
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(613, 397));
    m.update(inputsFor({root}));
    ASSERT_TRUE(settle(m));

    auto walk = [&](QPointF p) -> FileNode* {
        const TreemapHitNode* cur = nullptr;
        for (const TreemapHitNode& r : m.layout().hitRoots)
            if (treemapRectContains(r.rect, p)) { cur = &r; break; }
        if (!cur) return nullptr;
        for (bool moved = true; moved;) {
            moved = false;
            for (const TreemapHitNode& k : cur->children)
                if (treemapRectContains(k.rect, p)) { cur = &k; moved = true; break; }
        }
        return cur->node;
    };
    std::uniform_real_distribution<double> xs(-1, 614), ys(-1, 398);
    int hits = 0;
    for (int i = 0; i < 20000; ++i) {
        const QPointF p(xs(rng), ys(rng));
        const auto hit = m.nodeAt(p);
        ASSERT_EQ(hit ? hit->node : nullptr, walk(p)) << p.x() << "," << p.y();
        hits += hit.has_value();
    }
    EXPECT_GT(hits, 19000);
    // Points exactly on the edges between boxes, where the half-open rule decides.
    for (const TreemapLeaf& leaf : m.layout().leaves) {
        const QPointF corners[] = {{leaf.rect.minX(), leaf.rect.minY()}, {leaf.rect.maxX(), leaf.rect.minY()},
                                   {leaf.rect.minX(), leaf.rect.maxY()}};
        for (QPointF c : corners) {
            const auto hit = m.nodeAt(c);
            ASSERT_EQ(hit ? hit->node : nullptr, walk(c));
        }
    }
}

TEST(TreemapCanvasModel, DoubleClicksZoomIntoFoldersAcrossRootsAndTheZoomedFolderFillsTheView) {
    qtWidgetApp();
    Trees t;
    TempDir single;
    writeFile(single / "lonely.iso", 80000);
    RootRef fileRoot = fixtures::loadTreeFromDisk(single / "lonely.iso");
    ASSERT_FALSE(fileRoot->isDir());

    TreemapCanvasModel m;
    Counters c;
    wire(m, c);
    m.setViewSize(QSizeF(400, 200));
    TreemapCanvasInputs in = inputsFor({t.a, t.b, fileRoot});
    m.update(in);
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.layout().hitRoots.size(), 3u);

    FileNode* sub = childNamed(t.b.get(), "sub");
    FileNode* inner = childNamed(sub, "inner1.dat");
    const TreemapRect* innerRect = m.layout().nodeRects.find(inner);
    ASSERT_TRUE(innerRect);
    const QPointF inInner(innerRect->x + innerRect->width / 2, innerRect->y + innerRect->height / 2);
    const TreemapRect fileRect = m.layout().hitRoots[2].rect;
    const QPointF inFileRoot(fileRect.x + 1, fileRect.y + 1);

    m.click(inInner, false, 1);
    ASSERT_EQ(c.selections.size(), 1u);
    EXPECT_EQ(c.selections.back(), TreemapSelection{inner});
    EXPECT_TRUE(c.zooms.empty()) << "a single click does not zoom";
    m.click(inInner, false, 2);
    ASSERT_EQ(c.zooms.size(), 1u);
    EXPECT_EQ(c.zooms.back(), sub) << "a file zooms to its folder";
    m.click(inFileRoot, false, 2);
    EXPECT_EQ(c.zooms.back(), fileRoot.get()) << "a root file without a parent zooms to itself";

    // The window zooms into "sub" of the second root: it alone fills the view.
    in.zoomedNode = sub;
    m.update(in);
    EXPECT_TRUE(m.isStale());
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.layout().hitRoots.size(), 1u);
    EXPECT_EQ(m.layout().hitRoots[0].node, sub);
    EXPECT_EQ(m.layout().hitRoots[0].rect, (TreemapRect{0, 0, 400, 200}));
    EXPECT_EQ(m.nodeAt(QPointF(399, 199))->node->parent(), sub);

    // With labels the zoomed folder's own strip hits the folder: a double click there zooms to it.
    in.showLabels = true;
    m.update(in);
    ASSERT_TRUE(settle(m));
    const auto strip = m.nodeAt(QPointF(200, 2));
    ASSERT_TRUE(strip);
    EXPECT_EQ(strip->node, sub);
    m.click(QPointF(200, 2), false, 2);
    EXPECT_EQ(c.zooms.back(), sub) << "a folder zooms to itself";

    // Zooming out brings every root back.
    in.zoomedNode = nullptr;
    m.update(in);
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.layout().hitRoots.size(), 3u);
}

TEST(TreemapCanvasModel, ClicksAndRightClicksSelectAsTheWindowExpects) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    Counters c;
    wire(m, c);
    m.setViewSize(QSizeF(200, 100));
    TreemapCanvasInputs in = inputsFor({t.a});
    m.update(in);
    ASSERT_TRUE(settle(m));
    const QPointF p1(10, 10), p2(150, 10);
    FileNode* n1 = m.nodeAt(p1)->node;
    FileNode* n2 = m.nodeAt(p2)->node;

    m.click(p1, false, 1);
    EXPECT_EQ(c.selections.back(), TreemapSelection{n1});
    m.click(p2, true, 1);
    EXPECT_EQ(c.selections.back(), (TreemapSelection{n1, n2})) << "Ctrl adds";
    m.click(p1, true, 1);
    EXPECT_EQ(c.selections.back(), TreemapSelection{n2}) << "Ctrl on a selected box removes it";

    // Right clicks: inside the selection nothing changes; outside it the box alone; with Ctrl added.
    in.selection = {n1, n2};
    m.update(in);
    c.selections.clear();
    EXPECT_EQ(m.prepareContextMenu(p1, false), TreemapMenuKind::fileActions);
    EXPECT_TRUE(c.selections.empty());
    in.selection = {n2};
    m.update(in);
    EXPECT_EQ(m.prepareContextMenu(p1, false), TreemapMenuKind::fileActions);
    EXPECT_EQ(c.selections.back(), TreemapSelection{n1});
    EXPECT_EQ(m.prepareContextMenu(p2, true), TreemapMenuKind::fileActions);
    EXPECT_EQ(c.selections.back(), (TreemapSelection{n1, n2}));
    EXPECT_EQ(m.prepareContextMenu(p2, true), TreemapMenuKind::fileActions);
    EXPECT_EQ(c.selections.back(), (TreemapSelection{n1, n2})) << "Ctrl with a right click never removes";
    EXPECT_EQ(m.prepareContextMenu(QPointF(250, 10), false), TreemapMenuKind::none) << "outside every box";
}

TEST(TreemapCanvasModel, FreeSpaceBoxesOfferOnlyTheDisplayItems) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(400, 100));
    TreemapCanvasInputs in = inputsFor({t.a});
    in.showFreeSpace = true;
    in.capacities = {{1000000, 500000}};  // half of the column is free space, on the right
    m.update(in);
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.layout().freeSpaceBoxes.size(), 1u);
    const TreemapRect box = m.layout().freeSpaceBoxes[0].rect;
    const QPointF inBox(box.x + box.width / 2, box.y + box.height / 2);
    EXPECT_FALSE(m.nodeAt(inBox)) << "free space is not in the hit tree";
    EXPECT_TRUE(m.isPointInFreeSpaceBox(inBox));
    EXPECT_EQ(m.prepareContextMenu(inBox, false), TreemapMenuKind::displayOnly);
}

TEST(TreemapCanvasModel, OutlinesFollowSelectionHoverAndDeletionsAndKeepAGroupSelectedAcrossLayouts) {
    qtWidgetApp();
    TempDir dir;
    for (int i = 0; i < 6; ++i) writeFile(dir / ("g/f" + std::to_string(i) + ".log"), 10000 + i * 1000);
    writeFile(dir / "g/sub/big.bin", 90000);
    RootRef root = fixtures::loadTreeFromDisk(dir / "g");

    TreemapCanvasModel m;
    Counters c;
    wire(m, c);
    m.setViewSize(QSizeF(400, 300));
    TreemapCanvasInputs in = inputsFor({root});
    in.showLabels = true;
    in.fileGroupMinSize = 4;
    m.update(in);
    ASSERT_TRUE(settle(m));
    ASSERT_EQ(m.layout().groupBoxes.size(), 1u);
    FileNode* group = m.layout().groupBoxes[0].node;
    ASSERT_TRUE(group->isSyntheticGroup());

    // The window's selection holds the group node of this layout.
    in.selection = {group};
    m.update(in);
    auto ov = m.overlays();
    ASSERT_EQ(ov.selected.size(), 1u);
    EXPECT_EQ(ov.selected[0], m.layout().groupBoxes[0].boxRect);

    // A new layout makes a new group object for the same folder; the old one stays outlined.
    // The old group came from the outline's own store, so keep it alive here as the outline would.
    const auto outlineGroup = root->groupedChildren(4).group;
    in.selection = {outlineGroup.get()};
    in.gradientEnabled = false;
    m.update(in);
    ASSERT_TRUE(settle(m));
    ASSERT_NE(m.layout().groupBoxes[0].node, outlineGroup.get());
    EXPECT_TRUE(m.isSelected(m.layout().groupBoxes[0].node));
    ov = m.overlays();
    ASSERT_EQ(ov.selected.size(), 1u);
    EXPECT_EQ(ov.selected[0], m.layout().groupBoxes[0].boxRect);

    // Hover outline follows the pointer; leaving clears it and tells the window.
    FileNode* big = childNamed(childNamed(root.get(), "sub"), "big.bin");
    const TreemapRect bigRect = *m.layout().nodeRects.find(big);
    m.mouseMoved(QPointF(bigRect.x + 2, bigRect.y + 2));
    EXPECT_EQ(m.hoveredNode(), big);
    EXPECT_EQ(c.hovers.back(), big);
    EXPECT_TRUE(m.toolTipText().contains(QStringLiteral("big.bin\nSize: ")));
    EXPECT_EQ(m.overlays().hovered, bigRect);
    m.mouseExited();
    EXPECT_EQ(c.hovers.back(), nullptr);
    EXPECT_FALSE(m.overlays().hovered);
    EXPECT_TRUE(m.toolTipText().isEmpty());

    // Deleted outlines: none while the monitor has not reported anything, then the leaf and
    // the group whose files are all gone.
    big->setIsDeleted(true);
    for (FileNode* k : root->children())
        if (!k->isDir()) k->setIsDeleted(true);
    EXPECT_TRUE(m.overlays().deleted.empty());
    in.monitorRevision = 1;
    m.update(in);
    ov = m.overlays();
    EXPECT_NE(std::find(ov.deleted.begin(), ov.deleted.end(), bigRect), ov.deleted.end());
    EXPECT_NE(std::find(ov.deleted.begin(), ov.deleted.end(), m.layout().groupBoxes[0].boxRect), ov.deleted.end());

    // While the view is resized the stretched picture carries no outlines.
    m.splitDragBegan();
    m.setViewSize(QSizeF(300, 300));
    EXPECT_FALSE(m.isRegenerationScheduled()) << "nothing is laid out during a divider drag";
    EXPECT_FALSE(m.overlaysShown());
    EXPECT_TRUE(m.overlays().selected.empty());
    // The stretched picture is hit where it is shown: 3/4 of the way across the view is 3/4 of
    // the way across the picture.
    const QPointF bigCentre(bigRect.x + bigRect.width / 2, bigRect.y + bigRect.height / 2);
    EXPECT_EQ(m.nodeAt(QPointF(bigCentre.x() * 300 / 400, bigCentre.y()))->node, big);
    m.splitDragEnded();
    EXPECT_TRUE(m.isRegenerationScheduled());
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.renderedSize(), QSizeF(300, 300));
    EXPECT_TRUE(m.overlaysShown());
}

TEST(TreemapCanvasModel, AResizeWaitsForTheDebounceAndANewerResizeReplacesIt) {
    qtWidgetApp();
    Trees t;
    TreemapCanvasModel m;
    m.setViewSize(QSizeF(200, 100));
    m.update(inputsFor({t.a}));
    ASSERT_TRUE(settle(m));
    const int jobs = m.jobsStarted();

    m.setViewSize(QSizeF(220, 100));
    m.setViewSize(QSizeF(240, 100));
    EXPECT_TRUE(m.isRegenerationScheduled());
    QElapsedTimer timer;
    timer.start();
    pumpWidgetsUntil([&] { return m.jobsStarted() > jobs; });
    EXPECT_GE(timer.elapsed(), TreemapCanvasModel::kResizeDebounceMs - 20);
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), jobs + 1) << "two resizes, one picture";
    EXPECT_EQ(m.renderedSize(), QSizeF(240, 100));

    // Nothing is made for an empty view.
    m.setViewSize(QSizeF(0, 100));
    ASSERT_TRUE(settle(m));
    EXPECT_EQ(m.jobsStarted(), jobs + 1);
}

}  // namespace
}  // namespace zelvane
