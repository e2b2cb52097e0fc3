#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <unicode/locid.h>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"
#include "ScanEngine/Tree/NameSort.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;

namespace {

void useEnglishLocale() {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("en_US"), status);
}

}  // namespace

TEST(FileNodeNames, RoundTripsValidInvalidAstralAndEmptyNames) {
    testsupport::TreeBuilder t;
    FileNode* r = t.root("/tmp/x");
    struct Case {
        std::string bytes;
        std::string display;
        int32_t units;
    } cases[] = {
        {"plain.txt", "plain.txt", 9},
        {"", "", 0},
        {"caf\xC3\xA9", "caf\xC3\xA9", 4},
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 2},                     // astral: a surrogate pair
        {"bad\xFFname", "bad\xEF\xBF\xBDname", 8},                      // one invalid byte, one unit
        {"\xC3(", "\xEF\xBF\xBD(", 2},                                  // truncated sequence
        {"\xED\xA0\x80x", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx", 4},  // encoded surrogate: 3 bytes escaped
        {"\xF0\x9F\x98", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", 3},    // cut-off 4-byte sequence
        {"\xE2\x82\xAC\x80", "\xE2\x82\xAC\xEF\xBF\xBD", 2},            // valid, then stray continuation
    };
    for (const auto& c : cases) {
        FileNode* n = t.file(r, c.bytes, 1, 0);
        EXPECT_EQ(n->nameBytes(), c.bytes) << c.display;
        EXPECT_EQ(n->name(), c.display);
        EXPECT_EQ(n->nameLength(), c.units) << c.display;
        EXPECT_EQ(n->pathBytes(), "/tmp/x/" + c.bytes);
    }
    // An astral scalar whose low surrogate lies in the escape range must not be taken for a byte.
    std::string astral = "\xF0\x90\x82\x80";  // U+10080 -> D800 DC80
    FileNode* a = t.file(r, astral + "\x80", 1, 0);
    EXPECT_EQ(a->nameBytes(), astral + "\x80");
    EXPECT_EQ(a->nameLength(), 3);
}

// Names are kept one byte a unit when every unit fits, two otherwise, with a longer header past
// 127 units; readers see the same UTF-16 whatever the form, and renames may change the form.
TEST(FileNodeNames, EveryStoredFormReadsBackTheSameUnits) {
    testsupport::TreeBuilder t;
    FileNode* r = t.root("/tmp/forms");
    const std::u16string narrowLatin(200, u'\u00E9');  // é: one byte a unit, long header
    const std::u16string wide(300, u'\u20AC');         // €: two bytes a unit, past the inline buffer
    const std::u16string forms[] = {u"", std::u16string(127, u'a'), std::u16string(128, u'b'),
                                    std::u16string(600, u'c'), narrowLatin, wide, u"mixed\u00E9\u20AC\U0001F600"};
    for (const auto& units : forms) {
        FileNode* n = t.arena().makeNode16(units, false, 1, 0, 0);
        r->appendChild(t.arena(), n);
        EXPECT_EQ(n->name16(), units);
        EXPECT_EQ(n->nameLength(), int32_t(units.size()));
        EXPECT_EQ(n->nameUnits().size(), units.size());
        EXPECT_EQ(n->nameBytes(), encodeNameBytes(units));
        // The same name from its bytes lands in the same form.
        FileNode* fromBytes = t.file(r, encodeNameBytes(units), 1, 0);
        EXPECT_EQ(fromBytes->name16(), units);
        EXPECT_EQ(wideNameCompare(*n, *fromBytes), 0);
    }
    // Folded comparison across forms: "ÉTÉ" (one byte a unit) against "été" decoded, and a wide name.
    FileNode* upper = t.file(r, "\xC3\x89T\xC3\x89", 1, 0);
    FileNode* lower = t.file(r, "\xC3\xA9t\xC3\xA9", 1, 0);
    FileNode* euro = t.file(r, "\xE2\x82\xAC", 1, 0);
    EXPECT_EQ(wideNameCompare(*upper, *lower), 0);
    EXPECT_EQ(wideNameCompare(*lower, *euro) < 0, wideNameCompare(lower->name16(), euro->name16()) < 0);
    EXPECT_EQ(wideNameCompare(*euro, *lower) > 0, wideNameCompare(euro->name16(), lower->name16()) > 0);

    FileNode* renamed = t.file(r, "plain", 1, 0);
    renamed->rename(std::u16string_view(wide));
    EXPECT_EQ(renamed->name16(), wide);
    renamed->rename(std::string_view("plain again"));
    EXPECT_EQ(renamed->name(), "plain again");
    EXPECT_EQ(renamed->pathBytes(), "/tmp/forms/plain again");
}

TEST(FileNodeNames, EmptyNameStillOwnsABuffer) {
    testsupport::TreeBuilder t;
    FileNode* n = t.loose("", false, 0, 0, 0);
    EXPECT_NE(n->namePtr(), nullptr);
    EXPECT_EQ(n->nameLength(), 0);
    EXPECT_EQ(n->name(), "");
}

TEST(FileNodeNames, FullPathJoinsAtRootsWithAndWithoutSlash) {
    testsupport::TreeBuilder t;
    FileNode* slash = t.root("/");
    FileNode* users = t.folder(slash, "Users");
    FileNode* a = t.file(users, "a", 1, 0);
    EXPECT_EQ(a->fullPath(), "/Users/a");
    EXPECT_EQ(slash->fullPath(), "/");
    EXPECT_EQ(a->depth(), 2);
    EXPECT_EQ(slash->depth(), 0);

    FileNode* vol = t.root("/Volumes/X/");
    EXPECT_EQ(t.file(vol, "b", 1, 0)->fullPath(), "/Volumes/X/b");
    FileNode* vol2 = t.root("/Volumes/X");
    EXPECT_EQ(t.file(vol2, "b", 1, 0)->fullPath(), "/Volumes/X/b");
}

TEST(FileNodeNames, ExtensionsAndAttributeLetters) {
    testsupport::TreeBuilder t;
    FileNode* r = t.root("/");
    struct Case {
        const char* name;
        const char* ext;
        const char* stem;
    } cases[] = {
        {"archive.TAR.GZ", "gz", "archive.TAR"}, {"README", "", "README"}, {"trailing.", "", "trailing"},
        {".profile", "profile", ""},             {"PHOTO.\xC3\x89PS", "\xC3\xA9ps", "PHOTO"},
    };
    for (const auto& c : cases) {
        FileNode* n = t.file(r, c.name, 0, 0);
        EXPECT_EQ(n->detectedExtension(), c.ext) << c.name;
        EXPECT_EQ(n->nameWithoutDetectedExtension(), c.stem) << c.name;
    }
    FileNode* f = t.file(r, "f", 0, 0);
    EXPECT_EQ(f->dosAttributesString(), "");
    f->dosAttributes = 0x0001 | 0x0002 | 0x0004 | 0x0020 | 0x0040 | 0x0800;
    EXPECT_EQ(f->dosAttributesString(), "RHSADC");
    f->dosAttributes = 0x0800 | 0x0002;
    EXPECT_EQ(f->dosAttributesString(), "HC");
}

TEST(FileNodeNames, RenameKeepsOldBufferReadableAndIsSeenByPath) {
    testsupport::TreeBuilder t;
    FileNode* r = t.root("/r");
    FileNode* d = t.folder(r, "old");
    FileNode* f = t.file(d, "x", 1, 0);
    const auto* before = static_cast<const char*>(d->namePtr());
    d->rename(std::string_view("new name"));
    EXPECT_EQ(d->name(), "new name");
    EXPECT_EQ(f->fullPath(), "/r/new name/x");
    EXPECT_EQ(before[0], 'o');  // retired, not freed
    d->rename(std::u16string_view(u""));
    EXPECT_EQ(d->nameLength(), 0);
}

TEST(FileNodeDates, PackingRoundsAndSaturates) {
    EXPECT_EQ(packDate(0.5), 1);
    EXPECT_EQ(packDate(-0.5), -1);
    EXPECT_EQ(packDate(0.49), 0);
    EXPECT_EQ(packDate(31556952.0 * 1000), 2147483647);  // the year 3000
    EXPECT_EQ(packDate(-1e300), -2147483647 - 1);
    EXPECT_EQ(packDate(1.0 / 0.0), 2147483647);
    EXPECT_EQ(packDate(referenceSecondsFromUnix(0)), -978307200);

    testsupport::TreeBuilder t;
    FileNode* n = t.loose("n", false, 0, 0, 0);
    EXPECT_EQ(n->lastAccessDateRaw, -978307200);
    EXPECT_EQ(n->createdDateRaw, -978307200);
    n->setModifiedDate(12.6);
    EXPECT_EQ(n->modifiedDateRaw, 13);
    EXPECT_EQ(n->modifiedDate(), 13.0);
}

TEST(FileNodeTotals, RollUpSubtractionAndDeletion) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    FileNode* a = t.folder(root, "a");
    t.file(a, "ten", 10, 4096);
    FileNode* link = t.file(a, "twenty", 20, 4096);
    link->setDoNotCountAllocated(true);
    t.folder(a, "empty");
    FileNode* b = t.folder(root, "b");
    FileNode* bb = t.folder(b, "bb");
    t.file(bb, "x", 5, 8192);
    t.file(bb, "y", 7, 4096);
    t.file(b, "z", 100, 0);

    EXPECT_EQ(a->aggregateSizes(), (AggregateTotals{30, 4096, 2, 1}));
    AggregateTotals all = root->aggregateSizes();
    EXPECT_EQ(all, (AggregateTotals{142, 16384, 5, 4}));
    EXPECT_EQ(root->effectiveSize(), 142);
    EXPECT_EQ(link->effectiveAllocSize(), 4096);  // a hard link shows its own size

    ASSERT_TRUE(bb->flagDeletedRecursively());
    bb->subtractContributionFromAncestors();
    EXPECT_EQ(b->subFolderTotSize(), 100);
    EXPECT_EQ(b->subFolderFileCount(), 1);
    EXPECT_EQ(b->subFolderDirCount(), 0);
    EXPECT_EQ(root->subFolderTotSize(), 130);
    EXPECT_EQ(root->subFolderTotSizeAlloc(), 4096);
    EXPECT_EQ(root->subFolderFileCount(), 3);
    EXPECT_EQ(root->subFolderDirCount(), 3);
    EXPECT_EQ(bb->subFolderTotSize(), 12);  // own fields untouched
    EXPECT_TRUE(bb->children()[0]->isDeleted());
    EXPECT_FALSE(bb->flagDeletedRecursively());  // already deleted: nothing happens

    // A counted-elsewhere file subtracts no allocated space.
    ASSERT_TRUE(link->flagDeletedRecursively());
    link->subtractContributionFromAncestors();
    EXPECT_EQ(root->subFolderTotSize(), 110);
    EXPECT_EQ(root->subFolderTotSizeAlloc(), 4096);
    EXPECT_EQ(a->subFolderFileCount(), 1);
    EXPECT_EQ(b->children().size(), 2u);  // deleted nodes stay in the tree
}

