#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"
#include "TestTrees.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using zelvane::fixtures::TempDir;
using zelvane::fixtures::loadTreeFromDisk;
using zelvane::fixtures::writeFile;

namespace {

std::map<std::string, ExtensionStats> byExt(const std::vector<ExtensionStats>& rows) {
    std::map<std::string, ExtensionStats> m;
    for (const auto& r : rows) EXPECT_TRUE(m.emplace(r.ext, r).second) << "duplicate row " << r.ext;
    return m;
}

int64_t allocOf(const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(lstat(p.c_str(), &st), 0);
    return int64_t(st.st_blocks) * 512;
}

}  // namespace

TEST(ExtensionStats, TotalsPerExtensionOnARealTree) {
    TempDir dir;
    writeFile(dir / "music/a.mp3", 1000);
    writeFile(dir / "music/b.MP3", 30000);
    ASSERT_EQ(link((dir / "music/b.MP3").c_str(), (dir / "music/c.mp3").c_str()), 0);
    writeFile(dir / "README", 10);
    writeFile(dir / ".bashrc", 5);
    writeFile(dir / "deep/er/archive.tar.gz", 700);
    writeFile(dir / "trailing.", 3);
    std::filesystem::create_directories(dir / "empty/folder.zip");

    writeFile(dir / "music/gone.ogg", 77);

    RootRef root = loadTreeFromDisk(dir.path());
    // A folder and a file deleted since the scan no longer count, as they no longer count in
    // their folders: the rows add up to the tree's totals after the deletion.
    FileNode* music = zelvane::fixtures::childNamed(root.get(), "music");
    for (FileNode* node : {zelvane::fixtures::childNamed(root.get(), "deep"), zelvane::fixtures::childNamed(music, "gone.ogg")}) {
        ASSERT_NE(node, nullptr);
        ASSERT_TRUE(node->flagDeletedRecursively());
        node->subtractContributionFromAncestors();
    }

    auto result = computeExtensionStats(std::span<const RootRef>(&root, 1), true, {});
    auto rows = byExt(result.all);
    ASSERT_EQ(rows.size(), 3u);

    const ExtensionStats& mp3 = rows.at("mp3");
    EXPECT_EQ(mp3.totalSize, 1000 + 30000 + 30000);
    EXPECT_EQ(mp3.fileCount, 3);
    // The second name of the hard-linked file adds its size but no allocated space.
    EXPECT_EQ(mp3.totalAlloc, allocOf(dir / "music/a.mp3") + allocOf(dir / "music/b.MP3"));

    const ExtensionStats& none = rows.at("");
    EXPECT_EQ(none.totalSize, 10 + 3);
    EXPECT_EQ(none.fileCount, 2);
    EXPECT_EQ(rows.at("bashrc").totalSize, 5);
    EXPECT_EQ(rows.count("gz"), 0u);
    EXPECT_EQ(rows.count("ogg"), 0u);
    // An empty folder adds nothing, whatever its name.
    EXPECT_EQ(rows.count("zip"), 0u);

    int64_t sum = 0;
    for (const auto& r : result.all) sum += r.totalSize;
    EXPECT_EQ(sum, root->effectiveSize());

    // By size: the largest allocated total gets slot 0.
    EXPECT_EQ(result.colorRank.at("mp3"), 0);
    EXPECT_EQ(result.colorRank.size(), 3u);

    // By lists: the stored lists decide, whatever the tree holds.
    auto byLists = computeExtensionStats(std::span<const RootRef>(&root, 1), false, {"gz", "mp3,png"});
    EXPECT_EQ(byLists.all.size(), 3u);
    EXPECT_EQ(byLists.colorRank.at("gz"), 0);
    EXPECT_EQ(byLists.colorRank.at("png"), 1);
    EXPECT_EQ(byLists.colorRank.count(""), 0u);
}

TEST(ExtensionStats, NothingToCount) {
    EXPECT_TRUE(computeExtensionStats(std::span<FileNode* const>(), true, {}).all.empty());
    TempDir dir;
    std::filesystem::create_directories(dir / "a/b/c");
    std::filesystem::create_directories(dir / "d");
    RootRef root = loadTreeFromDisk(dir.path());
    auto result = computeExtensionStats(std::span<const RootRef>(&root, 1), true, {});
    EXPECT_TRUE(result.all.empty());
    EXPECT_TRUE(result.colorRank.empty());
    EXPECT_TRUE(colorRankBySize({}).empty());
}

