// The window's scan road on real trees: the scan model runs for real and the handlers are
// watched through the window state. Also run under ThreadSanitizer: the statistics job reads
// trees that the GUI thread changes.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>

#include "QtWidgetTestApp.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "TestTrees.hpp"
#include "TreeBuilder.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/ViewCommands.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/WindowPrompts.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/LiveUpdates.hpp"
#include "ZelvaneMac/Window/VolumePicker.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/FilteredCopy.hpp"
#include "ZelvaneMac/Window/VolumeChoice.hpp"
#include "ZelvaneMac/Window/TreeExpansion.hpp"

namespace zelvane {
namespace {

using fixtures::TempDir;
using fixtures::writeFile;
namespace fs = std::filesystem;

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

struct Window {
    QTemporaryDir prefsDir;
    Preferences prefs{prefsDir.filePath("prefs.plist")};
    ContentViewState state{prefs, {}};
    ScanController& scans = state.scanControl();
    int effectiveChanges = 0;

    Window() {
        qtWidgetApp();
        QObject::connect(&scans, &ScanController::effectiveRootsChanged, [this] { ++effectiveChanges; });
    }
    bool finished() const {
        const auto tag = state.viewModel().scanState().tag();
        return tag != ScanState::Tag::scanning && tag != ScanState::Tag::idle;
    }
    void scan(const QString& path) {
        state.viewModel().selectRoot(path, path);
        scans.startScan();
        ASSERT_TRUE(pumpWidgetsUntil([this] { return finished(); }));
    }
    void waitForStats() { ASSERT_TRUE(pumpWidgetsUntil([this] { return scans.colorRankReady(); })); }
};

void sampleTree(const TempDir& dir) {
    writeFile(dir / "a/b/deep.txt", 1000);
    writeFile(dir / "a/one.txt", 100);
    writeFile(dir / "a/pic.png", 300);
    writeFile(dir / "c/two.md", 70);
}

TEST(ScanController, AScanReachesTheShownRootsAndEveryHandlerRuns) {
    TempDir dir;
    sampleTree(dir);
    Window w;
    EXPECT_TRUE(w.scans.effectiveRoots().empty());
    EXPECT_TRUE(w.scans.colorRankReady()) << "two empty lists";
    w.scan(q(dir.path()));
    ASSERT_EQ(w.scans.effectiveRoots().size(), 1u);
    EXPECT_EQ(w.scans.effectiveRoots()[0].get(), w.scans.scanRoots()[0].get());
    EXPECT_TRUE(w.scans.hasEverShownScanResults());
    EXPECT_TRUE(w.state.liveMonitor().isWatching());
    EXPECT_EQ(w.state.fileTypes().extensionPanelSortKey(), FileTypesSortKey::allocated);
    w.waitForStats();
    EXPECT_EQ(w.state.fileTypes().extensionStats().size(), 3u) << "txt, png, md";
    EXPECT_FALSE(w.state.fileTypes().extensionColorRank().empty());

    // A rescan empties everything while it runs, then shows the new tree.
    const RootRef before = w.scans.effectiveRoots()[0];
    w.scans.startScan();
    EXPECT_TRUE(w.scans.effectiveRoots().empty());
    EXPECT_FALSE(w.state.liveMonitor().isWatching());
    EXPECT_TRUE(w.state.fileTypes().extensionStats().empty());
    EXPECT_TRUE(w.scans.hasEverShownScanResults()) << "stays once set";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    ASSERT_EQ(w.scans.effectiveRoots().size(), 1u);
    EXPECT_NE(w.scans.effectiveRoots()[0], before);

    // selectAllFiles and node(atPath:) work on the shown roots.
    w.scans.selectAllFiles(QStringLiteral("txt"));
    EXPECT_EQ(w.state.treeSelection().nodes().size(), 2);
    EXPECT_EQ(w.scans.node(q(dir / "c/two.md"))->name(), "two.md");

    // Monitoring follows its switch; a scan-made result is watched again when it is turned on.
    w.prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    EXPECT_FALSE(w.state.liveMonitor().isWatching());
    w.prefs.set(PreferenceKeys::monitorFileSystemForChanges, true);
    EXPECT_TRUE(w.state.liveMonitor().isWatching());
}

// The scan counts the file types as it reads: the table's rows and the treemap's colours are
// there when the roots are shown, the same as counted afterwards. Colours chosen anew while the
// scan ran are not those it ranked by: then the types are counted again.
TEST(ScanController, TheFileTypesOfAScanComeWithItsRoots) {
    TempDir dir;
    sampleTree(dir);
    writeFile(dir / "c/big.PNG", 5000);
    Window w;
    bool readyWithRoots = false;
    QObject::connect(&w.scans, &ScanController::effectiveRootsChanged, [&](const std::vector<RootRef>& roots) {
        readyWithRoots = !roots.empty() && w.scans.treemapColorsReady();
    });
    w.scan(q(dir.path()));
    EXPECT_TRUE(readyWithRoots);
    w.waitForStats();
    ASSERT_EQ(w.scans.effectiveRoots().size(), 1u);
    const ExtensionStatsResult walked = computeExtensionStats(std::span<const RootRef>(w.scans.effectiveRoots()), true, {});
    EXPECT_EQ(w.state.fileTypes().extensionStats(), walked.all);
    EXPECT_EQ(w.state.fileTypes().extensionColorRank(), walked.colorRank);
    EXPECT_EQ(w.state.fileTypes().extensionColorRank().at("png"), 0);

    w.state.viewModel().selectRoot(q(dir.path()), q(dir.path()));
    w.scans.startScan();
    w.prefs.set(PreferenceKeys::treemapColorBySize, false);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    EXPECT_FALSE(readyWithRoots) << "ranked by size, shown by the colour lists";
    w.waitForStats();
    const QStringList lists = TreemapColorSettings::storedExtensionLists(w.prefs);
    EXPECT_EQ(w.state.fileTypes().extensionColorRank(), TreemapColorSettings::colorRank(lists));
    EXPECT_EQ(w.state.fileTypes().extensionStats(), walked.all);
}

TEST(ScanController, FiltersMakeACopyThatTheWindowShowsWhileThePanelIsShown) {
    TempDir dir;
    sampleTree(dir);
    Window w;
    // The panel is hidden: an exclude text does not reach the scanner.
    w.prefs.set(PreferenceKeys::excludeFilterText, QStringLiteral("*.md"));
    w.scan(q(dir.path()));
    EXPECT_EQ(w.scans.scanRoots()[0]->subFolderFileCount(), 4);
    EXPECT_FALSE(w.scans.filteredCopy().roots());

    w.state.panes().setShowFilterPanel(true);
    w.prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("*.txt"));
    w.prefs.set(PreferenceKeys::excludeFilterText, QString());
    w.waitForStats();
    w.state.treeSelection().set({w.scans.scanRoots()[0].get()});
    w.scans.applyFilters();
    ASSERT_TRUE(w.scans.filteredCopy().roots());
    const FileNode* copy = (*w.scans.filteredCopy().roots())[0].get();
    EXPECT_EQ(w.scans.effectiveRoots()[0].get(), copy);
    EXPECT_EQ(copy->subFolderFileCount(), 2);
    EXPECT_TRUE(w.state.treeSelection().nodes().isEmpty()) << "applying clears the selections";
    EXPECT_FALSE(w.scans.colorRankReady()) << "the copy is a new object until its statistics arrive";
    EXPECT_TRUE(w.state.liveMonitor().isWatching()) << "monitoring restarts on the copy";
    w.waitForStats();
    EXPECT_EQ(w.state.fileTypes().extensionStats().size(), 1u);

