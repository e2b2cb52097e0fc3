// The event monitor on real folders. Also run under ThreadSanitizer: the handler runs on the
// monitor's thread while tests start and stop it from others.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "ScanEngine/Monitor/FileSystemMonitor.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "LiveTreeFixtures.hpp"
#include "OnScopeExit.hpp"

extern char** environ;

namespace zelvane {
namespace {

using namespace std::chrono_literals;
using testing::TempDir;
using testing::makeDir;
using testing::writeFile;

constexpr auto kWait = 20s;

// Collects the batches of one monitor; every wait ends as soon as the awaited event is in.
class EventCollector final {
public:
    FileSystemMonitor::Handler handler() {
        return [this](std::vector<FileChangeEvent> batch) { add(std::move(batch)); };
    }

    void add(std::vector<FileChangeEvent> batch) {
        std::lock_guard lock(mutex_);
        threads_.insert(std::this_thread::get_id());
        batches_.push_back(std::move(batch));
        changed_.notify_all();
    }

    std::optional<FileChangeEvent> waitFor(const std::function<bool(const FileChangeEvent&)>& pred,
                                           std::chrono::milliseconds timeout = kWait) {
        std::unique_lock lock(mutex_);
        std::optional<FileChangeEvent> found;
        changed_.wait_for(lock, timeout, [&] {
            for (const auto& b : batches_)
                for (const auto& e : b)
                    if (pred(e)) {
                        found = e;
                        return true;
                    }
            return false;
        });
        return found;
    }

    std::optional<FileChangeEvent> waitForPath(const std::string& path, uint32_t flag) {
        return waitFor([&](const FileChangeEvent& e) { return e.path == path && (e.flags & flag); });
    }

    size_t batchCount() {
        std::lock_guard lock(mutex_);
        return batches_.size();
    }
    std::vector<FileChangeEvent> events() {
        std::lock_guard lock(mutex_);
        std::vector<FileChangeEvent> out;
        for (const auto& b : batches_) out.insert(out.end(), b.begin(), b.end());
        return out;
    }
    std::set<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::vector<FileChangeEvent>> batches_;
    std::set<std::thread::id> threads_;
};

// Built by appending: GCC 12 warns falsely about `"literal" + std::to_string(n)` at -O3.
std::string numbered(std::string_view prefix, size_t n) {
    std::string s(prefix);
    s += std::to_string(n);
    return s;
}

bool anyEventUnder(const std::vector<FileChangeEvent>& events, const std::string& prefix) {
    for (const auto& e : events)
        if (e.path.rfind(prefix, 0) == 0) return true;
    return false;
}

// Watches of folders that appear are added by the monitor's thread after their event.
bool waitForWatchCount(const FileSystemMonitor& monitor, size_t count) {
    for (auto end = std::chrono::steady_clock::now() + kWait; std::chrono::steady_clock::now() < end;) {
        if (monitor.watchCount() == count) return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

TEST(FileSystemMonitor, WithoutPathsNothingRuns) {
    EventCollector events;
    FileSystemMonitor monitor({}, events.handler());
    monitor.start();
    EXPECT_FALSE(monitor.isRunning());
    EXPECT_FALSE(monitor.waitUntilWatching(0ms));
    monitor.stop();
    EXPECT_EQ(events.batchCount(), 0u);
}

TEST(FileSystemMonitor, ReportsRemovalsAndRenamesBelowTheRoots) {
    TempDir tmp;
    makeDir(tmp / "a");
    makeDir(tmp / "a/b");
    writeFile(tmp / "a/b/file", 10);
    writeFile(tmp / "a/b/other", 10);
    writeFile(tmp / "top", 1);
    std::string badName = "bad\xff\xfe" "name";
    writeFile(tmp / badName, 1);

    EventCollector events;
    FileSystemMonitor monitor({tmp.path()}, events.handler());
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));
    EXPECT_EQ(monitor.watchCount(), 3u);

    ASSERT_EQ(::unlink((tmp / "a/b/file").c_str()), 0);
    ASSERT_EQ(::rename((tmp / "a/b/other").c_str(), (tmp / "a/b/renamed").c_str()), 0);
    ASSERT_EQ(::unlink((tmp / badName).c_str()), 0);
    ASSERT_EQ(::unlink((tmp / "top").c_str()), 0);

    auto removed = events.waitForPath(tmp / "a/b/file", EventStreamFlag::kItemRemoved);
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->isRemoved());
    EXPECT_FALSE(removed->isRenamed());
    EXPECT_TRUE(removed->flags & EventStreamFlag::kItemIsFile);
    auto from = events.waitForPath(tmp / "a/b/other", EventStreamFlag::kItemRenamed);
    auto to = events.waitForPath(tmp / "a/b/renamed", EventStreamFlag::kItemRenamed);
    ASSERT_TRUE(from && to);
    EXPECT_FALSE(from->isRemoved());
    // Names are reported as their exact bytes, invalid UTF-8 included.
    EXPECT_TRUE(events.waitForPath(tmp / badName, EventStreamFlag::kItemRemoved));
    EXPECT_TRUE(events.waitForPath(tmp / "top", EventStreamFlag::kItemRemoved));

