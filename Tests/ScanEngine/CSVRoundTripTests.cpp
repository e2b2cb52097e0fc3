// Scan, export, import: the two halves of the format checked against each other on real folders.
#include <gtest/gtest.h>
#include <sys/time.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ScanEngine/Interchange/CSVExporter.hpp"
#include "ScanEngine/Interchange/CSVImporter.hpp"
#include "CSVTestSupport.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using namespace zelvane::testing;

namespace {

RootRef scan(const std::string& path) {
    ParallelScanOptions options;
    options.workerCount = 4;
    auto roots = parallelScanToTree({path}, options);
    return roots.empty() ? nullptr : roots[0];
}

void makeFile(const std::string& path, size_t size, time_t mtime) {
    writeFile(path, std::string(size, 'x'));
    struct timeval tv[2] = {{mtime, 0}, {mtime, 0}};
    utimes(path.c_str(), tv);
}

// Names a spreadsheet or a naive parser would trip over, all legal on Linux.
const std::vector<std::string> kHostileNames = {
    "quote\"inside", "\"leading-quote", "trailing-quote\"", "\"\"", "comma,name", "tab\tname", "new\nline",
    "cr\rname", "crlf\r\nname", "ends-in-newline\n", "\n", "bad\xff\xfe" "bytes", "latin1-\xe9t\xe9",
    "surrogate-\xed\xb2\x80", "rtl-\u05e9\u05dc\u05d5\u05dd", "combining-e\u0301", " leading space", "trailing space ",
    "back\\slash", "ends-in-dot.", "...", ".hidden", "emoji-\U0001F680", std::string(255, 'L'), "-,\"\t\n,\"-",
};

// Builds the tree: hostile names as files and as folders, hard links across folders, an empty
// folder, a symbolic link and a chain of 300 folders.
void makeHostileTree(const std::string& root) {
    time_t t = 1700000000;
    for (const std::string& n : kHostileNames) makeFile(root + "/" + n, n.size(), t++);
    mkdir((root + "/dirs").c_str(), 0755);
    for (const std::string& n : kHostileNames) {
        std::string d = root + "/dirs/" + n;
        mkdir(d.c_str(), 0755);
        makeFile(d + "/inner " + n.substr(0, 8), 3, t++);
    }
    mkdir((root + "/links").c_str(), 0755);
    makeFile(root + "/links/original", 10000, t++);
    mkdir((root + "/links/other").c_str(), 0755);
    link((root + "/links/original").c_str(), (root + "/links/other/hard,link").c_str());
    link((root + "/links/original").c_str(), (root + "/dirs/quote\"inside/second link").c_str());
    mkdir((root + "/empty").c_str(), 0755);
    symlink("links/original", (root + "/symlink").c_str());
    std::string deep = root + "/deep";
    mkdir(deep.c_str(), 0755);
    for (int i = 0; i < 300; ++i) {
        deep += "/level";
        mkdir(deep.c_str(), 0755);
    }
    makeFile(deep + "/bottom", 1, t++);
}

// The node at `path` in imported trees, where absolute paths hang below a root "/".
const FileNode* findByPath(const std::vector<RootRef>& roots, const std::string& path) {
    std::vector<std::string> comps;
    size_t i = 1;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) comps.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    for (const RootRef& r : roots) {
        if (r->nameBytes() != "/") continue;
        const FileNode* n = r.get();
        for (const std::string& c : comps) {
            const FileNode* next = nullptr;
            for (const FileNode* k : n->children())
                if (k->isDir() && k->nameBytes() == c) next = k;
            if (!next) return nullptr;
            n = next;
        }
        return n;
    }
    return nullptr;
}

