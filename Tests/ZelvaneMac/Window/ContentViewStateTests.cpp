#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "QtWidgetTestApp.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/KeptTrees.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/TreeRetirement.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/TreemapToggles.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/TopRoundedRectangle.hpp"
#include "ZelvaneMac/Window/WindowTitle.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"
#include "ZelvaneMac/Window/ContentTab.hpp"

using namespace zelvane;

namespace {

struct Store {
    QTemporaryDir dir;
    Preferences preferences{dir.filePath("prefs.plist")};
};

}  // namespace

TEST(ContentViewState, NewWindowOnAnEmptyStoreStartsFromTheDefaults) {
    qtWidgetApp();
    Store store;
    ContentViewState state(store.preferences, {});
    EXPECT_EQ(state.controller().selectedTab(), ContentTab::treeView);
    EXPECT_FALSE(state.panes().showFilterPanel());
    EXPECT_TRUE(state.panes().showFileTypes());
    EXPECT_TRUE(state.panes().showTreemap());
    EXPECT_TRUE(state.treemapToggles().showTreemapAllocatedSize());
    EXPECT_TRUE(state.treemapToggles().showTreemapFilenames());
    EXPECT_FALSE(state.treemapToggles().showTreemapFreeSpace());
    EXPECT_TRUE(state.panes().showHeader());
    EXPECT_TRUE(store.preferences.value(PreferenceKeys::autoScanAfterSelection));
    EXPECT_EQ(state.fileTypes().extensionPanelSortKey(), FileTypesSortKey::allocated);
    EXPECT_TRUE(state.scanControl().filteredCopy().applied().includeMatchEntirePath);
    EXPECT_FALSE(state.scanControl().filteredCopy().roots().has_value());
    EXPECT_FALSE(state.prompts().csvExportErrorDetail().has_value());
    EXPECT_EQ(state.treemapZoom().root(), nullptr);
    EXPECT_FALSE(state.treeExpansion().isNodeExpanded(nullptr)) << "no outline: nothing is open";
}

TEST(ContentViewState, SeededTogglesReadTheirKeyOnceAndWriteChangesBack) {
    qtWidgetApp();
    Store store;
    // A value of the wrong type counts as absent.
    ASSERT_TRUE(store.preferences.setObject("showFilterPanel", QStringLiteral("true")));
    ASSERT_TRUE(store.preferences.setObject("showTreemap", QVariant(0)));
    store.preferences.set(PreferenceKeys::showTreemapFreeSpace, true);
    ContentViewState first(store.preferences, {});
    EXPECT_FALSE(first.panes().showFilterPanel());
    EXPECT_TRUE(first.panes().showTreemap());
    EXPECT_TRUE(first.treemapToggles().showTreemapFreeSpace());

    first.panes().setShowTreemap(false);
    first.panes().setShowHeader(false);
    EXPECT_FALSE(store.preferences.value(PreferenceKeys::showTreemap));

    ContentViewState second(store.preferences, {});
    EXPECT_FALSE(second.panes().showTreemap());
    EXPECT_TRUE(second.panes().showHeader()) << "the header has no key: every window starts with it";
    // The second window's change does not reach the first, which read its key only once.
    second.panes().setShowFileTypes(false);
    EXPECT_TRUE(first.panes().showFileTypes());
    EXPECT_FALSE(first.panes().showHeader());
}

TEST(ContentViewState, SignalsOnlyOnRealChanges) {
    qtWidgetApp();
    Store store;
    ContentViewState state(store.preferences, {});
    MainWindowController& controller = state.controller();
    QSignalSpy tab(&controller, &MainWindowController::selectedTabChanged);
    QSignalSpy detail(&state.prompts(), &WindowPrompts::csvExportErrorDetailChanged);
    controller.setSelectedTab(ContentTab::treeView);
    EXPECT_EQ(tab.count(), 0);
    controller.setSelectedTab(ContentTab::about);
    controller.setSelectedTab(ContentTab::about);
    EXPECT_EQ(tab.count(), 1);
    state.prompts().setCsvExportErrorDetail(QStringLiteral("disk full"));
    state.prompts().setCsvExportErrorDetail(QStringLiteral("disk full"));
    state.prompts().setCsvExportErrorDetail(std::nullopt);
    EXPECT_EQ(detail.count(), 2);
}