TEST(ExtensionStats, RankBySizeTakesTwelveLargestAllocatedAndKeepsTieOrder) {
    std::vector<ExtensionStats> rows;
    for (int i = 0; i < 14; ++i) {
        std::string ext(1, 'e');
        ext += std::to_string(i);
        rows.push_back({ext, /*totalSize=*/1000 - i, /*totalAlloc=*/int64_t(i) * 10, 1});
    }
    rows.push_back({"tieA", 0, 55, 1});
    rows.push_back({"tieB", 999999, 55, 1});  // logical size does not matter
    rows.push_back({"", 0, 1000, 1});

    ColorRank rank = colorRankBySize(rows);
    EXPECT_EQ(rank.size(), 12u);
    EXPECT_EQ(rank.at(""), 0);
    EXPECT_EQ(rank.at("e13"), 1);
    EXPECT_EQ(rank.at("e6"), 8);
    // Equal allocated totals keep their input order.
    EXPECT_EQ(rank.at("tieA"), 9);
    EXPECT_EQ(rank.at("tieB"), 10);
    EXPECT_EQ(rank.at("e5"), 11);
    EXPECT_EQ(rank.count("e4"), 0u);
}

TEST(ExtensionStats, FastExtensionMatchesTheNodesOwnForHostileNames) {
    testsupport::TreeBuilder tree;
    std::string buffer;
    for (const char* name : {"a.TXT", "noext", "trailing.", ".hidden", "x.y.Z", "Ünï.ÄÖ", "x.\xC4\xB0",
                             "x.\xCE\xA3\xCE\x91\xCE\xA3", "quote\".C,SV", "tab\t.Tab", ".", "..", "a..",
                             "1.2.3.TAR"}) {
        FileNode* n = tree.loose(name, false, 1, 1);
        EXPECT_EQ(detectedExtensionInto(*n, buffer), n->detectedExtension()) << name;
    }
    // Bytes that are not UTF-8 stay themselves (ASCII letters beside them still lower-cased), so
    // two such extensions never merge into one U+FFFD row.
    for (const auto& [name, ext] : std::vector<std::pair<std::string, std::string>>{
             {"f.\xff\xfe", "\xff\xfe"}, {"g.\xfe\xff", "\xfe\xff"}, {"h.A\xe9", "a\xe9"}}) {
        FileNode* n = tree.loose(name, false, 1, 1);
        EXPECT_EQ(detectedExtensionInto(*n, buffer), ext);
    }
}