    auto threads = events.threads();
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u) << "batches are delivered on the monitor's thread";
}

TEST(FileSystemMonitor, FollowsFoldersThatAppearMoveAndLeave) {
    TempDir tmp;
    TempDir outside;
    makeDir(tmp / "a");
    makeDir(tmp / "a/b");
    writeFile(tmp / "a/b/f1", 1);
    writeFile(tmp / "a/b/f2", 1);

    EventCollector events;
    FileSystemMonitor monitor({tmp.path()}, events.handler());
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));

    // A folder tree made after the start is watched as it appears.
    makeDir(tmp / "new");
    makeDir(tmp / "new/deep");
    writeFile(tmp / "new/deep/f", 1);
    ASSERT_TRUE(events.waitForPath(tmp / "new", EventStreamFlag::kItemCreated));
    ASSERT_TRUE(waitForWatchCount(monitor, 5));  // the subfolder too, made before "new" was watched
    ASSERT_EQ(::unlink((tmp / "new/deep/f").c_str()), 0);
    EXPECT_TRUE(events.waitForPath(tmp / "new/deep/f", EventStreamFlag::kItemRemoved));

    // A folder renamed inside the tree reports under its new path afterwards.
    ASSERT_EQ(::rename((tmp / "a").c_str(), (tmp / "c").c_str()), 0);
    ASSERT_TRUE(events.waitForPath(tmp / "c", EventStreamFlag::kItemRenamed));
    ASSERT_EQ(::unlink((tmp / "c/b/f1").c_str()), 0);
    EXPECT_TRUE(events.waitForPath(tmp / "c/b/f1", EventStreamFlag::kItemRemoved));
    EXPECT_FALSE(anyEventUnder(events.events(), tmp / "a/"));

    // A folder moved out of the tree is no longer watched: its changes are not reported under
    // the path it left.
    const size_t before = monitor.watchCount();
    ASSERT_EQ(::rename((tmp / "c").c_str(), (outside / "c").c_str()), 0);
    ASSERT_TRUE(waitForWatchCount(monitor, before - 2));
    ASSERT_EQ(::unlink((outside / "c/b/f2").c_str()), 0);
    writeFile(tmp / "marker", 1);  // a later change that does arrive
    ASSERT_TRUE(events.waitForPath(tmp / "marker", EventStreamFlag::kItemCreated));
    for (const auto& e : events.events()) EXPECT_NE(e.path, tmp / "c/b/f2");

    // And a folder moved in from outside is watched.
    makeDir(outside / "in");
    makeDir(outside / "in/sub");
    writeFile(outside / "in/sub/g", 1);
    ASSERT_EQ(::rename((outside / "in").c_str(), (tmp / "in").c_str()), 0);
    ASSERT_TRUE(events.waitForPath(tmp / "in", EventStreamFlag::kItemRenamed));
    ASSERT_TRUE(waitForWatchCount(monitor, before));
    ASSERT_EQ(::unlink((tmp / "in/sub/g").c_str()), 0);
    EXPECT_TRUE(events.waitForPath(tmp / "in/sub/g", EventStreamFlag::kItemRemoved));
}

