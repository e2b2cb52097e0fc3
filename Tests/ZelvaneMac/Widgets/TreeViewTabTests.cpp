#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSplitterHandle>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Models/DisplaySignature.hpp"
#include "ZelvaneMac/Models/SplitPanePersistence.hpp"
#include "ZelvaneMac/Widgets/Common/AutosavingSplitter.hpp"
#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"
#include "ZelvaneMac/Widgets/Common/FolderIconCache.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "WindowParts.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::childNamed;
using fixtures::writeFile;

// An outline on its own, with hooks that record what the view asked of the file actions.
struct OutlineRig {
    QTemporaryDir prefsDir;
    Preferences prefs{prefsDir.filePath("prefs.plist")};
    TempDir dir;
    RootRef root;
    FileNode* docs = nullptr;
    std::vector<FileNode*> lastSelection;
    int selectionReports = 0;
    int renameEnds = 0;
    int quickLooks = 0;
    std::vector<QString> renames;
    bool acceptRename = true;
    std::unique_ptr<FileTreeOutlineView> view;
    FileTreeOutlineInputs in;

    OutlineRig() {
        for (int i = 0; i < 6; ++i) writeFile(dir / ("docs/file" + std::to_string(i) + ".txt"), 100 * (i + 1));
        writeFile(dir / "docs/sub/inner.bin", 5000);
        writeFile(dir / "other/x.dat", 10);
        root = fixtures::loadTreeFromDisk(dir.path());
        docs = childNamed(root.get(), "docs");
        FileActionHooks hooks;
        hooks.quickLook = [this](QWidget*, const std::vector<FileNode*>&) { ++quickLooks; };
        hooks.rename = [this](QWidget*, FileNode* node, const QString& name) {
            renames.push_back(name);
            if (acceptRename) node->rename(std::string_view(name.toStdString()));
            return acceptRename;
        };
        in.roots = {root.get()};
        view = std::make_unique<FileTreeOutlineView>(FileTreeOutlineInputs{}, std::move(hooks), prefs);
        QObject::connect(view.get(), &FileTreeOutlineView::selectionChanged,
                         [this](const std::vector<FileNode*>& n) { lastSelection = n, ++selectionReports; });
        QObject::connect(view.get(), &FileTreeOutlineView::renameEditingEnded, [this] { ++renameEnds; });
        view->resize(900, 500);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        update();
    }
    void update(const std::unordered_set<FileNode*>& selection = {}, const OutlineCommands& commands = {}) {
        view->update(in, {}, selection, commands);
    }
    void rename(FileNode* target, const std::unordered_set<FileNode*>& selection = {}) {
        OutlineCommands c;
        c.rename = true;
        c.renameTarget = target;
        update(selection, c);
    }
    ContextMenuOutlineView& outline() { return view->outline(); }
};

TEST(FileTreeOutlineView, RenameEndsOnceAndCommitsOnlyChangedNames) {
    qtWidgetApp();
    OutlineRig rig;
    FileNode* target = childNamed(rig.docs, "sub");
    rig.update({rig.docs});
    rig.outline().expand(rig.view->model().indexForNode(rig.docs));

    struct Step {
        const char* what;
        QString typed;
        int key;  // 0: focus moves away
        bool accept;
        int renamesAfter;
        std::string nameAfter;
    };
    const Step steps[] = {
        {"Return unchanged", "sub", Qt::Key_Return, true, 0, "sub"},
        {"Escape after typing", "typed", Qt::Key_Escape, true, 0, "sub"},
        {"refused rename", "bad", Qt::Key_Return, false, 1, "sub"},
        {"focus loss commits", "renamed", 0, true, 2, "renamed"},
    };
    int ends = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        rig.acceptRename = s.accept;
        rig.rename(target);
        QLineEdit* field = rig.outline().renameField();
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->text().toStdString(), target->name());
        field->setText(s.typed);
        if (s.key) {
            QTest::keyClick(field, Qt::Key(s.key));
        } else {
            rig.outline().setFocus();
            QCoreApplication::processEvents();
            if (rig.outline().isRenaming()) rig.outline().endRenaming(true, field->text());  // no focus on offscreen
        }
        EXPECT_FALSE(rig.outline().isRenaming());
        EXPECT_EQ(int(rig.renames.size()), s.renamesAfter);
        EXPECT_EQ(rig.renameEnds, ++ends);
        EXPECT_EQ(target->name(), s.nameAfter);
    }
    const QModelIndex i = rig.view->model().indexForNode(target);
    EXPECT_EQ(rig.view->model().data(i).toString(), "renamed");

    // A group row, or no target at all, ends the rename at once without editing.
    FileNode* group = rig.view->model().syntheticGroupOf(rig.docs);
    ASSERT_NE(group, nullptr);
    rig.rename(group);
    EXPECT_FALSE(rig.outline().isRenaming());
    rig.rename(nullptr);
    EXPECT_EQ(rig.renameEnds, ends + 2);
    EXPECT_EQ(rig.renames.size(), 2u);
}

