// ThreadSanitizer: both counting scans run many workers over one queue.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "ScanMeasurement/BulkScan.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanMeasurement/PipelinedBulkScan.hpp"
#include "ScanEngine/Scan/DirectoryCalls.hpp"
#include "TestTree.hpp"

using namespace zelvane;
using zelvane::test::buildMixedTree;
using zelvane::test::TempTree;
using zelvane::test::WalkCounts;

namespace {

WalkCounts asWalk(const ScanResult& r) { return {r.files, r.dirs, r.totalBytes, 0}; }
WalkCounts countsOnly(WalkCounts w) {
    w.allocOnce = 0;
    return w;
}

}  // namespace

TEST(CountingScan, AgreesWithAnIndependentWalk) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = countsOnly(test::independentWalk(t.path()));
    for (int workers : {1, 3, 8, 32}) {
        EXPECT_EQ(asWalk(parallelBulkScan(t.path(), workers)), expected) << workers << " workers";
        EXPECT_EQ(asWalk(pipelinedBulkScan(t.path(), workers, 2, std::nullopt)), expected) << workers;
    }
    EXPECT_EQ(asWalk(pipelinedBulkScan(t.path(), 1, 1, 1)), expected);
    EXPECT_EQ(asWalk(parallelBulkScan(t.at("empty1"), 4)), (WalkCounts{}));
    EXPECT_EQ(asWalk(pipelinedBulkScan(t.at("empty1"), 2, 2, std::nullopt)), (WalkCounts{}));
    EXPECT_EQ(asWalk(parallelBulkScan(t.at("missing"), 4)), (WalkCounts{}));
}

TEST(CountingScan, WideFolderOfOneHundredThousandEntries) {
    TempTree t("/dev/shm");
    for (int i = 0; i < 100000; ++i) t.file("w/" + std::to_string(i), i % 7);
    t.dir("w/sub/inner");
    WalkCounts expected = countsOnly(test::independentWalk(t.path()));
    EXPECT_EQ(expected.files, 100000);
    EXPECT_EQ(asWalk(parallelBulkScan(t.path(), 8)), expected);
    EXPECT_EQ(asWalk(pipelinedBulkScan(t.path(), 4, 4, std::nullopt)), expected);
}

TEST(CountingScan, FailingReadsPartWayCountOnlyTheFallback) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = countsOnly(test::independentWalk(t.path()));
    int fdsBefore = test::openDescriptorCount();
    int budgetBefore = fdBudget().available();
    EXPECT_EQ(asWalk(parallelBulkScan(t.path(), 4, test::failOnSecondRead)), expected);
    EXPECT_EQ(asWalk(pipelinedBulkScan(t.path(), 3, 2, std::nullopt, test::failOnSecondRead)), expected);
    EXPECT_EQ(test::openDescriptorCount(), fdsBefore);
    EXPECT_EQ(fdBudget().available(), budgetBefore);
}

TEST(CountingScan, BulkScanDirRollsBackAndClosesGatheredDescriptors) {
    TempTree t;
    for (int i = 0; i < 50; ++i) t.dir(test::numbered("d", i));
    for (int i = 0; i < 50; ++i) t.file(test::numbered("f", i), 3);
    int fdsBefore = test::openDescriptorCount();
    int budgetBefore = fdBudget().available();
    ScanBuffer buf;
    auto id = rootVolumeIdentity(t.path());
    DirScanOutcome o = bulkScanDir(DirWorkItem::unopened(t.path()), false, buf.pointer(), id.devID, id.containerID,
                                   test::failOnSecondRead);
    EXPECT_EQ(o.result, (ScanResult{50, 50, 150}));
    ASSERT_EQ(o.subdirs.size(), 50u);
    for (auto& s : o.subdirs) EXPECT_LT(s.fd, 0);  // the fallback's items are opened by path
    EXPECT_EQ(test::openDescriptorCount(), fdsBefore);
    EXPECT_EQ(fdBudget().available(), budgetBefore);
}