    // Hiding the panel shows the scan roots at once; showing it again the same copy, unrebuilt.
    w.state.panes().setShowFilterPanel(false);
    EXPECT_EQ(w.scans.effectiveRoots()[0].get(), w.scans.scanRoots()[0].get());
    w.state.panes().setShowFilterPanel(true);
    EXPECT_EQ(w.scans.effectiveRoots()[0].get(), copy);

    // With the panel shown, the scan excludes by the exclude text, and the new result is filtered
    // by the texts in the preferences.
    w.prefs.set(PreferenceKeys::excludeFilterText, QStringLiteral("*.png"));
    w.scans.startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    EXPECT_EQ(w.scans.scanRoots()[0]->subFolderFileCount(), 3) << "the scanner skipped pic.png";
    ASSERT_TRUE(w.scans.filteredCopy().roots());
    EXPECT_EQ((*w.scans.filteredCopy().roots())[0]->subFolderFileCount(), 2);
    EXPECT_EQ(w.scans.filteredCopy().applied().excludeText, "*.png");

    // Blank texts in a shown panel: the copy goes.
    w.prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("  "));
    w.prefs.set(PreferenceKeys::excludeFilterText, QString());
    w.scans.applyFilters();
    EXPECT_FALSE(w.scans.filteredCopy().roots());
    EXPECT_EQ(w.scans.effectiveRoots()[0].get(), w.scans.scanRoots()[0].get());
}