TEST(FileNodeTotals, NewestDateRisesThroughFolders) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    root->modifiedDateRaw = 50;
    FileNode* a = t.folder(root, "a");
    a->modifiedDateRaw = 10;
    t.file(a, "f", 1, 0, 40);
    FileNode* e = t.folder(root, "empty");
    e->modifiedDateRaw = 5;
    FileNode* b = t.folder(root, "b");
    b->modifiedDateRaw = 70;
    t.file(b, "g", 1, 0, 60);
    EXPECT_EQ(root->applyMaxModifiedDateToFolders(), 70.0);
    EXPECT_EQ(a->modifiedDateRaw, 40);
    EXPECT_EQ(e->modifiedDateRaw, 5);
    EXPECT_EQ(b->modifiedDateRaw, 70);
    EXPECT_EQ(root->modifiedDateRaw, 70);
}

TEST(FileNodeGrouping, GroupsLooseFilesWithoutOwningThem) {
    useEnglishLocale();
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/Users/name");
    FileNode* dl = t.folder(root, "Downloads");
    t.folder(dl, "sub1");
    for (int i = 0; i < 3; ++i) t.file(dl, "f" + std::to_string(i), 10 + i, 4096, 100 + i);
    EXPECT_EQ(dl->groupedChildren(4).nodes.size(), 4u);  // 3 files: unchanged
    EXPECT_EQ(dl->groupedChildren(4).group, nullptr);
    t.folder(dl, "sub2");
    t.file(dl, "f3", 13, 4096, 90);

    std::vector<FileNode*> before(dl->children().begin(), dl->children().end());
    auto g = dl->groupedChildren(4);
    ASSERT_NE(g.group, nullptr);
    ASSERT_EQ(g.nodes.size(), 3u);
    EXPECT_EQ(g.nodes[0]->name(), "sub1");
    EXPECT_EQ(g.nodes[1]->name(), "sub2");
    FileNode* group = g.nodes[2];
    EXPECT_EQ(group, g.group.get());
    EXPECT_EQ(group->name(), "[4 Files in /Users/name/Downloads]");
    EXPECT_TRUE(group->isSyntheticGroup());
    EXPECT_TRUE(group->isDir());
    EXPECT_EQ(group->parent(), dl);
    EXPECT_EQ(group->subFolderTotSize(), 10 + 11 + 12 + 13);
    EXPECT_EQ(group->subFolderFileCount(), 4);
    EXPECT_EQ(group->modifiedDateRaw, 102);
    for (FileNode* f : group->children()) EXPECT_EQ(f->parent(), dl);  // members keep their folder
    EXPECT_EQ(group->children()[0]->fullPath(), "/Users/name/Downloads/f0");
    EXPECT_TRUE(std::equal(before.begin(), before.end(), dl->children().begin()));
    // A group regrouped returns its files; the original tree survives the group's release.
    EXPECT_EQ(group->groupedChildren(1).nodes.size(), 4u);
    g = {};
    EXPECT_EQ(dl->children().size(), 6u);
    EXPECT_EQ(dl->children()[1]->name(), "f0");

    EXPECT_EQ(dl->groupedChildren(0).nodes.size(), 6u);
    FileNode* single = t.folder(root, "one");
    t.file(single, "only", 1, 0);
    EXPECT_EQ(single->groupedChildren(1).nodes[0]->name(), "[1 File in /Users/name/one]");
}

