// The file list's pipeline on a scanned tree, offscreen, with the real model and view.
//
//   gui_filelist TREE
//
// Prints, for the default view (all files, largest 1,000 by allocated size), a wildcard search, a
// regular-expression search and duplicates by name and size: the wall time from the change to the
// rows on screen (after the debounce for searches), each stage's own timing entry, and the longest
// gap between two ticks of a 1 ms timer on the GUI thread meanwhile (its longest stall).
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "QuietWindow.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "ZelvaneMac/Core/Diagnostics/DebugTimingLog.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Models/FileListPipeline.hpp"
#include "ZelvaneMac/Widgets/FileList/FileListView.hpp"

using namespace zelvane;

namespace {

using bench::StallMeter;

void printEntries(qsizetype from) {
    const auto& e = DebugTimingLog::shared().entries();
    for (qsizetype i = from; i < e.size(); ++i)
        if (e[i].endedAt)
            std::printf("    %-20s %6lld ms  %s\n", qPrintable(e[i].label),
                        (long long)e[i].startedAt.msecsTo(*e[i].endedAt), qPrintable(e[i].detail.value_or(QString())));
}

void run(const char* title, FileListView& view, const FileListInputs& in, bool debounced, StallMeter& meter) {
    FileListPipeline& p = view.pipeline();
    const qsizetype from = DebugTimingLog::shared().entries().size();
    bool published = false;
    auto c = QObject::connect(&p, &FileListPipeline::rowsPublished, [&] { published = true; });
    QElapsedTimer t;
    meter.start();
    t.start();
    p.update(in);
    while (!published || p.isLocatingDuplicates()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    view.repaint();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const double stall = meter.stop();
    QObject::disconnect(c);
    std::printf("%s: %d rows on screen after %.0f ms%s; longest GUI stall %.1f ms\n", title, p.results().count, ms,
                debounced ? " (250 ms debounce included)" : "", stall);
    QCoreApplication::processEvents();
    printEntries(from);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_filelist TREE\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ParallelScanOptions options;
    options.workerCount = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<RootRef> roots = parallelScanToTree({argv[1]}, options);
    if (roots.empty()) return 1;
    assignSortNameIndices(std::span<const RootRef>(roots));
    std::printf("tree: %d files, %d folders\n", roots[0]->subFolderFileCount(), roots[0]->subFolderDirCount());

    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath("prefs.plist"));
    FileListView view(prefs, std::nullopt);
    view.resize(1200, 800);
    view.show();
    QCoreApplication::processEvents();
    StallMeter meter;

    FileListInputs in;
    in.roots = roots;
    in.isActive = true;
    in.maxFiles = 1000;
    run("default view (all files, largest 1,000)", view, in, false, meter);
    in.filterText = QStringLiteral("*a*.md");
    run("wildcard search *a*.md", view, in, true, meter);
    in.filterText = QStringLiteral("\\[0-9]{2}[a-z]+\\.json");
    run("regular-expression search", view, in, true, meter);
    in.filterText.clear();
    in.dupMethod = DuplicateMethod::nameSize;
    run("duplicates by name and size", view, in, false, meter);
    in.dupsOnly = true;
    run("duplicates only", view, in, false, meter);
    return 0;
}
