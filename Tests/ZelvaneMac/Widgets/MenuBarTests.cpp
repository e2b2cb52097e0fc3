// Each window's menus on real windows: commands reach only their own window, items follow the
// window's state, and the tree-walking commands never land on a file group.

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Window/WindowSelections.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/MenuAction.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Sheets/WindowSheets.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
using A = ZelvaneMenuAction;

void scan(MainWindow& window, const TempDir& tree) {
    const QString path = QString::fromStdString(tree.path().string());
    window.scanControl().scanChosenFolder(path);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !window.scanControl().effectiveRoots().empty(); }));
}

FileNode* child(FileNode* folder, const char* name) {
    for (FileNode* c : folder->children())
        if (c->name() == name) return c;
    return nullptr;
}

TEST(MenuBar, CommandsActOnTheirOwnWindowAndItemsFollowItsState) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "docs/a.txt", 100);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow first(prefs, {}), second(prefs, {});
    MenuBar& menus = first.menus();
    for (A a : {A::exportToCSV, A::exportTreemapImage, A::copyFileAndSizeInfo, A::exportFileTypesToCSV})
        EXPECT_FALSE(menus.action(a)->isEnabled());
    scan(first, tree);
    menus.refresh();
    EXPECT_TRUE(menus.action(A::exportToCSV)->isEnabled());
    EXPECT_FALSE(second.menus().action(A::exportToCSV)->isEnabled());

    // Tweaks from the first window's menu raise the first window's sheet only.
    menus.handleMenuAction(A::tweaks);
    ASSERT_NE(first.sheets().sheet(AskedSheet::tweaks), nullptr);
    EXPECT_EQ(second.sheets().sheet(AskedSheet::tweaks), nullptr);
    first.sheets().sheet(AskedSheet::tweaks)->reject();

    // Exactly one restart item, and the focused toggles write this window's window.
    EXPECT_NE(menus.action(A::restartAsAdministrator)->isVisible(), menus.action(A::restartWithoutAdministrator)->isVisible());
    const bool shown = first.panes().showTreemap();
    for (QAction* act : menus.optionsMenu()->actions()) {
        if (act->text() == "Show Treemap") act->trigger();
    }
    EXPECT_NE(first.panes().showTreemap(), shown);
    EXPECT_EQ(second.panes().showTreemap(), shown);

    // "Check for Updates Now" is off only when the administrator locked updates off.
    prefs.set(PreferenceKeys::checkForUpdatesLockedByAdmin, true);
    prefs.set(PreferenceKeys::checkForUpdatesEnabled, true);
    EXPECT_TRUE(menus.action(A::checkForUpdatesNow)->isEnabled());
    prefs.set(PreferenceKeys::checkForUpdatesEnabled, false);
    EXPECT_FALSE(menus.action(A::checkForUpdatesNow)->isEnabled());
}