// Reset Tree Expansion pressed while a name is being edited folds the edited row away: the edit
// ends, unrenamed, rather than leaving its field floating over other rows with the window's Scan
// held off until Escape.
TEST(FileTreeOutlineView, ResettingTheExpansionEndsARenameUnderWay) {
    qtWidgetApp();
    OutlineRig rig;
    FileNode* sub = childNamed(rig.docs, "sub");
    FileNode* target = childNamed(sub, "inner.bin");
    rig.update({target});
    rig.rename(target, {target});
    ASSERT_TRUE(rig.outline().isRenaming());
    QLineEdit* field = rig.outline().renameField();
    field->setText("typed");

    // Expand All opens rows above the edited one: the field moves with its row.
    OutlineCommands expandAll;
    expandAll.expandAll = true;
    rig.update({}, expandAll);
    ASSERT_TRUE(rig.outline().isRenaming());
    EXPECT_EQ(field->geometry().top(), rig.outline().visualRect(rig.view->model().indexForNode(target)).top());

    OutlineCommands reset;
    reset.collapseAll = true;
    rig.update({}, reset);
    EXPECT_FALSE(rig.outline().isRenaming());
    EXPECT_EQ(rig.renameEnds, 1);
    EXPECT_TRUE(rig.renames.empty());
    EXPECT_EQ(target->name(), "inner.bin");
    EXPECT_FALSE(rig.outline().isExpanded(rig.view->model().indexForNode(sub)));
}

TEST(FileTreeOutlineView, SelectionRoundTripsThroughGroupsRightClicksAndSpace) {
    qtWidgetApp();
    OutlineRig rig;
    FileNode* file3 = childNamed(rig.docs, "file3.txt");
    // Selected elsewhere: the folders above and the group open, the file is selected. Nothing is
    // reported: the choice was not the user's, and a report of what the outline could show would
    // overwrite the window's selection with less.
    rig.update({file3});
    const QModelIndex i = rig.view->model().indexForNode(file3);
    ASSERT_TRUE(i.isValid());
    EXPECT_TRUE(rig.outline().isExpanded(i.parent()));
    EXPECT_TRUE(rig.view->model().nodeAt(i.parent())->isSyntheticGroup());
    EXPECT_EQ(rig.view->selectedNodes(), std::vector<FileNode*>{file3});
    EXPECT_EQ(rig.selectionReports, 0);
    EXPECT_TRUE(rig.view->isGroupExpanded(rig.docs));
    EXPECT_TRUE(rig.view->isNodeExpanded(rig.docs));
    // The same selection again changes nothing.
    rig.update({file3});
    EXPECT_EQ(rig.view->selectedNodes(), std::vector<FileNode*>{file3});

    // The group row itself: selected as a row, acted on as its files.
    FileNode* group = rig.view->model().syntheticGroupOf(rig.docs);
    rig.update({group, childNamed(rig.docs, "sub")});
    EXPECT_EQ(rig.view->selectedNodes().size(), 2u);
    EXPECT_EQ(rig.view->actionTargets().size(), 7u);
    // A regrouped folder: the old group is left out, never read.
    rig.in.display.fileGroupMinSize = 2;
    rig.update({group});
    EXPECT_TRUE(rig.view->selectedNodes().empty());
    rig.update({});

    // Right click on an unselected row selects it alone; Ctrl adds; on a selected row it keeps all.
    ContextMenuOutlineView& o = rig.outline();
    const QModelIndex docsRow = rig.view->model().indexForNode(rig.docs);
    const QModelIndex otherRow = rig.view->model().indexForNode(childNamed(rig.root.get(), "other"));
    auto rightClick = [&](const QModelIndex& at, Qt::KeyboardModifiers mods) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, o.visualRect(at).center(), o.viewport()->mapToGlobal(o.visualRect(at).center()), mods);
        QCoreApplication::sendEvent(o.viewport(), &e);
    };
    rightClick(docsRow, Qt::NoModifier);
    EXPECT_EQ(rig.view->selectedNodes(), std::vector<FileNode*>{rig.docs});
    EXPECT_EQ(rig.lastSelection, std::vector<FileNode*>{rig.docs}) << "the user's choice is reported";
    rightClick(otherRow, Qt::ControlModifier);
    EXPECT_EQ(rig.view->selectedNodes().size(), 2u);
    rightClick(docsRow, Qt::NoModifier);
    EXPECT_EQ(rig.view->selectedNodes().size(), 2u);
    const QPoint belowRows(5, o.viewport()->height() - 2);
    QContextMenuEvent below(QContextMenuEvent::Mouse, belowRows, o.viewport()->mapToGlobal(belowRows));
    QCoreApplication::sendEvent(o.viewport(), &below);
    EXPECT_EQ(rig.view->selectedNodes().size(), 2u);

    // Space previews the selection; with nothing selected it goes to the view.
    QTest::keyClick(&o, Qt::Key_Space);
    EXPECT_EQ(rig.quickLooks, 1);
    o.clearSelection();
    QTest::keyClick(&o, Qt::Key_Space);
    EXPECT_EQ(rig.quickLooks, 1);

    // Header clicks: the first click on a size column sorts largest first, the next smallest first.
    QHeaderView* h = o.header();
    h->sectionClicked(FileTreeOutlineModel::sizeColumn);
    EXPECT_EQ(rig.view->model().sortKey(), OutlineSortKey::size);
    EXPECT_FALSE(rig.view->model().sortAscending());
    h->sectionClicked(FileTreeOutlineModel::sizeColumn);
    EXPECT_TRUE(rig.view->model().sortAscending());
    h->sectionClicked(FileTreeOutlineModel::nameColumn);
    EXPECT_TRUE(rig.view->model().sortAscending());
}

