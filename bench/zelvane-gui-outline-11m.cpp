// The Tree View of a real main window on an eleven-million-entry import, offscreen.
//
//   zelvane-gui-outline-11m [--only=STEP,...] TREE [COPIES]
//
// TREE is scanned and exported as CSV; the export is written again COPIES times (default 10) below
// one made-up folder, each copy under a folder of its own ("copy-0", "copy-1", ...), so that a tree
// of `make-tree.py --files 1000000 --dirs 100000` becomes 11,010,011 entries in one root. That file
// is imported into the window, then each action is taken the way the window's menus, keys and
// panels take it, one after the other:
//
//   import, Expand All, Reset Tree Expansion, Expand All again, sort by each column (header
//   clicks), Select All in the outline, the TSV export of the rows selected, Select of the file
//   type with the most files, Copy and the clipboard text of that selection, the CSV export of
//   the tree, the file-type export, the clipboard text of the root, treemap zoom and unzoom,
//   Apply Filter and Clear, and last a rescan after Expand All and Select All (the same file
//   imported again in place of the shown tree, with the open rows and the selection captured as
//   a scan captures them).
//
// For each it prints one line: the time to its result and the longest time the GUI thread did not
// turn its event loop meanwhile (a 5 ms heartbeat), and the resident memory after it. The result
// of an action is there once its own condition holds (rows shown, a file written, a picture of the
// new roots) and the event loop has been calm (no gap over 20 ms) for 300 ms; the time counts to
// the end of the last busy gap or to the condition, whichever is later. The last line gives the
// peak resident memory of the whole run. --only takes the steps named (expand, reset, sort,
// selectall, selsort (header clicks with the outline selected), selexport (the TSV export of the
// rows selected, after Expand All and Select All), type, export, clipboard, zoom,
// filter, rescan, scanrescan (TREE scanned, watched and scanned again after Expand All and Select
// All, then Select All over the restored selection); the import always), so that a slow build can be measured step by step. The import and the rescan also give the longest stall from
// the moment the new roots are shown (the outline's load and, for the rescan, its restore).
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "QuietWindow.hpp"
#include "ResidentMemory.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/FileTypes/ExtensionTableView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Status/StatusBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/Exports/ExportContext.hpp"
#include "ZelvaneMac/Window/Exports/WindowExports.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/NodeSelection.hpp"
#include "ZelvaneMac/Window/PaneToggles.hpp"
#include "ZelvaneMac/Window/ScanControl.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/TreemapZoom.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

using namespace zelvane;
using zelvane::bench::residentKiB;

