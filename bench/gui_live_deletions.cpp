// Many files deleted behind the back of a window that watches them: how long the GUI thread stops
// answering while the live monitor takes the removals in.
//
//   gui_live_deletions TREE COUNT [--away FOLDER] [--no-expand] [--report [--no-monitor]]
//
// TREE is scanned in a real main window (offscreen, 1400 x 900, live monitoring on) and, unless
// --no-expand, every folder is opened with Expand All. Then COUNT files of the tree (spread over
// it: every k-th file in the scan's order) are unlinked by another thread as fast as it can, or
// moved into FOLDER (outside the tree, on the same file system) with --away, as a file manager
// moves them to the trash; they are moved back at the end. With --report, the files are then handed
// to the live monitor in one list, as the window's own Move to Trash and Delete Immediately report
// what they removed; --no-monitor leaves monitoring off, so that the report alone shows them
// deleted. DELETES OR MOVES FILES OF TREE.
//
// Prints the time from the first removal until every one of them is shown deleted and the
// window is idle again, the longest gap between two ticks of a 1 ms timer on the GUI thread
// meanwhile (its longest stall), the longest processor time the GUI thread used between two ticks
// (its own work, which the machine's load does not lengthen), how many gaps were 100 ms or more,
// and whether the root's totals are those of the files left.
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "QuietWindow.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"
#include "ZelvaneMac/Widgets/MainWindow/Menus/MenuBar.hpp"
#include "ZelvaneMac/Window/ScanController.hpp"

using namespace zelvane;

namespace {

// Runs the event loop until `done` holds or `ms` pass.
bool pumpUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: gui_live_deletions TREE COUNT [--away FOLDER] [--no-expand] [--report [--no-monitor]]\n", stderr);
        return 2;
    }
    const std::string tree = argv[1];
    const size_t count = size_t(std::atol(argv[2]));
    std::string away;
    bool expand = true;
    bool report = false;
    bool monitoring = true;
    for (int i = 3; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--away" && i + 1 < argc)
            away = argv[++i];
        else if (std::string_view(argv[i]) == "--no-expand")
            expand = false;
        else if (std::string_view(argv[i]) == "--report")
            report = true;
        else if (std::string_view(argv[i]) == "--no-monitor")
            monitoring = false;
    }
    if (!monitoring && !report) {
        std::fputs("gui_live_deletions: --no-monitor needs --report\n", stderr);
        return 2;
    }
    raiseFileDescriptorLimit();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    bench::QuietWindow quiet;
    quiet.prefs.set(PreferenceKeys::monitorFileSystemForChanges, monitoring);
    MainWindow& window = quiet.window;
    ScanController& scans = window.scanControl();

    QElapsedTimer t;
    t.start();
    scans.scanChosenFolder(QString::fromStdString(tree));
    if (!pumpUntil([&] { return !scans.effectiveRoots().empty() && scans.colorRankReady(); }, 600000)) return 1;
    const FileSystemMonitor* monitor = window.liveMonitor().monitor();
    if (monitoring && (!monitor || !monitor->waitUntilWatching(std::chrono::minutes(10)))) {
        std::fputs("gui_live_deletions: the tree is not watched\n", stderr);
        return 1;
    }
    FileNode* root = scans.effectiveRoots().at(0).get();
    std::printf("tree: %d files, %d folders, scanned and watched in %.1f s\n", root->subFolderFileCount(),
                root->subFolderDirCount(), double(t.elapsed()) / 1e3);
    if (expand) {
        t.restart();
        window.menus().handleMenuAction(ZelvaneMenuAction::expandAll);
        pumpUntil([] { return false; }, 2000);
        std::printf("Expand All, then 2 s: %.1f s\n", double(t.elapsed()) / 1e3);
    }

    std::vector<FileNode*> files;
    for (FileNode* n : root->flatFileList())
        if (!n->isDir() && !n->isDeleted()) files.push_back(n);
    if (files.size() < count || count == 0) {
        std::fprintf(stderr, "gui_live_deletions: the tree has %zu files\n", files.size());
        return 1;
    }
    std::vector<FileNode*> victims;
    std::vector<std::string> paths;
    const double step = double(files.size()) / double(count);
    for (size_t i = 0; i < count; ++i) {
        victims.push_back(files[size_t(double(i) * step)]);
        paths.push_back(victims.back()->pathBytes());
    }
    int64_t sizeLeft = root->subFolderTotSize();
    for (FileNode* v : victims) sizeLeft -= v->fileSize;

    bench::StallMeter meter;
    meter.start();
    std::atomic<bool> removing{true};
    QElapsedTimer clock;
    clock.start();
    std::thread remover([&] {
        pthread_setname_np(pthread_self(), "remover");  // told apart from the GUI thread in a profile
        for (size_t i = 0; i < paths.size(); ++i) {
            if (away.empty()) {
                ::unlink(paths[i].c_str());
            } else {
                const std::string to = away + "/" + std::to_string(i);
                ::rename(paths[i].c_str(), to.c_str());
            }
        }
        removing = false;
    });
    if (report) {
        pumpUntil([&] { return !removing; }, 600000);
        window.liveMonitor().markDeletedLocally(victims);
    }
    size_t shown = 0;
    const bool allShown = pumpUntil([&] {
        while (shown < victims.size() && victims[shown]->isDeleted()) ++shown;
        return !removing && shown == victims.size() && !window.liveMonitor().hasPendingRefresh();
    }, 600000);
    const double removedMs = double(clock.elapsed());
    remover.join();
    pumpUntil([] { return false; }, 1000);  // the views' last refresh
    const double stallMs = meter.stop();
    std::printf("%s %zu files: %s after %.0f ms; longest GUI-thread stall %.1f ms, its longest own work between "
                "two ticks %.1f ms, %d stalls of 100 ms or more; root size %s the files left\n",
                away.empty() ? (report ? "unlinked and reported" : "unlinked") : (report ? "moved away and reported" : "moved away"), count, allShown ? "all shown deleted" : "NOT ALL SHOWN DELETED",
                removedMs, stallMs, meter.worstOwnMs, meter.longGaps,
                root->subFolderTotSize() == sizeLeft ? "matches" : "DOES NOT MATCH");
    if (!away.empty())
        for (size_t i = 0; i < paths.size(); ++i) ::rename((away + "/" + std::to_string(i)).c_str(), paths[i].c_str());
    return allShown && root->subFolderTotSize() == sizeLeft ? 0 : 1;
}