// Node for node: names (exact units), kinds, sizes, the counted-elsewhere flag, dates, attributes,
// totals and the order of children. File identifiers are not part of an import.
void expectSameTree(const FileNode& scanned, const FileNode& imported) {
    std::vector<std::pair<const FileNode*, const FileNode*>> stack{{&scanned, &imported}};
    size_t compared = 0;
    bool sawAttributes = false;
    while (!stack.empty()) {
        auto [a, b] = stack.back();
        stack.pop_back();
        ++compared;
        const std::string where = a->fullPath();
        if (a != &scanned) {
            ASSERT_EQ(a->name16(), b->name16()) << where;
        }
        ASSERT_EQ(a->isDir(), b->isDir()) << where;
        EXPECT_EQ(a->modifiedDateRaw, b->modifiedDateRaw) << where;
        EXPECT_EQ(a->dosAttributes, b->dosAttributes) << where;
        sawAttributes |= a->dosAttributes != 0;
        if (a->isDir()) {
            EXPECT_EQ(a->subFolderTotSize(), b->subFolderTotSize()) << where;
            EXPECT_EQ(a->subFolderTotSizeAlloc(), b->subFolderTotSizeAlloc()) << where;
            EXPECT_EQ(a->subFolderFileCount(), b->subFolderFileCount()) << where;
            EXPECT_EQ(a->subFolderDirCount(), b->subFolderDirCount()) << where;
        } else {
            EXPECT_EQ(a->fileSize, b->fileSize) << where;
            EXPECT_EQ(a->allocSize, b->allocSize) << where;
            EXPECT_EQ(a->doNotCountAllocated(), b->doNotCountAllocated()) << where;
        }
        auto ka = a->children();
        auto kb = b->children();
        ASSERT_EQ(ka.size(), kb.size()) << where;
        for (size_t i = 0; i < ka.size(); ++i) stack.push_back({ka[i], kb[i]});
    }
    EXPECT_GT(compared, 2 * kHostileNames.size() + 300);
    EXPECT_TRUE(sawAttributes) << "no node carried attributes: the round trip would not check them";
}

CSVExportOptions everything(bool tabs) { return everyColumn(tabs); }

}  // namespace

TEST(CSVRoundTrip, HostileTreeComesBackNodeForNode) {
    useTestTimeZone();
    TempDir tree;
    makeHostileTree(tree.path());
    RootRef scanned = scan(tree.path());
    ASSERT_TRUE(scanned);
    ASSERT_GT(scanned->subFolderFileCount(), 2 * int(kHostileNames.size()));

    TempDir out;
    for (bool tabs : {false, true}) {
        const std::string file = out / (tabs ? "tree.tsv" : "tree.csv");
        std::vector<RootRef> roots{scanned};
        auto capacity = [](const FileNode&) { return VolumeCapacity{1000000, 400000}; };
        ASSERT_FALSE(exportToCSV(roots, everything(tabs), false, capacity, file));
        auto imported = importFromCSV(file);
        ASSERT_FALSE(imported.error);
        EXPECT_EQ(imported.result.rowsLeftOut, 0);
        EXPECT_EQ(imported.result.driveCapacity, (VolumeCapacity{1000000, 400000}));
        const FileNode* back = findByPath(imported.result.roots, tree.path());
        ASSERT_TRUE(back) << "tabs " << tabs;
        expectSameTree(*scanned, *back);
    }
}