// A tree of more entries than the filter copies at once is copied in the background: the copy
// shown until then stays, a newer rebuild or a clear drops the one under way, and a rebuild
// superseded by another shows the later texts only.
TEST(ScanController, AFilteredCopyOfALargeTreeArrivesLaterAndGivesWayToNewerTexts) {
    qtWidgetApp();
    testsupport::TreeBuilder b;
    FileNode* root = b.root("/large");
    for (int f = 0; f < 101; ++f) {
        FileNode* folder = b.folder(root, "f" + std::to_string(f));
        for (int n = 0; n < 1000; ++n) b.file(folder, std::to_string(n) + (n % 2 ? ".txt" : ".md"), 10);
    }
    const std::vector<RootRef> roots{b.finish(root)};
    ASSERT_GT(int64_t(root->subFolderFileCount()), FilteredCopy::kEntriesFilteredInPlace);

    FilteredCopy copy;
    int changes = 0;
    QObject::connect(&copy, &FilteredCopy::rootsChanged, [&] { ++changes; });
    copy.setApplied({QStringLiteral("*.txt"), QString(), true});
    copy.rebuild(roots);
    EXPECT_FALSE(copy.roots()) << "nothing is shown before the copy is complete";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return changes == 1; }));
    ASSERT_TRUE(copy.roots());
    EXPECT_EQ((*copy.roots())[0]->subFolderFileCount(), 50500);

    // Two rebuilds in a row: only the second one's copy is shown.
    copy.setApplied({QStringLiteral("*.md"), QString(), true});
    copy.rebuild(roots);
    copy.setApplied({QStringLiteral("?.md"), QString(), false});
    copy.rebuild(roots);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return changes == 2; }));
    EXPECT_EQ((*copy.roots())[0]->subFolderFileCount(), 505);

    // Cleared while a copy is being made: it never arrives.
    copy.setApplied({QStringLiteral("*.md"), QString(), true});
    copy.rebuild(roots);
    copy.clear();
    EXPECT_EQ(changes, 3);
    EXPECT_FALSE(pumpWidgetsUntil([&] { return changes > 3; }, 1500));
    EXPECT_FALSE(copy.roots());
}

