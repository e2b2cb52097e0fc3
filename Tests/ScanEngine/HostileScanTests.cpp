// The parallel scanner under what real machines do to it: limits on threads and descriptors,
// roots and folders it may not read or that vanish, a folder mounted inside itself, sparse files
// claiming exabytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "CSVTestSupport.hpp"
#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ScanEngine/Scan/DirectoryCalls.hpp"
#include "ScanMeasurement/SequentialTreeScan.hpp"
#include "TestTree.hpp"

using namespace zelvane;
using zelvane::test::TempTree;

namespace {

constexpr int kSkip = 77;

ParallelScanOptions withWorkers(int n, UnreadableFoldersLocked* unreadable = nullptr) {
    ParallelScanOptions o;
    o.workerCount = n;
    o.unreadableFolders = unreadable;
    return o;
}

FileNode* childNamed(const FileNode& folder, const std::string& name) {
    for (FileNode* c : folder.children())
        if (c->nameBytes() == name) return c;
    return nullptr;
}

// A chain of `depth` folders named `name` below `base`, with a file at the bottom, made and
// removed through descriptors: its paths are far longer than PATH_MAX.
class FolderChain final {
public:
    FolderChain(const std::string& base, int depth, const char* name) : base_(base), name_(name) {
        int fd = ::open(base.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            ::mkdirat(fd, name, 0755);
            const int next = ::openat(fd, name, O_DIRECTORY | O_RDONLY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        if (fd >= 0) {
            ::close(::openat(fd, "bottom.txt", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
            ::close(fd);
        }
    }
    // Each level is moved up beside the chain's top and its emptied parent removed: linear, and
    // no path ever grows.
    ~FolderChain() {
        const int base = ::open(base_.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
        for (;;) {
            const int top = ::openat(base, name_, O_DIRECTORY | O_RDONLY | O_CLOEXEC);
            if (top < 0) break;
            ::unlinkat(top, "bottom.txt", 0);
            const bool more = ::renameat(top, name_, base, "next-level") == 0;
            ::close(top);
            ::unlinkat(base, name_, AT_REMOVEDIR);
            if (!more || ::renameat(base, "next-level", base, name_) != 0) break;
        }
        ::close(base);
    }

private:
    std::string base_;
    const char* name_;
};

}  // namespace

// With no thread to be had (the user's process limit reached), the calling thread reads the
// whole tree and writes its export; neither throws.
TEST(HostileScan, WorkersThatCannotBeStartedLeaveTheWorkToTheCallingThread) {
    TempTree t;
    for (int i = 0; i < 40; ++i) t.file(test::numbered("d", i % 7) + "/" + test::numbered("f", i), 100 + i);
    const test::WalkCounts expected = test::independentWalk(t.path());
    const int status = test::runUnprivileged([&] {
        const rlimit none{0, 0};
        if (::setrlimit(RLIMIT_NPROC, &none) != 0) return kSkip;
        try {
            std::thread probe([] {});
            probe.join();
            return kSkip;  // threads can still be made here: nothing to show
        } catch (const std::system_error&) {
        }
        int failures = 0;
        for (int workers : {2, 8, 64}) {
            const auto roots = parallelScanToTree({t.path()}, withWorkers(workers));
            if (roots.size() != 1 || roots[0]->subFolderFileCount() != expected.files ||
                roots[0]->subFolderDirCount() != expected.dirs || roots[0]->subFolderTotSize() != expected.bytes)
                ++failures;
        }
        const auto roots = parallelScanToTree({t.path()}, withWorkers(4));
        const std::string csv = "/tmp/zelvane-without-threads-" + std::to_string(::getpid()) + ".csv";
        const bool exported = !exportToCSV(roots, zelvane::testing::everyColumn(), false, {}, csv);
        struct stat st {};
        const bool written = ::stat(csv.c_str(), &st) == 0 && st.st_size > 1000;
        ::unlink(csv.c_str());
        if (!exported || !written) failures += 10;
        return failures;
    });
    if (status == kSkip) GTEST_SKIP() << "thread creation could not be refused here";
    EXPECT_EQ(status, 0);
}

// Under a hard descriptor limit below the budget's headroom no descriptor can be queued, yet a
// chain of folders (paths of 20,000 bytes) is read by opening each level relative to its open
// parent: one open by path (the root) and one relative open per level, not a walk down from the
// root for each level.
TEST(HostileScan, ADeepChainUnderALowDescriptorLimitIsReadRelativeToItsParents) {
    TempTree t;
    constexpr int kDepth = 2000;
    const FolderChain chain(t.path(), kDepth, "level-dir");
    const int status = test::runInChild([&] {
        const rlimit low{64, 64};
        if (::setrlimit(RLIMIT_NOFILE, &low) != 0) return 90;
        fdBudget().fitToLimit();
        if (fdBudget().available() > 0) return 91;
        DirectoryCallTally counts;
        ParallelScanOptions options = withWorkers(4);
        options.directoryCalls = &counts;
        const auto roots = parallelScanToTree({t.path()}, options);
        if (roots.size() != 1) return 92;
        if (roots[0]->subFolderDirCount() != kDepth || roots[0]->subFolderFileCount() != 1) return 93;
        if (counts.opens.load() > 1) return 94;
        if (counts.openats.load() < kDepth) return 95;
        const FileNode* n = roots[0].get();
        for (int i = 0; i < kDepth && n; ++i) n = childNamed(*n, "level-dir");
        if (!n || !childNamed(*n, "bottom.txt")) return 96;
        return 0;
    });
    EXPECT_EQ(status, 0) << "90 limit, 91 budget, 92 roots, 93 counts, 94 opens by path, 95 relative opens, 96 bottom";
}

// A root that vanished or may not be read fails, named with its reason; a subfolder that may not
// be read stays in the tree as an empty folder and is named too.
TEST(HostileScan, EveryFolderThatCouldNotBeReadIsReportedWithItsReason) {
    TempTree t;
    t.file("open/a.txt", 10);
    t.file("open/closed/hidden.txt", 20);
    t.file("private/secret.txt", 30);
    t.chmod("open/closed", 0000);
    t.chmod("private", 0700);
    const std::string missing = t.at("vanished");

    UnreadableFoldersLocked log;
    const auto roots = parallelScanToTree({missing, t.at("open")}, withWorkers(3, &log));
    ASSERT_EQ(roots.size(), 1u);
    const auto seen = log.all();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), (UnreadableFolder{missing, ENOENT, true}));

    if (!test::runningAsRoot()) GTEST_SKIP() << "the permission cases need root to drop to another user";
    const int status = test::runUnprivileged([&] {
        UnreadableFoldersLocked unreadable;
        const auto scanned = parallelScanToTree({t.at("private"), t.at("open")}, withWorkers(3, &unreadable));
        const auto all = unreadable.all();
        if (all.size() != 2) return 10 + int(all.size());
        const UnreadableFolder rootFailure{t.at("private"), EACCES, true};
        const UnreadableFolder subFailure{t.at("open/closed"), EACCES, false};
        if (!((all[0] == rootFailure && all[1] == subFailure) || (all[1] == rootFailure && all[0] == subFailure)))
            return 2;
        if (scanned.size() != 2) return 3;
        const FileNode* closed = childNamed(*scanned[1], "closed");
        if (!closed || !closed->isDir() || !closed->children().empty() || !closed->accessDenied()) return 4;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

// The root bound onto a folder inside itself: below it the root's own files would come again.
TEST(HostileScan, ARootMountedInsideItselfIsCountedOnce) {
    TempTree t;
    t.file("a.txt", 1000);
    t.file("sub/b.txt", 2000);
    t.dir("mirror");
    const int status = test::runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0) return kSkip;
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kSkip;
        if (::mount(t.path().c_str(), t.at("mirror").c_str(), nullptr, MS_BIND, nullptr) != 0) return kSkip;
        const auto roots = parallelScanToTree({t.path()}, withWorkers(4));
        if (roots.size() != 1) return 1;
        if (roots[0]->subFolderFileCount() != 2 || roots[0]->subFolderTotSize() != 3000) return 2;
        const FileNode* mirror = childNamed(*roots[0], "mirror");
        if (!mirror || !mirror->isVolumeBoundary() || !mirror->children().empty()) return 3;
        const RootRef sequential = scanToTree(t.path(), {});
        if (!sequential || sequential->subFolderFileCount() != 2) return 4;
        return 0;
    });
    if (status == kSkip) GTEST_SKIP() << "no mount namespace here";
    EXPECT_EQ(status, 0);
}

// Sparse files on tmpfs may each claim nearly 2^63 bytes: folder totals stop at the largest
// value instead of wrapping to a negative size.
TEST(HostileScan, TotalsOfHugeSparseFilesSaturate) {
    TempTree t("/dev/shm");
    constexpr int64_t kHuge = int64_t(1) << 62;
    for (const char* name : {"sub/one", "sub/two", "three"}) {
        t.file(name, 0);
        const int fd = ::open(t.at(name).c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        const int rc = ::ftruncate(fd, kHuge);
        ::close(fd);
        if (rc != 0) GTEST_SKIP() << "this file system refuses files of 2^62 bytes";
    }
    const auto roots = parallelScanToTree({t.path()}, withWorkers(3));
    ASSERT_EQ(roots.size(), 1u);
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(childNamed(*roots[0], "sub")->subFolderTotSize(), kMax);
    EXPECT_EQ(roots[0]->subFolderTotSize(), kMax);
    EXPECT_GE(roots[0]->subFolderTotSizeAlloc(), 0);
    EXPECT_EQ(roots[0]->subFolderFileCount(), 3);
}
