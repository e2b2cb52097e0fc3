#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ScanEngine/Analysis/DuplicateDetection.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;

TEST(DuplicateDetection, CleanedNames) {
    struct Case {
        const char* name;
        const char* key;
    };
    const Case cases[] = {
        {"Report - Copy (2).txt", "report.txt"},
        {"report copy 3.TXT", "report.txt"},
        {"report copy.txt", "report.txt"},
        {"report - copy.txt", "report.txt"},
        {"photo (1).jpg", "photo.jpg"},
        {"photo (+12).jpg", "photo.jpg"},
        {"notes copy 0.txt", "notes copy 0.txt"},
        {"notes (0).txt", "notes (0).txt"},
        {"notes(2).txt", "notes(2).txt"},
        {"(1).txt", "(1).txt"},
        {" (1)", ""},
        {"a (x).txt", "a (x).txt"},
        {"a (99999999999999999999).txt", "a (99999999999999999999).txt"},
        {"archive.tar.gz", "archive.tar.gz"},
        {"archive copy.tar.gz", "archive copy.tar.gz"},
        {"archive.tar copy.gz", "archive.tar.gz"},
        {"copy copy 2.txt", "copy.txt"},
        {"x copy 2 copy 3", "x copy 2"},
        {".profile", ".profile"},
        {"Makefile copy", "makefile"},
        {"ÄRGER - KOPIE.TXT", "ärger - kopie.txt"},
        {"ÉTÉ COPY (2).PDF", "été.pdf"},
    };
    for (const Case& c : cases) EXPECT_EQ(cleanedFilenameForDupMatch(std::string_view(c.name)), c.key) << c.name;
}

namespace {

struct Files {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/r");
    std::vector<FileNode*> nodes;

    FileNode* add(const std::string& name, int64_t size, int32_t date = 100) {
        FileNode* n = tree.file(root, name, size, size, date);
        nodes.push_back(n);
        return n;
    }
};

std::vector<std::vector<FileNode*>> members(const std::vector<DupGroupRef>& groups) {
    std::vector<std::vector<FileNode*>> out;
    for (const DupGroupRef& g : groups) out.emplace_back(g->members.begin(), g->members.end());
    return out;
}

}  // namespace

TEST(DuplicateDetection, GroupsByMethod) {
    Files f;
    FileNode* a = f.add("a.txt", 5);
    FileNode* aCopy = f.add("a - Copy.txt", 5);
    FileNode* upper = f.add("A.TXT", 5, 101);
    f.add("b.txt", 5);
    f.add("b.txt", 6);
    f.add("empty", 0);
    f.add("empty", 0);
    FileNode* p1 = f.add("photo (1).jpg", 7);
    FileNode* p2 = f.add("photo (2).jpg", 7);
    FileNode* p0 = f.add("photo.jpg", 7);

    using M = std::vector<std::vector<FileNode*>>;
    EXPECT_EQ(members(detectDuplicates(f.nodes, DuplicateMethod::nameSize)), (M{{a, aCopy, upper}, {p1, p2, p0}}));
    // Same size and name, but A.TXT is one second newer.
    EXPECT_EQ(members(detectDuplicates(f.nodes, DuplicateMethod::nameSizeDate)), (M{{a, aCopy}, {p1, p2, p0}}));
    EXPECT_TRUE(detectDuplicates(f.nodes, DuplicateMethod::none).empty());
    EXPECT_TRUE(detectDuplicates({}, DuplicateMethod::nameSize).empty());
    EXPECT_EQ(duplicateMethodFromRaw(2), DuplicateMethod::nameSizeDate);
    EXPECT_FALSE(duplicateMethodFromRaw(3));
}

TEST(DuplicateDetection, RunsAreBrokenByEmptyFilesAndOtherSizes) {
    Files f;
    FileNode* x1 = f.add("x", 3);
    FileNode* x2 = f.add("x", 3);
    f.add("x", 0);
    FileNode* x4 = f.add("x", 4);
    FileNode* x5 = f.add("x", 4);
    // Sorted by size: 0, 3, 3, 4, 4; the empty file never matches and sizes split the runs.
    using M = std::vector<std::vector<FileNode*>>;
    EXPECT_EQ(members(detectDuplicates(f.nodes, DuplicateMethod::nameSize)), (M{{x1, x2}, {x4, x5}}));
}

TEST(DuplicateDetection, CanonicallyEquivalentNamesMatchAndGroupsLiveInNodes) {
    Files f;
    FileNode* composed = f.add("caf\u00e9.txt", 9);
    FileNode* decomposed = f.add("cafe\u0301.txt", 9);
    FileNode* other = f.add("cafe.txt", 9);
    auto groups = detectDuplicates(f.nodes, DuplicateMethod::nameSize);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(members(groups), (std::vector<std::vector<FileNode*>>{{composed, decomposed}}));
    for (FileNode* n : groups[0]->members) n->setDupGroup(groups[0].get());
    groups.clear();  // the members keep their group alive
    EXPECT_EQ(composed->dupCount(), 1);
    EXPECT_EQ(decomposed->dupSize(), 9);
    EXPECT_EQ(other->dupCount(), 0);
}