TEST(ScanController, ARescanRestoresExpansionAndSelectionAndSkipsWhatWasDeleted) {
    TempDir dir;
    sampleTree(dir);
    Window w;
    w.scan(q(dir.path()));
    const QString a = q(dir / "a"), b = q(dir / "a/b");
    // Stands in for the outline: rows open by path in the tree shown, and the group row of `a`.
    struct OpenPaths final : QObject, TreeExpansionQuery {
        const ScanController* scans = nullptr;
        QStringList folders;
        QString groupOf;
        bool isNodeExpanded(const FileNode* n) const override { return folders.contains(QString::fromStdString(n->fullPath())); }
        bool isGroupExpanded(const FileNode* n) const override { return QString::fromStdString(n->fullPath()) == groupOf; }
        OpenTreeRows openRows() const override {
            OpenTreeRows open;
            for (const QString& p : folders)
                if (const FileNode* n = scans->node(p)) open.folders.insert(n);
            if (const FileNode* n = scans->node(groupOf)) open.groupsOf.insert(n);
            return open;
        }
        std::shared_ptr<const void> ownNodesHeld() const override { return nullptr; }
    } open;
    open.scans = &w.scans;
    open.folders = {q(dir.path()), a, b};
    open.groupOf = a;
    w.state.treeExpansion().attach(&open);

    // First rescan: everything is found again.
    w.state.treeSelection().set({w.scans.node(q(dir / "a/one.txt"))});
    std::vector<std::pair<NodeList, NodeList>> expansions;
    QObject::connect(&w.state.commands(), &ViewCommands::expandTreeRows,
                     [&](const NodeList& folders, const NodeList& groups) { expansions.emplace_back(folders, groups); });
    w.scans.startScan();
    ASSERT_TRUE(w.scans.rescanRestore().pending());
    EXPECT_EQ(w.scans.rescanRestore().pending()->expandedPaths, (QStringList{q(dir.path()), a, b}));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished() && !w.scans.rescanRestore().isFinding(); }));
    EXPECT_FALSE(w.scans.rescanRestore().pending()) << "used once";
    ASSERT_EQ(expansions.size(), 1u);
    ASSERT_EQ(expansions[0].first.size(), 3u);
    EXPECT_EQ(expansions[0].first[2], w.scans.node(b)) << "nodes of the new tree";
    ASSERT_EQ(expansions[0].second.size(), 1u);
    ASSERT_EQ(w.state.treeSelection().nodes().size(), 1);
    EXPECT_EQ(*w.state.treeSelection().nodes().begin(), w.scans.node(q(dir / "a/one.txt")));

    // Second rescan after the subfolder and the selected file went: a is expanded again, b is
    // skipped. The old selection is not carried over: its nodes belonged to the released tree.
    w.state.treeSelection().set({w.scans.node(q(dir / "a/b/deep.txt"))});
    w.state.treemapZoom().setRoot(w.scans.node(a));
    w.state.treeSelection().setReselectChild(w.scans.node(b));
    fs::remove_all(dir / "a/b");
    w.scans.startScan();
    EXPECT_TRUE(w.state.treeSelection().nodes().isEmpty()) << "no reference may outlive its tree";
    EXPECT_EQ(w.state.treemapZoom().root(), nullptr);
    EXPECT_EQ(w.state.treeSelection().reselectChild(), nullptr);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished() && !w.scans.rescanRestore().isFinding(); }));
    ASSERT_EQ(expansions.size(), 2u);
    ASSERT_EQ(expansions[1].first.size(), 2u);
    EXPECT_EQ(expansions[1].first[1], w.scans.node(a));
    EXPECT_TRUE(w.state.treeSelection().nodes().isEmpty());

    // A failed scan keeps its captured state pending for the next result.
    w.state.viewModel().selectRoot(q(dir / "missing"), QStringLiteral("missing"));
    w.scans.startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    EXPECT_EQ(w.state.viewModel().scanState().tag(), ScanState::Tag::failed);
    EXPECT_TRUE(w.scans.effectiveRoots().empty());
}

TEST(ScanController, ARescanOfMoreSelectedFilesThanNamedOnTheSpotFindsThemAll) {
    TempDir dir;
    const int files = int(RescanRestore::kSelectedPathsMadeInPlace) + 100;
    for (int k = 0; k < files; ++k) writeFile(dir / ("d" + std::to_string(k / 500)) / ("f" + std::to_string(k)), 1);
    Window w;
    w.scan(q(dir.path()));
    NodeSet all;
    for (FileNode* folder : w.scans.effectiveRoots()[0]->children())
        for (FileNode* f : folder->children()) all.insert(f);
    ASSERT_EQ(all.size(), files);
    w.state.treeSelection().set(all);
    // Their paths are made on the thread pool while the scan runs; the new roots wait for them.
    w.scans.startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished() && !w.scans.rescanRestore().isFinding(); }));
    const NodeSet found = w.state.treeSelection().nodes();
    ASSERT_EQ(found.size(), files);
    const FileNode* newRoot = w.scans.effectiveRoots()[0].get();
    EXPECT_TRUE(std::all_of(found.begin(), found.end(), [&](FileNode* n) { return n->parent()->parent() == newRoot; }))
        << "nodes of the new tree";
}

// The tree of `folder` as read from disk, written to `csv` as the window's export writes it.
bool exportFolderToCSV(const fs::path& folder, const fs::path& csv) {
    RootRef tree = fixtures::loadTreeFromDisk(folder);
    const CSVExportOptions options{.exportFiles = true, .exportFolders = true, .exportFileID = false, .exportDates = false,
                                   .exportFolderSizes = false, .splitFilename = false, .exportDriveCapacity = false,
                                   .exportPercentOfParent = false, .maxDepth = 0, .useTabDelimiter = false, .useUTC = false};
    return !exportToCSV(std::vector<RootRef>{tree}, options, false, {}, csv.string());
}

