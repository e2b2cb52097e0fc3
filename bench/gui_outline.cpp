// The tree outline on a scanned tree, offscreen, with the real model and view.
//
//   gui_outline TREE    (TREE holds big/ with 100,000 files and wide/ with 20,000 folders of 4 files)
//
// Prints, in milliseconds: the time to show the root's rows (model, view and a painted frame), to
// sort the 100,000-row folder by each key (sort, relayout and a painted frame), to expand everything
// below wide/, and to apply a live-monitor batch of 1,000 deletions; then the model's bytes per row
// it has made.
#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "TreeBuilder.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/OutlineSorting.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"

using namespace zelvane;

namespace {

using testsupport::childNamed;

double paintedMs(QWidget& w, QElapsedTimer& t) {
    QCoreApplication::processEvents();
    w.repaint();
    return double(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_outline TREE\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ParallelScanOptions options;
    options.workerCount = int(std::max(1u, std::thread::hardware_concurrency()));
    QElapsedTimer scanTimer;
    scanTimer.start();
    std::vector<RootRef> roots = parallelScanToTree({argv[1]}, options);
    if (roots.empty()) return 1;
    assignSortNameIndices(std::span<const RootRef>(roots));
    FileNode* root = roots[0].get();
    FileNode* big = childNamed(root, "big");
    FileNode* wide = childNamed(root, "wide");
    if (!big || !wide) {
        std::fprintf(stderr, "gui_outline: TREE needs big/ and wide/\n");
        return 1;
    }
    std::printf("tree: %d files, %d folders, scanned in %.0f ms\n", root->subFolderFileCount(),
                root->subFolderDirCount(), double(scanTimer.elapsed()));

    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    FileTreeOutlineInputs in;
    in.roots = {root};

    QElapsedTimer t;
    t.start();
    FileTreeOutlineView view(FileTreeOutlineInputs{}, {}, prefs);
    view.resize(1200, 800);
    view.show();
    view.update(in, {}, {});
    std::printf("open: root rows shown %.1f ms\n", paintedMs(view, t));

    FileTreeOutlineModel& model = view.model();
    ContextMenuOutlineView& outline = view.outline();
    // big/ holds only files: they are one group row, whose 100,000 rows are the ones sorted.
    outline.expand(model.indexForNode(big));
    FileNode* bigGroup = model.syntheticGroupOf(big);
    outline.expand(model.indexForNode(bigGroup));
    outline.scrollTo(model.indexForNode(bigGroup), QAbstractItemView::PositionAtTop);
    QCoreApplication::processEvents();
    const int bigRows = model.rowCount(model.indexForNode(bigGroup));
    std::printf("rows under big/: %d\n", bigRows);
    {
        // The ordering step alone, on a copy of the rows: what the sort by name costs before the
        // view relays out and paints.
        // Processor time as well as wall time: on a busy machine the thread waits for a core.
        auto cpuMs = [] {
            timespec ts{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
            return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
        };
        std::vector<FileNode*> rows(big->children().begin(), big->children().end());
        for (bool ascending : {true, false}) {
            double best = 1e9, bestCpu = 1e9;
            for (int run = 0; run < 5; ++run) {
                sortOutlineRows(rows, OutlineSortKey::size, !ascending);
                QElapsedTimer s;
                const double c0 = cpuMs();
                s.start();
                sortOutlineRows(rows, OutlineSortKey::name, ascending);
                best = std::min(best, double(s.nsecsElapsed()) / 1e6);
                bestCpu = std::min(bestCpu, cpuMs() - c0);
            }
            std::printf("ordering %zu rows by name %s alone: %.1f ms, %.1f ms of processor time (best of 5)\n",
                        rows.size(), ascending ? "ascending" : "descending", best, bestCpu);
        }
    }
    for (const OutlineSortKey key : {OutlineSortKey::name, OutlineSortKey::size, OutlineSortKey::allocated, OutlineSortKey::items,
                                     OutlineSortKey::files, OutlineSortKey::folders, OutlineSortKey::modified,
                                     OutlineSortKey::attributes}) {
        for (bool ascending : {true, false}) {
            double best = 1e9;
            for (int run = 0; run < 3; ++run) {
                view.sortBy(ascending ? OutlineSortKey::folders : OutlineSortKey::name, !ascending);  // start each run from another order
                QCoreApplication::processEvents();
                t.restart();
                view.sortBy(key, ascending);
                best = std::min(best, paintedMs(view, t));
            }
            std::printf("sort the %d rows by %s %s: %.1f ms (best of 3)\n", bigRows, std::string(outlineSortIdentifier(key)).c_str(),
                        ascending ? "ascending" : "descending", best);
        }
    }
    std::printf("model memory after the sorts: %.1f bytes a row (%zu rows made)\n",
                double(model.cacheBytes()) / double(model.cachedRowCount()), model.cachedRowCount());

    t.restart();
    outline.expandRecursively(model.indexForNode(wide));
    std::printf("expand all below wide/ (20,000 folders, 80,000 files): %.1f ms\n", paintedMs(view, t));

    std::printf("model memory after expanding wide/: %.1f bytes a row (%zu rows made)\n",
                double(model.cacheBytes()) / double(model.cachedRowCount()), model.cachedRowCount());

    // Live batches: 1,000 files of big/ at a time (shown rows), with their folders.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    auto files = big->children();
    for (int batch = 0; batch < 3; ++batch) {
        std::vector<FileNode*> dirty;
        for (size_t k = size_t(batch) * 1000; k < size_t(batch + 1) * 1000 && k < files.size(); ++k) {
            files[k]->flagDeletedRecursively();
            files[k]->subtractContributionFromAncestors();
            dirty.push_back(files[k]);
        }
        dirty.push_back(bigGroup);
        dirty.push_back(big);
        dirty.push_back(root);
        in.monitorRevision = batch + 1;
        in.monitorDirtyNodes = dirty;
        t.restart();
        view.update(in, {}, {});
        std::printf("live batch of 1,000 deletions: %.1f ms, model resets so far: %d\n", paintedMs(view, t),
                    int(resets.count()));
    }

    // A realistic shape: every folder of main/ opened (the tree of make-tree.py).
    if (FileNode* mainTree = childNamed(root, "main")) {
        t.restart();
        outline.expandRecursively(model.indexForNode(mainTree));
        const double ms = paintedMs(view, t);
        std::printf("expand all below main/ (%d files, %d folders): %.0f ms\n", mainTree->subFolderFileCount(),
                    mainTree->subFolderDirCount(), ms);
        std::printf("model memory with everything open: %.1f bytes a row (%zu rows made)\n",
                    double(model.cacheBytes()) / double(model.cachedRowCount()), model.cachedRowCount());

        // Reset Tree Expansion with all of that open: the view lets go of one persistent index
        // per open row.
        OutlineCommands reset;
        reset.collapseAll = true;
        t.restart();
        view.update(in, {}, {}, reset);
        std::printf("reset tree expansion with everything open: %.0f ms\n", paintedMs(view, t));
    }
    return 0;
}