TEST(MenuBar, SelectParentSkipsGroupsAndReselectChildReturnsOnce) {
    qtWidgetApp();
    TempDir tree;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"}) writeFile(tree / "docs" / name, 10);
    writeFile(tree / "docs/sub/x.txt", 10);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow window(prefs, {});
    scan(window, tree);
    FileNode* docs = child(window.scanControl().effectiveRoots()[0].get(), "docs");
    ASSERT_TRUE(docs);
    FileNode* file = child(docs, "c.txt");
    const FileNode::Grouped grouped = docs->groupedChildren(4);
    ASSERT_TRUE(grouped.group);

    window.controller().setSelectedTab(ContentTab::fileView);
    window.fileSelection().set({file});
    selectParent(window.selections());
    EXPECT_EQ(window.controller().selectedTab(), ContentTab::treeView);
    EXPECT_EQ(window.treeSelection().nodes(), NodeSet{docs});
    reselectChild(window.selections());
    EXPECT_EQ(window.treeSelection().nodes(), NodeSet{file});
    reselectChild(window.selections());  // nothing more to return to
    EXPECT_EQ(window.treeSelection().nodes(), NodeSet{file});

    // A root has no parent: nothing changes.
    FileNode* root = window.scanControl().effectiveRoots()[0].get();
    window.treeSelection().set({root});
    selectParent(window.selections());
    EXPECT_EQ(window.treeSelection().nodes(), NodeSet{root});

    // Zoom to a file's folder, out again to all roots.
    window.treeSelection().set({child(child(docs, "sub"), "x.txt")});
    zoomTreemap(window.selections(), window.treemapZoom());
    EXPECT_EQ(window.treemapZoom().root(), child(docs, "sub"));
    zoomOut(window.treemapZoom(), window.scanControl().effectiveRoots());
    EXPECT_EQ(window.treemapZoom().root(), docs);
    zoomOut(window.treemapZoom(), window.scanControl().effectiveRoots());
    EXPECT_EQ(window.treemapZoom().root(), nullptr);

    // Rename only for one node that is not a group, and only when switched on.
    std::vector<FileNode*> renames;
    QObject::connect(&window.commands(), &ViewCommands::renameInTreeView, [&](FileNode* n) { renames.push_back(n); });
    window.treeSelection().set({file, docs});
    requestRename(window.selections(), window.preferences(), window.commands());
    EXPECT_TRUE(renames.empty());
    window.treeSelection().set({file});
    prefs.set(PreferenceKeys::tweakEnableRename, false);
    requestRename(window.selections(), window.preferences(), window.commands());
    EXPECT_TRUE(renames.empty());
    prefs.set(PreferenceKeys::tweakEnableRename, true);
    requestRename(window.selections(), window.preferences(), window.commands());
    EXPECT_EQ(renames, std::vector<FileNode*>{file});

    // Reset Tree Expansion from the menu folds the tree and leaves nothing selected or zoomed:
    // a selection folded out of sight would still be what Delete and Copy act on.
    window.treeSelection().set({child(child(docs, "sub"), "x.txt")});
    zoomTreemap(window.selections(), window.treemapZoom());
    ASSERT_NE(window.treemapZoom().root(), nullptr);
    int resets = 0;
    QObject::connect(&window.commands(), &ViewCommands::resetTreeExpansion, [&] { ++resets; });
    window.menus().handleMenuAction(A::resetTreeExpansion);
    EXPECT_TRUE(window.treeSelection().nodes().empty());
    EXPECT_EQ(window.treemapZoom().root(), nullptr);
    EXPECT_EQ(resets, 1);
}

QAction* item(QMenu* menu, const QString& text) {
    for (QAction* a : menu->actions()) {
        if (a->text() == text) return a;
        if (a->menu())
            if (QAction* inner = item(a->menu(), text)) return inner;
    }
    return nullptr;
}

// Expand All chosen in the same turn as new roots arrive (a filter applied) opens the rows of
// the new tree: the outline carries out its commands after it has taken the roots they came with.
// Select Parent and Zoom Treemap on a File View selection of more nodes than are searched at once
// find its first path on the thread pool and act on it; a newer selection drops the search.
TEST(MenuBar, SelectParentAndZoomFindTheFirstOfALargeSelectionAwayFromTheWindow) {
    qtWidgetApp();
    TempDir tree;
    fixtures::writeWideExport(tree / "wide.csv", 101, 1000);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow window(prefs, {});
    window.scanControl().importChosenCSV(QString::fromStdString((tree / "wide.csv").string()));
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return window.viewModel().scanState().tag() == ScanState::Tag::completed && !window.scanControl().effectiveRoots().empty();
    }));
    NodeSet files;
    FileNode* first = nullptr;
    std::string firstPath;
    std::vector<FileNode*> walk{window.scanControl().effectiveRoots()[0].get()};
    while (!walk.empty()) {
        FileNode* n = walk.back();
        walk.pop_back();
        for (FileNode* c : n->children()) {
            if (c->isDir()) {
                walk.push_back(c);
                continue;
            }
            files.insert(c);
            if (!first || c->pathBytes() < firstPath) {
                first = c;
                firstPath = c->pathBytes();
            }
        }
    }
    ASSERT_GT(size_t(files.size()), kFirstFoundInPlace);
    // The File View's list first, whose rows would replace the selection when they come.
    prefs.set(PreferenceKeys::fileDupMethod, 0);
    window.controller().setSelectedTab(ContentTab::fileView);
    FileListView& list = window.contentView()->fileViewTab()->fileList();
    // The list's last rows are in once no stage of it runs: the busy pointer is gone.
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return list.model().rowCount() > 0 && !list.pipeline().debouncePending() && !QApplication::overrideCursor();
    }));
    window.fileSelection().set(files);

    window.menus().handleMenuAction(A::zoomTreemap);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return window.treemapZoom().root() != nullptr; }));
    EXPECT_EQ(window.treemapZoom().root(), first->parent());

    // Dropped by the selection that follows at once: the parent of that one is selected.
    FileNode* other = *std::find_if(files.begin(), files.end(), [&](FileNode* f) { return f->parent() != first->parent(); });
    window.menus().handleMenuAction(A::selectParent);
    window.fileSelection().set({other});
    window.menus().handleMenuAction(A::selectParent);
    EXPECT_EQ(window.treeSelection().nodes(), NodeSet{other->parent()});
    pumpWidgetsUntil([] { return false; }, 500);
    EXPECT_EQ(window.treeSelection().nodes(), NodeSet{other->parent()});

    window.controller().setSelectedTab(ContentTab::fileView);
    window.fileSelection().set(files);
    window.menus().handleMenuAction(A::selectParent);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return window.treeSelection().nodes() == NodeSet{first->parent()}; }));
    EXPECT_EQ(window.controller().selectedTab(), ContentTab::treeView);
    window.fileSelection().clear();
    window.treeSelection().clear();
}