TEST(AutosavingSplitter, RestoresItsPanesPerDisplayAndAnnouncesDividerDrags) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    const QString name = keyWithDisplaySignature("ZelvaneMac.TreeSplit");
    // Frames stored for another display do not apply here.
    prefs.setObject(splitPaneFramesKey("ZelvaneMac.TreeSplit.1x1@9.0"), QVariantList{"0, 0, 800, 100", "0, 101, 800, 499"});
    auto make = [&](Qt::Orientation o, const char* base, int min1, int min2, double fraction) {
        auto* s = new AutosavingSplitter({base, o, min1, min2, fraction}, prefs);
        s->setPane(0, new QWidget);
        s->setPane(1, new QWidget);
        s->resize(801, 601);
        s->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(s));
        return std::unique_ptr<AutosavingSplitter>(s);
    };
    {
        auto v = make(Qt::Vertical, "ZelvaneMac.TreeSplit", 150, 60, 0.621);
        EXPECT_EQ(v->fullName(), name);
        EXPECT_NEAR(v->sizes()[0], 600 * 0.621, 1);
        // Growing the window gives the change to the top pane.
        const int bottom = v->sizes()[1];
        v->resize(801, 801);
        QCoreApplication::processEvents();
        EXPECT_EQ(v->sizes()[1], bottom);
        // A drag is announced before and after, and its result stored for this display.
        std::vector<std::string> events;
        QObject::connect(v.get(), &AutosavingSplitter::dividerDragBegan, [&] { events.push_back("began"); });
        QObject::connect(v.get(), &AutosavingSplitter::dividerDragEnded, [&] { events.push_back("ended"); });
        QSplitterHandle* handle = v->handle(1);
        QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(5, 0));
        QTest::mouseMove(handle, QPoint(5, -100));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(5, -100));
        v->moveDivider(500);  // the offscreen platform moves no pointer: place the divider as a drag would
        EXPECT_EQ(events, (std::vector<std::string>{"began", "ended"}));
        EXPECT_EQ(persistedBottomHeight(prefs.object(splitPaneFramesKey(name))), double(v->sizes()[1]));
    }
    {
        // Made again: the stored bottom height comes back, and the minimums hold.
        auto v = make(Qt::Vertical, "ZelvaneMac.TreeSplit", 150, 60, 0.621);
        EXPECT_EQ(double(v->sizes()[1]), *persistedBottomHeight(prefs.object(splitPaneFramesKey(name))));
        v->moveDivider(10);
        EXPECT_GE(v->sizes()[0], 150);
        v->moveDivider(600);
        EXPECT_GE(v->sizes()[1], 60);
        auto h = make(Qt::Horizontal, "ZelvaneMac.ExtSplit", 200, 220, 0.65);
        EXPECT_NEAR(h->sizes()[0], 800 * 0.65, 1);
        h->moveDivider(790);
        EXPECT_GE(h->sizes()[1], 220);
    }
}

