#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <string>

#include "QtWidgetTestApp.hpp"
#include "TestTrees.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/FileListModel.hpp"
#include "ZelvaneMac/Models/FilterFieldHistory.hpp"
#include "ZelvaneMac/Widgets/Common/FilterSyntaxTextField.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/FileViewTab.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Filter/FilterPanel.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "WindowParts.hpp"
#include "ZelvaneMac/Window/FileViewResults.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;

TEST(FileViewTab, SearchesAScanLargestFirstWithHistory) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    prefs.set(PreferenceKeys::fileSearchHistoryJSON, QStringLiteral("{broken"));
    TempDir dir;
    fixtures::writePhotosMusicAndNotes(dir.path());
    writeFile(dir / "Music/copy/track1.mp3", 90000);

    fixtures::WindowParts parts(prefs);
    FileViewTab tab(parts.fileViewParts(), parts.menuCommands());
    ASSERT_TRUE(showExposed(tab, 1200, 560));
    EXPECT_TRUE(tab.showsEmptyState());
    // Defaults: entire path, no folders, 1,000 rows, name/size/date, duplicates-only enabled.
    const auto combos = tab.findChildren<QComboBox*>();
    ASSERT_EQ(combos.size(), 2);
    EXPECT_EQ(combos[0]->currentText(), "1,000");
    EXPECT_EQ(combos[1]->currentIndex(), 2);

    const QString root = QString::fromStdString(dir.path().string());
    parts.controller().setSelectedTab(ContentTab::fileView);
    parts.viewModel().selectRoot(root, root);
    parts.viewModel().startScan(std::nullopt, false, true);
    FileListPipeline& pipeline = tab.fileList().pipeline();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return parts.fileResults().fileResultCount() == 13 && !parts.fileResults().fileIsLocatingDuplicates(); }));
    EXPECT_FALSE(tab.showsEmptyState());
    EXPECT_EQ(pipeline.displayed().front()->name().substr(0, 5), "track");
    // The duplicate columns show with a method; the copy of track1 is a member row.
    const QHeaderView* header = tab.fileList().outline().header();
    EXPECT_FALSE(header->isSectionHidden(FileListModel::dupCountColumn));

    // Typing a search: after the debounce only matches show, highlighted; editing end records it.
    tab.searchField().setFocus();
    QTest::keyClicks(&tab.searchField(), "track");
    EXPECT_EQ(parts.fileResults().fileFilterText(), "track");
    ASSERT_TRUE(pumpWidgetsUntil([&] { return parts.fileResults().fileResultCount() == 4; }));
    QKeyEvent ret(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&tab.searchField(), &ret);
    EXPECT_EQ(tab.searchField().text(), "track");
    tab.fileList().outline().setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(FilterFieldHistory::decode(prefs.value(PreferenceKeys::fileSearchHistoryJSON)), QStringList{"track"});
    EXPECT_EQ(tab.historyMenu().history(), QStringList{"track"});
    tab.fileList().outline().expandAll();
    QCoreApplication::processEvents();
    EXPECT_TRUE(tab.grab().save(grabPath("file-view-tab.png")));

    // The history menu: entries, separator, Clear; choosing fills the field without recording twice.
    std::unique_ptr<QMenu> menu(tab.historyMenu().buildMenu(nullptr));
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    menu->actions()[0]->trigger();
    EXPECT_EQ(parts.fileResults().fileFilterText(), "track");
    menu->actions()[2]->trigger();
    EXPECT_EQ(prefs.value(PreferenceKeys::fileSearchHistoryJSON), "[]");

    // Pasting line breaks keeps one line; a stored cap that is not a raw value reads as 1,000.
    prefs.set(PreferenceKeys::fileMaxFilesOption, QStringLiteral("all"));
    EXPECT_EQ(combos[0]->currentText(), "1,000");
    prefs.set(PreferenceKeys::fileDupMethod, 5);
    EXPECT_EQ(combos[1]->currentIndex(), 0);
    EXPECT_FALSE(tab.findChild<QCheckBox*>(QString(), Qt::FindChildrenRecursively) == nullptr);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return header->isSectionHidden(FileListModel::dupCountColumn); }));

    // Hidden tab: a changed search runs nothing until the tab is shown again.
    parts.controller().setSelectedTab(ContentTab::treeView);
    parts.fileResults().setFileFilterText("img");
    QTest::qWait(400);
    EXPECT_EQ(parts.fileResults().fileResultCount(), 4);
    parts.controller().setSelectedTab(ContentTab::fileView);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return parts.fileResults().fileResultCount() == 8; }));
}

