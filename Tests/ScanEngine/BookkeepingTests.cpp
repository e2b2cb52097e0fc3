// ThreadSanitizer: the trackers and counters here are shared by scan workers.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <chrono>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "ScanEngine/Scan/AccessDeniedCounter.hpp"
#include "ScanEngine/Scan/BulkRecord.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "ScanEngine/Scan/FullDiskAccessChecker.hpp"
#include "ScanEngine/Scan/HardLinkTracker.hpp"
#include "ScanEngine/Scan/ScanProgressTracker.hpp"
#include "TestTree.hpp"
#include "ScanEngine/Scan/VolumeChecks.hpp"
#include "ScanEngine/Scan/WorkStackLocked.hpp"

using namespace zelvane;

TEST(HardLinkTracker, FirstSightingsPerIdentity) {
    HardLinkTracker t;
    EXPECT_TRUE(t.registerFirstSighting(5, 42));
    EXPECT_FALSE(t.registerFirstSighting(5, 42));
    EXPECT_TRUE(t.registerFirstSighting(6, 42));
    EXPECT_TRUE(t.registerFirstSighting(5, 0));
    EXPECT_TRUE(t.registerFirstSighting(5, 0));  // unknown identifiers always count
    uint64_t bigDev = (uint64_t(1) << 40) | 5;   // devices are never truncated
    EXPECT_TRUE(t.registerFirstSighting(bigDev, 42));
    EXPECT_EQ(t.size(), 3u);
}

TEST(HardLinkTracker, HomeDeviceAndOtherDevicesKeepTheirIdentitiesApart) {
    // The home device's identities are kept by identifier alone: the same identifier on another
    // device, or unknown, is still a sighting of its own, through every growth of the tables.
    HardLinkTracker t;
    t.setHomeDevice(7);
    for (uint64_t id = 1; id <= 5000; ++id) {
        ASSERT_TRUE(t.registerFirstSighting(7, id));
        ASSERT_TRUE(t.registerFirstSighting(8, id));
    }
    for (uint64_t id = 1; id <= 5000; ++id) {
        ASSERT_FALSE(t.registerFirstSighting(7, id));
        ASSERT_FALSE(t.registerFirstSighting(8, id));
    }
    EXPECT_TRUE(t.registerFirstSighting(7, 0));
    EXPECT_TRUE(t.registerFirstSighting(0, 1));  // device 0 is not the home device
    EXPECT_FALSE(t.registerFirstSighting(0, 1));
    EXPECT_EQ(t.size(), 10001u);
}

TEST(HardLinkTracker, EightThreadsAgreeOnEveryFirstSighting) {
    // Each identity is offered by all eight threads; exactly one of them must win it, and the
    // shards must be used evenly enough that they actually spread the work.
    HardLinkTracker t;
    t.setHomeDevice(3);
    constexpr uint64_t kIds = 200000;
    std::atomic<uint64_t> wins{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < 8; ++w)
        threads.emplace_back([&, w] {
            uint64_t mine = 0;
            for (uint64_t i = 0; i < kIds; ++i) {
                uint64_t id = (i * 7919 + uint64_t(w) * 104729) % kIds + 1;
                if (t.registerFirstSighting(3, id)) ++mine;
            }
            wins += mine;
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(wins.load(), kIds);
    EXPECT_EQ(t.size(), kIds);
    std::vector<int> perShard(HardLinkTracker::kShardCount);
    for (uint64_t i = 1; i <= 16000; ++i) ++perShard[HardLinkTracker::shardOf(3, i)];
    for (int n : perShard) EXPECT_GT(n, 500);
}

TEST(ScanProgressTracker, ThrottlesButNeverLosesCounts) {
    std::vector<ScanProgress> reports;
    ScanProgressTracker t([&](const ScanProgress& p) { reports.push_back(p); }, nullptr);
    t.record(1, 0, 10);  // the first call reports
    t.record(2, 1, 20);  // within 100 ms: only adds
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], (ScanProgress{1, 0, 10, 0}));
    t.addScore(0.999);
    std::this_thread::sleep_for(std::chrono::milliseconds(110));
    t.record(0, 0, 0);
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], (ScanProgress{3, 1, 30, 99}));
    t.addScore(0.2);
    EXPECT_EQ(t.snapshot().percentComplete, 100);
    t.reportFinal();
    EXPECT_EQ(reports.back().percentComplete, 100);
    EXPECT_FALSE(t.isCancelled());
    ScanProgressTracker quiet(nullptr, [] { return true; });
    quiet.record(1, 1, 1);
    EXPECT_TRUE(quiet.isCancelled());
}

TEST(ScanProgressTracker, ConcurrentRecordsSumExactly) {
    std::atomic<int> calls{0};
    ScanProgressTracker t([&](const ScanProgress&) { ++calls; }, nullptr);
    std::vector<std::thread> threads;
    for (int w = 0; w < 8; ++w)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) t.record(1, 2, 3);
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(t.snapshot(), (ScanProgress{80000, 160000, 240000, 0}));
    EXPECT_GE(calls.load(), 1);
}