TEST(FileSystemMonitor, ReportsTheRootItselfAndMergesOnePathWithinTheLatency) {
    TempDir tmp;
    const std::string root = tmp / "root";
    makeDir(root);
    makeDir(root + "/sub");
    writeFile(root + "/sub/f", 5);
    writeFile(tmp / "fileroot", 5);

    EventCollector events;
    FileSystemMonitor monitor({root, tmp / "fileroot"}, events.handler());
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));

    // Removed and made again within the latency: one event carrying both.
    ASSERT_EQ(::unlink((root + "/sub/f").c_str()), 0);
    writeFile(root + "/sub/f", 7);
    auto merged = events.waitForPath(root + "/sub/f", EventStreamFlag::kItemRemoved);
    ASSERT_TRUE(merged);
    EXPECT_TRUE(merged->flags & EventStreamFlag::kItemCreated);
    size_t count = 0;
    for (const auto& e : events.events()) count += e.path == root + "/sub/f";
    EXPECT_EQ(count, 1u);

    // Watched roots report their own removal: a folder root and a file root.
    TempDir::removeTree(root);
    auto gone = events.waitForPath(root, EventStreamFlag::kItemRemoved);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->flags & EventStreamFlag::kRootChanged);
    ASSERT_EQ(::unlink((tmp / "fileroot").c_str()), 0);
    EXPECT_TRUE(events.waitForPath(tmp / "fileroot", EventStreamFlag::kItemRemoved));
}

TEST(FileSystemMonitor, SecondStartMakesNoSecondStream) {
    TempDir tmp;
    makeDir(tmp / "d");
    EventCollector events;
    FileSystemMonitor monitor({tmp.path()}, events.handler());
    monitor.start();
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));
    EXPECT_EQ(monitor.watchCount(), 2u);
    writeFile(tmp / "d/x", 1);
    ASSERT_TRUE(events.waitForPath(tmp / "d/x", EventStreamFlag::kItemCreated));
    std::this_thread::sleep_for(300ms);  // a second stream would deliver its own batch by now
    size_t count = 0;
    for (const auto& e : events.events()) count += e.path == tmp / "d/x";
    EXPECT_EQ(count, 1u);
}