// Every choice of delimiter and of split names reads back as the scanned tree and nothing else:
// with split names the folder, name and extension columns carry a name's line feeds too, inside
// their quotes, and the scanned folder's own row (whose path holds the delimiters and a line feed
// here) still gives its capacities.
TEST(CSVRoundTrip, EveryDelimiterAndSplitNamesReadBackAsTheSameTreeAndNothingElse) {
    useTestTimeZone();
    TempDir tree;
    const std::string top = tree / "scanned, \"top\"\tfolder\n";
    ASSERT_EQ(mkdir(top.c_str(), 0755), 0);
    makeHostileTree(top);
    RootRef scanned = scan(top);
    ASSERT_TRUE(scanned);
    const VolumeCapacity capacity{1000000, 400000, 7000};

    TempDir out;
    for (bool tabs : {false, true}) {
        for (bool split : {false, true}) {
            SCOPED_TRACE(std::string(tabs ? "TSV" : "CSV") + (split ? ", split names" : ""));
            const std::string file = out / (tabs ? "tree.tsv" : "tree.csv");
            CSVExportOptions options = everything(tabs);
            options.splitFilename = split;
            std::vector<RootRef> roots{scanned};
            ASSERT_FALSE(exportToCSV(roots, options, false, [&](const FileNode&) { return capacity; }, file));
            auto imported = importFromCSV(file);
            ASSERT_FALSE(imported.error);
        EXPECT_EQ(imported.result.rowsLeftOut, 0);
            EXPECT_EQ(imported.result.driveCapacity, capacity);
            // One root "/", and from it one folder a level down to the scanned one.
            ASSERT_EQ(imported.result.roots.size(), 1u);
            const FileNode* back = imported.result.roots[0].get();
            for (int level = 0; back->nameBytes() != scanned->nameBytes().substr(scanned->nameBytes().rfind('/') + 1);
                 ++level) {
                ASSERT_EQ(back->childCount(), 1u) << back->fullPath();
                back = back->children()[0];
                ASSERT_LT(level, 100);
            }
            EXPECT_EQ(back, findByPath(imported.result.roots, top));
            expectSameTree(*scanned, *back);
        }
    }
}

TEST(CSVRoundTrip, FolderRowsOnlyKeepTheirTotals) {
    useTestTimeZone();
    TempDir tree;
    makeHostileTree(tree.path());
    RootRef scanned = scan(tree.path());
    ASSERT_TRUE(scanned);
    TempDir out;
    CSVExportOptions o = everything(false);
    o.exportFiles = false;
    std::vector<RootRef> roots{scanned};
    ASSERT_FALSE(exportToCSV(roots, o, false, {}, out / "folders.csv"));
    auto imported = importFromCSV(out / "folders.csv");
    ASSERT_FALSE(imported.error);
    EXPECT_EQ(imported.result.rowsLeftOut, 0);
    const FileNode* back = findByPath(imported.result.roots, tree.path());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->subFolderTotSize(), scanned->subFolderTotSize());
    EXPECT_EQ(back->subFolderTotSizeAlloc(), scanned->subFolderTotSizeAlloc());
    EXPECT_EQ(back->subFolderFileCount(), scanned->subFolderFileCount());
    EXPECT_EQ(back->subFolderDirCount(), scanned->subFolderDirCount());
}

// An export cut at a depth has folder rows with their full totals and no rows below them: read
// back, those folders keep their totals, and so do all their ancestors (the file rows above the
// cut do not make up the totals).
TEST(CSVRoundTrip, FoldersAtTheDepthCutKeepTheirTotals) {
    useTestTimeZone();
    TempDir tree;
    makeHostileTree(tree.path());
    RootRef scanned = scan(tree.path());
    ASSERT_TRUE(scanned);
    TempDir out;
    for (int depth : {1, 2, 3}) {
        CSVExportOptions o = everything(false);
        o.maxDepth = depth;
        std::vector<RootRef> roots{scanned};
        const std::string csv = out / ("cut" + std::to_string(depth) + ".csv");
        ASSERT_FALSE(exportToCSV(roots, o, false, {}, csv));
        auto imported = importFromCSV(csv);
        ASSERT_FALSE(imported.error);
        EXPECT_EQ(imported.result.rowsLeftOut, 0);
        for (const char* rel : {"", "/links", "/links/other", "/dirs", "/deep", "/deep/level", "/empty"}) {
            const std::string path = tree.path() + rel;
            const FileNode* back = findByPath(imported.result.roots, path);
            const FileNode* original = scanned.get();
            for (size_t at = 1; original && at < std::string_view(rel).size();) {
                const std::string_view r(rel);
                const size_t end = std::min(r.find('/', at), r.size());
                const std::string name(r.substr(at, end - at));
                const FileNode* next = nullptr;
                for (const FileNode* c : original->children())
                    if (c->nameBytes() == name) next = c;
                original = next;
                at = end + 1;
            }
            ASSERT_TRUE(original) << path;
            if (!back) continue;  // below the cut
            EXPECT_EQ(back->subFolderTotSize(), original->subFolderTotSize()) << depth << " " << path;
            EXPECT_EQ(back->subFolderTotSizeAlloc(), original->subFolderTotSizeAlloc()) << depth << " " << path;
            EXPECT_EQ(back->subFolderFileCount(), original->subFolderFileCount()) << depth << " " << path;
            EXPECT_EQ(back->subFolderDirCount(), original->subFolderDirCount()) << depth << " " << path;
        }
    }
}