// A folder of files alone: its group lists exactly the folder's files in the folder's order, and
// keeps those it was made with while the folder takes in more (an import appending rows), and
// the folder's own list is untouched by the group.
TEST(FileNodeGrouping, AGroupOfAFolderOfFilesAloneKeepsItsFilesWhileTheFolderGrows) {
    useEnglishLocale();
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    FileNode* docs = t.folder(root, "docs");
    for (int i = 0; i < 5; ++i) t.file(docs, "f" + std::to_string(i), 10 + i, 4096);
    const std::vector<FileNode*> made(docs->children().begin(), docs->children().end());
    auto g = docs->groupedChildren(4);
    ASSERT_NE(g.group, nullptr);
    ASSERT_EQ(g.nodes.size(), 1u);
    EXPECT_TRUE(std::equal(made.begin(), made.end(), g.group->children().begin(), g.group->children().end()));
    EXPECT_EQ(g.group->subFolderTotSize(), 10 + 11 + 12 + 13 + 14);

    for (int i = 5; i < 40; ++i) t.file(docs, "f" + std::to_string(i), 1, 0);  // grows past its capacity
    EXPECT_EQ(docs->childCount(), 40u);
    EXPECT_TRUE(std::equal(made.begin(), made.end(), g.group->children().begin(), g.group->children().end()));
    EXPECT_EQ(g.group->name(), "[5 Files in /r/docs]");
    EXPECT_TRUE(std::equal(made.begin(), made.end(), docs->children().begin()));
    EXPECT_EQ(docs->children()[39]->name(), "f39");
    for (FileNode* f : g.group->children()) EXPECT_EQ(f->parent(), docs);
    EXPECT_EQ(docs->groupedChildren(4).group->childCount(), 40u);
}