TEST(TreemapColorPreferences, PaletteAndExtensionListsFallBackOnlyWhenTheTextIsNoList) {
    Store store;
    const Preferences& state = store.preferences;
    EXPECT_EQ(TreemapColorSettings::storedPaletteColors(state), TreemapColorSettings::defaultColors());
    EXPECT_EQ(TreemapColorSettings::storedExtensionLists(state), TreemapColorSettings::defaultExtensionLists());

    store.preferences.set(PreferenceKeys::treemapPaletteColorsJSON, QStringLiteral("{\"a\":1}"));
    EXPECT_EQ(TreemapColorSettings::storedPaletteColors(state), TreemapColorSettings::defaultColors());
    store.preferences.set(PreferenceKeys::treemapPaletteColorsJSON, QStringLiteral("[\"FF8000\",1]"));
    EXPECT_EQ(TreemapColorSettings::storedPaletteColors(state), TreemapColorSettings::defaultColors());

    // A stored list is taken as it is, short or not, and every entry scanned as hexadecimal.
    store.preferences.set(PreferenceKeys::treemapPaletteColorsJSON,
                          QStringLiteral("[\"FF8001\",\"  10203\",\"G12345\",\"abcdefZZ\",\"\",\"123456789\"]"));
    EXPECT_EQ(TreemapColorSettings::storedPaletteColors(state).size(), 6);
    const PaletteRGB rgb = TreemapColorSettings::storedPaletteRGB(state);
    ASSERT_EQ(rgb.size(), 6u);
    EXPECT_EQ(rgb[0], (TreemapRGB{255, 128, 1}));
    EXPECT_EQ(rgb[1], (TreemapRGB{1, 2, 3})) << "leading space skipped, short number";
    EXPECT_EQ(rgb[2], (TreemapRGB{0, 0, 0})) << "a letter after F gives black";
    EXPECT_EQ(rgb[3], (TreemapRGB{0xab, 0xcd, 0xef})) << "scanning stops at the first non-digit";
    EXPECT_EQ(rgb[4], (TreemapRGB{0, 0, 0}));
    EXPECT_EQ(rgb[5], (TreemapRGB{0x45, 0x67, 0x89})) << "the low 24 bits of a longer number";

    store.preferences.set(PreferenceKeys::treemapExtensionListsJSON, QStringLiteral("[\"jpg,png\"]"));
    EXPECT_EQ(TreemapColorSettings::storedExtensionLists(state), QStringList{QStringLiteral("jpg,png")});
}

TEST(WindowTitle, NameDashMarkerAndLabel) {
    EXPECT_EQ(windowTitle({}, QStringLiteral("▣")), "ZelvaneMac");
    EXPECT_EQ(windowTitle(QStringLiteral("Home"), {}), QString::fromUtf8("ZelvaneMac — Home"));
    EXPECT_EQ(windowTitle(QStringLiteral("/srv, /opt"), QStringLiteral("▣")),
              QString::fromUtf8("ZelvaneMac — ▣ /srv, /opt"));
    // A direction override in a chosen folder's name cannot turn the title around.
    EXPECT_EQ(windowTitle(QStringLiteral("/tmp/\u202Egpj.exe"), {}), QString::fromUtf8("ZelvaneMac — /tmp/\uFFFDgpj.exe"));
}

TEST(MainWindowController, TabChangesAreStoredExceptAboutAndFocusTheSearchOnlyWhenChosen) {
    qtWidgetApp();
    Store store;
    ContentViewState state(store.preferences, {});
    MainWindowController& controller = state.controller();
    QSignalSpy focus(&state.commands(), &ViewCommands::focusFileSearch);

    controller.setSelectedTab(ContentTab::fileView);
    EXPECT_EQ(store.preferences.value(PreferenceKeys::selectedTab), "fileView");
    EXPECT_EQ(focus.count(), 1);
    controller.setSelectedTab(ContentTab::about);
    EXPECT_EQ(store.preferences.value(PreferenceKeys::selectedTab), "fileView") << "About is never stored";
    controller.setSelectedTab(ContentTab::treeView);
    EXPECT_EQ(store.preferences.value(PreferenceKeys::selectedTab), "treeView");
    EXPECT_EQ(focus.count(), 1);

    // Restoring the File View at start does not move the focus; the flag clears a turn later.
    store.preferences.set(PreferenceKeys::selectedTab, QStringLiteral("fileView"));
    ContentViewState reopened(store.preferences, {});
    MainWindowController& reopenedController = reopened.controller();
    QSignalSpy reopenedFocus(&reopened.commands(), &ViewCommands::focusFileSearch);
    reopenedController.restoreStoredTab();
    EXPECT_EQ(reopenedController.selectedTab(), ContentTab::fileView);
    EXPECT_EQ(reopenedFocus.count(), 0);
    EXPECT_TRUE(pumpWidgetsUntil([&] { return !reopenedController.isRestoringSelectedTab(); }));

    for (const char* stored : {"about", "bogus", ""}) {
        store.preferences.set(PreferenceKeys::selectedTab, QString::fromUtf8(stored));
        ContentViewState other(store.preferences, {});
        MainWindowController& otherController = other.controller();
        otherController.setSelectedTab(ContentTab::about);
        otherController.restoreStoredTab();
        EXPECT_EQ(otherController.selectedTab(), ContentTab::treeView) << stored;
    }
}

