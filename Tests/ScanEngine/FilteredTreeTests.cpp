#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Scan/ParallelTreeScan.hpp"
#include "TestTree.hpp"
#include "ScanEngine/Scan/TreeScan.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using zelvane::test::TempTree;
using zelvane::testsupport::preOrder;

namespace {

DecodedFilter filter(const char* text, bool* fullpathOut = nullptr) {
    bool fp = false;
    DecodedFilter f = decodeFilterText(std::string_view(text), fp);
    if (fullpathOut) *fullpathOut = fp;
    return f;
}

std::set<std::string> paths(FileNode* root) {
    std::set<std::string> s;
    for (FileNode* n : preOrder(root))
        if (n != root) s.insert(n->fullPath().substr(root->fullPath().size()));
    return s;
}

FileNode* find(FileNode* root, const std::string& rel) {
    for (FileNode* n : preOrder(root))
        if (n->fullPath() == root->fullPath() + "/" + rel) return n;
    return nullptr;
}

class FilteredTree : public ::testing::Test {
protected:
    void SetUp() override {
        t.file("pics/a.jpg", 100);
        t.file("pics/b.txt", 50);
        t.dir("pics/empty");
        t.file("pics/sub/c.JPG", 7);
        t.file("docs/d.txt", 1);
        t.file("docs/photos/inside.txt", 3);
        t.file("skipme/e.jpg", 9);
        t.file("one", 0);
        int fd = ::open(t.at("one").c_str(), O_WRONLY);
        ASSERT_EQ(::write(fd, "x", 1), 1);
        ::close(fd);
        t.hardlink("one", "docs/one-again");
        ParallelScanOptions o;
        o.workerCount = 3;
        root = parallelScanToTree({t.path()}, o)[0];
    }
    TempTree t;
    RootRef root;
};

}  // namespace

TEST_F(FilteredTree, WithoutFiltersCopiesEverythingAndSharesNothing) {
    auto copy = loadFilteredTree(*root, {});
    EXPECT_EQ(paths(copy.get()), paths(root.get()));
    EXPECT_EQ(copy->subFolderTotSize(), root->subFolderTotSize());
    EXPECT_EQ(copy->subFolderTotSizeAlloc(), root->subFolderTotSizeAlloc());  // the marked link stays marked
    EXPECT_EQ(copy->subFolderFileCount(), root->subFolderFileCount());
    EXPECT_EQ(copy->subFolderDirCount(), root->subFolderDirCount());
    auto source = preOrder(root.get());
    std::set<FileNode*> sourceSet(source.begin(), source.end());
    auto copied = preOrder(copy.get());
    for (FileNode* n : copied) EXPECT_EQ(sourceSet.count(n), 0u);
    // The flat list: every node below the root once, each folder after everything below it.
    auto flat = copy->flatFileList();
    EXPECT_EQ(std::set<FileNode*>(flat.begin(), flat.end()).size(), copied.size() - 1);
    EXPECT_EQ(flat.size(), copied.size() - 1);
    std::set<FileNode*> seen;
    for (FileNode* n : flat) {
        for (FileNode* c : n->children()) EXPECT_TRUE(seen.count(c)) << n->fullPath();
        seen.insert(n);
    }
    EXPECT_EQ(copy->sortNameIndex(), 0);
    EXPECT_EQ(copy->name(), root->name());
    EXPECT_EQ(copy->fileID, root->fileID);
    EXPECT_EQ(find(copy.get(), "pics/a.jpg")->modifiedDateRaw, find(root.get(), "pics/a.jpg")->modifiedDateRaw);
}

TEST_F(FilteredTree, IncludeAndExcludeDecideWhatSurvives) {
    auto jpg = filter("*.jpg");
    auto onlyJpg = loadFilteredTree(*root, {&jpg, false, nullptr, false});
    EXPECT_EQ(paths(onlyJpg.get()), (std::set<std::string>{"/pics", "/pics/a.jpg", "/pics/sub", "/pics/sub/c.JPG",
                                                           "/skipme", "/skipme/e.jpg"}));
    EXPECT_EQ(find(onlyJpg.get(), "pics")->subFolderTotSize(), 107);

    // A folder that matches by name stays, even empty.
    auto photos = filter("photos");
    auto named = loadFilteredTree(*root, {&photos, false, nullptr, false});
    EXPECT_EQ(paths(named.get()), (std::set<std::string>{"/docs", "/docs/photos"}));

    // An excluded folder goes with everything below it, matches of the include filter too.
    auto skip = filter("skipme");
    auto both = loadFilteredTree(*root, {&jpg, false, &skip, false});
    EXPECT_EQ(find(both.get(), "skipme"), nullptr);
    EXPECT_NE(find(both.get(), "pics/a.jpg"), nullptr);

    // Full-path include: the word matches through an ancestor's name.
    bool fp = false;
    auto inPics = filter("pics/sub", &fp);
    auto viaPath = loadFilteredTree(*root, {&inPics, fp, nullptr, false});
    EXPECT_NE(find(viaPath.get(), "pics/sub/c.JPG"), nullptr);
    EXPECT_EQ(find(viaPath.get(), "pics/a.jpg"), nullptr);
}