// A group follows the deletion of its files: its totals and label count the files left, and once
// none is left (its folder went with all of them) the group itself reads as gone and, as its
// struck rows do, keeps their figures.
TEST(FileNodeGrouping, AGroupWhoseFilesAllWentIsGoneToo) {
    useEnglishLocale();
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    FileNode* docs = t.folder(root, "docs");
    for (int i = 0; i < 4; ++i) t.file(docs, "f" + std::to_string(i), 100, 4096);
    root->aggregateSizes();
    auto g = docs->groupedChildren(4);
    ASSERT_NE(g.group, nullptr);
    docs->children()[0]->setIsDeleted(true);
    g.group->refreshSyntheticGroup();
    EXPECT_EQ(g.group->name(), "[3 Files in /r/docs]");
    EXPECT_FALSE(g.group->isDeleted());

    docs->flagDeletedRecursively();
    g.group->refreshSyntheticGroup();
    EXPECT_EQ(g.group->name(), "[4 Files in /r/docs]");
    EXPECT_EQ(g.group->subFolderTotSize(), 400);
    EXPECT_EQ(g.group->subFolderTotSizeAlloc(), 4 * 4096);
    EXPECT_TRUE(g.group->isDeleted());
    // Made again after they went, the group is gone from the start, with the same figures.
    auto again = docs->groupedChildren(4);
    EXPECT_TRUE(again.group->isDeleted());
    EXPECT_EQ(again.group->name(), "[4 Files in /r/docs]");
    EXPECT_EQ(again.group->subFolderTotSize(), 400);
}