// Ctrl+A in the list of a real scan selects every row, a file's opened member rows with it, and
// the window's file selection takes them in the order shown; "Duplicates only" then narrows the
// rows to the copies the background search found.
TEST(FileViewTab, SelectAllTakesEveryRowInShownOrder) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    prefs.set(PreferenceKeys::fileDupMethod, int(DuplicateMethod::nameSize));
    TempDir dir;
    writeFile(dir / "a/report.pdf", 7000);
    writeFile(dir / "b/report copy.pdf", 7000);
    writeFile(dir / "c/report (2).pdf", 7000);
    for (int i = 0; i < 6; ++i) writeFile(dir / ("d/n" + std::to_string(i) + ".txt"), 100 + i);

    fixtures::WindowParts parts(prefs);
    FileViewTab tab(parts.fileViewParts(), parts.menuCommands());
    ASSERT_TRUE(showExposed(tab, 1100, 500));
    const QString root = QString::fromStdString(dir.path().string());
    parts.controller().setSelectedTab(ContentTab::fileView);
    parts.viewModel().selectRoot(root, root);
    parts.viewModel().startScan(std::nullopt, false, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] {
        return parts.fileResults().fileResultCount() == 9 && !parts.fileResults().fileIsLocatingDuplicates();
    }));
    FileListView& list = tab.fileList();
    ContextMenuOutlineView& outline = list.outline();
    const std::vector<FileNode*> rows = list.pipeline().displayed();
    ASSERT_EQ(rows.size(), 9u);
    ASSERT_EQ(rows.front()->dupCount(), 2);  // a report, the largest, with its two copies
    // Each report's row opens on its copies; a note without copies has nothing to open.
    for (int r = 0; r < 9; ++r)
        EXPECT_EQ(list.model().hasChildren(list.model().index(r, 0)), rows[size_t(r)]->dupCount() > 0) << r;
    outline.expand(list.model().index(0, 0));
    QCoreApplication::processEvents();
    ASSERT_EQ(list.model().rowCount(list.model().index(0, 0)), 2);

    // As shown: the first report, its copies under it, then the other rows below (each node once).
    std::vector<FileNode*> shown{rows.front()};
    for (FileNode* m : FileListModel::dupChildren(*rows.front())) shown.push_back(m);
    for (FileNode* n : rows)
        if (std::find(shown.begin(), shown.end(), n) == shown.end()) shown.push_back(n);
    outline.setFocus();
    QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list.selectedNodes(), shown);
    EXPECT_EQ(parts.fileSelection().nodes().size(), 9);
    for (FileNode* n : rows) EXPECT_TRUE(parts.fileSelection().nodes().contains(n)) << n->name();

    // Rows picked one by one, bottom up: still in shown order, a member row right under its file,
    // and a copy picked again at the top level is taken once, where it shows first.
    const auto click = [&](const QModelIndex& at, Qt::KeyboardModifiers mods) {
        QTest::mouseClick(outline.viewport(), Qt::LeftButton, mods, outline.visualRect(at).center());
    };
    const QModelIndex report = list.model().index(0, 0);
    FileNode* copy = list.model().nodeAt(list.model().index(1, 0, report));
    const int copyRow = int(std::find(rows.begin(), rows.end(), copy) - rows.begin());
    ASSERT_LT(copyRow, 4);
    click(list.model().index(4, 0), {});
    click(list.model().index(1, 0, report), Qt::ControlModifier);
    click(report, Qt::ControlModifier);
    EXPECT_EQ(list.selectedNodes(), (std::vector<FileNode*>{rows[0], copy, rows[4]}));
    click(list.model().index(copyRow, 0), Qt::ControlModifier);
    EXPECT_EQ(list.selectedNodes(), (std::vector<FileNode*>{rows[0], copy, rows[4]}));
    EXPECT_EQ(parts.fileSelection().nodes(), NodeSet({rows[0], copy, rows[4]}));

    // A click on the second file, then Shift+End: that file and the rows below, in order.
    const QModelIndex second = list.model().index(1, 0);
    QTest::mouseClick(outline.viewport(), Qt::LeftButton, {}, outline.visualRect(second).center());
    QTest::keyClick(&outline, Qt::Key_End, Qt::ShiftModifier);
    const std::vector<FileNode*> tail = list.selectedNodes();
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.front(), rows[1]);
    EXPECT_EQ(tail.back(), rows.back());

    prefs.set(PreferenceKeys::fileDupsOnly, true);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return parts.fileResults().fileResultCount() == 3; }));
    for (FileNode* n : list.pipeline().displayed()) EXPECT_EQ(n->dupCount(), 2) << n->name();
}