// Many copies of one set of files under several folders, as duplicate searches over whole disks
// meet them: every name in every folder is one group, listed oldest first, then in input order;
// the groups come in key order; a date one second off parts a copy only by date. A detection
// whose cancel flag is set gives nothing.
TEST(DuplicateDetection, CopiesAcrossFoldersGroupOldestFirstInKeyOrder) {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/r");
    std::vector<FileNode*> nodes;
    constexpr int kNames = 300;
    constexpr int kFolders = 4;
    std::vector<std::vector<FileNode*>> copies(kNames);
    for (int d = 0; d < kFolders; ++d) {
        FileNode* folder = tree.folder(root, "d" + std::to_string(d));
        for (int i = kNames - 1; i >= 0; --i) {
            // The last folder's copies are one second older: they lead their groups.
            const int32_t date = d == kFolders - 1 ? 999 : 1000;
            const std::string name = (i % 2 ? "Name" : "name") + std::to_string(i) + (d == 1 ? " copy.txt" : ".txt");
            FileNode* n = tree.file(folder, name, 100 + i % 7, 0, date);
            nodes.push_back(n);
            copies[size_t(i)].push_back(n);
        }
    }
    const auto groups = detectDuplicates(nodes, DuplicateMethod::nameSize);
    ASSERT_EQ(groups.size(), size_t(kNames));
    std::vector<std::string> keys;
    for (const DupGroupRef& g : groups) {
        ASSERT_EQ(g->members.size(), size_t(kFolders));
        keys.push_back(cleanedFilenameForDupMatch(g->members[0]->name()));
        const auto& expected = copies[size_t(std::stoi(keys.back().substr(4)))];
        EXPECT_EQ(g->members.front(), expected.back());  // the oldest
        EXPECT_TRUE(std::equal(g->members.begin() + 1, g->members.end(), expected.begin()));
    }
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

    const auto byDate = detectDuplicates(nodes, DuplicateMethod::nameSizeDate);
    ASSERT_EQ(byDate.size(), size_t(kNames));
    for (const DupGroupRef& g : byDate) EXPECT_EQ(g->members.size(), size_t(kFolders - 1));

    CancelFlag stop;
    stop.set();
    EXPECT_TRUE(detectDuplicates(nodes, DuplicateMethod::nameSize, &stop).empty());
}

// A search of thousands of groups makes them in batches that share their storage: the groups
// still come in key order across the batches, and each group lives as long as its own holders,
// whichever of its batch's neighbours went before it.
TEST(DuplicateDetection, GroupsOfOneBatchLiveAndGoEachOnItsOwn) {
    using M = std::vector<std::vector<FileNode*>>;
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/r");
    std::vector<FileNode*> nodes;
    constexpr int kNames = 5000;
    for (int d = 0; d < 2; ++d) {
        FileNode* folder = tree.folder(root, "d" + std::to_string(d));
        for (int i = 0; i < kNames; ++i) nodes.push_back(tree.file(folder, "n" + std::to_string(i), 10 + i % 3, 0, 100));
    }
    RootRef handle = tree.finish(root);
    std::vector<DupGroupRef> groups = detectDuplicates(nodes, DuplicateMethod::nameSizeDate);
    ASSERT_EQ(groups.size(), size_t(kNames));
    std::vector<std::string> keys;
    for (const DupGroupRef& g : groups) keys.push_back(g->members[0]->name());
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

    const std::vector<NodeStore*> stores = storesOf(std::vector<RootRef>{handle});
    assignDupGroups(groups, stores);
    groups.clear();  // the nodes alone hold them now
    for (int i = 0; i < kNames; i += 2)
        for (int d = 0; d < 2; ++d) nodes[size_t(d * kNames + i)]->setDupGroup(nullptr);
    for (int i = 0; i < kNames; ++i) {
        FileNode* first = nodes[size_t(i)];
        if (i % 2 == 0) {
            EXPECT_EQ(first->dupGroup(), nullptr);
            continue;
        }
        ASSERT_NE(first->dupGroup(), nullptr) << i;
        EXPECT_EQ(members({DupGroupRef(first->dupGroup())}), (M{{first, nodes[size_t(kNames + i)]}})) << i;
    }
    // A group made alone lives the same way.
    DupGroupRef alone = DupGroupRef::make({nodes[0], nodes[size_t(kNames)]});
    nodes[0]->setDupGroup(alone.get());
    alone = DupGroupRef();
    EXPECT_EQ(nodes[0]->dupCount(), 1);
    EXPECT_EQ(nodes[0]->dupGroup()->members[1], nodes[size_t(kNames)]);
}