TEST(TreeViewTab, ShowsAScannedTreeWithFileTypesAndTheInfoStrip) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    TempDir dir;
    fixtures::writePhotosMusicAndNotes(dir.path());
    writeFile(dir / "README", 300);
    writeFile(dir / "Code/main.cpp", 8000);

    fixtures::WindowParts parts(prefs);
    TreeViewTab tab(parts.treeViewParts(), parts.menuCommands());
    ASSERT_TRUE(showExposed(tab, 1200, 760));
    EXPECT_FALSE(tab.showsOutline());
    EXPECT_EQ(tab.extSplit(), nullptr);  // no file types before a first result
    EXPECT_EQ(tab.infoStripTexts(), QStringList{"Treemap"});

    const QString root = QString::fromStdString(dir.path().string());
    parts.viewModel().selectRoot(root, root);
    parts.viewModel().startScan(std::nullopt, false, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return parts.viewModel().scanState().tag() == ScanState::Tag::completed; }));
    const auto& roots = parts.viewModel().scanState().roots();
    ASSERT_EQ(roots.size(), 1u);
    ExtensionStatsResult stats = computeExtensionStats(std::span<const RootRef>(roots), true, TreemapColorSettings::storedExtensionLists(prefs));
    parts.fileTypes().setExtensionStats(stats.all);
    parts.fileTypes().setExtensionColorRank(stats.colorRank);
    parts.fileTypes().renew();
    tab.refreshNow();

    ASSERT_TRUE(tab.showsOutline());
    ASSERT_NE(tab.extSplit(), nullptr);
    ASSERT_NE(tab.treeSplit(), nullptr);
    FileTreeOutlineModel& model = tab.outline()->model();
    ASSERT_EQ(model.rowCount(), 1);
    EXPECT_TRUE(tab.outline()->outline().isExpanded(model.index(0, 0)));
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 5);
    EXPECT_EQ(tab.fileTypeTable()->tableModel().rowCount(), 5);
    EXPECT_EQ(parts.fileTypes().extensionPanelSortKey(), FileTypesSortKey::allocated);
    EXPECT_EQ(parts.fileTypes().extensionPanelDisplayed().size(), 5u);
    const QStringList strip = tab.infoStripTexts();
    ASSERT_EQ(strip.size(), 3);
    EXPECT_EQ(strip[0], root);

    // "Select" on the .jpg row selects every picture; the outline follows.
    ExtensionTableView* table = tab.fileTypeTable();
    int jpgRow = -1;
    for (int r = 0; r < table->tableModel().rowCount(); ++r)
        if (table->tableModel().displayed()[size_t(r)].ext == "jpg") jpgRow = r;
    ASSERT_GE(jpgRow, 0);
    std::unique_ptr<QMenu> menu(table->buildContextMenu(table->visualRect(table->model()->index(jpgRow, 1)).center()));
    ASSERT_EQ(menu->actions().size(), 4);
    menu->actions()[0]->trigger();
    EXPECT_EQ(parts.treeSelection().nodes().size(), 8);
    tab.refreshNow();
    EXPECT_EQ(tab.outline()->selectedNodes().size(), 8u);
    std::unique_ptr<QMenu> empty(table->buildContextMenu(QPoint(5, table->viewport()->height() - 2)));
    EXPECT_EQ(empty->actions().size(), 1);

    // Zoomed treemap: the strip names the folder and offers the way back.
    FileNode* photos = childNamed(roots[0].get(), "Photos");
    parts.treemapZoom().setRoot(photos);
    tab.refreshNow();
    EXPECT_TRUE(tab.zoomButtonsShown());
    EXPECT_EQ(tab.infoStripTexts()[0].toStdString(), photos->fullPath());

    tab.outline()->outline().expand(model.indexForNode(photos));
    EXPECT_TRUE(tab.grab().save(grabPath("tree-view-tab.png")));

    // Hiding the file types removes their split; the treemap split stays.
    parts.panes().setShowFileTypes(false);
    tab.refreshNow();
    EXPECT_EQ(tab.extSplit(), nullptr);
    EXPECT_NE(tab.treeSplit(), nullptr);
    EXPECT_TRUE(tab.showsOutline());
    parts.treemapZoom().setRoot(nullptr);
    parts.treeSelection().set({});
}

}  // namespace
}  // namespace zelvane

