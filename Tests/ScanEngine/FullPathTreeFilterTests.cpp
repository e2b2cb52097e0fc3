#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "FilterTestTree.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Filter/FullPathTreeFilter.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using namespace zelvane::testing;

namespace {

DecodedFilter parse(std::string_view text) {
    bool fp = true;
    return decodeFilterText(text, fp, kClock);
}

// What the tree filter must return: every node of the subtree that the per-node matcher accepts.
std::vector<FileNode*> expectedFor(FileNode* start, const DecodedFilter& f, bool includeFolders, bool sizes) {
    std::vector<FileNode*> out;
    for (FileNode* n : preOrder(start))
        if (matchItemFullPath(*n, f, sizes) && (includeFolders || !n->isDir())) out.push_back(n);
    return out;
}

std::vector<std::string> relative(const RootRef& root, const std::vector<FileNode*>& nodes) {
    std::vector<std::string> out;
    const std::string prefix = root->fullPath() + "/";
    for (FileNode* n : nodes) out.push_back(n == root.get() ? "<root>" : n->fullPath().substr(prefix.size()));
    return out;
}

class TreeFilter : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string r = dir.path() + "/root";
        makeDir(r + "/My Photos/sub");
        makeDir(r + "/other");
        makeDir(r + "/photos-old");
        makeDir(r + "/proj/src/lib");
        makeDir(r + "/proj/TMP cache");
        writeFile(r + "/My Photos/a.jpg", 10);
        writeFile(r + "/My Photos/sub/b.jpg", 10);
        writeFile(r + "/other/c.jpg", 10);
        writeFile(r + "/photos-old/d", 10);
        writeFile(r + "/proj/src/main.c", 10);
        writeFile(r + "/proj/src/lib/util.c", 10);
        writeFile(r + "/proj/src/lib/util.h", 10);
        writeFile(r + "/proj/TMP cache/x.c", 10);
        writeFile(r + "/proj/notes.c", 10);
        tree = readTreeFromDisk(r);
    }

    std::vector<std::string> run(std::string_view text, bool includeFolders) {
        return relative(tree, filterTreeFullPath(*tree, parse(text), includeFolders, true));
    }

    TempDir dir;
    RootRef tree;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(TreeFilter, EmptyFilterListsTheTreeInPreOrder) {
    auto all = filterTreeFullPath(*tree, {}, true, true);
    EXPECT_EQ(all, preOrder(tree.get()));
    EXPECT_EQ(run("", false), (Names{"My Photos/a.jpg", "My Photos/sub/b.jpg", "other/c.jpg", "photos-old/d",
                                     "proj/TMP cache/x.c", "proj/notes.c", "proj/src/lib/util.c", "proj/src/lib/util.h",
                                     "proj/src/main.c"}));
}

TEST_F(TreeFilter, WordsSettleWholeSubtrees) {
    // The state set at My Photos is cleared on leaving it: the sibling photos-old is searched afresh
    // and "other" is not taken along.
    EXPECT_EQ(run("photos", true), (Names{"My Photos", "My Photos/a.jpg", "My Photos/sub", "My Photos/sub/b.jpg",
                                          "photos-old", "photos-old/d"}));
    EXPECT_EQ(run("photos", false), (Names{"My Photos/a.jpg", "My Photos/sub/b.jpg", "photos-old/d"}));
    EXPECT_EQ(run("!cache *.c", false), (Names{"proj/notes.c", "proj/src/lib/util.c", "proj/src/main.c"}));
    EXPECT_EQ(run("photos|src =files", false), (Names{"My Photos/a.jpg", "My Photos/sub/b.jpg", "photos-old/d",
                                                      "proj/src/lib/util.c", "proj/src/lib/util.h", "proj/src/main.c"}));
}

TEST_F(TreeFilter, PathPatternsVisitBelowNonMatchingFolders) {
    EXPECT_EQ(run("*/src/*.c", true), (Names{"proj/src/lib/util.c", "proj/src/main.c"}));
    EXPECT_EQ(run("src/lib/", true), (Names{"proj/src/lib/util.c", "proj/src/lib/util.h"}));
    EXPECT_EQ(run("\\/proj/[^/]+\\.c$\\", true), (Names{"proj/notes.c"}));
}