// An exclude filter without any term (empty, spaces, bars) excludes nothing, after the scan and
// during it, as an empty include filter keeps everything.
TEST_F(FilteredTree, ExcludeFiltersWithoutTermsExcludeNothing) {
    for (const char* text : {"", "   ", "|", " | ", "||"}) {
        const DecodedFilter none = filter(text);
        FilteredTreeOptions o;
        o.excludeFilters = &none;
        o.includeFilters = &none;
        auto copy = loadFilteredTree(*root, o);
        EXPECT_EQ(paths(copy.get()), paths(root.get())) << '"' << text << '"';
        EXPECT_EQ(copy->subFolderTotSize(), root->subFolderTotSize()) << '"' << text << '"';

        ParallelScanOptions scanOptions;
        scanOptions.workerCount = 2;
        scanOptions.excludeFilters = none;
        auto scanned = parallelScanToTree({t.path()}, scanOptions);
        ASSERT_EQ(scanned.size(), 1u);
        EXPECT_EQ(paths(scanned[0].get()), paths(root.get())) << '"' << text << '"';
    }
}

// "one" and "docs/one-again" are one inode: its blocks count once. Whichever link the filter
// drops, the copy's allocated total still holds them once.
TEST_F(FilteredTree, TheBlocksOfAHardLinkedFileCountOnceWhicheverLinkSurvives) {
    const int64_t blocks = find(root.get(), "one")->allocSize;
    ASSERT_GT(blocks, 0);
    const auto countedAlloc = [](FileNode* copy) {
        int64_t sum = 0;
        for (FileNode* n : preOrder(copy))
            if (!n->isDir() && !n->doNotCountAllocated()) sum += n->allocSize;
        return sum;
    };
    for (const char* keep : {"one-again", "*one"}) {
        const DecodedFilter include = filter(keep);
        FilteredTreeOptions o;
        o.includeFilters = &include;
        auto copy = loadFilteredTree(*root, o);
        EXPECT_EQ(paths(copy.get()).size(), keep[0] == '*' ? 1u : 2u) << keep;
        EXPECT_EQ(copy->subFolderTotSizeAlloc(), blocks) << keep;
        EXPECT_EQ(countedAlloc(copy.get()), blocks) << keep;
    }
    // Both links kept: still counted once.
    const DecodedFilter both = filter("one");
    FilteredTreeOptions o;
    o.includeFilters = &both;
    auto copy = loadFilteredTree(*root, o);
    EXPECT_EQ(copy->subFolderTotSizeAlloc(), blocks);
    // Dropping the folder that holds one of them, by exclusion.
    const DecodedFilter docs = filter("docs");
    FilteredTreeOptions e;
    e.excludeFilters = &docs;
    auto withoutDocs = loadFilteredTree(*root, e);
    EXPECT_EQ(countedAlloc(withoutDocs.get()), withoutDocs->subFolderTotSizeAlloc());
    EXPECT_TRUE(find(withoutDocs.get(), "one"));
    EXPECT_FALSE(find(withoutDocs.get(), "one")->doNotCountAllocated());
}

TEST_F(FilteredTree, FlagsAndDeletedNodes) {
    FileNode* empty = find(root.get(), "pics/empty");
    empty->setIsVolumeBoundary(true);
    empty->setAccessDenied(true);
    FileNode* gone = find(root.get(), "pics/b.txt");
    ASSERT_TRUE(gone->flagDeletedRecursively());
    gone->subtractContributionFromAncestors();
    FileNode* goneDir = find(root.get(), "docs/photos");
    ASSERT_TRUE(goneDir->flagDeletedRecursively());
    goneDir->subtractContributionFromAncestors();

    auto copy = loadFilteredTree(*root, {});
    FileNode* e = find(copy.get(), "pics/empty");
    ASSERT_TRUE(e);
    EXPECT_TRUE(e->isVolumeBoundary()) << "nor is a folder on another file system";
    EXPECT_TRUE(e->accessDenied()) << "a folder that could not be read is no ordinary empty one";
    // Deleted nodes do not come back with their sizes.
    EXPECT_EQ(find(copy.get(), "pics/b.txt"), nullptr);
    EXPECT_EQ(find(copy.get(), "docs/photos"), nullptr);
    EXPECT_EQ(copy->subFolderTotSize(), root->subFolderTotSize());
    EXPECT_EQ(copy->subFolderFileCount(), root->subFolderFileCount());
    EXPECT_EQ(copy->subFolderDirCount(), root->subFolderDirCount());
    for (FileNode* n : preOrder(copy.get())) EXPECT_FALSE(n->isDeleted());
}