TEST(FileNodeGrouping, CountUsesLocaleGrouping) {
    useEnglishLocale();
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/big");
    for (int i = 0; i < 1234; ++i) t.file(root, "f" + std::to_string(i), 1, 0);
    auto g = root->groupedChildren(4);
    ASSERT_NE(g.group, nullptr);
    EXPECT_EQ(g.group->name(), "[1,234 Files in /big]");
}

TEST(FileNodeDuplicates, CountsSizesAndGroupLifetime) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    FileNode* f[3];
    for (int i = 0; i < 3; ++i) f[i] = t.file(root, "f" + std::to_string(i), 1000, 0);
    FileNode* big = t.file(root, "big", int64_t(1) << 62, 0);
    EXPECT_EQ(f[0]->dupCount(), 0);
    EXPECT_EQ(f[0]->dupSize(), 0);
    {
        DupGroupRef g = DupGroupRef::make({f[0], f[1], f[2]});
        for (FileNode* n : f) n->setDupGroup(g.get());
        DupGroupRef g2 = DupGroupRef::make({big, big, big, big});
        big->setDupGroup(g2.get());
    }
    EXPECT_EQ(f[1]->dupCount(), 2);
    EXPECT_EQ(f[1]->dupSize(), 2000);
    EXPECT_EQ(big->dupSize(), INT64_MAX);  // saturates
    f[0]->setDupGroup(nullptr);
    EXPECT_EQ(f[1]->dupGroup()->members.size(), 3u);
    // The store gives the groups back when the tree goes (checked by the leak sanitizer).
}

