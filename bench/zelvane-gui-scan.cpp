// A scan through a real main window:  zelvane-gui-scan TREE
//   ->  files=F dirs=D seconds=S max_stall_ms=M maxrss_mb=R
// The window is made offscreen, TREE is selected as a folder and the Scan button is pressed; the
// run ends when the result is shown: the window shows the new roots, their per-extension
// statistics have arrived, the Tree View's outline shows the root's rows and the treemap shows its
// first picture of them. max_stall_ms is the longest time the GUI thread did not turn its
// event loop, measured by a 5 ms heartbeat timer from the press to the end.

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "ScanEngine/Scan/FdBudget.hpp"
#include "ZelvaneMac/Core/Scanning/ScanViewModel.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Widgets/MainWindow/ContentView.hpp"
#include "ZelvaneMac/Widgets/MainWindow/MainWindow.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TreeViewTab.hpp"
#include "ZelvaneMac/Widgets/Outline/FileTreeOutlineView.hpp"
#include "ZelvaneMac/Widgets/Treemap/TreemapCanvas.hpp"
#include "ZelvaneMac/Window/ContentViewState.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"
#include "ZelvaneMac/Window/WindowStartup.hpp"

int main(int argc, char** argv) {
    using namespace zelvane;
    if (argc != 2) {
        std::fputs("usage: zelvane-gui-scan TREE\n", stderr);
        return 2;
    }
    raiseFileDescriptorLimit();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir prefsDir;
    Preferences prefs(prefsDir.filePath(QStringLiteral("prefs.plist")));
    MainWindow window(prefs, {});
    WindowStartupHooks hooks;  // no volumes, no prompts: only what the bench asks for
    hooks.hasFullDiskAccess = [] { return true; };
    window.setStartupHooks(hooks);
    window.show();
    ContentViewState& state = window.state();
    ScanController& scans = state.scanControl();

    const QString tree = QString::fromLocal8Bit(argv[1]);
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
        const auto tag = state.viewModel().scanState().tag();
        return started && (tag == ScanState::Tag::completed || tag == ScanState::Tag::cancelled) &&
               !scans.effectiveRoots().empty() && scans.colorRankReady() &&
               window.contentView()->treeViewTab()->showsOutline() &&
               window.contentView()->treeViewTab()->outline()->model().rowCount() > 0 && pictureShown();
    };
    double seconds = 0;
    // The press comes once the window is up and painted: its first paint (fonts, styles) is the
    // window's appearance, not part of the scan.
    QTimer::singleShot(300, [&] {
        // The way a person does it: the folder is chosen, then the Scan button pressed.
        window.contentView()->topBar()->setFolderChooser([&](QWidget*) { return tree; });
        heartbeat.start();
        sinceBeat.start();
        started = true;
        clock.start();
        window.contentView()->topBar()->selectFolder();
    });
    auto check = [&] {
        if (!shown()) return;
        seconds = double(clock.nsecsElapsed()) / 1e9;
        app.exit(0);  // not quit(): that would close the window, which deletes itself on close
    };
    QObject::connect(&state, &ContentViewState::extensionColorRankRootsChanged, check);
    // The outline takes the roots on the event loop's next turn after they changed.
    QObject::connect(&heartbeat, &QTimer::timeout, check);
    QObject::connect(&treemap->model(), &TreemapCanvasModel::repaintNeeded, check);
    QObject::connect(&state.viewModel(), &ScanViewModel::scanStateChanged, [&](const ScanState& s) {
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
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("files=%lld dirs=%lld seconds=%.3f max_stall_ms=%lld maxrss_mb=%.1f\n", (long long)files,
                (long long)dirs, seconds, (long long)maxStall, double(usage.ru_maxrss) / 1024.0);
    return 0;
}