// A folder dated by the newest date below it is dated in the copy by what survives there, with
// its own date as the floor, also in a copy of a copy; a folder that keeps its own date keeps it.
TEST_F(FilteredTree, AFolderTakesTheNewestDateOfWhatSurvivesBelowIt) {
    for (FileNode* n : preOrder(root.get())) n->modifiedDateRaw = 0;
    const auto date = [](FileNode* top, const char* rel) { return find(top, rel)->modifiedDateRaw; };
    const std::pair<const char*, int32_t> dates[] = {{"pics", 100}, {"pics/a.jpg", 500}, {"pics/b.txt", 50},
                                                    {"pics/empty", 20}, {"pics/sub", 10}, {"pics/sub/c.JPG", 900}};
    for (const auto& [rel, d] : dates) find(root.get(), rel)->modifiedDateRaw = d;
    const DecodedFilter pictures = filter("*.jpg");
    const DecodedFilter sub = filter("sub");
    const DecodedFilter first = filter("a.jpg");

    // Folders with their own dates.
    EXPECT_EQ(date(loadFilteredTree(*root, {nullptr, false, &sub, false}).get(), "pics"), 100);

    ASSERT_EQ(root->applyMaxModifiedDateToFolders(), 900.0);
    ASSERT_EQ(date(root.get(), "pics"), 900);
    auto noPictures = loadFilteredTree(*root, {nullptr, false, &pictures, false});
    EXPECT_EQ(date(noPictures.get(), "pics"), 100) << "its own date, newer than what is left";
    EXPECT_EQ(date(noPictures.get(), "pics/sub"), 10);
    EXPECT_EQ(noPictures->modifiedDateRaw, 100);
    const DecodedFilter texts = filter("*.txt");
    EXPECT_EQ(date(loadFilteredTree(*root, {&texts, false, nullptr, false}).get(), "pics"), 100);
    auto noSub = loadFilteredTree(*root, {nullptr, false, &sub, false});
    EXPECT_EQ(date(noSub.get(), "pics"), 500);
    EXPECT_EQ(noSub->modifiedDateRaw, 500);
    auto neither = loadFilteredTree(*noSub, {nullptr, false, &first, false});
    EXPECT_EQ(date(neither.get(), "pics"), 100) << "the copy keeps the folder's own date";
    EXPECT_EQ(date(loadFilteredTree(*root, {}).get(), "pics"), 900);
}

TEST_F(FilteredTree, ApplyIncludeFilterWalksInPreOrderWithoutTheRoot) {
    bool fp = false;
    auto f = filter("pics", &fp);
    auto list = applyIncludeFilter(*root, f, true);  // full path: everything below "pics"
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front()->name(), "pics");
    for (FileNode* n : list) EXPECT_NE(n, root.get());
    std::vector<std::string> names;
    for (FileNode* n : list) names.push_back(n->fullPath().substr(root->fullPath().size()));
    EXPECT_EQ(names.size(), 6u);  // pics, a.jpg, b.txt, empty, sub, c.JPG
    auto sub = std::find(names.begin(), names.end(), "/pics/sub");
    auto c = std::find(names.begin(), names.end(), "/pics/sub/c.JPG");
    EXPECT_LT(sub, c);
    auto jpg = filter("*.jpg");
    EXPECT_EQ(applyIncludeFilter(*root, jpg, false).size(), 3u);
}

TEST(FilteredTreeDeep, CopiesTreesDeeperThanAnyStack) {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/deep");
    tree.file(tree.chain(root, 200000), "leaf.txt", 42, 4096);
    root->aggregateSizes();
    auto copy = loadFilteredTree(*root, {});
    EXPECT_EQ(copy->subFolderDirCount(), 200000);
    EXPECT_EQ(copy->subFolderTotSize(), 42);
    EXPECT_EQ(copy->flatFileList().size(), 200001u);
    auto txt = filter("*.txt");
    auto filtered = loadFilteredTree(*root, {&txt, false, nullptr, false});
    EXPECT_EQ(filtered->subFolderDirCount(), 200000);  // folders holding a survivor stay
}