// Groups live in a table of the store while nodes refer to them: a slot freed by its last node
// is used again, a node of another store refers to the group through its own store, and a node
// under no store root holds no group.
TEST(FileNodeDuplicates, GroupSlotsFollowTheirNodesAcrossStores) {
    testsupport::TreeBuilder a;
    testsupport::TreeBuilder b;
    FileNode* ra = a.root("/a");
    FileNode* rb = b.root("/b");
    FileNode* x = a.file(ra, "x", 10, 0);
    FileNode* y = a.file(ra, "y", 10, 0);
    FileNode* z = b.file(rb, "z", 10, 0);
    DuplicateGroup* first = nullptr;
    {
        DupGroupRef g = DupGroupRef::make({x, y, z});
        first = g.get();
        for (FileNode* n : g->members) n->setDupGroup(g.get());
    }
    EXPECT_EQ(x->dupGroup(), first);
    EXPECT_EQ(z->dupGroup(), first);
    EXPECT_EQ(z->dupCount(), 2);
    x->setDupGroup(nullptr);
    y->setDupGroup(nullptr);
    EXPECT_EQ(x->dupGroup(), nullptr);
    EXPECT_EQ(z->dupGroup()->members.size(), 3u);  // still held through the other store

    DupGroupRef second = DupGroupRef::make({x, y});
    x->setDupGroup(second.get());
    y->setDupGroup(second.get());
    x->setDupGroup(second.get());  // the same group again changes nothing
    EXPECT_EQ(x->dupGroup(), second.get());
    EXPECT_EQ(y->dupGroup(), second.get());
    y->setDupGroup(nullptr);
    EXPECT_EQ(x->dupGroup(), second.get());  // one node still refers to it
    EXPECT_EQ(x->dupCount(), 1);

    FileNode* loose = a.loose("loose", false, 1, 0, 0);
    loose->setDupGroup(second.get());
    EXPECT_EQ(loose->dupGroup(), nullptr);
}

// Whole detections are given and taken back in bulk: one group's slot for all its members, and
// taking a set back leaves alone a member given another group since. Over two stores the bulk
// form goes member by member.
TEST(FileNodeDuplicates, BulkAssignmentTakesBackOnlyWhatItGave) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    FileNode* f[6];
    for (int i = 0; i < 6; ++i) f[i] = t.file(root, "f" + std::to_string(i), 10, 0);
    RootRef handle = t.finish(root);
    std::vector<DupGroupRef> set(2, DupGroupRef());
    set[0] = DupGroupRef::make({f[0], f[1], f[2]});
    set[1] = DupGroupRef::make({f[3], f[4]});
    const std::vector<NodeStore*> stores = storesOf(std::vector<RootRef>{handle, handle});
    ASSERT_EQ(stores.size(), 1u);
    // An earlier single assignment is replaced; assigning the same set twice counts each node once.
    DupGroupRef old = DupGroupRef::make({f[0], f[5]});
    f[0]->setDupGroup(old.get());
    f[5]->setDupGroup(old.get());
    assignDupGroups(set, stores);
    assignDupGroups(set, stores);
    EXPECT_EQ(f[0]->dupGroup(), set[0].get());
    EXPECT_EQ(f[2]->dupCount(), 2);
    EXPECT_EQ(f[4]->dupGroup(), set[1].get());
    EXPECT_EQ(f[5]->dupGroup(), old.get());

    // f1 is given another group before the set is taken back: it keeps that one.
    DupGroupRef later = DupGroupRef::make({f[1], f[5]});
    f[1]->setDupGroup(later.get());
    clearDupGroups(set, stores);
    for (int i : {0, 2, 3, 4}) EXPECT_EQ(f[i]->dupGroup(), nullptr) << i;
    EXPECT_EQ(f[1]->dupGroup(), later.get());
    // The slots freed by the set are used again, and the groups live on in the set alone.
    assignDupGroups(std::vector<DupGroupRef>{set[1]}, stores);
    EXPECT_EQ(f[3]->dupCount(), 1);
    EXPECT_EQ(set[0]->members.size(), 3u);

    testsupport::TreeBuilder other;
    FileNode* otherRoot = other.root("/o");
    FileNode* g = other.file(otherRoot, "g", 10, 0);
    RootRef otherHandle = other.finish(otherRoot);
    DupGroupRef across = DupGroupRef::make({f[2], g});
    const std::vector<NodeStore*> both = storesOf(std::vector<RootRef>{handle, otherHandle});
    ASSERT_EQ(both.size(), 2u);
    assignDupGroups(std::vector<DupGroupRef>{across}, both);
    EXPECT_EQ(g->dupGroup(), across.get());
    EXPECT_EQ(f[2]->dupGroup(), across.get());
    clearDupGroups(std::vector<DupGroupRef>{across}, both);
    EXPECT_EQ(g->dupGroup(), nullptr);
    EXPECT_EQ(f[2]->dupGroup(), nullptr);
}