TEST(ScanController, ACSVImportIsNeverWatched) {
    TempDir dir;
    sampleTree(dir);
    const fs::path csv = dir / "scan.csv";
    ASSERT_TRUE(exportFolderToCSV(dir.path(), csv));

    Window w;
    w.scans.importChosenCSV(q(csv));
    EXPECT_EQ(w.state.volumeChoice().selectedVolumeID(), PickerTag::selectCSV);
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    ASSERT_EQ(w.scans.effectiveRoots().size(), 1u);
    EXPECT_TRUE(w.state.viewModel().lastScanWasCSVImport());
    EXPECT_FALSE(w.state.liveMonitor().isWatching());
    w.prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    w.prefs.set(PreferenceKeys::monitorFileSystemForChanges, true);
    EXPECT_FALSE(w.state.liveMonitor().isWatching()) << "switching it on leaves the imported paths alone";
}

// An import knows no file identifiers: only the export's mark tells which links do not carry their
// blocks. A filter of it keeps every other file's allocated space, however many files share a
// size with such a link.
TEST(ScanController, AFilterOfAnImportCountsTheSpaceOfFilesThatOnlyShareASizeWithAHardLink) {
    TempDir dir;
    writeFile(dir / "links/one", 1);
    ASSERT_EQ(::link((dir / "links/one").c_str(), (dir / "links/one-again").c_str()), 0);
    writeFile(dir / "plain/a.txt", 1);
    writeFile(dir / "plain/b.txt", 1);
    const fs::path csv = dir / "scan.csv";
    ASSERT_TRUE(exportFolderToCSV(dir.path(), csv));

    Window w;
    w.scans.importChosenCSV(q(csv));
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    ASSERT_EQ(w.scans.effectiveRoots().size(), 1u);
    const FileNode* plain = w.scans.node(q(dir / "plain"));
    ASSERT_TRUE(plain);
    const int64_t plainAlloc = plain->subFolderTotSizeAlloc();
    ASSERT_GT(plainAlloc, 0);
    ASSERT_EQ(w.scans.effectiveRoots()[0]->subFolderTotSizeAlloc(), plainAlloc + plainAlloc / 2) << "the links count once";

    w.state.panes().setShowFilterPanel(true);
    w.prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("*.txt"));
    w.scans.applyFilters();
    ASSERT_TRUE(w.scans.filteredCopy().roots());
    const FileNode* copy = (*w.scans.filteredCopy().roots())[0].get();
    EXPECT_EQ(copy->subFolderFileCount(), 2);
    EXPECT_EQ(copy->subFolderTotSizeAlloc(), plainAlloc);
    w.waitForStats();
    ASSERT_EQ(w.state.fileTypes().extensionStats().size(), 1u);
    EXPECT_EQ(w.state.fileTypes().extensionStats()[0].totalAlloc, plainAlloc);
}

TEST(ScanController, LiveChangesReachTheViewsAndMissedChangesMarkTheResultStale) {
    TempDir dir;
    sampleTree(dir);
    Window w;
    w.scan(q(dir.path()));
    std::vector<NodeList> batches;
    QObject::connect(&w.scans.liveUpdates(), &LiveUpdates::liveChanges,
                     [&](const NodeList& changed) { batches.push_back(changed); });
    const int64_t before = w.scans.effectiveRoots()[0]->subFolderTotSize();
    ASSERT_TRUE(w.state.liveMonitor().monitor());
    ASSERT_TRUE(w.state.liveMonitor().monitor()->waitUntilWatching(std::chrono::milliseconds(10000)));
    fs::remove(dir / "a/pic.png");
    ASSERT_TRUE(pumpWidgetsUntil([&] { return !batches.empty(); }, 10000));
    EXPECT_EQ(w.scans.effectiveRoots()[0]->subFolderTotSize(), before - 300);
    EXPECT_FALSE(batches.front().empty());
    EXPECT_FALSE(w.scans.liveUpdates().resultIsStale());

    // The monitor says it lost events below the root: the result is no longer known to be live.
    bool told = false;
    QObject::connect(&w.scans.liveUpdates(), &LiveUpdates::resultIsStaleChanged, [&](bool stale) { told = stale; });
    w.state.liveMonitor().handle({FileChangeEvent{dir.path().string(), EventStreamFlag::kMustScanSubDirs}});
    EXPECT_TRUE(w.scans.liveUpdates().resultIsStale());
    EXPECT_TRUE(told);
    w.scans.startScan();
    EXPECT_FALSE(w.scans.liveUpdates().resultIsStale()) << "a new scan starts afresh";
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    EXPECT_FALSE(w.scans.liveUpdates().resultIsStale());
}

