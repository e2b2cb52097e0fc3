// What a real window shows of a real folder: the treemap paints content smaller than a pixel, the
// tables' columns fit what they hold and use the room they have, file panels open where the user
// was, not where the program was started from, and names that look like markup read as written.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QTimer>

#include <filesystem>
#include <string>
#include <vector>

#include "ShownWindow.hpp"
#include "TestTrees.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Models/ExtensionTableModel.hpp"
#include "ZelvaneMac/Models/FileTreeOutlineModel.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/Common/ResultTableSetup.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::qPath;
using fixtures::writeFile;
namespace fs = std::filesystem;

struct Window : fixtures::ShownWindow {
    ContextMenuOutlineView& view() const { return outline().outline(); }
};

const TreemapHitNode* hitFor(const std::vector<TreemapHitNode>& nodes, const FileNode* target) {
    std::vector<const TreemapHitNode*> stack;
    for (const TreemapHitNode& n : nodes) stack.push_back(&n);
    while (!stack.empty()) {
        const TreemapHitNode* n = stack.back();
        stack.pop_back();
        if (n->node == target) return n;
        for (const TreemapHitNode& c : n->children) stack.push_back(&c);
    }
    return nullptr;
}

// A folder of thousands of small files beside one huge file gets a box a few pixels across in
// which every file is smaller than a pixel: it is painted in the files' colour, as a larger
// exported image paints it, not left as a hole showing the background.
TEST(WindowLook, TreemapPaintsContentSmallerThanAPixel) {
    TempDir dir;
    for (int i = 0; i < 3000; ++i) writeFile(dir / "man1" / ("page" + std::to_string(i) + ".1.gz"), 1000 + (i * 7) % 3000);
    {
        // Two gigabytes that take no room on the disk.
        const fs::path huge = dir / "disk.img";
        writeFile(huge, 0);
        fs::resize_file(huge, uintmax_t(2) << 30);
    }
    Window w;
    w.window().treemapToggles().setShowTreemapAllocatedSize(false);
    w.window().treemapToggles().setShowTreemapFilenames(false);
    w.window().treemapToggles().setShowTreemapFreeSpace(false);
    ASSERT_TRUE(w.scan(dir.path()));
    const TreemapCanvasModel& canvas = w.tree().treemapCanvas()->model();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return canvas.hasPicture() && !canvas.isStale(); }));

    FileNode* man1 = w.window().scanControl().node(qPath(dir / "man1"));
    const TreemapHitNode* box = hitFor(canvas.layout().hitRoots, man1);
    ASSERT_NE(box, nullptr);
    ASSERT_GE(box->rect.width, 3);
    ASSERT_GE(box->rect.height, 3);
    // The files sit in the folder's group box.
    int subPixel = 0;
    std::vector<const TreemapHitNode*> below{box};
    while (!below.empty()) {
        const TreemapHitNode* n = below.back();
        below.pop_back();
        for (const TreemapHitNode& c : n->children) {
            subPixel += !c.node->isDir() && (c.rect.width < 1 || c.rect.height < 1);
            below.push_back(&c);
        }
    }
    ASSERT_GT(subPixel, 2900) << "the files are smaller than a pixel";

    const QImage& image = canvas.image();
    const double scale = image.devicePixelRatio();
    int opaque = 0, total = 0;
    for (int y = int(std::ceil(box->rect.minY() * scale)); y < int(box->rect.maxY() * scale); ++y) {
        for (int x = int(std::ceil(box->rect.minX() * scale)); x < int(box->rect.maxX() * scale); ++x) {
            ++total;
            opaque += qAlpha(image.pixel(x, y)) == 255;
        }
    }
    ASSERT_GT(total, 0);
    EXPECT_EQ(opaque, total) << opaque << " of " << total << " pixels painted";
    EXPECT_TRUE(w.window().grab().save(grabPath("treemap-small-files.png")));
}

