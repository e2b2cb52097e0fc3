// Live monitoring costs: how long the monitor needs to watch a tree (reading every folder
// again, and from the tree just scanned) and what the watches cost in memory, how fast a burst
// of removals comes through, and how fast the controller applies removals to a tree.
//
//   monitor_watch <tree> [burst files]
//   monitor_watch --set-up-from-scan <tree>   (only the set-up from the tree, for a profile)
//   monitor_watch --deleting <tree> <files per second> <seconds>   (deletions during the set-up;
//                                                                   deletes files of the tree)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "Platform/Processors.hpp"
#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "TreeBuilder.hpp"
#include "ZelvaneMac/Core/Scanning/LiveMonitorController.hpp"

using namespace zelvane;
using Clock = std::chrono::steady_clock;

namespace {

long rssKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Set-up alone: from start() until every folder is watched.
void benchSetUp(const std::string& tree, std::vector<RootRef> scanned, const char* label) {
    const bool fromTree = !scanned.empty();
    FileSystemMonitor monitor({tree}, [](std::vector<FileChangeEvent>) {}, std::move(scanned));
    const double cpu0 = cpuSeconds();
    auto t0 = Clock::now();
    monitor.start();
    monitor.waitUntilWatching(std::chrono::minutes(30));
    auto t1 = Clock::now();
    std::printf("set-up %s: %zu folders watched in %.0f ms, %.0f ms of processor time%s\n", label,
                monitor.watchCount(), ms(t1 - t0), (cpuSeconds() - cpu0) * 1000.0,
                fromTree ? " (the tree's folders, no second read)" : " (every folder read again)");
    monitor.stop();
}

void benchMonitor(const std::string& tree, int burst) {
    const std::string scratch = tree + "/.monitor-bench";
    ::mkdir(scratch.c_str(), 0755);
    for (int i = 0; i < burst; ++i) {
        std::string p = scratch + "/f";
        p += std::to_string(i);
        ::close(::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }

    std::mutex m;
    std::condition_variable cv;
    int removed = 0;
    FileSystemMonitor monitor({tree}, [&](std::vector<FileChangeEvent> batch) {
        int n = 0;
        for (const auto& e : batch) n += e.isRemoved();
        std::lock_guard lock(m);
        removed += n;
        cv.notify_all();
    });
    const long rss0 = rssKiB();
    auto t0 = Clock::now();
    monitor.start();
    auto t1 = Clock::now();
    monitor.waitUntilWatching(std::chrono::minutes(30));
    auto t2 = Clock::now();
    const long rss1 = rssKiB();
    const size_t watches = monitor.watchCount();
    std::printf("watch tree: start() returned in %.3f ms; %zu folders watched in %.0f ms (%.0f folders/s); "
                "RSS +%ld KiB (%.0f bytes per folder)\n",
                ms(t1 - t0), watches, ms(t2 - t0), watches / (ms(t2 - t0) / 1000.0), rss1 - rss0,
                watches ? (rss1 - rss0) * 1024.0 / double(watches) : 0.0);

    auto t3 = Clock::now();
    for (int i = 0; i < burst; ++i) {
        std::string p = scratch + "/f";
        p += std::to_string(i);
        ::unlink(p.c_str());
    }
    auto t4 = Clock::now();
    {
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::minutes(5), [&] { return removed >= burst; });
    }
    auto t5 = Clock::now();
    std::printf("removal burst: %d files unlinked in %.0f ms; all %d removals delivered %.0f ms after the first "
                "unlink (latency 200 ms included)\n",
                burst, ms(t4 - t3), removed, ms(t5 - t3));
    monitor.stop();
    ::rmdir(scratch.c_str());
}

// One folder of `files` files below a root that does not exist on disk, so every removal is
// applied; events come in batches of 1,000 as the monitor would deliver them.
void benchController(int files) {
    testsupport::TreeBuilder tree;
    const std::string base = "/nonexistent-monitor-bench";
    FileNode* root = tree.root(base);
    FileNode* folder = tree.folder(root, "big");
    std::vector<FileNode*> kids;
    for (int i = 0; i < files; ++i) {
        std::string name = "file-";
        name += std::to_string(i);
        kids.push_back(tree.loose(name, false, 100, 4096));
    }
    tree.setChildren(folder, kids);
    const RootRef handle = tree.finish(root);

    LiveMonitorController controller;
    size_t delivered = 0;
    QObject::connect(&controller, &LiveMonitorController::nodesChanged,
                     [&](const std::vector<FileNode*>& nodes) { delivered += nodes.size(); });
    controller.start({handle});
    std::vector<std::vector<FileChangeEvent>> batches;
    for (int i = 0; i < files; i += 1000) {
        std::vector<FileChangeEvent> batch;
        for (int j = i; j < std::min(files, i + 1000); ++j) {
            std::string p = base + "/big/file-";
            p += std::to_string(j);
            batch.push_back(FileChangeEvent{std::move(p), EventStreamFlag::kItemRemoved | EventStreamFlag::kItemIsFile});
        }
        batches.push_back(std::move(batch));
    }
    auto t0 = Clock::now();
    for (const auto& b : batches) controller.handle(b);
    auto t1 = Clock::now();
    controller.markDeletedLocally({});  // flush
    auto t2 = Clock::now();
    std::printf("controller: %d removals in one folder applied in %.1f ms (%.2f us each); flush of %zu nodes %.1f ms\n",
                files, ms(t1 - t0), ms(t1 - t0) * 1000.0 / files, delivered, ms(t2 - t1));
    controller.stop();
}

// Files deleted from the moment the window would start watching, while the watches are being
// added: how many of them the controller never marks deleted. Deletes from a scattered list of
// the tree's files at `perSecond`, for `seconds`, then lets the monitor settle.
void benchDeletingDuringSetUp(const std::string& tree, int perSecond, int seconds) {
    ParallelScanOptions options;
    options.workerCount = activeProcessorCount();
    std::vector<RootRef> scanned = parallelScanToTree({tree}, options);
    if (scanned.empty()) return;
    std::vector<FileNode*> files;
    for (FileNode* n : scanned[0]->flatFileList())
        if (!n->isDir()) files.push_back(n);
    // Every 7919th file in turn, so that the deletions reach many folders.
    std::vector<std::pair<FileNode*, std::string>> victims;
    const size_t wanted = std::min(files.size(), size_t(perSecond) * size_t(seconds));
    for (size_t i = 0, at = 0; i < wanted; ++i, at = (at + 7919) % files.size()) victims.emplace_back(files[at], files[at]->pathBytes());

    std::atomic<size_t> done{0};
    const auto t0 = Clock::now();
    std::thread deleter([&] {
        for (size_t i = 0; i < victims.size(); ++i) {
            std::this_thread::sleep_until(t0 + std::chrono::microseconds(int64_t(i) * 1'000'000 / perSecond));
            ::unlink(victims[i].second.c_str());
            done.store(i + 1, std::memory_order_release);
        }
    });
    LiveMonitorController controller;
    controller.start(scanned);
    double setUpMs = -1;
    while (Clock::now() < t0 + std::chrono::seconds(seconds + 2)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (setUpMs < 0 && controller.monitor()->waitUntilWatching(std::chrono::milliseconds(0))) setUpMs = ms(Clock::now() - t0);
    }
    deleter.join();
    size_t missed = 0;
    for (const auto& [node, path] : victims) missed += !node->isDeleted();
    std::printf("deleting %d files/s from the start of monitoring: %zu watches in %.0f ms; %zu files deleted, "
                "%zu never shown deleted\n",
                perSecond, controller.monitor()->watchCount(), setUpMs, victims.size(), missed);
    controller.stop();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: monitor_watch <tree> [burst files]\n");
        return 2;
    }
    if (argc == 5 && std::string(argv[1]) == "--deleting") {
        benchDeletingDuringSetUp(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
        return 0;
    }
    if (argc == 3 && std::string(argv[1]) == "--set-up-from-scan") {
        ParallelScanOptions options;
        options.workerCount = activeProcessorCount();
        benchSetUp(argv[2], parallelScanToTree({argv[2]}, options), "from the scan");
        return 0;
    }
    const int burst = argc > 2 ? std::atoi(argv[2]) : 10000;
    {
        ParallelScanOptions options;
        options.workerCount = activeProcessorCount();
        std::vector<RootRef> scanned = parallelScanToTree({argv[1]}, options);
        for (int round = 0; round < 2; ++round) {
            benchSetUp(argv[1], {}, "reading the folders");
            benchSetUp(argv[1], scanned, "from the scan");
        }
    }
    benchMonitor(argv[1], burst);
    benchController(100000);
    return 0;
}