// A file action asked about before a rescan and answered after it reports the nodes it was
// asked about, of the tree shown then. That tree was announced as going: its nodes must reach
// no view, or the next pruning walks a freed tree.
TEST(ScanController, NodesOfATreeAlreadyGoneNeverReachTheViews) {
    TempDir dir;
    sampleTree(dir);
    Window w;
    w.scan(q(dir.path()));
    const RootRef oldTree = w.scans.effectiveRoots()[0];  // alive here, as while the answer is given
    FileNode* asked = w.scans.node(q(dir / "a/one.txt"));
    ASSERT_NE(asked, nullptr);
    w.scans.startScan();
    ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
    ASSERT_NE(w.scans.effectiveRoots()[0].get(), oldTree.get());

    std::vector<NodeList> batches;
    QObject::connect(&w.scans.liveUpdates(), &LiveUpdates::liveChanges,
                     [&](const NodeList& changed) { batches.push_back(changed); });
    w.state.liveMonitor().markDeletedLocally(std::vector<FileNode*>{asked});
    for (const NodeList& batch : batches)
        for (const FileNode* n : batch) {
            const FileNode* top = n;
            while (top->parent()) top = top->parent();
            EXPECT_NE(top, oldTree.get()) << n->fullPath();
        }
}

TEST(ScanController, StatisticsOfOneTreeRaceLiveChangesWithoutADataRace) {
    // Many folders, so that the background walk is still running while the GUI thread marks
    // nodes deleted, renames them and subtracts their sizes.
    TempDir dir;
    for (int d = 0; d < 40; ++d)
        for (int f = 0; f < 25; ++f) writeFile(dir / ("d" + std::to_string(d)) / ("f" + std::to_string(f) + ".bin"), 10);
    Window w;
    w.prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    w.scan(q(dir.path()));
    for (int round = 0; round < 20; ++round) {
        w.scans.applyFilters();  // nothing to filter: recomputes the statistics of the same roots
        w.state.panes().setShowFilterPanel(round % 2 == 0);
        for (FileNode* folder : w.scans.effectiveRoots()[0]->children()) {
            if (folder->childCount() == 0) continue;
            FileNode* victim = folder->children()[size_t(round) % folder->childCount()];
            victim->rename(std::string_view("renamed.dat"));
            if (!victim->isDeleted() && victim->flagDeletedRecursively()) victim->subtractContributionFromAncestors();
        }
    }
    w.waitForStats();
    EXPECT_TRUE(w.scans.colorRankReady());
}