TEST(FilterPanel, FieldsHistoriesClearAndApply) {
    qtWidgetApp();
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    fixtures::WindowParts parts(prefs);
    FilterPanel panel(prefs, parts.scanControl());
    ASSERT_TRUE(showExposed(panel, 900, 70));

    panel.includeField().setFocus();
    QTest::keyClicks(&panel.includeField(), "s>1m");
    EXPECT_EQ(prefs.value(PreferenceKeys::includeFilterText), "s>1m");
    panel.excludeField().setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(FilterFieldHistory::decode(prefs.value(PreferenceKeys::includeFilterHistoryJSON)), QStringList{"s>1m"});
    QTest::keyClicks(&panel.excludeField(), "*.tmp");
    // Return in the exclude field applies both texts.
    QTest::keyClick(&panel.excludeField(), Qt::Key_Return);
    EXPECT_EQ(panel.excludeField().text(), "*.tmp");
    EXPECT_EQ(parts.scanControl().filteredCopy().applied().includeText, "s>1m");
    EXPECT_EQ(parts.scanControl().filteredCopy().applied().excludeText, "*.tmp");
    EXPECT_TRUE(panel.grab().save(grabPath("filter-panel.png")));
    panel.includeField().setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(FilterFieldHistory::decode(prefs.value(PreferenceKeys::excludeFilterHistoryJSON)), QStringList{"*.tmp"});

    // Clear empties the fields only; the applied filter stays.
    panel.clearButton().click();
    EXPECT_EQ(panel.includeField().text(), "");
    EXPECT_EQ(prefs.value(PreferenceKeys::excludeFilterText), "");
    EXPECT_EQ(parts.scanControl().filteredCopy().applied().excludeText, "*.tmp");
    // A history entry fills its field without applying; clearing one history leaves the other.
    emit panel.includeHistory().entryPicked("s>1m");
    EXPECT_EQ(panel.includeField().text(), "s>1m");
    emit panel.excludeHistory().clearPicked();
    EXPECT_EQ(prefs.value(PreferenceKeys::excludeFilterHistoryJSON), "[]");
    EXPECT_EQ(FilterFieldHistory::decode(prefs.value(PreferenceKeys::includeFilterHistoryJSON)), QStringList{"s>1m"});
    panel.applyButton().click();
    EXPECT_EQ(parts.scanControl().filteredCopy().applied().excludeText, "");
}

}  // namespace
}  // namespace zelvane