// A tree big enough to be counted on several threads: files at every level (some counted on the
// way down to the subtrees the threads take), one deleted folder deep inside, and extensions
// whose totals tie. The totals are those of the files, and two counts agree row for row.
TEST(ExtensionStats, ManyThreadsCountEveryFileOnce) {
    TempDir dir;
    const char* const exts[] = {"txt", "JPG", "jpg", "", "tar.gz", "mp3"};
    std::map<std::string, ExtensionStats> expected;
    int made = 0;
    auto make = [&](const std::filesystem::path& folder, int n) {
        std::filesystem::create_directories(folder);
        for (int i = 0; i < n; ++i, ++made) {
            const std::string ext = exts[made % 6];
            const std::string name = "f" + std::to_string(made) + (ext.empty() ? "" : "." + ext);
            const int64_t size = 1 + made % 6;  // jpg and JPG add up to one row; "" and txt tie in count
            int fd = ::open((folder / name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::ftruncate(fd, size), 0);
            ::close(fd);
            if (folder.filename() == "gone") continue;
            std::string key = ext == "tar.gz" ? "gz" : ext == "JPG" ? "jpg" : ext;
            ExtensionStats& row = expected[key];
            row.ext = key;
            row.totalSize += size;
            row.fileCount += 1;
        }
    };
    make(dir.path(), 7);
    for (int a = 0; a < 6; ++a) {
        make(dir / ("a" + std::to_string(a)), 3);
        for (int b = 0; b < 30; ++b) make(dir / ("a" + std::to_string(a)) / ("b" + std::to_string(b)), 100);
    }
    make(dir / "a2/b7/gone", 300);

    RootRef root = loadTreeFromDisk(dir.path());
    FileNode* gone = zelvane::fixtures::childNamed(zelvane::fixtures::childNamed(zelvane::fixtures::childNamed(root.get(), "a2"), "b7"), "gone");
    ASSERT_NE(gone, nullptr);
    ASSERT_TRUE(gone->flagDeletedRecursively());
    gone->subtractContributionFromAncestors();

    auto first = computeExtensionStats(std::span<const RootRef>(&root, 1), true, {});
    auto rows = byExt(first.all);
    ASSERT_EQ(rows.size(), expected.size());
    for (const auto& [key, want] : expected) {
        ASSERT_EQ(rows.count(key), 1u) << key;
        EXPECT_EQ(rows.at(key).totalSize, want.totalSize) << key;
        EXPECT_EQ(rows.at(key).fileCount, want.fileCount) << key;
    }
    for (int run = 0; run < 3; ++run) {
        auto again = computeExtensionStats(std::span<const RootRef>(&root, 1), true, {});
        EXPECT_EQ(again.all, first.all);
        EXPECT_EQ(again.colorRank, first.colorRank);
    }
}

// What a scan counts as its workers read each folder is what the walk over its finished trees
// counts: a folder root read by eight workers (hard links, whose blocks the first sighting
// counts, names without a dot or with one at either end, upper case, letters beyond ASCII and
// bytes that are not UTF-8, excluded entries) and a file given as a root of its own.
TEST(ExtensionStats, AScanCountsWhatTheWalkOverItsTreesCounts) {
    TempDir dir;
    const std::vector<std::string> names = {"a.TXT", "b.txt", "noext", ".hidden", "trailing.", "x.y.Gz", "f.\xC3\x84\xC3\x96",
                                            "g.\xff\xfe", "h.A\xe9", "skip.me", "1.2.3.TAR", "p.png", "eight.ABCDEFGH",
                                            "nine.abcdefghI", "x.\xCE\xA3\xCE\x91"};
    for (int d = 0; d < 60; ++d) {
        const std::filesystem::path folder = dir / "tree" / ("d" + std::to_string(d % 7)) / ("e" + std::to_string(d));
        for (size_t i = 0; i < names.size(); ++i) writeFile(folder / (std::to_string(d) + names[i]), int64_t(10 + d * 13 + i * 4097));
    }
    writeFile(dir / "tree/top.PNG", 12345);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(::link((dir / "tree/d0/e0/0a.TXT").c_str(), (dir / ("tree/d" + std::to_string(i % 7)) / ("link" + std::to_string(i) + ".txt")).c_str()), 0);
    writeFile(dir / "alone.Md", 777);

    ParallelScanOptions options;
    options.workerCount = 8;
    bool fullPath = false;
    options.excludeFilters = decodeFilterText(std::string_view("*.me"), fullPath);
    options.excludeFullPath = fullPath;
    ScanExtensionCounter counter;
    options.folderEntries = &counter;
    const std::vector<RootRef> roots = parallelScanToTree({(dir / "tree").string(), (dir / "alone.Md").string()}, options);
    ASSERT_EQ(roots.size(), 2u);
    ASSERT_EQ(roots[0]->subFolderFileCount(), 60 * 14 + 1 + 20) << "the excluded files are not in the tree";

    const ExtensionStatsResult counted = counter.finish(true, {});
    const ExtensionStatsResult walked = computeExtensionStats(std::span<const RootRef>(roots), true, {});
    EXPECT_EQ(counted.all, walked.all);
    EXPECT_EQ(counted.colorRank, walked.colorRank);
    const auto rows = byExt(counted.all);
    EXPECT_EQ(rows.at("txt").fileCount, 60 * 2 + 20);
    EXPECT_EQ(rows.at("md").fileCount, 1) << "the file root";
    EXPECT_EQ(rows.at("png").fileCount, 61);
    EXPECT_EQ(rows.count("me"), 0u);
    EXPECT_EQ(rows.at("\xff\xfe").fileCount, 60);
    EXPECT_EQ(rows.at("abcdefgh").fileCount, 60);
    EXPECT_EQ(rows.at("abcdefghi").fileCount, 60);
    // Row for row what each file's own extension says (which shows bytes that are not UTF-8 as
    // U+FFFD: those two rows are looked at above).
    std::map<std::string, int64_t> own;
    std::vector<const FileNode*> stack(roots[0]->children().begin(), roots[0]->children().end());
    while (!stack.empty()) {
        const FileNode* n = stack.back();
        stack.pop_back();
        if (n->isDir()) stack.insert(stack.end(), n->children().begin(), n->children().end());
        else if (n->detectedExtension().find("\xEF\xBF\xBD") == std::string::npos) ++own[n->detectedExtension()];
    }
    own["md"] += 1;
    ASSERT_EQ(own.size() + 2, rows.size());
    for (const auto& [ext, count] : own) EXPECT_EQ(rows.count(ext) ? rows.at(ext).fileCount : -1, count) << ext;
    int64_t alloc = 0;
    for (const ExtensionStats& row : counted.all) alloc += row.totalAlloc;
    EXPECT_EQ(alloc, roots[0]->subFolderTotSizeAlloc() + roots[1]->allocSize) << "every link's blocks once";
}
