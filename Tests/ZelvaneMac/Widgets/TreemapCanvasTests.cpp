#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QMenu>
#include <QTest>
#include <QThreadPool>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

bool settle(TreemapCanvas& c) {
    return pumpWidgetsUntil([&] {
        return !c.model().isRegenerationScheduled() && c.model().busyRegenerationCount() == 0;
    });
}

// A small disk of mixed files: media, archives, text, a few folders deep.
RootRef makeTree(const TempDir& dir) {
    const std::pair<const char*, int64_t> files[] = {
        {"Music/album/track01.mp3", 420000}, {"Music/album/track02.mp3", 380000}, {"Music/album/track03.flac", 900000},
        {"Movies/holiday.mkv", 2400000},     {"Movies/clip.mp4", 700000},         {"Photos/2023/img1.jpg", 250000},
        {"Photos/2023/img2.jpg", 230000},    {"Photos/2023/img3.png", 180000},    {"Photos/2024/raw.tif", 600000},
        {"Backups/site.tar.gz", 1200000},    {"Backups/db.zip", 500000},          {"notes.txt", 40000},
        {"log/a.log", 30000},                {"log/b.log", 31000},                {"log/c.log", 32000},
        {"log/d.log", 33000},                {"log/e.log", 34000},                {"disk.iso", 1500000},
    };
    for (const auto& [path, size] : files) writeFile(dir / path, size);
    return fixtures::loadTreeFromDisk(dir.path());
}

FileNode* find(FileNode* root, std::initializer_list<const char*> path) {
    FileNode* n = root;
    for (const char* part : path) {
        FileNode* next = nullptr;
        for (FileNode* k : n->children())
            if (k->name() == part) next = k;
        if (!next) return nullptr;
        n = next;
    }
    return n;
}

struct Harness {
    bool app = (qtWidgetApp(), true);
    TempDir dir;
    RootRef root = makeTree(dir);
    TreemapCanvas canvas{nullptr};
    TreemapCanvasInputs inputs;
    std::vector<TreemapSelection> selections;
    std::vector<FileNode*> zooms;
    std::vector<TreemapNodeList> previews;
    std::vector<TreemapNodeList> menuTargets;
    int toggles = 0;

    Harness() {
        QObject::connect(&canvas, &TreemapCanvas::selectionMade, [this](const TreemapSelection& s) {
            selections.push_back(s);
            inputs.selection = s;  // the window stores it and hands it back
            canvas.update(inputs);
        });
        QObject::connect(&canvas, &TreemapCanvas::zoomRequested, [this](FileNode* n) { zooms.push_back(n); });
        QObject::connect(&canvas, &TreemapCanvas::showFreeSpaceToggled, [this] { ++toggles; });
        TreemapFileActions actions;
        actions.makeMenu = [this](QWidget* parent, TreemapFileActions::TargetProvider targets) {
            menuTargets.push_back(targets());
            auto* menu = new QMenu(parent);
            menu->addAction(QStringLiteral("Open"));
            menu->addAction(QStringLiteral("Move to Trash"));
            return menu;
        };
        actions.quickLook = [this](const TreemapNodeList& nodes) { previews.push_back(nodes); };
        canvas.setFileActions(actions);

        std::vector<RootRef> roots{root};
        inputs.roots = roots;
        inputs.useAllocatedSize = false;
        inputs.colorRank = computeExtensionStats(std::span<const RootRef>(roots), true, {}).colorRank;
        canvas.resize(640, 400);
        canvas.show();
        canvas.update(inputs);
    }
    QPointF centreOf(FileNode* node) const {
        const TreemapRect* r = canvas.model().layout().nodeRects.find(node);
        return r ? QPointF(r->x + r->width / 2, r->y + r->height / 2) : QPointF(-1, -1);
    }
    QMenu* rightClick(QPointF at, Qt::KeyboardModifiers mods = {}) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, at.toPoint(), canvas.mapToGlobal(at.toPoint()), mods);
        QApplication::sendEvent(&canvas, &e);
        return canvas.openMenu();
    }
};