// Writes and removes files under `dir` until destroyed.
class Churn final {
public:
    explicit Churn(std::string dir)
        : thread_([this, dir = std::move(dir)] {
              for (int i = 0; !done_.load(); ++i) {
                  std::string p = dir + numbered("/churn", i % 16);
                  writeFile(p, 1);
                  ::unlink(p.c_str());
              }
          }) {}
    ~Churn() {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(FileSystemMonitor, NoBatchReachesTheHandlerAfterStop) {
    TempDir tmp;
    Churn churn(tmp.path());
    std::atomic<int> delivered{0};
    std::atomic<int> late{0};
    // Stops at every stage of a start: before the thread runs, while watches are added, while
    // a batch is pending, after batches went out.
    for (int i = 0; i < 60; ++i) {
        auto stopped = std::make_shared<std::atomic<bool>>(false);
        FileSystemMonitor monitor({tmp.path()}, [&, stopped](std::vector<FileChangeEvent>) {
            if (stopped->load()) ++late;
            ++delivered;
        });
        monitor.start();
        if (i % 3 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(i));
        if (i % 10 == 9) std::this_thread::sleep_for(300ms);
        monitor.stop();
        stopped->store(true);
        if (i % 10 == 9) std::this_thread::sleep_for(300ms);
    }
    EXPECT_GT(delivered.load(), 0) << "the churn should have produced batches before some stops";
    EXPECT_EQ(late.load(), 0);
}

TEST(FileSystemMonitor, StartAndStopFromSeveralThreads) {
    TempDir tmp;
    Churn churn(tmp.path());
    std::atomic<bool> stopped{false};
    std::atomic<int> late{0};
    FileSystemMonitor monitor({tmp.path()}, [&](std::vector<FileChangeEvent>) {
        if (stopped.load()) ++late;
    });
    std::thread starter([&] {
        for (int i = 0; i < 300; ++i) monitor.start();
    });
    std::thread stopper([&] {
        for (int i = 0; i < 300; ++i) {
            monitor.stop();
            (void)monitor.watchCount();
        }
    });
    starter.join();
    stopper.join();
    monitor.stop();
    stopped = true;
    EXPECT_FALSE(monitor.isRunning());
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(late.load(), 0);
}

TEST(FileSystemMonitor, StopOrDestructionFromInsideTheHandler) {
    TempDir tmp;
    {
        std::atomic<int> batches{0};
        FileSystemMonitor* self = nullptr;
        FileSystemMonitor monitor({tmp.path()}, [&](std::vector<FileChangeEvent>) {
            ++batches;
            self->stop();
        });
        self = &monitor;
        monitor.start();
        ASSERT_TRUE(monitor.waitUntilWatching(kWait));
        writeFile(tmp / "one", 1);
        for (int i = 0; i < 200 && batches == 0; ++i) std::this_thread::sleep_for(10ms);
        writeFile(tmp / "two", 1);
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(batches.load(), 1);
        EXPECT_FALSE(monitor.isRunning());
    }
    {
        std::mutex m;
        std::condition_variable cv;
        std::unique_ptr<FileSystemMonitor> holder;
        bool destroyed = false;
        holder = std::make_unique<FileSystemMonitor>(std::vector<std::string>{tmp.path()},
                                                     [&](std::vector<FileChangeEvent>) {
                                                         std::lock_guard lock(m);
                                                         holder.reset();
                                                         destroyed = true;
                                                         cv.notify_all();
                                                     });
        {
            std::lock_guard lock(m);
            holder->start();
            ASSERT_TRUE(holder->waitUntilWatching(kWait));
        }
        writeFile(tmp / "three", 1);
        std::unique_lock lock(m);
        EXPECT_TRUE(cv.wait_for(lock, kWait, [&] { return destroyed; }));
    }
}

TEST(FileSystemMonitor, LargeTreeIsWatchedOffTheCallingThread) {
    TempDir tmp;
    constexpr int kTop = 50, kPer = 1000;
    for (int i = 0; i < kTop; ++i) {
        std::string top = tmp / numbered("t", i);
        makeDir(top);
        for (int j = 0; j < kPer; ++j) makeDir(top + numbered("/s", j));
    }
    const size_t total = 1 + kTop + size_t(kTop) * kPer;
    writeFile(tmp / "t49/s999/leaf", 1);

    EventCollector events;
    FileSystemMonitor monitor({tmp.path()}, events.handler());
    monitor.start();
    // Adding 50,000 watches takes far longer than returning from start().
    EXPECT_LT(monitor.watchCount(), total);
    EXPECT_FALSE(monitor.waitUntilWatching(0ms));
    ASSERT_TRUE(monitor.waitUntilWatching(300s));
    EXPECT_EQ(monitor.watchCount(), total);
    ASSERT_EQ(::unlink((tmp / "t49/s999/leaf").c_str()), 0);
    EXPECT_TRUE(events.waitForPath(tmp / "t49/s999/leaf", EventStreamFlag::kItemRemoved));
}

size_t readSysctl(const char* path) {
    std::ifstream in(path);
    size_t v = 0;
    in >> v;
    return v;
}

TEST(FileSystemMonitor, QueueOverflowAsksForRescanOfEveryRoot) {
    const size_t queued = readSysctl("/proc/sys/fs/inotify/max_queued_events");
    if (queued == 0 || queued > 200'000) GTEST_SKIP() << "event queue limit " << queued << " too large to overflow here";
    TempDir tmp;
    makeDir(tmp / "a");
    makeDir(tmp / "b");

    // The first batch holds the monitor's thread while the kernel queue fills up.
    std::mutex m;
    std::condition_variable cv;
    bool inHandler = false, release = false;
    EventCollector events;
    FileSystemMonitor monitor({tmp / "a", tmp / "b"}, [&](std::vector<FileChangeEvent> batch) {
        {
            std::unique_lock lock(m);
            if (!inHandler) {
                inHandler = true;
                cv.notify_all();
                cv.wait(lock, [&] { return release; });
            }
        }
        events.add(std::move(batch));
    });
    // Let go before the monitor is stopped, which waits for the handler.
    const auto letGo = [&] {
        {
            std::lock_guard lock(m);
            release = true;
        }
        cv.notify_all();
    };
    testsupport::OnScopeExit releaseOnEveryWayOut(letGo);
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));
    writeFile(tmp / "a/first", 1);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, kWait, [&] { return inHandler; }));
    }
    for (size_t i = 0; i < queued / 2 + 1000; ++i) writeFile(tmp / numbered("a/f", i), 0);
    letGo();
    for (const char* root : {"a", "b"}) {
        auto e = events.waitForPath(tmp / root, EventStreamFlag::kMustScanSubDirs);
        ASSERT_TRUE(e) << root;
        EXPECT_TRUE(e->mustRescan());
        EXPECT_TRUE(e->flags & EventStreamFlag::kKernelDropped);
    }
}