TEST(MenuBar, ExpandAllGivenWithNewRootsOpensTheNewTree) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "docs/deep/a.txt", 100);
    writeFile(tree / "docs/pic.png", 10);
    writeFile(tree / "other/b.txt", 10);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow window(prefs, {});
    window.setStartupHooks({});
    window.resize(1000, 700);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    scan(window, tree);
    const FileNode* scanned = window.scanControl().effectiveRoots().at(0).get();

    window.panes().setShowFilterPanel(true);
    prefs.set(PreferenceKeys::excludeFilterText, QStringLiteral("*.png"));
    window.scanControl().applyFilters();
    window.menus().handleMenuAction(A::expandAll);
    FileNode* shown = window.scanControl().effectiveRoots().at(0).get();
    ASSERT_NE(shown, scanned) << "the filter made a copy";
    FileTreeOutlineView& outline = *window.contentView()->treeViewTab()->outline();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return outline.model().roots() == std::vector<FileNode*>{shown}; }));
    FileNode* deep = child(child(shown, "docs"), "deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_TRUE(outline.isNodeExpanded(deep));
    EXPECT_TRUE(outline.isNodeExpanded(child(shown, "other")));
}

// "Scan" rescans what the window scanned: a chosen folder again rather than its panel, and a
// scan under way starts over rather than stopping.
TEST(MenuBar, ScanRescansTheChosenFolderWithoutItsPanel) {
    qtWidgetApp();
    TempDir tree;
    writeFile(tree / "docs/a.txt", 100);
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow window(prefs, {});
    window.setStartupHooks({});
    int panels = 0;
    window.contentView()->topBar()->setFolderChooser([&](QWidget*) {
        ++panels;
        return QString();
    });
    scan(window, tree);
    window.volumeChoice().setSelectedVolumeID(PickerTag::selectFolder);
    // Scans are counted as they start: a new tree may well sit where the old one was freed.
    int scans = 0;
    QObject::connect(&window.viewModel(), &ScanViewModel::scanStateChanged, [&](const ScanState& s) {
        if (s.isScanning()) ++scans;
    });
    const auto settled = [&] {
        return !window.viewModel().scanState().isScanning() && !window.scanControl().effectiveRoots().empty();
    };

    window.menus().handleMenuAction(A::scan);
    EXPECT_EQ(panels, 0);
    EXPECT_GE(scans, 1);
    ASSERT_TRUE(pumpWidgetsUntil(settled));
    EXPECT_EQ(window.scanControl().effectiveRoots()[0]->fullPath(), tree.path().string());

    window.menus().handleMenuAction(A::scan);
    window.menus().handleMenuAction(A::scan);
    ASSERT_TRUE(pumpWidgetsUntil(settled));
    EXPECT_EQ(window.viewModel().scanState().tag(), ScanState::Tag::completed);
    EXPECT_EQ(panels, 0);

    // After a CSV import there is no folder to scan: "Scan" leaves the imported result as it is,
    // its treemap included.
    writeFile(tree / "import.csv", 0);
    {
        std::ofstream csv(tree / "import.csv");
        csv << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n"
               "\"/imported/\",100,4096,2026/12/09 03:10:31,0,1,0\n"
               "\"/imported/a.txt\",100,4096,2026/12/09 03:10:31,0,0,0\n";
    }
    window.volumeChoice().setSelectedVolumeID(PickerTag::selectCSV);
    window.viewModel().startCSVImport(QString::fromStdString((tree / "import.csv").string()), false);
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        const auto& roots = window.scanControl().effectiveRoots();
        return !roots.empty() && roots[0]->fullPath() != tree.path().string();
    }));
    const FileNode* imported = window.scanControl().effectiveRoots()[0].get();
    int clears = 0;
    QObject::connect(&window.scanControl(), &ScanController::scanStarting, [&] { ++clears; });
    window.menus().handleMenuAction(A::scan);
    QCoreApplication::processEvents();
    EXPECT_EQ(clears, 0);
    EXPECT_FALSE(window.viewModel().scanState().isScanning());
    ASSERT_FALSE(window.scanControl().effectiveRoots().empty());
    EXPECT_EQ(window.scanControl().effectiveRoots()[0].get(), imported);
}