TEST(AccessDeniedCounter, KeepsEveryRecordInOrderAcrossThreads) {
    AccessDeniedCounter c;
    EXPECT_EQ(c.value(), 0u);
    EXPECT_TRUE(c.allPaths().empty());
    c.record("/a");
    c.record("/a");
    EXPECT_EQ(c.allPaths(), (std::vector<std::string>{"/a", "/a"}));
    std::vector<std::thread> threads;
    for (int w = 0; w < 8; ++w)
        threads.emplace_back([&, w] {
            for (int i = 0; i < 500; ++i) c.record("/w" + std::to_string(w) + "/" + std::to_string(i));
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(c.value(), 4002u);
    auto all = c.allPaths();
    EXPECT_EQ(std::set<std::string>(all.begin() + 2, all.end()).size(), 4000u);
}

TEST(VolumeChecks, BoundariesAndPaths) {
    test::TempTree t;
    t.dir("a/b");
    auto root = statPath(t.path());
    ASSERT_TRUE(root);
    auto container = containerDiskID(t.path());
    EXPECT_FALSE(isDifferentVolume(t.at("a/b"), root->dev, container));
    EXPECT_TRUE(isDifferentVolume(t.at("missing"), root->dev, container));
    EXPECT_TRUE(isDifferentVolume("/proc", root->dev, std::nullopt));   // proc: another device
    EXPECT_TRUE(isDifferentVolume("/proc", root->dev, container));      // and no container
    EXPECT_FALSE(containerDiskID("/proc"));
    if (auto m = mountEntryForPath(t.path()); m && m->source.rfind("/dev/", 0) == 0) {
        ASSERT_TRUE(container);
        // Another device in the root's container is read as part of the scan.
        EXPECT_FALSE(isDifferentVolume(t.at("a"), root->dev + 1, container));
    }
    EXPECT_FALSE(isKnownAlwaysProtectedPath("/root"));
    EXPECT_FALSE(isKnownAlwaysProtectedPath("/no/such"));

    EXPECT_EQ(standardizePath("/System//Volumes/./Data/"), "/System/Volumes/Data");
    EXPECT_EQ(standardizePath("/System/Volumes/x/../Data"), "/System/Volumes/Data");
    EXPECT_EQ(standardizePath("/../a"), "/a");
    EXPECT_EQ(standardizePath("a/../../b"), "../b");
    EXPECT_EQ(standardizePath("/"), "/");
    EXPECT_TRUE(isDataVolumeMirror("/System/Volumes", "Data"));
    EXPECT_TRUE(isDataVolumeMirror("/System/Volumes/", "Data"));
    EXPECT_TRUE(isDataVolumeMirror("/System/x/../Volumes", "Data"));
    EXPECT_FALSE(isDataVolumeMirror("/System/Volumes", "data"));
    EXPECT_FALSE(isDataVolumeMirror("/Other/Volumes", "Data"));
}

TEST(FullDiskAccessChecker, GrantedOutsideSandboxes) { EXPECT_TRUE(FullDiskAccessChecker::hasFullDiskAccess()); }

namespace {

// A record with the given masks followed by raw field bytes, then a name.
std::vector<std::byte> makeRecord(uint32_t common, uint32_t file, std::vector<uint8_t> fields, std::string name,
                                  int32_t nameOffsetDelta = 0, uint32_t lengthOverride = 0) {
    std::vector<std::byte> r(4 + 20);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(r.data() + at, &v, 4); };
    put32(4, common);
    put32(16, file);
    size_t refAt = r.size();
    if (common & ATTR_CMN_NAME) r.resize(r.size() + 8);
    for (uint8_t b : fields) r.push_back(std::byte(b));
    if (common & ATTR_CMN_NAME) {
        int32_t off = int32_t(r.size() - refAt) + nameOffsetDelta;
        uint32_t len = uint32_t(name.size() + 1);
        std::memcpy(r.data() + refAt, &off, 4);
        std::memcpy(r.data() + refAt + 4, &len, 4);
        for (char c : name) r.push_back(std::byte(c));
        r.push_back(std::byte{0});
    }
    put32(0, lengthOverride ? lengthOverride : uint32_t(r.size()));
    return r;
}

}  // namespace

TEST(BulkRecord, MalformedRecordsAreRefused) {
    const uint32_t nameType = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_OBJTYPE;
    std::vector<uint8_t> dirType = {2, 0, 0, 0};
    BulkRecord r;
    auto good = makeRecord(nameType, 0, dirType, "ok");
    ASSERT_EQ(readBulkRecord({good.data(), good.size()}, r), good.size());
    EXPECT_EQ(r.name, "ok");
    EXPECT_TRUE(r.isDir());

    struct Case {
        const char* what;
        std::vector<std::byte> bytes;
        size_t room;
    };
    auto withSize = makeRecord(nameType, ATTR_FILE_TOTALSIZE, {1, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}, "f");
    std::vector<Case> cases = {
        {"huge length", makeRecord(nameType, 0, dirType, "x", 0, 0xFFFFFFFF), 0},
        {"length 0", makeRecord(nameType, 0, dirType, "x", 0, 0), 0},
        {"shorter than the header", makeRecord(nameType, 0, dirType, "x", 0, 8), 0},
        {"longer than the room", good, good.size() - 1},
        {"name outside the record", makeRecord(nameType, 0, dirType, "x", 400), 0},
        {"name before the reference", makeRecord(nameType, 0, dirType, "x", -40), 0},
        {"fields past the length", makeRecord(nameType, ATTR_FILE_TOTALSIZE, {1, 0, 0, 0}, "", 0, 30), 0},
        {"unknown attribute bit", makeRecord(nameType | 0x4, 0, dirType, "x"), 0},
        {"volume attributes", [&] { auto b = good; b[8] = std::byte{1}; return b; }(), 0},
        {"size cut short", [&] { auto b = withSize; uint32_t l = 24 + 8 + 4 + 4; std::memcpy(b.data(), &l, 4); return b; }(), 0},
    };
    // A length word of 0 would never advance.
    std::memset(cases[1].bytes.data(), 0, 4);
    for (auto& c : cases) {
        size_t room = c.room ? c.room : c.bytes.size();
        EXPECT_EQ(readBulkRecord({c.bytes.data(), room}, r), 0u) << c.what;
    }
    // A name without its terminating NUL inside its stated length.
    auto noNul = good;
    uint32_t len = 2;  // "ok" without the NUL
    std::memcpy(noNul.data() + 24 + 4, &len, 4);
    EXPECT_EQ(readBulkRecord({noNul.data(), noNul.size()}, r), 0u);
}

TEST(BulkRecord, RandomCorruptionNeverReadsOutside) {
    // Every byte of a valid record flipped in turn: the reader either refuses or stays inside.
    auto base = makeRecord(ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_OBJTYPE | ATTR_CMN_FILEID,
                           ATTR_FILE_TOTALSIZE, {1, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}, "name");
    for (size_t i = 0; i < base.size(); ++i)
        for (uint8_t v : {0x00, 0x7f, 0x80, 0xff}) {
            auto b = base;
            b[i] = std::byte(v);
            std::vector<std::byte> exact(b.begin(), b.end());  // ASan sees any read past the end
            BulkRecord r;
            size_t n = readBulkRecord({exact.data(), exact.size()}, r);
            EXPECT_LE(n, exact.size());
            if (n && r.hasName) {
                EXPECT_GE(reinterpret_cast<const std::byte*>(r.name.data()), exact.data());
                EXPECT_LE(reinterpret_cast<const std::byte*>(r.name.data() + r.name.size()), exact.data() + n);
            }
        }
}

// Eight workers walk a generated tree of work items through the stack, each ending its items in
// turn by the three ways the scanners use (queue and wait, queue and keep one, queue and take the
// next at once): every item is taken exactly once, and every worker ends once all work is done,
// also when the last items end with nothing left to take.
TEST(WorkStackLocked, EveryItemOnceAndEveryWorkerEndsWhateverWayItemsEnd) {
    struct Item {
        int depth;
        int id;
    };
    constexpr int kDepth = 7;
    constexpr int kFanOut = 4;
    int expected = 0;
    for (int d = 0, n = 1; d <= kDepth; ++d, n *= kFanOut) expected += n;
    for (int round = 0; round < 20; ++round) {
        WorkStackLocked<Item> stack;
        stack.push({0, 0});
        std::atomic<int> nextId{1};
        std::vector<std::atomic<int>> taken(size_t(expected) + 1);
        std::vector<std::thread> workers;
        for (int w = 0; w < 8; ++w) {
            workers.emplace_back([&, w] {
                int turn = w;
                while (auto first = stack.pop()) {
                    std::optional<Item> item = first;
                    while (item) {
                        taken[size_t(item->id)].fetch_add(1);
                        std::vector<Item> children;
                        if (item->depth < kDepth)
                            for (int c = 0; c < kFanOut; ++c) children.push_back({item->depth + 1, nextId.fetch_add(1)});
                        switch (turn++ % 3) {
                        case 0:
                            stack.complete(children);
                            item.reset();
                            break;
                        case 1:
                            if (children.empty()) {
                                stack.complete();
                                item.reset();
                            } else {
                                Item kept = children.back();
                                children.pop_back();
                                stack.completeAndKeepOne(children);
                                item = kept;
                            }
                            break;
                        default:
                            item = stack.completeAndTakeNext(children);
                        }
                    }
                }
            });
        }
        for (auto& t : workers) t.join();
        ASSERT_EQ(nextId.load(), expected);
        for (int i = 0; i < expected; ++i) ASSERT_EQ(taken[size_t(i)].load(), 1) << "item " << i << ", round " << round;
    }
}