namespace {

// The export of TREE, written COPIES times below BASE: every path starting with TREE starts with
// BASE/copy-K instead, and BASE gets the root's row. Returns the number of rows written.
size_t writeCopies(const std::string& tree, const std::string& exported, const std::string& base, int copies,
                   const std::string& out) {
    std::ifstream in(exported, std::ios::binary);
    std::ofstream os(out, std::ios::binary | std::ios::trunc);
    std::string header;
    std::getline(in, header);
    os << header << '\n';
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);) rows.push_back(std::move(line));
    size_t written = 0;
    // A row's path is its first field, quoted or not.
    auto rewrite = [&](const std::string& line, const std::string& to) {
        const size_t at = line.find(tree);
        if (at == std::string::npos || at > 1) return std::string();
        return line.substr(0, at) + to + line.substr(at + tree.size());
    };
    if (!rows.empty()) {
        os << rewrite(rows.front(), base) << '\n';
        ++written;
    }
    for (int k = 0; k < copies; ++k) {
        const std::string to = base + "/copy-" + std::to_string(k);
        for (const std::string& line : rows) {
            std::string r = rewrite(line, to);
            if (r.empty()) continue;
            os << r << '\n';
            ++written;
        }
    }
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    std::string only;
    if (argc > 1 && std::string_view(argv[1]).starts_with("--only=")) {
        only = "," + std::string(argv[1] + 7) + ",";
        --argc, ++argv;
    }
    if (argc < 2) {
        std::fputs("usage: zelvane-gui-outline-11m [--only=STEP,...] TREE [COPIES]\n", stderr);
        return 2;
    }
    const auto wanted = [&](const char* step) { return only.empty() || only.find("," + std::string(step) + ",") != std::string::npos; };
    const std::string tree = argv[1];
    const int copies = argc > 2 ? std::atoi(argv[2]) : 10;
    raiseFileDescriptorLimit();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QTemporaryDir work;
    const std::string one = work.filePath(QStringLiteral("one.csv")).toStdString();
    const std::string csv = work.filePath(QStringLiteral("eleven.csv")).toStdString();
    {
        ParallelScanOptions options;
        options.workerCount = int(std::max(1u, std::thread::hardware_concurrency()));
        std::vector<RootRef> roots = parallelScanToTree({tree}, options);
        if (roots.empty()) return 1;
        const CSVExportOptions columns{.exportFiles = true, .exportFolders = true, .exportFileID = false,
                                       .exportDates = true, .exportFolderSizes = true, .splitFilename = false,
                                       .exportDriveCapacity = false, .exportPercentOfParent = false, .maxDepth = 0,
                                       .useTabDelimiter = false, .useUTC = false};
        if (exportToCSV(roots, columns, false, [](const FileNode&) { return VolumeCapacity{}; }, one)) return 1;
    }
    const std::string base = tree + "-x" + std::to_string(copies);
    const size_t rows = writeCopies(tree, one, base, copies, csv);
    std::printf("csv: %zu rows below %s\n", rows, base.c_str());
    std::fflush(stdout);

    bench::QuietWindow quiet;
    Preferences& prefs = quiet.prefs;
    MainWindow& window = quiet.window;
    ScanController& scans = window.scanControl();
    TreeViewTab* tab = window.contentView()->treeViewTab();
    FileTreeOutlineView* outlineView = tab->outline();
    ContextMenuOutlineView& outline = outlineView->outline();
    TreemapCanvas* treemap = window.findChild<TreemapCanvas*>();

    // The heartbeat: the longest gap of the current action, and when the last busy gap ended.
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    qint64 maxGap = 0, lastBusyEnd = 0;
    // The same, counted from the moment new roots are shown (-1 before).
    qint64 maxGapShown = -1;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 gap = sinceBeat.restart();
        maxGap = std::max(maxGap, gap);
        if (maxGapShown >= 0) maxGapShown = std::max(maxGapShown, gap);
        if (gap > 20) lastBusyEnd = clock.elapsed();
    });
    heartbeat.start();

    const auto pictureOf = [&](const std::vector<RootRef>& roots) {
        const TreemapCanvasModel& m = treemap->model();
        return m.hasPicture() && !m.isStale() && !m.inputs().roots.empty() && m.inputs().roots == roots;
    };
    // Runs `action`, then turns the event loop until `done` holds and the loop has been calm.
    const auto measure = [&](const char* name, const std::function<void()>& action, const std::function<bool()>& done) {
        do QTest::qWait(50);  // start from a calm loop
        while (clock.elapsed() - lastBusyEnd <= 300);
        maxGap = 0;
        const qint64 start = clock.elapsed();
        lastBusyEnd = start;
        sinceBeat.restart();
        action();
        qint64 doneAt = -1;
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (doneAt < 0 && done()) doneAt = clock.elapsed();
            if (doneAt >= 0 && clock.elapsed() - std::max(doneAt, lastBusyEnd) > 300) break;
            if (clock.elapsed() - start > 600000) {
                std::printf("%s: no result within 10 minutes\n", name);
                break;
            }
            QThread::msleep(1);
        }
        const qint64 end = std::max(doneAt, lastBusyEnd);
        const auto [rss, hwm] = residentKiB();
        std::printf("%-34s result %8.0f ms  longest stall %6lld ms  rss %7.0f MiB\n", name, double(end - start),
                    (long long)maxGap, double(rss) / 1024.0);
        std::fflush(stdout);
    };

    // Armed when new roots are shown: the heartbeat's gap in which they arrive counts whole (the
    // handlers before the views' signal ran in it).
    QObject::connect(&scans, &ScanController::effectiveRootsChanged, [&](const std::vector<RootRef>& now) {
        if (!now.empty()) maxGapShown = 0;
    });
    const auto printShownStall = [&] {
        std::printf("  longest stall once the new roots were shown: %lld ms\n", (long long)maxGapShown);
        std::fflush(stdout);
        maxGapShown = -1;
    };
    const auto importDone = [&] {
        const auto& roots = scans.effectiveRoots();
        return !roots.empty() && scans.colorRankReady() && tab->showsOutline() && outlineView->model().rowCount() > 0 &&
               pictureOf(roots);
    };
    measure("import", [&] { window.viewModel().startCSVImport(QString::fromStdString(csv), false); }, importDone);
    printShownStall();
    std::vector<RootRef> roots = scans.effectiveRoots();
    FileNode* root = roots.empty() ? nullptr : roots.front().get();
    if (!root) return 1;
    std::printf("tree: %d files, %d folders\n", root->subFolderFileCount(), root->subFolderDirCount());
    const auto always = [] { return true; };
    MenuBar& menus = window.menus();
    if (wanted("expand")) measure("Expand All", [&] { menus.handleMenuAction(ZelvaneMenuAction::expandAll); }, always);
    if (wanted("expand")) {
        const FileTreeOutlineModel& made = outlineView->model();
        std::printf("  the outline's rows made: %zu, %.1f bytes each in the model\n", made.cachedRowCount(),
                    double(made.cacheBytes()) / double(std::max<size_t>(1, made.cachedRowCount())));
    }
    if (wanted("reset")) measure("Reset Tree Expansion", [&] { menus.handleMenuAction(ZelvaneMenuAction::resetTreeExpansion); }, always);
    if (wanted("expand")) measure("Expand All again", [&] { menus.handleMenuAction(ZelvaneMenuAction::expandAll); }, always);
    QHeaderView* header = outline.header();
    for (int column = 0; column < header->count() && wanted("sort"); ++column) {
        const std::string title = "sort by " + header->model()->headerData(column, Qt::Horizontal).toString().toStdString();
        measure(title.c_str(), [&] { emit header->sectionClicked(column); }, always);
    }
    outline.setFocus();
    if (wanted("selectall"))
        measure("Select All in the outline", [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); },
                [&] { return !window.treeSelection().nodes().isEmpty(); });
    if (wanted("selsort")) {
        // Header clicks with every shown row selected: the same rows stay selected after each.
        const std::vector<FileNode*> before = outlineView->selectedNodes();
        const NodeSet selectedBefore(before.begin(), before.end());
        for (int column : {int(FileTreeOutlineModel::nameColumn), int(FileTreeOutlineModel::allocatedColumn),
                           int(FileTreeOutlineModel::allocatedColumn)}) {
            const std::string title =
                "sort by " + header->model()->headerData(column, Qt::Horizontal).toString().toStdString() + ", all selected";
            measure(title.c_str(), [&] { emit header->sectionClicked(column); }, always);
        }
        const std::vector<FileNode*> after = outlineView->selectedNodes();
        std::printf("  rows selected before the sorts %zu, after %zu, the same nodes %s\n", before.size(), after.size(),
                    NodeSet(after.begin(), after.end()) == selectedBefore ? "yes" : "NO");
    }

    if (wanted("selexport")) {
        // Export to CSV File… of every row of the opened outline, selected only, as TSV: the steps
        // after the save panel. Done once the file is there (it is renamed into place whole).
        if (window.treeSelection().nodes().isEmpty()) {
            measure("Expand All for the export", [&] { menus.handleMenuAction(ZelvaneMenuAction::expandAll); }, always);
            outline.setFocus();
            measure("Select All for the export", [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); },
                    [&] { return !window.treeSelection().nodes().isEmpty(); });
        }
        std::printf("  rows selected: %lld\n", (long long)window.treeSelection().nodes().size());
        const QString tsv = work.filePath(QStringLiteral("selected-out.tsv"));
        measure("export the selected rows as TSV", [&] {
            ExportSourceSelection selection(ExportSource::treeView, true, CSVFileFormat::tsv);
            completeCSVExport(window.exportContext(), selection, tsv);
        }, [&] { return QFile::exists(tsv); });
        std::printf("  written: %.0f MB\n", double(QFileInfo(tsv).size()) / 1e6);
        QFile::remove(tsv);
    }

    // The file type with the most files, as its row's right-click -> Select does.
    std::string biggest;
    int64_t most = -1;
    for (const ExtensionStats& s : window.fileTypes().extensionStats())
        if (s.fileCount > most) most = s.fileCount, biggest = s.ext;
    const std::string typeTitle = "Select of ." + biggest + " (" + std::to_string(most) + " files)";
    window.treeSelection().set({});
    QTest::qWait(100);
    if (wanted("type")) {
        // Done once the outline shows its part of the files selected and the treemap outlines them.
        measure(typeTitle.c_str(), [&] { scans.selectAllFiles(QString::fromStdString(biggest)); }, [&] {
            const TreemapCanvasModel& m = treemap->model();
            return !window.treeSelection().nodes().isEmpty() && !outlineView->selectedNodes().empty() &&
                   m.overlaysShown() && m.selectionOutlined();
        });
        if (wanted("clipboard")) {
            // The selection of every file of the type, to the clipboard: as files (Copy), then as
            // text in its place, then as files again; each is there once the clipboard holds it
            // (both are made in the background). The heap after each says what the window keeps.
            const auto heapLine = [](const char* when) {
                const struct mallinfo2 m = mallinfo2();
                std::printf("  %s: heap in use %.0f MiB, mapped %.0f MiB\n", when, double(m.uordblks + m.hblkhd) / 1048576.0,
                            double(m.arena + m.hblkhd) / 1048576.0);
                std::fflush(stdout);
            };
            const auto holdsUrls = [] {
                const QMimeData* d = QGuiApplication::clipboard()->mimeData();
                return d && d->hasUrls();
            };
            QGuiApplication::clipboard()->clear();
            heapLine("before the copies");
            measure("Copy of that selection", [&] { menus.handleMenuAction(ZelvaneMenuAction::copy); }, holdsUrls);
            heapLine("with the files on the clipboard");
            measure("copy size info of that selection", [&] { menus.handleMenuAction(ZelvaneMenuAction::copyFileAndSizeInfo); },
                    [&] { return !holdsUrls() && !QGuiApplication::clipboard()->text().isEmpty(); });
            heapLine("with the text in their place");
            measure("Copy of that selection again", [&] { menus.handleMenuAction(ZelvaneMenuAction::copy); }, holdsUrls);
            heapLine("with the files again");
            QGuiApplication::clipboard()->clear();
            QTest::qWait(100);
            heapLine("with the clipboard cleared");
            std::printf("  rss with the clipboard cleared: %.0f MiB\n", double(residentKiB().first) / 1024.0);
        }
        measure("Reset Tree Expansion after it", [&] { menus.handleMenuAction(ZelvaneMenuAction::resetTreeExpansion); }, always);
    }

    const QString exported = work.filePath(QStringLiteral("tree-out.csv"));
    if (wanted("export")) {
        measure("export the tree as CSV", [&] {
            ExportSourceSelection selection(ExportSource::treeView, false, CSVFileFormat::csv);
            completeCSVExport(window.exportContext(), selection, exported);
        }, [&] { return QFile::exists(exported); });
        const QString types = work.filePath(QStringLiteral("types-out.csv"));
        measure("export the file types", [&] { completeFileTypesExport(window.exportContext(), types); }, [&] { return QFile::exists(types); });
    }
    window.treeSelection().set(NodeSet{root});
    QTest::qWait(100);
    if (wanted("clipboard")) {
        QGuiApplication::clipboard()->clear();
        measure("copy size info of the root", [&] { menus.handleMenuAction(ZelvaneMenuAction::copyFileAndSizeInfo); },
                [] { return !QGuiApplication::clipboard()->text().isEmpty(); });
    }

    FileNode* firstCopy = root->children().empty() ? nullptr : root->children()[0];
    for (FileNode* c : root->children())
        if (c->isDir()) firstCopy = c;
    window.treeSelection().set(NodeSet{firstCopy});
    QTest::qWait(100);
    if (wanted("zoom")) {
        measure("zoom the treemap into a copy", [&] { menus.handleMenuAction(ZelvaneMenuAction::zoomTreemap); }, [&] {
            const TreemapCanvasModel& m = treemap->model();
            return m.hasPicture() && !m.isStale() && window.treemapZoom().root() == firstCopy;
        });
        measure("unzoom the treemap", [&] { menus.handleMenuAction(ZelvaneMenuAction::unzoomTreemap); },
                [&] { return pictureOf(scans.effectiveRoots()) && !window.treemapZoom().root(); });
    }

    if (wanted("filter")) {
        // The panel's fields hold the texts; the shown roots follow the filter while it is open.
        window.panes().setShowFilterPanel(true);
        QTest::qWait(300);
        prefs.set(PreferenceKeys::includeFilterText, QStringLiteral("*.txt|*.jpg"));
        measure("Apply Filter *.txt|*.jpg", [&] { scans.applyFilters(); }, [&] {
            return !sameRootObjects(scans.effectiveRoots(), roots) && pictureOf(scans.effectiveRoots()) && scans.colorRankReady();
        });
        prefs.set(PreferenceKeys::includeFilterText, QString());
        measure("Clear and apply", [&] { scans.applyFilters(); }, [&] {
            return sameRootObjects(scans.effectiveRoots(), roots) && pictureOf(scans.effectiveRoots()) && scans.colorRankReady();
        });
    }

    if (wanted("rescan")) {
        // The same tree again in place of the shown one, as a rescan brings it: the open rows and
        // the selection are captured as a scan's start captures them, then the file is imported
        // again and the window finds them in the new tree.
        window.panes().setShowFilterPanel(false);
        window.treemapZoom().setRoot(nullptr);
        window.treeSelection().set({});
        QTest::qWait(300);
        measure("Expand All before the rescan", [&] { menus.handleMenuAction(ZelvaneMenuAction::expandAll); }, always);
        outline.setFocus();
        measure("Select All before the rescan", [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); },
                [&] { return !window.treeSelection().nodes().isEmpty(); });
        const int scrolled = outline.verticalScrollBar()->value();
        roots.clear();  // the old tree goes once the new one is shown, as after a scan
        root = firstCopy = nullptr;
        // What a scan's start captures, on the GUI thread as there.
        QElapsedTimer capturing;
        capturing.start();
        scans.rescanRestore().capture(scans.effectiveRoots());
        const qint64 captureMs = capturing.elapsed();
        // The paths of many open rows or a large selection are made in the background; the
        // selection's are made here again to compare.
        while (scans.rescanRestore().isCapturing()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const qint64 madeMs = capturing.elapsed();
        TreeRestoreState captured = *scans.rescanRestore().pending();
        captured.selectedPaths = selectedPathsOf(selectedTreeNodes(window.treeSelection().nodes()));
        std::printf("  captured in %lld ms on the GUI thread, paths made by %lld ms: %lld open folders, %lld open groups, "
                    "%lld selected\n", (long long)captureMs, (long long)madeMs,
                    (long long)captured.expandedPaths.size(), (long long)captured.expandedGroupParentPaths.size(),
                    (long long)captured.selectedPaths.size());
        const std::vector<RootRef> before = scans.effectiveRoots();
        measure("rescan after Expand All and Select All",
                [&] { window.viewModel().startCSVImport(QString::fromStdString(csv), false); }, [&] {
                    return !scans.effectiveRoots().empty() && !sameRootObjects(scans.effectiveRoots(), before) && importDone() &&
                           !window.treeSelection().nodes().isEmpty();
                });
        printShownStall();
        // Captured again from the new tree: the same open rows and selection, paths being equal.
        scans.rescanRestore().capture(scans.effectiveRoots());
        while (scans.rescanRestore().isCapturing()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        TreeRestoreState again = *scans.rescanRestore().pending();
        again.selectedPaths = selectedPathsOf(selectedTreeNodes(window.treeSelection().nodes()));
        // Group rows are made anew for each tree and found again by their folders.
        std::printf("  restored: same open folders %s, same open groups %s, selection %lld of %lld, group rows %lld of %lld, "
                    "scrolled to %d (%d before)\n",
                    again.expandedPaths == captured.expandedPaths ? "yes" : "NO",
                    again.expandedGroupParentPaths == captured.expandedGroupParentPaths ? "yes" : "NO",
                    (long long)again.selectedPaths.size(), (long long)captured.selectedPaths.size(),
                    (long long)again.selectedGroupParentPaths.size(), (long long)captured.selectedGroupParentPaths.size(),
                    outline.verticalScrollBar()->value(), scrolled);
    }

    if (wanted("scanrescan")) {
        // TREE itself scanned and watched, then Scan again (Ctrl+R) after Expand All and Ctrl+A:
        // the capture, the monitor's stop, the new tree and the restore as a real rescan has them.
        window.panes().setShowFilterPanel(false);
        window.treemapZoom().setRoot(nullptr);
        window.treeSelection().set({});
        roots.clear();
        root = firstCopy = nullptr;
        prefs.set(PreferenceKeys::monitorFileSystemForChanges, true);
        const auto scanned = [&](const std::vector<RootRef>& before) {
            return window.viewModel().scanState().tag() == ScanState::Tag::completed && !scans.effectiveRoots().empty() &&
                   !sameRootObjects(scans.effectiveRoots(), before) && importDone() && !scans.rescanRestore().isFinding();
        };
        std::vector<RootRef> shownBefore = scans.effectiveRoots();
        measure("scan of the tree", [&] { scans.scanChosenFolder(QString::fromStdString(tree)); }, [&] { return scanned(shownBefore); });
        shownBefore.clear();
        const FileSystemMonitor* monitor = window.liveMonitor().monitor();
        std::printf("  watching: %s\n", monitor && monitor->waitUntilWatching(std::chrono::seconds(120)) ? "yes" : "NO");
        measure("Expand All after the scan", [&] { menus.handleMenuAction(ZelvaneMenuAction::expandAll); }, always);
        outline.setFocus();
        measure("Select All after the scan", [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); },
                [&] { return !window.treeSelection().nodes().isEmpty(); });
        const size_t selectedBefore = size_t(window.treeSelection().nodes().size());
        const QString summaryBefore = window.contentView()->statusBar()->summaryLabel()->text();
        shownBefore = scans.effectiveRoots();
        measure("Scan again after Expand All and Select All", [&] { menus.handleMenuAction(ZelvaneMenuAction::scan); },
                [&] { return scanned(shownBefore) && !window.treeSelection().nodes().isEmpty(); });
        printShownStall();
        shownBefore.clear();
        const size_t restored = size_t(window.treeSelection().nodes().size());
        std::printf("  selected before %zu, after %zu; status line the same: %s\n", selectedBefore, restored,
                    window.contentView()->statusBar()->summaryLabel()->text() == summaryBefore ? "yes" : "NO");
        // The outline shows a part of the restored selection, single rows in many folders.
        measure("Select All after the restore", [&] { QTest::keyClick(&outline, Qt::Key_A, Qt::ControlModifier); },
                always);  // the key is taken at once; the measure waits until the window is calm
        std::printf("  selected %zu\n", size_t(window.treeSelection().nodes().size()));
    }

    std::printf("peak rss %.0f MiB\n", double(residentKiB().second) / 1024.0);
    std::fflush(stdout);
    work.remove();
    quiet.prefsDir.remove();
    std::_Exit(0);  // the tree of millions is the system's to free
}