TEST(WindowStartup, TheCommandLineDecidesWhatTheWindowSelectsAndScans) {
    TempDir dir;
    sampleTree(dir);
    writeFile(dir / "old.csv", 0);
    const std::vector<VolumeInfo> volumes{{"/", "root", true, true, {}, {}}, {"/mnt/x", "x", false, true, {}, {}}};
    const auto hooksFor = [&](QStringList args) {
        WindowStartupHooks h;
        h.enumerateVolumes = [&] { return volumes; };
        h.hasFullDiskAccess = [] { return true; };
        std::vector<std::string> bytes;
        for (const QString& argument : args) bytes.push_back(pathBytesFromQString(argument));
        h.commandLine = commandLineTargets(bytes, std::filesystem::current_path().string());
        return h;
    };

    {  // No folder: the first volume is selected, nothing scanned.
        Window w;
        WindowStartup startup(w.state.startupParts(), hooksFor({QStringLiteral("--exportfolders=1")}));
        startup.runAppearance();
        EXPECT_EQ(w.state.volumeChoice().selectedVolumeID(), QStringLiteral("/"));
        EXPECT_EQ(w.state.viewModel().rootLabel(), QStringLiteral("root"));
        EXPECT_EQ(w.state.viewModel().scanState().tag(), ScanState::Tag::idle);
    }
    {  // One folder: scanned at once whatever the setting says.
        Window w;
        w.prefs.set(PreferenceKeys::autoScanAfterSelection, false);
        WindowStartup startup(w.state.startupParts(), hooksFor({q(dir / "a")}));
        startup.runAppearance();
        EXPECT_EQ(w.state.volumeChoice().selectedVolumeID(), PickerTag::selectFolder);
        EXPECT_TRUE(w.state.viewModel().scanState().isScanning());
        ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
        EXPECT_EQ(w.scans.effectiveRoots().size(), 1u);
    }
    {  // Two folders: one scan with two roots.
        Window w;
        WindowStartup startup(w.state.startupParts(), hooksFor({q(dir / "a"), QStringLiteral("/no/such"), q(dir / "c")}));
        startup.runAppearance();
        EXPECT_EQ(w.state.volumeChoice().selectedVolumeID(), PickerTag::selectMultiple);
        ASSERT_TRUE(pumpWidgetsUntil([&] { return w.finished(); }));
        EXPECT_EQ(w.scans.effectiveRoots().size(), 2u);
    }
    {  // A CSV file wins over folders.
        Window w;
        WindowStartup startup(w.state.startupParts(), hooksFor({q(dir / "a"), q(dir / "old.csv")}));
        startup.runAppearance();
        EXPECT_EQ(w.state.volumeChoice().selectedVolumeID(), PickerTag::selectCSV);
        EXPECT_TRUE(w.state.viewModel().lastScanWasCSVImport());
    }
    {  // Prompts: no access raises the prompt and keeps the move offer down; suppressed, the move
       // offer may come.
        Window w;
        auto hooks = hooksFor({});
        hooks.hasFullDiskAccess = [] { return false; };
        hooks.shouldOfferPortableMode = [] { return true; };
        hooks.shouldOfferMoveToApplications = [] { return true; };
        WindowStartup startup(w.state.startupParts(), hooks);
        startup.runAppearance();
        EXPECT_TRUE(w.state.prompts().showFullDiskAccessAlert());
        EXPECT_TRUE(w.state.prompts().showPreparePortableModePrompt());
        EXPECT_FALSE(w.state.prompts().showMoveToApplicationsPrompt());
        EXPECT_FALSE(w.prefs.value(PreferenceKeys::hasFullDiskAccessCached));

        Window w2;
        w2.prefs.set(PreferenceKeys::suppressFullDiskAccessPrompt, true);
        hooks.shouldOfferPortableMode = [] { return false; };
        WindowStartup again(w2.state.startupParts(), hooks);
        again.runAppearance();
        EXPECT_FALSE(w2.state.prompts().showFullDiskAccessAlert());
        EXPECT_TRUE(w2.state.prompts().showMoveToApplicationsPrompt());
    }
}

TEST(WindowStartup, AnExcludeOnlyCommandLineOpensThePanelAndAMountReplacesAnOrphanedSelection) {
    Window w;
    const char* argv[] = {"ZelvaneMac", "--filterexclude=*.tmp", "--filterfullpath=0"};
    ContentViewState state(w.prefs, CLIAutomation::parse(3, argv));
    std::vector<VolumeInfo> volumes{{"/", "root", true, true, {}, {}}, {"/media/usb", "usb", false, true, {}, {}}};
    WindowStartupHooks hooks;
    hooks.enumerateVolumes = [&] { return volumes; };
    WindowStartup startup(state.startupParts(), hooks);
    startup.runAppearance();
    EXPECT_TRUE(state.panes().showFilterPanel());
    EXPECT_EQ(w.prefs.value(PreferenceKeys::includeFilterText), QString());
    EXPECT_EQ(w.prefs.value(PreferenceKeys::excludeFilterText), QStringLiteral("*.tmp"));
    EXPECT_FALSE(w.prefs.value(PreferenceKeys::filterMatchEntirePath));

    // The selected volume goes away; the list follows, the selection stays (orphaned).
    state.volumeChoice().setSelectedVolumeID(QStringLiteral("/media/usb"));
    volumes.pop_back();
    startup.handleVolumesChanged();
    EXPECT_EQ(state.volumeChoice().volumes().size(), 1u);
    EXPECT_EQ(state.volumeChoice().selectedVolumeID(), QStringLiteral("/media/usb"));
    // Another disk is mounted: it becomes the selection, without a scan.
    volumes.push_back({"/media/disk2", "disk2", false, true, {}, {}});
    startup.handleVolumesChanged();
    EXPECT_EQ(state.volumeChoice().selectedVolumeID(), QStringLiteral("/media/disk2"));
    EXPECT_EQ(state.viewModel().rootLabel(), QStringLiteral("disk2"));
    EXPECT_EQ(state.viewModel().scanState().tag(), ScanState::Tag::idle);
    // With a listed selection a mount only changes the list.
    volumes.push_back({"/media/disk3", "disk3", false, true, {}, {}});
    startup.handleVolumesChanged();
    EXPECT_EQ(state.volumeChoice().selectedVolumeID(), QStringLiteral("/media/disk2"));
}

}  // namespace
}  // namespace zelvane