// The folder column takes the room the other columns leave, and gives it back when they need it;
// the stored layout keeps its own width, not the room of the window it was saved in.
TEST(WindowLook, FolderColumnTakesTheSpareWidth) {
    TempDir dir;
    writeFile(dir / "a/b/c/a-rather-long-folder-name-deep-down/file.txt", 10);
    Window w;
    w.window().panes().setShowFileTypes(false);
    ASSERT_TRUE(w.scan(dir.path()));
    const int name = FileTreeOutlineModel::nameColumn;
    const auto others = [&w, name] { return w.view().header()->length() - w.view().header()->sectionSize(name); };
    const auto room = [&] { return w.view().viewport()->width() - others(); };
    QHeaderView* header = w.view().header();
    ASSERT_GT(room(), 250) << "the outline alone leaves the folder column room to grow";
    EXPECT_TRUE(pumpWidgetsUntil([&] { return header->sectionSize(name) == room(); }))
        << header->sectionSize(name) << " for a room of " << room();
    EXPECT_EQ(header->length(), w.view().viewport()->width());
    EXPECT_FALSE(w.view().horizontalScrollBar()->isVisible());

    // Another column widened takes its room from the folder column.
    const int before = header->sectionSize(name);
    header->resizeSection(FileTreeOutlineModel::sizeColumn, header->sectionSize(FileTreeOutlineModel::sizeColumn) + 20);
    EXPECT_EQ(header->sectionSize(name), before - 20);
    const int widenedSize = header->sectionSize(FileTreeOutlineModel::sizeColumn);
    EXPECT_EQ(header->length(), w.view().viewport()->width());

    // The file-type table beside it: too little room, the column keeps its own width and the
    // view scrolls sideways; the room comes back with the table gone.
    w.window().panes().setShowFileTypes(true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return room() < 224; })) << room();
    EXPECT_EQ(header->sectionSize(name), 224);
    w.window().panes().setShowFileTypes(false);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return room() > 224 && header->sectionSize(name) == room(); })) << room();

    // Stored while it had the room, opened without: its own width, not the room it had.
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !columnLayoutWritePending(*header); }));  // stored a moment after the last change
    w.close();
    w.open({}, {1000, 900});
    w.window().panes().setShowFileTypes(true);
    ASSERT_TRUE(w.scan(dir.path()));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return room() < 224; })) << room();
    EXPECT_EQ(w.view().header()->sectionSize(name), 224);
    EXPECT_EQ(w.view().header()->sectionSize(FileTreeOutlineModel::sizeColumn), widenedSize) << "the other widths are kept";
}

// "100.0%" fits the file-type table's Percent column as the cell draws it.
TEST(WindowLook, PercentColumnShowsAWholeHundredPercent) {
    TempDir dir;
    writeFile(dir / "only/one.svg", 5000);
    Window w;
    ASSERT_TRUE(w.scan(dir.path()));
    ExtensionTableView& table = *w.tree().fileTypeTable();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return table.model()->rowCount() == 1; }));
    const QModelIndex cell = table.model()->index(0, ExtensionTableModel::percentColumn);
    ASSERT_EQ(cell.data().toString(), "100.0%");
    // The cell's text is drawn two points inside each edge of the column.
    const int room = table.horizontalHeader()->sectionSize(ExtensionTableModel::percentColumn) - 4;
    EXPECT_EQ(QFontMetrics(table.font()).elidedText(QStringLiteral("100.0%"), Qt::ElideRight, room), "100.0%");
    // The tree's percent column as well.
    const int treeRoom = w.view().header()->sectionSize(FileTreeOutlineModel::percentColumn) - 4;
    EXPECT_EQ(QFontMetrics(w.view().font()).elidedText(QStringLiteral("100.0%"), Qt::ElideRight, treeRoom), "100.0%");
}

// What a label or tooltip in `format` shows of `text`: Qt draws text that looks like markup as
// rich text unless told otherwise.
QString shownText(const QString& text, Qt::TextFormat format = Qt::AutoText) {
    const bool rich = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
    return rich ? QTextDocumentFragment::fromHtml(text).toPlainText() : text;
}

