#include <gtest/gtest.h>

#include <random>

#include "ScanEngine/Tree/NameCoding.hpp"
#include "ScanEngine/Tree/NameSort.hpp"

using namespace zelvane;

namespace {

struct Tree {
    std::shared_ptr<NodeStore> store = NodeStore::create();
    NodeArena& arena = store->makeArena();
    FileNode* add(FileNode* parent, std::u16string_view name, bool dir = false) {
        FileNode* n = arena.makeNode16(name, dir, 0, 0, 0);
        parent->appendChild(arena, n);
        return n;
    }
};

std::u16string fold(std::u16string_view s) { return upcaseFoldString(s); }

}  // namespace

TEST(UpcaseData, ChangesExactlyTheListedUnits) {
    int changed = 0, below = 0;
    for (uint32_t i = 0; i < 65536; ++i) {
        if (fUpcaseData[i] != i) {
            ++changed;
            if (i < 0x100) ++below;
        }
    }
    EXPECT_EQ(below, 82);
    EXPECT_EQ(changed, 661);

    struct Row {
        char16_t in, out;
    } rows[] = {{0x0042, 0x0062}, {0x0062, 0x0062}, {0x00C9, 0x0065}, {0x00E9, 0x0065}, {0x00E5, 0x00C5},
                {0x00C5, 0x00C5}, {0x0101, 0x0100}, {0x03B1, 0x0391}, {0x0436, 0x0416}, {0x00DF, 0x00DF},
                {0x0131, 0x0131}, {0x10D0, 0x10D0}, {0x00FF, 0x0178}, {0x03C2, 0x03A3}, {0x01CC, 0x01CA},
                {0x0451, 0x0401}, {0x1F70, 0x1FBA}, {0xFF41, 0xFF21}, {0xD800, 0xD800}, {0x00B5, 0x00B5}};
    for (auto r : rows) EXPECT_EQ(fUpcaseData[r.in], r.out) << std::hex << int(r.in);
    // A listed small letter and its capital fold together.
    for (uint32_t i = 0x100; i < 65536; ++i)
        if (fUpcaseData[i] != i) {
            EXPECT_EQ(fUpcaseData[fUpcaseData[i]], fUpcaseData[i]) << std::hex << i;
        }
}

TEST(NameOrder, ComparesFoldedUnitsThenLength) {
    EXPECT_LT(wideNameCompare(u"apple", u"Zebra"), 0);
    EXPECT_EQ(wideNameCompare(u"\u00C4", u"a"), 0);
    EXPECT_EQ(wideNameCompare(u"ab", u"abc"), -1);
    EXPECT_LT(wideNameCompare(u"report10", u"report9"), 0);
    EXPECT_NE(wideNameCompare(u"\u00C5ngstrom", u"angstrom"), 0);
    EXPECT_EQ(wideNameCompare(u"README.TXT", u"readme.txt"), 0);
    EXPECT_GT(wideNameCompare(u"b", u"a"), 0);
}

// Nodes compare straight on their stored forms (one or two bytes a unit), and a differing
// prefix key orders two names as the whole comparison does, for names short and long, sharing
// prefixes, and mixing the forms.
TEST(NameOrder, NodeComparisonAndPrefixKeysAgreeWithTheUnits) {
    Tree t;
    FileNode* root = t.arena.makeRoot("/r", true, 0, 0, 0);
    const char16_t alphabet[] = {u'a', u'B', u'b', u'z', u'0', u'.', u'\u00C4', u'\u00E4', u'\u0101', u'\u20AC', 0xDC80};
    std::mt19937 rng(7);
    std::vector<FileNode*> nodes;
    for (int i = 0; i < 400; ++i) {
        std::u16string name = i % 3 ? u"same-pre" : u"";
        const size_t len = rng() % 11;
        for (size_t k = 0; k < len; ++k) name.push_back(alphabet[rng() % std::size(alphabet)]);
        nodes.push_back(t.add(root, name));
    }
    auto sign = [](int32_t v) { return (v > 0) - (v < 0); };
    for (FileNode* a : nodes)
        for (FileNode* b : nodes) {
            const auto ua = a->nameUnits();
            const auto ub = b->nameUnits();
            const int32_t expected = sign(wideNameCompare(ua.view(), ub.view()));
            ASSERT_EQ(sign(wideNameCompare(*a, *b)), expected) << a->name() << " / " << b->name();
            const FoldedNamePrefix pa = foldedNamePrefix(*a), pb = foldedNamePrefix(*b);
            if (pa != pb) {
                ASSERT_EQ(pa < pb ? -1 : 1, expected) << a->name() << " / " << b->name();
            }
        }
}