namespace zelvane {
namespace {

TEST(FolderIconCache, AnswersAtOnceAndAppliesTheLookedUpIconLaterByPath) {
    qtWidgetApp();
    TempDir dir;
    writeFile(dir / "custom/.directory", 0);
    {
        std::FILE* f = std::fopen((dir / "custom/.directory").c_str(), "w");
        std::fputs("[Desktop Entry]\nIcon=folder-red\n", f);
        std::fclose(f);
    }
    writeFile(dir / "plain/x", 1);
    EXPECT_EQ(FolderIconCache::lookUpIconName(QString::fromStdString((dir / "custom").string()), {}), "folder-red");
    EXPECT_EQ(FolderIconCache::lookUpIconName(QString::fromStdString((dir / "plain").string()), {}), "");
    EXPECT_EQ(FolderIconCache::lookUpIconName("/home/me", {{"/home/me", "user-home"}}), "user-home");
    // Whoever owns a scanned folder writes its ".directory": a FIFO there held a thread of the
    // shared pool until some writer came, /dev/zero fed it without end. Neither is read.
    writeFile(dir / "fifo/x", 1);
    ASSERT_EQ(::mkfifo((dir / "fifo/.directory").c_str(), 0600), 0);
    writeFile(dir / "zero/x", 1);
    ASSERT_EQ(::symlink("/dev/zero", (dir / "zero/.directory").c_str()), 0);
    EXPECT_EQ(FolderIconCache::lookUpIconName(QString::fromStdString((dir / "fifo").string()), {}), "");
    EXPECT_EQ(FolderIconCache::lookUpIconName(QString::fromStdString((dir / "zero").string()), {}), "");

    FolderIconCache cache;
    QStringList ready;
    QObject::connect(&cache, &FolderIconCache::iconReady, [&](const QString& p) { ready.push_back(p); });
    const QString path = QString::fromStdString((dir / "custom").string());
    EXPECT_FALSE(cache.isCached(path));
    cache.iconFor(path);  // the generic icon at once, the lookup in the background
    cache.iconFor(path);  // asked again while it runs: one lookup
    ASSERT_TRUE(pumpWidgetsUntil([&] { return cache.isCached(path); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(ready, QStringList{path});
    cache.iconFor(path);  // cached: no new lookup
    QCoreApplication::processEvents();
    EXPECT_EQ(ready.size(), 1);
}

TEST(ContextMenuOutlineView, ReportsTheRowUnderThePointerAndNothingWhenItLeaves) {
    qtWidgetApp();
    OutlineRig rig;
    std::vector<std::optional<QString>> hovered;
    ContextMenuOutlineView& o = rig.outline();
    QObject::connect(&o, &ContextMenuOutlineView::rowHovered, [&](const QModelIndex& i) {
        const FileNode* n = rig.view->model().nodeAt(i);
        hovered.push_back(n ? std::optional<QString>(QString::fromStdString(n->name())) : std::nullopt);
    });
    const QPoint onRoot = o.visualRect(rig.view->model().index(0, 0)).center();
    QMouseEvent move(QEvent::MouseMove, onRoot, o.viewport()->mapToGlobal(onRoot), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(o.viewport(), &move);
    const QPoint below(5, o.viewport()->height() - 3);
    QMouseEvent moveOff(QEvent::MouseMove, below, o.viewport()->mapToGlobal(below), Qt::NoButton, {}, {});
    QCoreApplication::sendEvent(o.viewport(), &moveOff);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(o.viewport(), &leave);
    ASSERT_EQ(hovered.size(), 3u);
    EXPECT_EQ(hovered[0].value_or("").toStdString(), rig.root->name());
    EXPECT_FALSE(hovered[1].has_value());
    EXPECT_FALSE(hovered[2].has_value());
}

}  // namespace
}  // namespace zelvane