std::vector<RootRef> scan(const std::string& path) {
    ParallelScanOptions options;
    options.workerCount = 4;
    return parallelScanToTree({path}, options);
}

// Inside a user namespace of its own, where this process may lower its watch limit.
void runWatchLimitChild() {
    {
        std::ofstream limit("/proc/sys/user/max_inotify_watches");
        limit << 4;
        limit.close();
        ASSERT_TRUE(limit.good()) << "cannot lower the watch limit inside the namespace";
    }
    TempDir tmp;
    for (int i = 0; i < 10; ++i) makeDir(tmp / numbered("d", i));
    // Reading the folders, and taking them from the tree just scanned.
    for (bool fromScan : {false, true}) {
        EventCollector events;
        FileSystemMonitor monitor({tmp.path()}, events.handler(), fromScan ? scan(tmp.path()) : std::vector<RootRef>{});
        monitor.start();
        auto e = events.waitForPath(tmp.path(), EventStreamFlag::kMustScanSubDirs);
        ASSERT_TRUE(e) << "a full watch table must be reported" << (fromScan ? " (from the scan)" : "");
        EXPECT_TRUE(e->flags & EventStreamFlag::kUserDropped);
        EXPECT_TRUE(monitor.waitUntilWatching(kWait));
        EXPECT_LE(monitor.watchCount(), 4u);
    }
}

// Set up from the tree just scanned: no folder is read again unless it changed since its scan,
// so folders made, replaced or moved in between the scan and the watches are watched all the same,
// and what went in between (a folder, a file, a folder now another one) is reported removed.
TEST(FileSystemMonitor, WatchesFromTheScannedTreeAndCatchesFoldersChangedSinceTheScan) {
    TempDir tmp;
    TempDir outside;
    for (const char* d : {"a", "a/b", "a/b/c", "keep", "keep/deep", "gone", "swap", "swap/old"}) makeDir(tmp / d);
    writeFile(tmp / "keep/deep/f", 1);
    writeFile(tmp / "a/b/left", 1);
    writeFile(tmp / "a/b/saved", 1);
    auto trees = scan(tmp.path());
    ASSERT_EQ(trees.size(), 1u);
    EXPECT_GT(trees[0]->readStartedNanos(), 0);

    // Changes after the scan, before the watches.
    makeDir(tmp / "a/b/new");
    makeDir(tmp / "a/b/new/inner");
    ASSERT_EQ(::rmdir((tmp / "gone").c_str()), 0);
    // The old folder is moved away, not removed, so that the file system cannot hand its
    // identifier to the folder that takes its name.
    ASSERT_EQ(::rename((tmp / "swap").c_str(), (outside / "swap-before").c_str()), 0);
    makeDir(outside / "swap");
    makeDir(outside / "swap/other");
    ASSERT_EQ(::rename((outside / "swap").c_str(), (tmp / "swap").c_str()), 0);  // another folder, same name
    ASSERT_EQ(::unlink((tmp / "a/b/left").c_str()), 0);
    writeFile(outside / "saved", 2);
    ASSERT_EQ(::rename((outside / "saved").c_str(), (tmp / "a/b/saved").c_str()), 0);  // another file, same name

    EventCollector events;
    std::weak_ptr<FileNode> weak = trees[0];
    FileSystemMonitor monitor({tmp.path()}, events.handler(), std::move(trees));
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));
    // root, a, a/b, a/b/c, a/b/new, a/b/new/inner, keep, keep/deep, swap, swap/other
    EXPECT_EQ(monitor.watchCount(), 10u);
    EXPECT_TRUE(weak.expired()) << "the monitor lets go of the tree once its watches are added";

    writeFile(tmp / "a/b/new/inner/x", 1);
    EXPECT_TRUE(events.waitForPath(tmp / "a/b/new/inner/x", EventStreamFlag::kItemCreated));
    writeFile(tmp / "swap/other/y", 1);
    EXPECT_TRUE(events.waitForPath(tmp / "swap/other/y", EventStreamFlag::kItemCreated));
    ASSERT_EQ(::unlink((tmp / "keep/deep/f").c_str()), 0);
    EXPECT_TRUE(events.waitForPath(tmp / "keep/deep/f", EventStreamFlag::kItemRemoved));
    for (const char* went : {"gone", "swap", "a/b/left", "a/b/saved"})
        EXPECT_TRUE(events.waitForPath(tmp / went, EventStreamFlag::kItemRemoved)) << went;
    for (const auto& e : events.events()) EXPECT_EQ(e.path.find("/swap/old"), std::string::npos) << e.path;
}