TEST(NodeSelection, ReselectChildSurvivesOnlyTheSelectionChangeItAnnounced) {
    TreeRetirement retirement;
    NodeSelection selection(retirement);
    auto* child = reinterpret_cast<FileNode*>(uintptr_t(0x1000));
    auto* parent = reinterpret_cast<FileNode*>(uintptr_t(0x2000));
    selection.setReselectChild(child);
    selection.keepReselectChildOnNextChange();
    selection.set({parent});
    EXPECT_EQ(selection.reselectChild(), child);
    selection.set({parent});
    EXPECT_EQ(selection.reselectChild(), child) << "no change of the selection";
    selection.set({});
    EXPECT_EQ(selection.reselectChild(), nullptr);
}

// When trees go, a selection keeps the nodes below the roots still kept, a kept folder of a tree
// included, and drops the rest; with nothing kept it drops everything.
TEST(NodeSelection, KeepsOnlyNodesBelowTheKeptRootsWhenTreesGo) {
    const std::string csv =
        "File Name,Size,Allocated,Modified,Attributes,Files,Folders\n"
        "\"/a/\",0,0,2024/03/05 07:08:09,0,3,2\n"
        "\"/a/x/\",0,0,2024/03/05 07:08:09,0,2,1\n"
        "\"/a/x/deep/\",0,0,2024/03/05 07:08:09,0,1,0\n"
        "\"/a/x/deep/f1\",5,4096,2024/03/05 07:08:09,0,0,0\n"
        "\"/a/x/f2\",5,4096,2024/03/05 07:08:09,0,0,0\n"
        "\"/a/f3\",5,4096,2024/03/05 07:08:09,0,0,0\n"
        "\"/b/\",0,0,2024/03/05 07:08:09,0,1,0\n"
        "\"/b/g1\",5,4096,2024/03/05 07:08:09,0,0,0\n";
    CSVImportOutcome imported = importFromCSVData(csv, ',');
    ASSERT_FALSE(imported.error);
    ASSERT_EQ(imported.result.roots.size(), 1u);  // "/", made up above both
    const RootRef& root = imported.result.roots[0];
    const auto find = [](FileNode* from, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            FileNode* next = nullptr;
            for (FileNode* c : from->children())
                if (c->name() == name) next = c;
            if (!next) return static_cast<FileNode*>(nullptr);
            from = next;
        }
        return from;
    };
    FileNode* a = find(root.get(), {"a"});
    FileNode* x = find(root.get(), {"a", "x"});
    FileNode* f1 = find(root.get(), {"a", "x", "deep", "f1"});
    FileNode* f2 = find(root.get(), {"a", "x", "f2"});
    FileNode* f3 = find(root.get(), {"a", "f3"});
    FileNode* b = find(root.get(), {"b"});
    FileNode* g1 = find(root.get(), {"b", "g1"});
    ASSERT_TRUE(a && x && f1 && f2 && f3 && b && g1);

    TreeRetirement retirement;
    NodeSelection selection(retirement);
    const NodeSet all{f1, f2, f3, x, g1, a, root.get()};
    selection.set(all);
    retirement.announce(KeptTrees({root}));
    EXPECT_EQ(selection.nodes(), all);

    selection.setReselectChild(f3);
    retirement.announce(KeptTrees({RootRef(root, b)}));
    EXPECT_EQ(selection.nodes(), NodeSet({g1}));
    EXPECT_EQ(selection.reselectChild(), nullptr);

    selection.set(all);
    retirement.announce(KeptTrees({RootRef(root, x), RootRef(root, b)}));
    EXPECT_EQ(selection.nodes(), NodeSet({f1, f2, x, g1}));

    // A kept inner root's siblings are not kept, whatever comes before them in a list.
    EXPECT_EQ(KeptTrees({RootRef(root, x)}).keep(NodeList{x, f3, f2, a}), NodeList({x, f2}));
    EXPECT_EQ(KeptTrees({RootRef(root, b)}).keep(NodeList{g1, b, a, g1}), NodeList({g1, b, g1}));

    retirement.announce(KeptTrees({}));
    EXPECT_TRUE(selection.nodes().isEmpty());
    EXPECT_TRUE(KeptTrees({}).holds(nullptr));
}

TEST(TopRoundedRectangle, RadiusIsCappedAndZeroGivesARectangle) {
    const QPainterPath low = topRoundedRectanglePath(QRectF(0, 0, 40, 8), 5);
    // With the radius capped at 4 the top edge starts 4 in from the left.
    EXPECT_TRUE(low.contains(QPointF(20, 0.5)));
    EXPECT_FALSE(low.contains(QPointF(0.3, 0.3)));
    EXPECT_TRUE(low.contains(QPointF(0.5, 7.5))) << "bottom corners stay square";
    EXPECT_EQ(low.boundingRect(), QRectF(0, 0, 40, 8));
    const QPainterPath plain = topRoundedRectanglePath(QRectF(0, 0, 40, 8), 0);
    EXPECT_TRUE(plain.contains(QPointF(0.1, 0.1)));
    EXPECT_EQ(plain.boundingRect(), QRectF(0, 0, 40, 8));
}