QStringList titles(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

TEST(TreemapCanvas, ShowsTheCushionPictureWithTheSelectionOutlinedAndTheGrabLooksRight) {
    Harness h;
    ASSERT_TRUE(settle(h.canvas));
    ASSERT_FALSE(h.canvas.model().isStale());
    FileNode* movie = find(h.root.get(), {"Movies", "holiday.mkv"});
    ASSERT_TRUE(movie);
    h.inputs.selection = {movie};
    h.canvas.update(h.inputs);
    QCoreApplication::processEvents();

    const QImage shot = h.canvas.grab().toImage();
    const QString path = QDir::current().absoluteFilePath(QStringLiteral("treemap-canvas.png"));
    ASSERT_TRUE(shot.save(path)) << path.toStdString();
    std::cout << "canvas grabbed to " << path.toStdString() << "\n";

    // The selected leaf is outlined in white just inside its edge; its middle is shaded colour.
    const TreemapRect r = *h.canvas.model().layout().nodeRects.find(movie);
    const QColor edge = shot.pixelColor(int(r.x + r.width / 2), int(r.y + 1));
    EXPECT_EQ(edge, QColor(Qt::white));
    const QColor middle = shot.pixelColor(int(r.x + r.width / 2), int(r.y + r.height / 2));
    EXPECT_NE(middle, QColor(Qt::white));
    EXPECT_EQ(middle.alpha(), 255);
    EXPECT_FALSE(middle.red() == middle.green() && middle.green() == middle.blue()) << "ranked extensions are coloured";
}

TEST(TreemapCanvas, ClicksSelectDoubleClicksZoomAndSpaceAsksForThePreview) {
    Harness h;
    ASSERT_TRUE(settle(h.canvas));
    FileNode* flac = find(h.root.get(), {"Music", "album", "track03.flac"});
    FileNode* iso = find(h.root.get(), {"disk.iso"});
    const QPoint pFlac = h.centreOf(flac).toPoint();
    const QPoint pIso = h.centreOf(iso).toPoint();

    QTest::mouseClick(&h.canvas, Qt::LeftButton, {}, pFlac);
    ASSERT_FALSE(h.selections.empty());
    EXPECT_EQ(h.selections.back(), TreemapSelection{flac});
    QTest::mouseClick(&h.canvas, Qt::LeftButton, Qt::ControlModifier, pIso);
    EXPECT_EQ(h.selections.back(), (TreemapSelection{flac, iso}));

    QTest::keyClick(&h.canvas, Qt::Key_Space);
    ASSERT_EQ(h.previews.size(), 1u);
    EXPECT_EQ(TreemapSelection(h.previews[0].begin(), h.previews[0].end()), (TreemapSelection{flac, iso}));

    QTest::mouseDClick(&h.canvas, Qt::LeftButton, {}, pFlac);
    ASSERT_FALSE(h.zooms.empty());
    EXPECT_EQ(h.zooms.back(), flac->parent());

    // With nothing selected Space is not taken.
    h.inputs.selection = {};
    h.canvas.update(h.inputs);
    QTest::keyClick(&h.canvas, Qt::Key_Space);
    EXPECT_EQ(h.previews.size(), 1u);
}

TEST(TreemapCanvas, RightClicksShowTheMenuThatFitsWhatIsUnderThePointer) {
    Harness h;
    h.inputs.showFreeSpace = true;
    h.inputs.capacities = {{int64_t(40000000), int64_t(20000000)}};
    h.canvas.update(h.inputs);
    ASSERT_TRUE(settle(h.canvas));
    const QStringList display = {QStringLiteral("Show Treemap"), QStringLiteral("Show Allocated Space on Treemap"),
                                 QStringLiteral("Show Free Space on Treemap"),
                                 QStringLiteral("Show Folder and File Names on Treemap")};

    // A box: the file actions for the box alone, then the display items with current checks.
    FileNode* clip = find(h.root.get(), {"Movies", "clip.mp4"});
    QMenu* menu = h.rightClick(h.centreOf(clip));
    ASSERT_TRUE(menu);
    EXPECT_EQ(titles(menu), QStringList({QStringLiteral("Open"), QStringLiteral("Move to Trash"), QStringLiteral("-")}) + display);
    ASSERT_EQ(h.menuTargets.size(), 1u);
    EXPECT_EQ(h.menuTargets[0], TreemapNodeList{clip});
    EXPECT_EQ(h.selections.back(), TreemapSelection{clip});
    const auto acts = h.canvas.displayActions();
    EXPECT_TRUE(acts[0]->isChecked());
    EXPECT_FALSE(acts[1]->isChecked());
    EXPECT_TRUE(acts[2]->isChecked());
    EXPECT_TRUE(acts[3]->isChecked());
    menu->close();
    QCoreApplication::processEvents();
    EXPECT_FALSE(h.canvas.openMenu());

    // Free space: the display items alone; choosing one calls the window.
    const TreemapRect box = h.canvas.model().layout().freeSpaceBoxes.at(0).rect;
    menu = h.rightClick(QPointF(box.x + box.width / 2, box.y + box.height / 2));
    ASSERT_TRUE(menu);
    EXPECT_EQ(titles(menu), display);
    menu->actions()[2]->trigger();
    EXPECT_EQ(h.toggles, 1);
    menu->close();
    QCoreApplication::processEvents();

    // Without a stand-in the canvas's own file-action menu comes first, for the same box.
    TreemapCanvas plain(nullptr);
    plain.resize(640, 400);
    plain.show();
    plain.update(h.inputs);
    ASSERT_TRUE(settle(plain));
    QContextMenuEvent e(QContextMenuEvent::Mouse, h.centreOf(clip).toPoint(), plain.mapToGlobal(h.centreOf(clip).toPoint()));
    QApplication::sendEvent(&plain, &e);
    ASSERT_TRUE(plain.openMenu());
    const QStringList real = titles(plain.openMenu());
    EXPECT_EQ(real.first(), QStringLiteral("Open"));
    EXPECT_EQ(real.mid(real.size() - 5), QStringList{QStringLiteral("-")} + display);
    plain.openMenu()->close();
    QCoreApplication::processEvents();

    // Outside every box (a view wider than the picture never happens, so shrink the picture's
    // roots to nothing): no menu at all.
    h.inputs.roots = {};
    h.canvas.update(h.inputs);
    ASSERT_TRUE(settle(h.canvas));
    EXPECT_FALSE(h.rightClick(QPointF(10, 10)));
}

TEST(TreemapCanvas, TheBusyCursorShowsWhileAJobRunsExceptOverTheTopStripAndNeverLeaksWhenTheCanvasGoes) {
    qtWidgetApp();
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    const QCursor& busy = BusyCursor::shared();
    EXPECT_EQ(busy.shape(), Qt::BitmapCursor);
    EXPECT_EQ(busy.hotSpot(), QPoint(10, 10));
    EXPECT_EQ(busy.pixmap().deviceIndependentSize(), QSizeF(20, 20));
    const QImage disc = busy.pixmap().toImage();
    const double r = busy.pixmap().devicePixelRatio();
    EXPECT_EQ(disc.pixelColor(int(3 * r), int(10 * r)), QColor(Qt::white)) << "a white disc";
    EXPECT_EQ(disc.pixelColor(0, 0).alpha(), 0) << "transparent outside it";

    QThreadPool* pool = QThreadPool::globalInstance();
    std::optional<HeldPoolThreads> held;
    auto hold = [&] {
        held.reset();  // an earlier hold's tasks are gone before this one takes the threads
        held.emplace();
        return held->waitUntilHeld();
    };

    {
        Harness h;
        ASSERT_TRUE(settle(h.canvas));
        ASSERT_TRUE(hold());
        h.inputs.showLabels = false;
        h.canvas.update(h.inputs);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return h.canvas.model().busyRegenerationCount() == 1; }));
        QTest::mouseMove(&h.canvas, QPoint(100, 100));
        EXPECT_EQ(h.canvas.cursor().shape(), Qt::BitmapCursor);
        QTest::mouseMove(&h.canvas, QPoint(100, 5));
        EXPECT_EQ(h.canvas.cursor().shape(), Qt::ArrowCursor) << "the top strip keeps the arrow";
        QTest::mouseMove(&h.canvas, QPoint(100, 12));
        EXPECT_EQ(h.canvas.cursor().shape(), Qt::BitmapCursor);
        held->release();
        ASSERT_TRUE(settle(h.canvas));
        QTest::mouseMove(&h.canvas, QPoint(100, 101));
        EXPECT_EQ(h.canvas.cursor().shape(), Qt::ArrowCursor);

        // The canvas goes while a job runs: nothing is left on the application's cursor.
        ASSERT_TRUE(hold());
        h.inputs.showLabels = true;
        h.canvas.update(h.inputs);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return h.canvas.model().busyRegenerationCount() == 1; }));
    }
    held.reset();
    pool->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The scoped form used by background lists: nested pushes, balanced pops.
    {
        ScopedBusyCursor outer;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BitmapCursor);
        { ScopedBusyCursor inner; }
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A list still being made when the window goes holds the busy pointer in its undelivered result,
// which the application drops only as it ends: letting go of the pointer then is quiet, not a
// complaint on standard error (or an abort where warnings are fatal).
TEST(TreemapCanvas, ABusyPointerOutlivingTheApplicationLetsGoQuietly) {
    qtWidgetApp();
    EXPECT_EXIT(
        {
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type == QtDebugMsg || type == QtInfoMsg) return;
                std::fprintf(stderr, "%s\n", qPrintable(message));
                std::_Exit(3);
            });
            auto held = std::make_shared<ScopedBusyCursor>();
            delete &qtWidgetApp();
            held.reset();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TreemapCanvas, ClearingDropsThePictureAtOnce) {
    Harness h;
    ASSERT_TRUE(settle(h.canvas));
    h.canvas.clearPicture();
    EXPECT_TRUE(h.canvas.model().isStale());
    const QImage shot = h.canvas.grab().toImage();
    EXPECT_EQ(shot.pixel(320, 200), treemapBackgroundColor().toQColor().rgb()) << "only the background";
}

}  // namespace
}  // namespace zelvane
