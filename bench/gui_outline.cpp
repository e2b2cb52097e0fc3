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
#include <string>
#include <thread>
#include <vector>

#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/Outline/ContextMenuOutlineView.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"

using namespace zelvane;

namespace {

FileNode* child(FileNode* folder, const char* name) {
    for (FileNode* k : folder->children())
        if (k->name() == name) return k;
    return nullptr;
}

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
    FileNode* big = child(root, "big");
    FileNode* wide = child(root, "wide");
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
    outline.expand(model.indexForNode(big));
    outline.scrollTo(model.indexForNode(big), QAbstractItemView::PositionAtTop);
    QCoreApplication::processEvents();
    for (const char* key : {"name", "size", "allocated", "items", "files", "folders", "modified", "attributes"}) {
        for (bool ascending : {true, false}) {
            t.restart();
            view.sortBy(key, ascending);
            std::printf("sort 100,000 rows by %s %s: %.1f ms\n", key, ascending ? "ascending" : "descending",
                        paintedMs(view, t));
        }
    }

    t.restart();
    outline.expandRecursively(model.indexForNode(wide));
    std::printf("expand all below wide/ (20,000 folders, 80,000 files): %.1f ms\n", paintedMs(view, t));

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    std::vector<FileNode*> dirty;
    int marked = 0;
    for (FileNode* f : big->children()) {
        if (marked == 1000) break;
        f->flagDeletedRecursively();
        f->subtractContributionFromAncestors();
        dirty.push_back(f);
        ++marked;
    }
    dirty.push_back(big);
    dirty.push_back(root);
    in.monitorRevision = 1;
    in.monitorDirtyNodes = dirty;
    t.restart();
    view.update(in, {}, {});
    std::printf("live batch of 1,000 deletions: %.1f ms, model resets: %d\n", paintedMs(view, t), int(resets.count()));
    std::printf("model memory: %zu bytes for %zu rows made = %.1f bytes a row\n", model.cacheBytes(),
                model.cachedRowCount(), double(model.cacheBytes()) / double(std::max<size_t>(1, model.cachedRowCount())));
    return 0;
}