// Whatever columns an export holds, every one of its rows reads back as a row: nothing is left
// out, and the file does not end inside one.
TEST(CSVRoundTrip, EveryOptionSetImportsWithNothingLeftOut) {
    useTestTimeZone();
    TempDir tree;
    makeHostileTree(tree.path());
    RootRef scanned = scan(tree.path());
    ASSERT_TRUE(scanned);
    const size_t nodes = size_t(1 + scanned->subFolderFileCount() + scanned->subFolderDirCount());
    TempDir out;
    std::vector<RootRef> roots{scanned};
    // Each column group alone, none and all, comma- and tab-separated, with files, folders or both.
    std::vector<unsigned> sets = {0, 0x7f};
    for (unsigned bit = 0; bit < 7; ++bit) sets.push_back(1u << bit);
    std::vector<CSVExportOptions> options;
    for (const bool tabs : {false, true})
        for (const unsigned columns : sets)
            for (const int rows : {0, 1, 2}) {
                const auto on = [&](unsigned bit) { return (columns >> bit & 1u) != 0; };
                options.push_back({.exportFiles = rows != 2, .exportFolders = rows != 1, .exportFileID = on(0),
                                   .exportDates = on(1), .exportFolderSizes = on(2), .splitFilename = on(3),
                                   .exportDriveCapacity = on(4), .exportPercentOfParent = on(5), .maxDepth = 0,
                                   .useTabDelimiter = tabs, .useUTC = on(6)});
            }
    for (size_t set = 0; set < options.size(); ++set) {
        const CSVExportOptions& o = options[set];
        SCOPED_TRACE("option set " + std::to_string(set));
        const std::string file = out / (o.useTabDelimiter ? "every.tsv" : "every.csv");
        ASSERT_FALSE(exportToCSV(roots, o, false, [](const FileNode&) { return VolumeCapacity{9000, 4000, 10}; }, file));
        const auto imported = importFromCSV(file);
        ASSERT_FALSE(imported.error);
        EXPECT_EQ(imported.result.rowsLeftOut, 0);
        EXPECT_FALSE(imported.result.endedInsideRow);
        const FileNode* back = findByPath(imported.result.roots, tree.path());
        ASSERT_TRUE(back);
        if (o.exportFiles && o.exportFolders) {
            EXPECT_EQ(size_t(1 + back->subFolderFileCount() + back->subFolderDirCount()), nodes);
        }
        EXPECT_EQ(back->subFolderTotSize(), scanned->subFolderTotSize());
    }
}

// Far deeper than a thread's stack could recurse: both halves walk iteratively.
TEST(CSVRoundTrip, ChainOfTwoHundredThousandFolders) {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/deep");
    tree.file(tree.chain(root, 200000), "f", 5, 4096);
    root->aggregateSizes();
    TempDir out;
    std::vector<FileNode*> roots{root};
    CSVExportOptions o = everything(false);
    o.exportFolders = false;  // one row of 400 KB instead of a quadratic number of bytes
    ASSERT_FALSE(exportToCSV(roots, o, false, {}, out / "deep.csv"));
    auto imported = importFromCSV(out / "deep.csv");
    ASSERT_FALSE(imported.error);
    EXPECT_EQ(imported.result.rowsLeftOut, 0);
    const FileNode* back = findByPath(imported.result.roots, "/deep");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->subFolderDirCount(), 200000);
    EXPECT_EQ(back->subFolderTotSize(), 5);
    EXPECT_EQ(back->subFolderTotSizeAlloc(), 4096);
}
