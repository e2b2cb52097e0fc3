// A scan through a real main window:  zelvane-gui-scan [--no-monitor] [--shot DIR] TREE
//   ->  files=F dirs=D seconds=S max_stall_ms=M maxrss_mb=R
// The window is made offscreen, TREE is selected as a folder and the Scan button is pressed; the
// run ends when the result is shown: the window shows the new roots, their per-extension
// statistics have arrived, the Tree View's outline shows the root's rows and the treemap shows its
// first picture of them. max_stall_ms is the longest time the GUI thread did not turn its
// event loop, measured by a 5 ms heartbeat timer from the press to the end (the watches included).
//
// On stderr, one line per step as it is first reached (the scan's roots shown, their statistics,
// the outline's rows, the treemap's picture): seconds since the press, resident memory then, and
// the peak of resident memory since the step before (the kernel's high-water mark is reset at
// each step), so the step that adds the peak can be told apart; then the heap's bytes in use
// and mapped (glibc's count), which tell what the program holds from what the allocator keeps.
// With live monitoring on, the run goes on until the monitor watches the whole tree (a last step,
// "watching"), wherever the window sets its watches up: they are part of what the result costs.
// --no-monitor turns live monitoring off, so that its watches do not count in the memory.
// Then one line on what the picture's layout keeps, part by part.
// --shot DIR writes, once the result is shown, the treemap canvas as painted (canvas.png), its
// picture (picture.png) and what each point of the view hits (hits.txt), to compare two builds.

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ResidentMemory.hpp"
#include "TreemapLayoutParts.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/FileTypeStatistics.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

using zelvane::bench::residentKiB;
using zelvane::bench::resetPeak;

namespace {

// The canvas as it is painted, the picture it shows, and what every point of the view hits (the
// node's path and box, one line a point where the hit changes along a row), so that two builds
// can be compared on the same tree.
bool writeShot(zelvane::TreemapCanvas& canvas, const std::string& dir) {
    using namespace zelvane;
    const QString base = QString::fromStdString(dir) + QLatin1Char('/');
    if (!canvas.grab().save(base + QStringLiteral("canvas.png"))) return false;
    const TreemapCanvasModel& model = canvas.model();
    if (!model.image().save(base + QStringLiteral("picture.png"))) return false;
    std::FILE* hits = std::fopen((dir + "/hits.txt").c_str(), "w");
    if (!hits) return false;
    const QSizeF size = model.viewSize();
    std::fprintf(hits, "view %g x %g\n", size.width(), size.height());
    for (int y = 0; y < int(size.height()); ++y) {
        const FileNode* last = nullptr;
        for (int x = 0; x < int(size.width()); ++x) {
            const auto hit = model.nodeAt(QPointF(x + 0.5, y + 0.5));
            const FileNode* node = hit ? hit->node : nullptr;
            if (x > 0 && node == last) continue;
            last = node;
            if (!hit) {
                std::fprintf(hits, "%d %d -\n", x, y);
                continue;
            }
            std::fprintf(hits, "%d %d %s %g %g %g %g\n", x, y, node->fullPath().c_str(), hit->rect.x, hit->rect.y,
                         hit->rect.width, hit->rect.height);
        }
    }
    return std::fclose(hits) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace zelvane;
    bool noMonitor = false;
    std::string shotDir;
    int arg = 1;
    for (; arg + 1 < argc; ++arg) {
        if (std::string_view(argv[arg]) == "--no-monitor") noMonitor = true;
        else if (std::string_view(argv[arg]) == "--shot" && arg + 2 < argc) shotDir = argv[++arg];
        else break;
    }
    if (arg != argc - 1) {
        std::fputs("usage: zelvane-gui-scan [--no-monitor] [--shot DIR] TREE\n", stderr);
        return 2;
    }
    raiseFileDescriptorLimit();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath(QStringLiteral("prefs.plist")));
    if (noMonitor) prefs.set(PreferenceKeys::monitorFileSystemForChanges, false);
    MainWindow window(prefs, {});
    WindowStartupHooks hooks;  // no volumes, no prompts: only what the bench asks for
    hooks.hasFullDiskAccess = [] { return true; };
    window.setStartupHooks(hooks);
    window.show();
    ScanController& scans = window.scanControl();