TEST(CountingScan, ExhaustedBudgetStillReadsEverything) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = countsOnly(test::independentWalk(t.path()));
    fdBudget().fitToLimit();
    int taken = 0;
    while (fdBudget().tryAcquire()) ++taken;
    EXPECT_GT(taken, 0);
    DirectoryCallTally starved;
    ScanResult r = parallelBulkScan(t.path(), 4, defaultBulkReader, &starved);
    EXPECT_EQ(asWalk(r), expected);
    EXPECT_EQ(starved.openats.load(), 0);               // no slot: every folder opened by path
    EXPECT_EQ(starved.opens.load(), expected.dirs + 1);  // ... each exactly once, the root included
    EXPECT_EQ(starved.closes.load(), starved.opens.load());
    for (int i = 0; i < taken; ++i) fdBudget().release();
    EXPECT_EQ(fdBudget().available(), taken);

    DirectoryCallTally calls;
    parallelBulkScan(t.path(), 4, defaultBulkReader, &calls);
    EXPECT_EQ(calls.opens.load() + calls.openats.load(), expected.dirs + 1);
    EXPECT_GT(calls.openats.load(), 0);
}

TEST(CountingScan, LowDescriptorLimitNeverEmptiesFolders) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = countsOnly(test::independentWalk(t.path()));
    int rc = test::runInChild([&] {
        rlimit rl{300, 300};
        if (setrlimit(RLIMIT_NOFILE, &rl) != 0) return 1;
        // A budget made for the old limit is refitted: below the new limit, with headroom.
        ScanResult r = parallelBulkScan(t.path(), 8);
        if (fdBudget().capacity() != 300 - FdBudget::kHeadroom) return 2;
        if (asWalk(r) != expected) return 3;
        if (asWalk(pipelinedBulkScan(t.path(), 4, 4, std::nullopt)) != expected) return 4;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST(CountingScan, DescriptorShortageIsWaitedOutNotTakenForEmpty) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = countsOnly(test::independentWalk(t.path()));
    int rc = test::runInChild([&] {
        rlimit rl{128, 128};
        if (setrlimit(RLIMIT_NOFILE, &rl) != 0) return 1;
        // Every descriptor is taken for a while: opens fail with EMFILE until they come back.
        // No thread starts while they are all taken (the sanitizers need descriptors to vet a
        // thread start), so the scan runs with a single worker on this thread.
        std::vector<int> hog;
        std::atomic<bool> full{false};
        std::thread releaser([&] {
            while (!full) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            for (int fd : hog) ::close(fd);
        });
        for (;;) {
            int fd = ::open("/dev/null", O_RDONLY);
            if (fd < 0) break;
            hog.push_back(fd);
        }
        full = true;
        ScanResult r = parallelBulkScan(t.path(), 1);
        releaser.join();
        return asWalk(r) == expected ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

TEST(CountingScan, StopsAtOtherFileSystems) {
    if (!test::runningAsRoot()) GTEST_SKIP() << "mounting a tmpfs needs root";
    TempTree t;
    buildMixedTree(t);
    t.dir("mnt");
    int rc = test::runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 0;
        if (::mount("none", t.at("mnt").c_str(), "tmpfs", 0, nullptr) != 0) return 0;
        t.file("mnt/inside-tmpfs", 1000);
        t.dir("mnt/folder-in-tmpfs");
        WalkCounts expected = countsOnly(test::independentWalk(t.path()));
        if (asWalk(parallelBulkScan(t.path(), 4)) != expected) return 1;
        if (asWalk(pipelinedBulkScan(t.path(), 2, 2, std::nullopt)) != expected) return 2;
        // The tmpfs itself as the root is read in full.
        if (parallelBulkScan(t.at("mnt"), 2) != ScanResult{1, 1, 1000}) return 3;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST(CountingScan, RaisingTheLimitOnlyEverRaises) {
    int rc = test::runInChild([] {
        rlimit before{};
        getrlimit(RLIMIT_NOFILE, &before);
        raiseFileDescriptorLimit();
        rlimit after{};
        getrlimit(RLIMIT_NOFILE, &after);
        if (after.rlim_max != before.rlim_max || after.rlim_cur < before.rlim_cur) return 1;
        raiseFileDescriptorLimit();  // already at the target: nothing changes
        rlimit again{};
        getrlimit(RLIMIT_NOFILE, &again);
        if (again.rlim_cur != after.rlim_cur) return 2;
        return fdBudget().capacity() <= FdBudget::kMaxSlots ? 0 : 3;
    });
    EXPECT_EQ(rc, 0);
}