int spawnAndWait(std::vector<std::string> args, const std::vector<std::string>& extraEnv) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings(extraEnv);
    for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
    std::vector<char*> envp;
    for (auto& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A tree unchanged since its scan is watched from the scan alone, its folders waiting by their
// names: every one of them is watched under its own path, none is taken for gone.
TEST(FileSystemMonitor, AnUnchangedScannedTreeIsWatchedWholeWithNothingReported) {
    TempDir tmp;
    size_t folders = 1;
    for (size_t i = 0; i < 70; ++i) {
        const std::string top = tmp / numbered("top", i);
        makeDir(top);
        ++folders;
        for (size_t j = 0; j < 3; ++j) {
            makeDir(top + numbered("/mid", j));
            makeDir(top + numbered("/mid", j) + "/low");
            folders += 2;
        }
    }
    std::this_thread::sleep_for(20ms);  // every change time before the scan begins
    auto trees = scan(tmp.path());
    ASSERT_EQ(trees.size(), 1u);

    EventCollector events;
    FileSystemMonitor monitor({tmp.path()}, events.handler(), std::move(trees));
    monitor.start();
    ASSERT_TRUE(monitor.waitUntilWatching(kWait));
    EXPECT_EQ(monitor.watchCount(), folders);
    writeFile(tmp / "top69/mid2/low/new", 1);
    EXPECT_TRUE(events.waitForPath(tmp / "top69/mid2/low/new", EventStreamFlag::kItemCreated));
    writeFile(tmp / "top0/mid0/low/new", 1);
    EXPECT_TRUE(events.waitForPath(tmp / "top0/mid0/low/new", EventStreamFlag::kItemCreated));
    for (const FileChangeEvent& e : events.events())
        EXPECT_FALSE(e.flags & EventStreamFlag::kItemRemoved) << e.path << " reported gone";
}

TEST(FileSystemMonitor, FullWatchTableAsksForRescan) {
    if (std::getenv("ZELVANE_WATCH_LIMIT_CHILD")) {
        runWatchLimitChild();
        return;
    }
    if (spawnAndWait({"unshare", "-U", "-r", "true"}, {}) != 0)
        GTEST_SKIP() << "no user namespaces here: the watch limit cannot be lowered for this test alone";
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    int rc = spawnAndWait({"unshare", "-U", "-r", self, "--gtest_filter=FileSystemMonitor.FullWatchTableAsksForRescan"},
                          {"ZELVANE_WATCH_LIMIT_CHILD=1"});
    EXPECT_EQ(rc, 0) << "the test inside the namespace failed (run it with ZELVANE_WATCH_LIMIT_CHILD=1 under unshare -U -r)";
}

}  // namespace
}  // namespace zelvane