    const QString tree = QString::fromLocal8Bit(argv[argc - 1]);
    QElapsedTimer clock;
    QElapsedTimer sinceBeat;
    qint64 maxStall = 0;
    bool started = false;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        if (started) maxStall = std::max(maxStall, sinceBeat.elapsed());
        sinceBeat.restart();
    });

    TreemapCanvas* treemap = window.findChild<TreemapCanvas*>();
    if (!treemap) {
        std::fputs("zelvane-gui-scan: the window has no treemap\n", stderr);
        return 1;
    }
    const auto pictureShown = [&] {
        const TreemapCanvasModel& m = treemap->model();
        return m.hasPicture() && !m.isStale() && !m.inputs().roots.empty() &&
               m.inputs().roots == scans.effectiveRoots();
    };
    const auto shown = [&] {
        const auto tag = window.viewModel().scanState().tag();
        return started && (tag == ScanState::Tag::completed || tag == ScanState::Tag::cancelled) &&
               !scans.effectiveRoots().empty() && scans.colorRankReady() &&
               window.contentView()->treeViewTab()->showsOutline() &&
               window.contentView()->treeViewTab()->outline()->model().rowCount() > 0 && pictureShown();
    };
    double seconds = 0;
    long peakKiB = 0;
    const char* steps[] = {"roots", "statistics", "outline", "picture", "watching"};
    bool reached[5] = {};
    const auto step = [&](int i, bool now) {
        if (!started || reached[i] || !now) return;
        reached[i] = true;
        const auto [rss, hwm] = residentKiB();
        peakKiB = std::max(peakKiB, hwm);
        const struct mallinfo2 heap = mallinfo2();
        std::fprintf(stderr,
                     "step=%s seconds=%.3f rss_mb=%.1f peak_since_last_mb=%.1f heap_used_mb=%.1f heap_mapped_mb=%.1f\n",
                     steps[i], double(clock.nsecsElapsed()) / 1e9, double(rss) / 1024.0, double(hwm) / 1024.0,
                     double(heap.uordblks + heap.hblkhd) / 1048576.0, double(heap.arena + heap.hblkhd) / 1048576.0);
        resetPeak();
    };
    const auto reachSteps = [&] {
        step(0, !scans.effectiveRoots().empty() && window.viewModel().scanState().tag() == ScanState::Tag::completed);
        step(1, reached[0] && scans.colorRankReady());
        step(2, reached[0] && window.contentView()->treeViewTab()->showsOutline() &&
                    window.contentView()->treeViewTab()->outline()->model().rowCount() > 0);
        step(3, reached[0] && pictureShown());
    };
    const auto watching = [&] {
        const FileSystemMonitor* monitor = window.liveMonitor().monitor();
        return noMonitor || (monitor && monitor->waitUntilWatching(std::chrono::milliseconds(0)));
    };
    // The press comes once the window is up and painted: its first paint (fonts, styles) is the
    // window's appearance, not part of the scan.
    QTimer::singleShot(300, [&] {
        // The way a person does it: the folder is chosen, then the Scan button pressed.
        window.contentView()->topBar()->setFolderChooser([&](QWidget*) { return tree; });
        peakKiB = residentKiB().second;
        resetPeak();
        heartbeat.start();
        sinceBeat.start();
        started = true;
        clock.start();
        window.contentView()->topBar()->selectFolder();
    });
    auto check = [&] {
        reachSteps();
        if (!shown()) return;
        if (seconds == 0) seconds = double(clock.nsecsElapsed()) / 1e9;
        if (!watching()) return;
        if (!noMonitor) {
            step(4, true);
            // Other programs of the same user may hold most of the system's watches.
            std::fprintf(stderr, "watches=%zu\n", window.liveMonitor().monitor()->watchCount());
        }
        app.exit(0);  // not quit(): that would close the window, which deletes itself on close
    };
    QObject::connect(&window.fileTypes(), &FileTypeStatistics::extensionColorRankRootsChanged, check);
    // The outline takes the roots on the event loop's next turn after they changed.
    QObject::connect(&heartbeat, &QTimer::timeout, check);
    QObject::connect(&treemap->model(), &TreemapCanvasModel::repaintNeeded, check);
    QObject::connect(&window.viewModel(), &ScanViewModel::scanStateChanged, [&](const ScanState& s) {
        if (s.tag() == ScanState::Tag::failed) {
            std::fputs("zelvane-gui-scan: the scan failed\n", stderr);
            app.exit(1);
        }
        check();
    });
    if (app.exec() != 0) return 1;

    int64_t files = 0, dirs = 0;
    for (const RootRef& root : scans.effectiveRoots()) {
        files += root->subFolderFileCount();
        dirs += root->subFolderDirCount();
    }
    peakKiB = std::max(peakKiB, residentKiB().second);
    bench::printTreemapLayoutParts(stderr, "picture: ", treemap->model().layout(),
                                   treemap->model().inputs().roots.size());
    if (!shotDir.empty() && !writeShot(*treemap, shotDir)) {
        std::fputs("zelvane-gui-scan: the picture could not be written\n", stderr);
        return 1;
    }
    std::printf("files=%lld dirs=%lld seconds=%.3f max_stall_ms=%lld maxrss_mb=%.1f\n", (long long)files,
                (long long)dirs, seconds, (long long)maxStall, double(peakKiB) / 1024.0);
    return 0;
}