TEST(MenuBar, ChecksFollowEachWindowsOwnTogglesAndTheSharedPreferences) {
    qtWidgetApp();
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.plist"));
    MainWindow first(prefs, {}), second(prefs, {});
    const char* toggles[] = {"Filter Scan Results", "Show Header", "Show File Types", "Show Treemap",
                             "Show Allocated Space on Treemap", "Show Free Space on Treemap",
                             "Show Folder and File Names on Treemap"};
    // Each toggle flipped in the first window: its item there follows, the second window's not.
    for (const char* title : toggles) {
        QAction* mine = item(first.menus().optionsMenu(), title);
        QAction* theirs = item(second.menus().optionsMenu(), title);
        ASSERT_TRUE(mine && theirs) << title;
        const bool was = mine->isChecked();
        EXPECT_EQ(theirs->isChecked(), was) << title;
        mine->trigger();
        first.menus().refresh();
        second.menus().refresh();
        EXPECT_NE(mine->isChecked(), was) << title;
        EXPECT_EQ(theirs->isChecked(), was) << title;
    }

    // The display mode is one choice of six; a stored value out of range shows as dynamic.
    const auto checkedModes = [&](MainWindow& w) {
        QStringList on;
        for (QAction* a : w.menus().optionsMenu()->actions())
            if (a->isChecked() && a->text().startsWith("Display ")) on << a->text();
        return on;
    };
    prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(3));
    EXPECT_EQ(checkedModes(first), QStringList{"Display MB Values"});
    EXPECT_EQ(checkedModes(second), QStringList{"Display MB Values"});
    prefs.set(PreferenceKeys::byteSizeDisplayMode, int64_t(9));
    EXPECT_EQ(checkedModes(first), QStringList{"Display Dynamic Values"});
    item(second.menus().optionsMenu(), "Display GB Values")->trigger();
    EXPECT_EQ(prefs.value(PreferenceKeys::byteSizeDisplayMode), 4);
    EXPECT_EQ(checkedModes(first), QStringList{"Display GB Values"});

    // The language choice, and the update toggle locked by the administrator.
    prefs.set(PreferenceKeys::appLanguageOverride, QStringLiteral("de"));
    EXPECT_TRUE(item(first.menus().optionsMenu(), "Deutsch")->isChecked());
    EXPECT_FALSE(item(first.menus().optionsMenu(), "System Default")->isChecked());
    QAction* updates = item(first.menus().optionsMenu(), "Check for updates");
    prefs.set(PreferenceKeys::checkForUpdatesLockedByAdmin, true);
    EXPECT_FALSE(updates->isEnabled());
    prefs.set(PreferenceKeys::checkForUpdatesLockedByAdmin, false);
    EXPECT_TRUE(updates->isEnabled());
}

}  // namespace
}  // namespace zelvane