TEST(FileNodeIdentity, EqualContentIsNotEqualNodes) {
    testsupport::TreeBuilder t;
    FileNode* a = t.loose("same", false, 1, 1, 1);
    FileNode* b = t.loose("same", false, 1, 1, 1);
    EXPECT_NE(a, b);
    std::hash<FileNode*> h;
    EXPECT_NE(h(a), h(b));
}

TEST(FileNodeDepth, MillionLevelChainIsBuiltRolledUpNumberedAndReleased) {
    constexpr int kDepth = 1'000'000;
    std::weak_ptr<NodeStore> weak;
    {
        auto store = NodeStore::create();
        weak = store;
        NodeArena& arena = store->makeArena();
        FileNode* root = arena.makeRoot("/deep", true, 0, 0, 0);
        FileNode* cur = root;
        for (int i = 0; i < kDepth; ++i) {
            FileNode* d = arena.makeNode("d", true, 0, 0, i);
            cur->appendChild(arena, d);
            cur->appendChild(arena, arena.makeNode("f", false, 3, 4096, 0));
            cur = d;
        }
        RootRef handle = store->handle(root);
        store.reset();
        EXPECT_EQ(handle->aggregateSizes(), (AggregateTotals{3LL * kDepth, 4096LL * kDepth, kDepth, kDepth}));
        handle->assignSortNameIndices();
        EXPECT_EQ(cur->sortNameIndex(), kDepth);  // each folder is numbered before its file sibling
        EXPECT_EQ(handle->applyMaxModifiedDateToFolders(), double(kDepth - 1));
        EXPECT_TRUE(handle->flagDeletedRecursively());
        EXPECT_TRUE(cur->isDeleted());
        EXPECT_EQ(cur->depth(), kDepth);
        EXPECT_FALSE(weak.expired());
        DupGroupRef g = DupGroupRef::make({cur});
        cur->setDupGroup(g.get());
    }
    EXPECT_TRUE(weak.expired());
}

// The main thread changes flags of a published tree while background jobs walk it (ThreadSanitizer
// runs this program): the bits fixed at construction must read the same throughout, and a store's
// root list may be read while another builder registers a root.
TEST(FileNodeConcurrency, FlagChangesAndRootRegistrationRaceWithReaders) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    std::vector<FileNode*> nodes{root};
    for (int i = 0; i < 64; ++i) {
        FileNode* d = t.folder(root, "d" + std::to_string(i));
        nodes.push_back(d);
        nodes.push_back(t.file(d, "f", i, 0));
    }
    std::atomic<bool> stop{false};
    std::atomic<int> wrongKind{0};
    std::thread reader([&] {
        while (!stop.load(std::memory_order_relaxed)) {
            for (FileNode* n : nodes) {
                const bool dir = n->isDir();
                const bool expectDir = n == root || n->nameUnits().front() == u'd';
                if (dir != expectDir || n->hasFolderData() != expectDir ||
                    bool(n->flags() & FileNode::kIsDir) != expectDir || (dir && n->folderData() == nullptr))
                    wrongKind.fetch_add(1);
                (void)n->accessDenied();
            }
            (void)t.store()->roots().size();
        }
    });
    std::thread builder([&] {
        NodeArena& arena = t.store()->makeArena();
        for (int i = 0; i < 200; ++i) arena.makeRoot("/other" + std::to_string(i), i % 2 == 0, 1, 1, 0);
    });
    for (int round = 0; round < 2000; ++round)
        for (FileNode* n : nodes) {
            n->setAccessDenied(round % 2 == 0);
            n->setIsDeleted(round % 3 == 0);
            n->setIsVolumeBoundary(round % 5 == 0);
        }
    builder.join();
    stop = true;
    reader.join();
    EXPECT_EQ(wrongKind.load(), 0);
    EXPECT_EQ(t.store()->roots().size(), 201u);
    EXPECT_TRUE(root->isDir());
    EXPECT_FALSE(nodes[2]->isDir());
}