TEST_F(TreeFilter, StartingBelowTheRootSeesTheAncestors) {
    FileNode* lib = nodeAt(tree.get(), "proj/src/lib");
    ASSERT_NE(lib, nullptr);
    for (const char* text : {"proj", "src *.c", "*/src/lib/*", "\\^.*/proj/src/lib\\", "!proj", "PATHLEN>1", "lib/util"}) {
        auto f = parse(text);
        EXPECT_EQ(filterTreeFullPath(*lib, f, true, true), expectedFor(lib, f, true, true)) << text;
    }
}

// The tree filter and the per-node matcher are two roads to one answer: they must agree node for
// node on a wide and fairly deep tree of awkward names.
TEST(TreeFilterAgreement, MatchesEveryNodeLikeTheMatcher) {
    TempDir dir;
    const std::string rootPath = dir.path() + "/scan";
    const std::vector<std::string> parts = {"photos", "Photos 2023", "temp", "TEMP.old", "src", "lib", "a", "b",
                                            "Café", "😀emoji", "x.c", "y.jpg", "z.", "readme", "a.b.c", "bad\xfe"};
    std::mt19937 rng(12345);
    std::vector<std::string> folders{rootPath};
    makeDir(rootPath);
    for (int i = 0; i < 400; ++i) {
        const std::string& parent = folders[rng() % folders.size()];
        if (std::count(parent.begin(), parent.end(), '/') > 14) continue;
        std::string name = parts[rng() % parts.size()] + (rng() % 3 ? "" : "-" + parts[rng() % parts.size()]);
        std::string path = parent + "/" + name;
        if (std::filesystem::exists(std::filesystem::symlink_status(path))) continue;
        if (rng() % 3 == 0) {
            makeDir(path);
            folders.push_back(path);
        } else {
            writeFile(path, rng() % 5000, 1600000000 + long(rng() % 100000000));
        }
    }
    RootRef tree = readTreeFromDisk(rootPath);
    ASSERT_GT(preOrder(tree.get()).size(), 200u);

    // Duplicate groups for the DUPCOUNT and DUPSIZE terms.
    std::vector<FileNode*> photos;
    for (FileNode* n : preOrder(tree.get()))
        if (!n->isDir() && n->name().find(".jpg") != std::string::npos) photos.push_back(n);
    DupGroupRef group = DupGroupRef::make(photos);
    for (FileNode* n : group->members) n->setDupGroup(group.get());

    const char* filters[] = {
        "", "!", "photos", "!temp", "photos|src", "src/ *.c", "*/src/*.c", "\\a.*b\\", "=folders photos",
        "=files !temp *.jpg|*.", "S>1000 photos", "A<4k !photos", "PATHLEN>60", "NAMELEN<5 !src", "DUPCOUNT>0",
        "DUPSIZE>3000|temp", "temp cafe", "a/b|photos", "\"photos 2023\" 😀", "emoji|lib !old", ">2021-01-01 src",
        "<12:00|*.c", "*.c|*.h|*.jpg !bad", "?", "*a*b*", "scan", "!scan",
    };
    for (const char* text : filters) {
        auto f = parse(text);
        for (bool includeFolders : {true, false})
            for (bool sizes : {true, false})
                EXPECT_EQ(relative(tree, filterTreeFullPath(*tree, f, includeFolders, sizes)),
                          relative(tree, expectedFor(tree.get(), f, includeFolders, sizes)))
                    << text << " folders " << includeFolders << " sizes " << sizes;
    }
    DecodedFilter withEmptyGroup = parse("photos");
    withEmptyGroup.push_back({});
    EXPECT_TRUE(filterTreeFullPath(*tree, withEmptyGroup, true, true).empty());

    for (FileNode* n : group->members) n->setDupGroup(nullptr);
}

TEST(TreeFilterDepth, WalksTreesDeeperThanAnyStack) {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/deep");
    constexpr int kDepth = 200000;
    FileNode* marker = tree.folder(tree.chain(root, kDepth / 2), "marker");
    tree.file(tree.chain(marker, kDepth / 2 - 1), "leaf.txt", 1);

    // The word is found once, at the marker, and settles everything below it.
    EXPECT_EQ(filterTreeFullPath(*root, parse("marker"), true, true).size(), size_t(kDepth / 2 + 1));
    auto leaves = filterTreeFullPath(*root, parse("*/marker/*.txt"), true, true);
    ASSERT_EQ(leaves.size(), 1u);
    EXPECT_EQ(leaves[0]->name16(), u"leaf.txt");
    auto named = filterTreeFullPath(*root, parse("NAMELEN>5"), true, true);
    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named[1]->name(), "leaf.txt");
}