// A file or folder may be named like markup ("<h1>Notes", "a<br>b"): every place the window shows
// a path, the strip over the treemap, the tree's and the treemap's tooltips and the status bar's,
// shows it as it is on disk, not as a heading or a line break that swallows its tags.
TEST(WindowLook, NamesThatLookLikeMarkupReadAsWritten) {
    TempDir dir;
    const fs::path root = dir / "<h1>Notes";
    const fs::path file = root / "a<br>b" / "f.bin";
    writeFile(file, 50000);
    Window w;
    ASSERT_TRUE(w.scan(root));
    const QString filePath = qPath(file);

    for (const QLabel* label : w.tree().findChildren<QLabel*>()) {
        if (!label->text().contains(QStringLiteral("Notes"))) continue;
        EXPECT_EQ(shownText(label->text(), label->textFormat()), label->text()) << label->text().toStdString();
    }

    FileNode* node = w.node(file);
    ASSERT_NE(node, nullptr);
    const QModelIndex row = w.outline().model().indexForNode(node);
    ASSERT_TRUE(row.isValid());
    EXPECT_EQ(shownText(row.data(Qt::ToolTipRole).toString()), filePath);

    TreemapCanvas& canvas = *w.tree().treemapCanvas();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return canvas.model().layout().nodeRects.find(node) != nullptr; }));
    const TreemapRect* box = canvas.model().layout().nodeRects.find(node);
    const QPoint centre = QPointF(box->x + box->width / 2, box->y + box->height / 2).toPoint();
    QTest::mouseMove(&canvas, centre);
    QHelpEvent help(QEvent::ToolTip, centre, canvas.mapToGlobal(centre));
    QApplication::sendEvent(&canvas, &help);
    ASSERT_TRUE(QToolTip::isVisible());
    EXPECT_TRUE(shownText(QToolTip::text()).startsWith(filePath)) << QToolTip::text().toStdString();
    QToolTip::hideText();

    const QLabel* hover = w.window().contentView()->statusBar()->hoverLabel();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return hover->toolTip().contains(QStringLiteral("f.bin")); }));
    EXPECT_EQ(shownText(hover->toolTip()), filePath);
    EXPECT_EQ(shownText(hover->text(), hover->textFormat()), hover->text());
}

// Runs `action`, which opens a modal file panel, and gives back the folder the panel showed
// when it appeared; the panel is then cancelled, or answered with `answer` when one is given.
QString folderShownBy(const std::function<void()>& action, const QString& answer = {}) {
    QString shown;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* panel = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!panel) return;
        poll.stop();
        shown = panel->directory().absolutePath();
        if (answer.isEmpty()) {
            panel->reject();
        } else {
            panel->setDirectory(answer);
            QMetaObject::invokeMethod(panel, "accept");
        }
    });
    poll.start();
    action();
    return shown;
}

// Save and open panels start at the folder last used, else the home folder (or, for exports,
// Documents when there is one): never in the working folder the program was started from.
TEST(WindowLook, FilePanelsStartWhereTheUserWasNotInTheWorkingFolder) {
    TempDir home, work, tree;
    writeFile(tree / "docs/a.txt", 10);
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(home.path().string()));
    const QString oldWork = QDir::currentPath();
    QDir::setCurrent(qPath(work.path()));
    Window w;
    ASSERT_TRUE(w.scan(tree.path()));
    const QString homePath = qPath(home.path());

    // No Documents folder, nothing exported yet.
    const auto exportTypes = [&] { w.key(Qt::Key_F, Qt::ControlModifier | Qt::AltModifier); };
    EXPECT_EQ(folderShownBy(exportTypes), homePath);
    fs::create_directories(home / "Documents");
    EXPECT_EQ(folderShownBy(exportTypes), qPath(home / "Documents"));
    // The folder of the last export, while it is there.
    fs::create_directories(home / "exports");
    w.prefs().set(PreferenceKeys::csvExportLastFolder, qPath(home / "exports"));
    EXPECT_EQ(folderShownBy(exportTypes), qPath(home / "exports"));
    fs::remove(home / "exports");
    EXPECT_EQ(folderShownBy(exportTypes), qPath(home / "Documents"));

    // The folder panel (F3): home at first, then beside the folder chosen last.
    TopBar& top = *w.window().contentView()->topBar();
    EXPECT_EQ(folderShownBy([&] { top.selectFolder(); }), homePath);
    EXPECT_EQ(folderShownBy([&] { top.selectFolder(); }, qPath(tree / "docs")), homePath);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.window().viewModel().scanState().tag() == ScanState::Tag::completed; }));
    EXPECT_EQ(folderShownBy([&] { w.key(Qt::Key_F3, Qt::ShiftModifier); }), qPath(tree.path()));

    QDir::setCurrent(oldWork);
    qputenv("HOME", oldHome);
}

}  // namespace
}  // namespace zelvane