TEST(NameOrder, NumbersPreOrderStablyWithoutReordering) {
    Tree t;
    FileNode* root = t.arena.makeRoot("/", true, 0, 0, 0);
    FileNode* b = t.add(root, u"b");
    FileNode* A = t.add(root, u"A", true);
    FileNode* a = t.add(root, u"a");
    FileNode* inA = t.add(A, u"z");
    root->assignSortNameIndices();
    EXPECT_EQ(root->sortNameIndex(), 0);
    EXPECT_EQ(A->sortNameIndex(), 1);
    EXPECT_EQ(inA->sortNameIndex(), 2);  // a folder's contents come right after it
    EXPECT_EQ(a->sortNameIndex(), 3);
    EXPECT_EQ(b->sortNameIndex(), 4);
    auto kids = root->children();
    EXPECT_EQ(kids[0], b);
    EXPECT_EQ(kids[1], A);
    EXPECT_EQ(kids[2], a);

    FileNode* second = t.arena.makeRoot("/second", true, 0, 0, 0);
    t.add(second, u"x");
    FileNode* roots[] = {root, second};
    assignSortNameIndices(std::span<FileNode* const>(roots));
    EXPECT_EQ(second->sortNameIndex(), 5);
}

TEST(Wildcards, MatchesWithBacktrackingOverFoldedNames) {
    struct Case {
        std::u16string pattern, name;
        bool match;
    } cases[] = {
        {u"*.txt", u"Notes.TXT", true}, {u"a?c", u"abc", true},        {u"a?c", u"ac", false},
        {u"*", u"", true},              {u"**", u"", true},            {u"", u"", true},
        {u"", u"a", false},             {u"a*b*c", u"aXbYbZc", true},  {u"abc", u"abcd", false},
        {u"*a", u"banana", true},       {u"*ab", u"aab", true},        {u"a*a*a", u"aa", false},
        {u"?", u"\U0001F600", false},   {u"??", u"\U0001F600", true},  {u"caf\u00e9", u"CAFE", false},
        {u"cafe", u"CAF\u00c9", true},  {u"*x*", u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", false},
    };
    for (const auto& c : cases) EXPECT_EQ(wildCmp(c.pattern, c.name), c.match) << displayUTF8(c.pattern) << " ~ " << displayUTF8(c.name);

    // Against a naive recursive matcher on random inputs.
    std::mt19937 rng(7);
    auto naive = [](auto&& self, std::u16string_view p, std::u16string_view n) -> bool {
        if (p.empty()) return n.empty();
        if (p[0] == u'*') return self(self, p.substr(1), n) || (!n.empty() && self(self, p, n.substr(1)));
        if (n.empty()) return false;
        if (p[0] == u'?' || p[0] == foldUnit(n[0])) return self(self, p.substr(1), n.substr(1));
        return false;
    };
    const char16_t pat[] = u"ab*?";
    const char16_t nam[] = u"abAB";
    for (int i = 0; i < 20000; ++i) {
        std::u16string p, n;
        for (int k = rng() % 7; k > 0; --k) p.push_back(pat[rng() % 4]);
        for (int k = rng() % 9; k > 0; --k) n.push_back(nam[rng() % 4]);
        ASSERT_EQ(wildCmp(p, n), naive(naive, p, n)) << displayUTF8(p) << " ~ " << displayUTF8(n);
    }
}

TEST(FoldedSearch, SuffixAndContains) {
    EXPECT_TRUE(hasCaseFoldedSuffix(u"IMG.JPG", fold(u".jpg")));
    EXPECT_TRUE(hasCaseFoldedSuffix(u"anything", u""));
    EXPECT_TRUE(hasCaseFoldedSuffix(u"", u""));
    EXPECT_FALSE(hasCaseFoldedSuffix(u"", u"a"));
    EXPECT_FALSE(hasCaseFoldedSuffix(u"g", u".jpg"));
    EXPECT_TRUE(containsCaseFolded(u"", u""));
    EXPECT_TRUE(containsCaseFolded(u"My R\u00C9SUM\u00C9.pdf", fold(u"resume")));
    EXPECT_FALSE(containsCaseFolded(u"abc", fold(u"abcd")));
    EXPECT_TRUE(containsCaseFolded(u"aaab", fold(u"aab")));
    EXPECT_EQ(fold(u"Stra\u00DFe \U0001F600 \u03B1"), u"stra\u00DFe \U0001F600 \u0391");
    EXPECT_EQ(upcaseFoldString(std::string_view("\xC3\x89T\xC3\x89")), "ete");
}

TEST(FoldedSearch, FullPathUnitsMatchDisplayPath) {
    Tree t;
    FileNode* slash = t.arena.makeRoot("/", true, 0, 0, 0);
    FileNode* a = t.add(slash, u"a", true);
    FileNode* b = t.add(a, u"\U0001F600b");
    EXPECT_EQ(fullPathUTF16(*a), u"/a");
    EXPECT_EQ(fullPathUTF16(*b), u"/a/\U0001F600b");
    EXPECT_EQ(fullPathUTF16(*slash), u"/");
    FileNode* vol = t.arena.makeRoot("/Volumes/X", true, 0, 0, 0);
    FileNode* x = t.add(vol, u"a");
    EXPECT_EQ(fullPathUTF16(*x), u"/Volumes/X/a");
    EXPECT_EQ(displayUTF8(fullPathUTF16(*x)), x->fullPath());
    FileNode* empty = t.arena.makeRoot("", true, 0, 0, 0);
    EXPECT_EQ(fullPathUTF16(*t.add(empty, u"k")), u"/k");
}
