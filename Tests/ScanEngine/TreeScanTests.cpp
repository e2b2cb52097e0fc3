// ThreadSanitizer: the parallel tree scan shares its stack, trackers and nodes between workers.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Platform/BulkAttributes.hpp"
#include "ScanEngine/Scan/FdBudget.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "TestTree.hpp"
#include "ScanMeasurement/SequentialTreeScan.hpp"

using namespace zelvane;
using zelvane::test::buildMixedTree;
using zelvane::test::TempTree;
using zelvane::test::WalkCounts;

namespace {

std::vector<FileNode*> allNodes(FileNode* root) {
    std::vector<FileNode*> out, stack{root};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        out.push_back(n);
        for (FileNode* c : n->children()) stack.push_back(c);
    }
    return out;
}

FileNode* find(FileNode* root, const std::string& rel) {
    FileNode* n = root;
    size_t pos = 0;
    while (n && pos < rel.size()) {
        size_t slash = rel.find('/', pos);
        std::string part = rel.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        FileNode* next = nullptr;
        for (FileNode* c : n->children())
            if (c->nameBytes() == part) next = c;
        n = next;
        pos = slash == std::string::npos ? rel.size() : slash + 1;
    }
    return n;
}

// Checks every node against the file system: each entry of every read folder present exactly
// once, with its kind, size, dates and identifier; returns the number of mismatches.
int compareWithFileSystem(FileNode* root, std::string* why) {
    int bad = 0;
    auto fail = [&](const std::string& m) {
        if (bad++ == 0 && why) *why = m;
    };
    for (FileNode* n : allNodes(root)) {
        std::string p = n->pathBytes();
        struct stat st;
        if ((n->isRoot() ? ::stat(p.c_str(), &st) : ::lstat(p.c_str(), &st)) != 0) {
            fail("missing on disk: " + p);
            continue;
        }
        if (n->isDir() != S_ISDIR(st.st_mode)) fail("kind differs: " + p);
        if (n->fileID != st.st_ino) fail("identifier differs: " + p);
        if (n->modifiedDateRaw != packUnixTime({st.st_mtim.tv_sec, st.st_mtim.tv_nsec})) fail("date differs: " + p);
        // Listing a folder may move its access time on (relatime), after the scan took it: a folder's
        // recorded access may only be earlier than what the disk shows now.
        const int32_t accessOnDisk = packUnixTime({st.st_atim.tv_sec, st.st_atim.tv_nsec});
        if (n->isDir() ? n->lastAccessDateRaw > accessOnDisk : n->lastAccessDateRaw != accessOnDisk)
            fail("access differs: " + p);
        if (!n->isDir()) {
            if (n->fileSize != st.st_size) fail("size differs: " + p);
            if (n->allocSize != int64_t(st.st_blocks) * 512) fail("allocated size differs: " + p);
            continue;
        }
        if (n->isVolumeBoundary() || n->accessDenied()) continue;
        std::multiset<std::string> onDisk, inTree;
        if (DIR* d = ::opendir(p.c_str())) {
            while (dirent* e = ::readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") onDisk.insert(e->d_name);
            ::closedir(d);
        }
        for (FileNode* c : n->children()) inTree.insert(c->nameBytes());
        if (onDisk != inTree) fail("entries differ in " + p);
    }
    return bad;
}

WalkCounts totalsOf(const RootRef& r) {
    return {r->subFolderFileCount(), r->subFolderDirCount(), r->subFolderTotSize(), r->subFolderTotSizeAlloc()};
}

ParallelScanOptions workers(int n) {
    ParallelScanOptions o;
    o.workerCount = n;
    return o;
}

}  // namespace

TEST(ParallelTreeScan, MatchesTheFileSystemEntryForEntry) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = test::independentWalk(t.path());
    for (int n : {1, 4, 100}) {
        auto roots = parallelScanToTree({t.path()}, workers(n));
        ASSERT_EQ(roots.size(), 1u);
        const RootRef& r = roots[0];
        EXPECT_EQ(r->name(), t.path());
        EXPECT_EQ(totalsOf(r), expected) << n << " workers";  // hard links' space counted once
        std::string why;
        EXPECT_EQ(compareWithFileSystem(r.get(), &why), 0) << why;
        // The flat list holds every node below the root exactly once.
        auto flat = r->flatFileList();
        std::set<FileNode*> unique(flat.begin(), flat.end());
        EXPECT_EQ(unique.size(), flat.size());
        EXPECT_EQ(int64_t(flat.size()), expected.files + expected.dirs);
        EXPECT_EQ(unique.count(r.get()), 0u);
        // One of the three links to "one" counts its space; the others are marked.
        int counted = 0;
        for (const char* p : {"a/one", "d/one-link", "a/b/one-link2"}) counted += !find(r.get(), p)->doNotCountAllocated();
        EXPECT_EQ(counted, 1);
        FileNode* hidden = find(r.get(), ".hidden-file");
        ASSERT_TRUE(hidden);
        EXPECT_EQ(hidden->dosAttributesString(), "H");
        EXPECT_FALSE(find(r.get(), "d/to-a")->isDir());  // links are entries, never followed
    }
}

TEST(ParallelTreeScan, FinishGivesTheSameTotalsAndNumbersAsTheNodeWalks) {
    TempTree t;
    buildMixedTree(t);
    t.file("names/Zeta", 1);
    t.file("names/alpha", 1);
    t.file("names/Älpha", 1);
    t.file("names/beta", 1);
    auto roots = parallelScanToTree({t.path(), t.at("a"), t.at("a/one")}, workers(6));
    ASSERT_EQ(roots.size(), 3u);
    std::map<FileNode*, std::pair<AggregateTotals, int32_t>> fromScan;
    for (auto& r : roots)
        for (FileNode* n : allNodes(r.get()))
            fromScan[n] = {{n->subFolderTotSize(), n->subFolderTotSizeAlloc(), n->subFolderFileCount(), n->subFolderDirCount()},
                           n->sortNameIndex()};
    for (auto& r : roots) r->aggregateSizes();
    assignSortNameIndices(std::span<const RootRef>(roots));
    for (auto& [n, v] : fromScan) {
        AggregateTotals now{n->subFolderTotSize(), n->subFolderTotSizeAlloc(), n->subFolderFileCount(), n->subFolderDirCount()};
        EXPECT_EQ(v.first, now) << n->fullPath();
        EXPECT_EQ(v.second, n->sortNameIndex()) << n->fullPath();
    }
    EXPECT_EQ(roots[1]->sortNameIndex(), roots[0]->subFolderFileCount() + roots[0]->subFolderDirCount() + 1);
}

// Folders given the newest date below them while the scan rolls up its totals get what the walk
// over the finished tree gives: a deep file newest, a folder newer than all it holds, an empty
// folder, a link, a refused folder and a partial tree, on one worker and many.
TEST(ParallelTreeScan, NewestDatesRolledUpAsTheNodeWalkGivesThem) {
    TempTree t;
    buildMixedTree(t);
    auto stamp = [&](const std::string& rel, time_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, t.at(rel).c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << rel;
    };
    t.file("x/y/z/deep.bin", 5);
    t.dir("x/newer/empty");
    t.dir("x/refused/inside");
    t.file("x/refused/inside/f", 1);
    t.chmod("x/refused", 0);
    stamp("x/y/z/deep.bin", 1'900'000'000);
    stamp("x/y/z", 1'000'000'000);
    stamp("x/y", 1'000'000'000);
    stamp("x/newer/empty", 1'800'000'000);
    stamp("x/newer", 1'850'000'000);
    stamp("d/to-a", 1'950'000'000);  // a link: its own date, never its target's
    const bool refusedReadable = ::access(t.at("x/refused/inside").c_str(), R_OK) == 0;
    for (int n : {1, 5}) {
        auto plain = parallelScanToTree({t.path(), t.at("x")}, workers(n));
        ParallelScanOptions o = workers(n);
        o.newestDateToFolders = true;
        auto rolled = parallelScanToTree({t.path(), t.at("x")}, o);
        ASSERT_EQ(plain.size(), 2u);
        ASSERT_EQ(rolled.size(), 2u);
        for (size_t r = 0; r < 2; ++r) {
            plain[r]->applyMaxModifiedDateToFolders();
            std::map<std::string, int32_t> want, got;
            for (FileNode* node : allNodes(plain[r].get())) want[node->pathBytes()] = node->modifiedDateRaw;
            for (FileNode* node : allNodes(rolled[r].get())) got[node->pathBytes()] = node->modifiedDateRaw;
            EXPECT_EQ(got, want) << n << " workers, root " << r;
        }
        EXPECT_EQ(find(rolled[0].get(), "x/y")->modifiedDateRaw, find(rolled[0].get(), "x/y/z/deep.bin")->modifiedDateRaw);
        EXPECT_EQ(find(rolled[0].get(), "x/newer")->modifiedDateRaw, packUnixTime({1'850'000'000, 0}));
        EXPECT_EQ(rolled[0]->modifiedDateRaw, packUnixTime({1'950'000'000, 0}));
        if (!refusedReadable) {
            EXPECT_TRUE(find(rolled[1].get(), "refused")->accessDenied());
        }
    }
    t.chmod("x/refused", 0755);
}

TEST(ParallelTreeScan, RootsMissingFilesAndFolders) {
    TempTree t;
    t.file("a/x", 10);
    t.file("b.txt", 77);
    std::vector<ScanProgress> reports;
    std::mutex m;
    ParallelScanOptions o = workers(3);
    o.progressCallback = [&](const ScanProgress& p) {
        std::lock_guard l(m);
        reports.push_back(p);
    };
    EXPECT_TRUE(parallelScanToTree({}, o).empty());
    EXPECT_TRUE(parallelScanToTree({t.at("nope")}, o).empty());
    auto onlyFile = parallelScanToTree({t.at("b.txt")}, o);
    ASSERT_EQ(onlyFile.size(), 1u);
    EXPECT_FALSE(onlyFile[0]->isDir());
    EXPECT_EQ(onlyFile[0]->fileSize, 77);
    EXPECT_TRUE(onlyFile[0]->hasFlatFileList());
    EXPECT_TRUE(onlyFile[0]->flatFileList().empty());
    EXPECT_TRUE(reports.empty());  // nothing was read, nothing reported

    auto mixed = parallelScanToTree({t.at("nope"), t.at("a"), t.at("b.txt")}, o);
    ASSERT_EQ(mixed.size(), 2u);
    EXPECT_EQ(mixed[0]->name(), t.at("a"));
    EXPECT_EQ(mixed[1]->name(), t.at("b.txt"));
    EXPECT_EQ(mixed[0]->subFolderTotSize(), 10);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), (ScanProgress{1, 0, 10, 100}));
}

TEST(ParallelTreeScan, HardLinksCountOncePerRoot) {
    TempTree t;
    t.file("r1/f", 0);
    int fd = ::open(t.at("r1/f").c_str(), O_WRONLY);
    ASSERT_EQ(::write(fd, "0123456789", 10), 10);
    ::close(fd);
    t.hardlink("r1/f", "r1/g");
    t.hardlink("r1/f", "r2/h");
    auto roots = parallelScanToTree({t.at("r1"), t.at("r2")}, workers(2));
    ASSERT_EQ(roots.size(), 2u);
    struct stat st;
    ::stat(t.at("r1/f").c_str(), &st);
    int64_t blocks = int64_t(st.st_blocks) * 512;
    EXPECT_EQ(roots[0]->subFolderTotSizeAlloc(), blocks);  // two links in one root: once
    EXPECT_EQ(roots[1]->subFolderTotSizeAlloc(), blocks);  // the other root counts its own
    EXPECT_EQ(roots[0]->subFolderTotSize(), 20);           // logical sizes: every link
}

TEST(ParallelTreeScan, InvalidUTF8NamesReachTheRealFiles) {
    TempTree t;
    std::string bad = "bad\xff\xfe";
    t.file(bad + "/inner\x80.txt", 5);
    t.file("ok-\xc3\xa9", 6);
    auto roots = parallelScanToTree({t.path()}, workers(2));
    FileNode* f = find(roots[0].get(), bad + "/inner\x80.txt");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->name(), "inner\xef\xbf\xbd.txt");  // shown with U+FFFD
    int fd = ::open(f->pathBytes().c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(find(roots[0].get(), "ok-\xc3\xa9")->name(), "ok-\xc3\xa9");
    std::string why;
    EXPECT_EQ(compareWithFileSystem(roots[0].get(), &why), 0) << why;
}

TEST(ParallelTreeScan, ExcludedEntriesAreNotReadOrCounted) {
    TempTree t;
    buildMixedTree(t);
    t.file("skip/deeper/lots", 999);
    ParallelScanOptions o = workers(4);
    bool fullpath = false;
    o.excludeFilters = decodeFilterText(std::string_view("skip|two"), fullpath);
    o.excludeFullPath = fullpath;
    std::vector<ScanProgress> reports;
    std::mutex m;
    o.progressCallback = [&](const ScanProgress& p) {
        std::lock_guard l(m);
        reports.push_back(p);
    };
    auto r = parallelScanToTree({t.path()}, o)[0];
    EXPECT_EQ(find(r.get(), "skip"), nullptr);
    EXPECT_EQ(find(r.get(), "a/two"), nullptr);
    WalkCounts all = test::independentWalk(t.path());
    EXPECT_EQ(r->subFolderFileCount(), all.files - 2);  // "two" and "lots"
    EXPECT_EQ(r->subFolderDirCount(), all.dirs - 2);    // "skip" and "deeper"
    EXPECT_EQ(reports.back().files, all.files - 2);
    EXPECT_EQ(int64_t(r->flatFileList().size()), all.files + all.dirs - 4);
    // The sequential scan leaves out the same entries; a full-path term sees the entry's path.
    SequentialScanOptions so;
    so.excludeFilters = o.excludeFilters;
    EXPECT_EQ(totalsOf(scanToTree(t.path(), so)), totalsOf(r));
    bool fp = false;
    so.excludeFilters = decodeFilterText(std::string_view("a/b"), fp);
    so.excludeFullPath = fp;
    ASSERT_TRUE(fp);
    auto s = scanToTree(t.path(), so);
    EXPECT_NE(find(s.get(), "a"), nullptr);
    EXPECT_EQ(find(s.get(), "a/b"), nullptr);
    EXPECT_NE(find(s.get(), "a/one"), nullptr);
}

TEST(ParallelTreeScan, RefusedFoldersAreFlaggedAndRecorded) {
    TempTree t;
    buildMixedTree(t);
    t.file("closed/secret", 5);
    t.file("e/closed2/secret", 5);
    t.chmod("closed", 0);
    t.chmod("e/closed2", 0);
    int rc = test::runUnprivileged([&] {
        AccessDeniedCounter denied;
        ParallelScanOptions o = workers(4);
        o.accessDeniedCounter = &denied;
        auto r = parallelScanToTree({t.path()}, o)[0];
        FileNode* c = find(r.get(), "closed");
        FileNode* c2 = find(r.get(), "e/closed2");
        if (!c || !c->accessDenied() || !c->children().empty()) return 1;
        if (!c2 || !c2->accessDenied()) return 2;
        auto paths = denied.allPaths();
        std::sort(paths.begin(), paths.end());
        if (paths != std::vector<std::string>{t.at("closed"), t.at("e/closed2")}) return 3;
        if (find(r.get(), "a")->accessDenied()) return 4;
        // The sequential scan flags them the same way and still reaches 100 percent.
        AccessDeniedCounter denied2;
        int lastPercent = -1;
        SequentialScanOptions so;
        so.accessDeniedCounter = &denied2;
        so.progressCallback = [&](const ScanProgress& p) { lastPercent = p.percentComplete; };
        auto s = scanToTree(t.path(), so);
        if (!find(s.get(), "closed")->accessDenied() || denied2.value() != 2) return 5;
        return lastPercent == 100 ? 0 : 6;
    });
    EXPECT_EQ(rc, 0);
}

TEST(ParallelTreeScan, ReadsFailingPartWayAreRolledBackAndListedOnce) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = test::independentWalk(t.path());
    int fds = test::openDescriptorCount();
    int budget = fdBudget().available();
    ParallelScanOptions o = workers(4);
    o.bulkReader = test::failOnSecondRead;
    auto r = parallelScanToTree({t.path()}, o)[0];
    EXPECT_EQ(totalsOf(r), expected);
    std::string why;
    EXPECT_EQ(compareWithFileSystem(r.get(), &why), 0) << why;
    auto flat = r->flatFileList();
    EXPECT_EQ(std::set<FileNode*>(flat.begin(), flat.end()).size(), size_t(expected.files + expected.dirs));
    EXPECT_EQ(flat.size(), size_t(expected.files + expected.dirs));
    EXPECT_EQ(test::openDescriptorCount(), fds);
    EXPECT_EQ(fdBudget().available(), budget);

    SequentialScanOptions so;
    so.bulkReader = test::failOnSecondRead;
    auto s = scanToTree(t.path(), so);
    EXPECT_EQ(totalsOf(s), expected);
    EXPECT_EQ(compareWithFileSystem(s.get(), &why), 0) << why;
}

TEST(ParallelTreeScan, CancellationReturnsRolledUpPartialTreesAndEveryDescriptor) {
    TempTree t;
    for (int i = 0; i < 200; ++i) t.file(test::numbered("d", i) + "/sub/f", 10);
    int fds = test::openDescriptorCount();
    int budget = fdBudget().available();
    std::atomic<int> asked{0};
    std::vector<ScanProgress> reports;
    std::mutex m;
    ParallelScanOptions o = workers(8);
    o.isCancelled = [&] { return ++asked > 40; };
    o.progressCallback = [&](const ScanProgress& p) {
        std::lock_guard l(m);
        reports.push_back(p);
    };
    auto roots = parallelScanToTree({t.path()}, o);
    ASSERT_EQ(roots.size(), 1u);
    const RootRef& r = roots[0];
    EXPECT_LT(r->subFolderFileCount(), 200);
    AggregateTotals scanned{r->subFolderTotSize(), r->subFolderTotSizeAlloc(), r->subFolderFileCount(), r->subFolderDirCount()};
    EXPECT_EQ(r->aggregateSizes(), scanned);  // rolled up
    EXPECT_EQ(reports.back().percentComplete, 100);
    EXPECT_EQ(test::openDescriptorCount(), fds);
    EXPECT_EQ(fdBudget().available(), budget);
}

TEST(ParallelTreeScan, ExhaustedBudgetAndLowLimitsStillReadEverything) {
    TempTree t;
    buildMixedTree(t);
    WalkCounts expected = test::independentWalk(t.path());
    int taken = 0;
    while (fdBudget().tryAcquire()) ++taken;
    EXPECT_EQ(totalsOf(parallelScanToTree({t.path()}, workers(4))[0]), expected);
    for (int i = 0; i < taken; ++i) fdBudget().release();
    int rc = test::runInChild([&] {
        rlimit rl{40, 40};
        if (setrlimit(RLIMIT_NOFILE, &rl) != 0) return 1;
        return totalsOf(parallelScanToTree({t.path()}, workers(16))[0]) == expected ? 0 : 2;
    });
    EXPECT_EQ(rc, 0);
}

TEST(ParallelTreeScan, VolumeBoundariesAndFoldersMetTwice) {
    if (!test::runningAsRoot()) GTEST_SKIP() << "mounting needs root";
    TempTree t;
    buildMixedTree(t);
    t.dir("tmpfs");
    t.dir("bind");
    int rc = test::runInChild([&] {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 0;
        if (::mount("none", t.at("tmpfs").c_str(), "tmpfs", 0, nullptr) != 0) return 0;
        if (::mount(t.at("a").c_str(), t.at("bind").c_str(), nullptr, MS_BIND, nullptr) != 0) return 0;
        t.file("tmpfs/inside", 100);
        for (auto& r : parallelScanToTree({t.path()}, workers(4))) {
            FileNode* m = find(r.get(), "tmpfs");
            if (!m || !m->isVolumeBoundary() || !m->children().empty()) return 1;
            // "a" and "bind" are one folder: whichever is met second stays empty and flagged.
            FileNode* a = find(r.get(), "a");
            FileNode* b = find(r.get(), "bind");
            if (a->isVolumeBoundary() == b->isVolumeBoundary()) return 2;
            FileNode* read = a->isVolumeBoundary() ? b : a;
            FileNode* skipped = a->isVolumeBoundary() ? a : b;
            if (!skipped->children().empty() || read->children().size() != 3) return 3;
        }
        auto seq = scanToTree(t.path(), {});
        if (!find(seq.get(), "tmpfs")->isVolumeBoundary()) return 4;
        if (find(seq.get(), "a")->isVolumeBoundary() == find(seq.get(), "bind")->isVolumeBoundary()) return 6;
        // The tmpfs on its own is read in full.
        auto inner = parallelScanToTree({t.at("tmpfs")}, workers(2));
        return inner[0]->subFolderFileCount() == 1 ? 0 : 5;
    });
    EXPECT_EQ(rc, 0);
}

TEST(SequentialTreeScan, AgreesWithTheParallelScan) {
    TempTree t;
    buildMixedTree(t);
    auto p = parallelScanToTree({t.path()}, workers(4))[0];
    std::vector<ScanProgress> reports;
    SequentialScanOptions so;
    so.progressCallback = [&](const ScanProgress& r) { reports.push_back(r); };
    auto s = scanToTree(t.path(), so);
    ASSERT_TRUE(s);
    EXPECT_EQ(totalsOf(s), totalsOf(p));
    EXPECT_FALSE(s->hasFlatFileList());
    std::map<std::string, int32_t> numbersP, numbersS;
    for (FileNode* n : allNodes(p.get())) numbersP[n->pathBytes()] = n->sortNameIndex();
    for (FileNode* n : allNodes(s.get())) numbersS[n->pathBytes()] = n->sortNameIndex();
    EXPECT_EQ(numbersP, numbersS);
    std::string why;
    EXPECT_EQ(compareWithFileSystem(s.get(), &why), 0) << why;
    EXPECT_EQ(reports.back(), (ScanProgress{s->subFolderFileCount(), s->subFolderDirCount(), s->subFolderTotSize(), 100}));

    EXPECT_EQ(scanToTree(t.at("missing"), {}), nullptr);
    auto file = scanToTree(t.at("a/one"), {});
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->isDir());
    EXPECT_EQ(file->fileSize, 100000);
    EXPECT_FALSE(file->hasFlatFileList());
}

TEST(SequentialTreeScan, DeepTreesHoldOneDescriptorAtATime) {
    TempTree t("/dev/shm");
    std::string deep;
    for (int i = 0; i < 2500; ++i) deep += i ? "/d" : "d";  // paths far beyond PATH_MAX
    // Made with openat, one level at a time: no single path may be that long.
    int fd = ::open(t.path().c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < 2500; ++i) {
        ::mkdirat(fd, "d", 0755);
        int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    ::close(::openat(fd, "leaf", O_CREAT | O_WRONLY, 0644));
    ::close(fd);
    int base = test::openDescriptorCount();
    int most = 0;
    SequentialScanOptions so;
    so.isCancelled = [&] {
        most = std::max(most, test::openDescriptorCount() - base);
        return false;
    };
    auto s = scanToTree(t.path(), so);
    EXPECT_EQ(s->subFolderDirCount(), 2500);
    EXPECT_EQ(s->subFolderFileCount(), 1);
    EXPECT_LE(most, 2);
    auto p = parallelScanToTree({t.path()}, workers(4))[0];
    EXPECT_EQ(p->subFolderDirCount(), 2500);
    EXPECT_EQ(p->subFolderFileCount(), 1);
    // With no descriptor slots every level is opened by its (too long) path.
    int taken = 0;
    while (fdBudget().tryAcquire()) ++taken;
    auto q = parallelScanToTree({t.path()}, workers(2))[0];
    for (int i = 0; i < taken; ++i) fdBudget().release();
    EXPECT_EQ(q->subFolderFileCount(), 1);
}
