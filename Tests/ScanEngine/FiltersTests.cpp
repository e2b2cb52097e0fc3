#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "FilterTestTree.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Tree/NameCoding.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;
using namespace zelvane::testing;

namespace {

constexpr int64_t kToday = 8535;  // the local day of kClock

std::string describe(const FilterItem& t) {
    std::string s = t.notFlag ? "!" : "";
    if (t.sizeOp && t.sizeOpType) {
        static const char* kTypes[] = {"size", "alloc", "day", "time", "namelen", "pathlen", "dupcount", "dupsize"};
        static const char* kOps[] = {"=", ">", ">=", "<", "<="};
        s += kTypes[int(*t.sizeOpType)];
        s += kOps[int(*t.sizeOp)];
        if (*t.sizeOpType == SizeOpType::modified) {
            s += std::to_string(t.sizeDateDay.value_or(-999999)) + "@" +
                 std::to_string(int64_t(t.sizeDateLocalOffsetSeconds.value_or(-1)));
        } else if (*t.sizeOpType == SizeOpType::modifiedTime) {
            s += std::to_string(int64_t(t.sizeTimeOfDay.value_or(-1))) + (t.sizeTimeOfDayIsAbsolute ? "abs" : "rel");
        } else {
            s += std::to_string(t.sizeBytes);
        }
        return s;
    }
    if (t.foldersOnly) return s + "=folders";
    if (t.filesOnly) return s + "=files";
    if (t.regex) return s + "re:" + t.filterText;
    if (t.filterNoExtension) return s + "noext";
    if (t.fileExtension) return s + "ext:" + displayUTF8(t.filterTextUnitsNoStar);
    if (t.wildcards) return s + "wild:" + t.filterText;
    return s + "word:" + t.filterText;
}

std::string describe(const DecodedFilter& f) {
    std::string s;
    for (const FilterGroup& g : f) {
        if (!s.empty()) s += " ";
        s += "[";
        for (size_t i = 0; i < g.size(); ++i) {
            if (i) s += "|";
            s += describe(g[i]);
        }
        s += "]";
    }
    return s;
}

std::string decode(std::string_view text, bool fullpath = false, FilterClock clock = kClock) {
    return describe(decodeFilterText(text, fullpath, clock));
}

DecodedFilter parse(std::string_view text, bool& fullpath) { return decodeFilterText(text, fullpath, kClock); }
DecodedFilter parse(std::string_view text) {
    bool fp = false;
    return decodeFilterText(text, fp, kClock);
}

}  // namespace

// ---- parser --------------------------------------------------------------------------------

TEST(FilterParser, DecodesEveryTermKind) {
    const int64_t big = std::numeric_limits<int64_t>::max();
    struct Row {
        const char* text;
        std::string expected;
    };
    const Row rows[] = {
        // Grouping, splitting and quoting.
        {"", ""},
        {"   \t ", ""},
        {"*.*", "[wild:*]"},
        {"a b|c", "[word:a] [word:b|word:c]"},
        {"a | b", "[word:a|word:b]"},
        {"a |b", "[word:a|word:b]"},
        {"a  |  b", "[word:a|word:b]"},
        {"a||b", "[word:a|word:b]"},
        {"\"My File\" x", "[word:my file] [word:x]"},
        {"\"!x\"", "[word:!x]"},
        {"\"S>1M\"", "[word:s>1m]"},
        {"\"\"", ""},
        {"\"unbalanced rest of text", "[word:unbalanced rest of text]"},
        {"!*.tmp", "[!ext:.tmp]"},
        {"!", "[!word:]"},
        {"!\"a b\"", "[!word:a b]"},
        // Wildcards and extensions.
        {"*.JPG", "[ext:.jpg]"},
        {"*.j*", "[wild:*.j*]"},
        {"*.", "[noext]"},
        {"*.a", "[ext:.a]"},
        {"Screenshot*", "[wild:screenshot*]"},
        {"Archive", "[word:archive]"},
        {"Éclair", "[word:eclair]"},
        // Comparisons.
        {"S>1M", "[size>1048576]"},
        {"A>=1.5kb", "[alloc>=1536]"},
        {"s>1e3", "[size>1000]"},
        {"S=0", "[size=0]"},
        {"S<=2T", "[size<=2199023255552]"},
        {"S>1G", "[size>1073741824]"},
        {"S>0.5b", "[size>1]"},
        {"<15", "[size<15]"},
        {"S>+5", "[size>5]"},
        {"NAMELEN>40", "[namelen>40]"},
        {"PATHLEN<=1k", "[pathlen<=1024]"},
        {"DUPCOUNT>=2", "[dupcount>=2]"},
        {"dupsize>1m", "[dupsize>1048576]"},
        {"!S>1M", "[!size>1048576]"},
        {"=Folders", "[=folders]"},
        {"S=FILE", "[=files]"},
        {"DUPSIZE=dups", "[dupcount>0]"},
        {"=dup", "[dupcount>0]"},
        {"=5", "[size=5]"},
        {"S>-5", "[word:s>-5]"},
        {"S>abc", "[word:s>abc]"},
        {"S>1Q", "[word:s>1q]"},
        {"SIZE>5", "[word:size>5]"},
        {"S>nan", "[word:s>nan]"},
        // Sizes past the 64-bit range saturate.
        {"S>1e300", "[size>" + std::to_string(big) + "]"},
        {"S>inf", "[size>" + std::to_string(big) + "]"},
        {"S<1e400", "[size<" + std::to_string(big) + "]"},
        {"S>9e6T", "[size>" + std::to_string(big) + "]"},
        // Dates and times, in the fixed clock's zone.
        {"<TODAY-7", "[day<" + std::to_string(kToday - 7) + "@7200]"},
        {">=today+1", "[day>=" + std::to_string(kToday + 1) + "@7200]"},
        {"=TODAY", "[day=" + std::to_string(kToday) + "@7200]"},
        {"=TODAY-x", "[day=" + std::to_string(kToday) + "@7200]"},
        {"=TODAYfoo", "[day=" + std::to_string(kToday) + "@7200]"},
        {"=2024-05-01", "[day=8521@7200]"},
        {"=2024/05/01", "[day=8521@7200]"},
        {">2024.05.01+3", "[day>8524@7200]"},
        {"=2024-13-01", "[day=8766@7200]"},
        {"=2024-02-30", "[day=8460@7200]"},
        {"<2024-05", "[word:<2024-05]"},
        {">NOW-30m", "[time>1715772600abs]"},
        {">NOW+1h", "[time>1715778000abs]"},
        {">NOW", "[time>1715774400abs]"},
        {"<TODAY-2h", "[time<1715767200abs]"},
        {"<2024-05-01-2h", "[time<1715767200abs]"},
        {">15:30", "[time>55800rel]"},
        {"<3pm", "[time<54000rel]"},
        {"=12am", "[time=0rel]"},
        {"=12pm", "[time=43200rel]"},
        {">25:75", "[time>94500rel]"},
        {">7:05:09", "[time>25509rel]"},
        // Huge day and hour offsets saturate instead of overflowing.
        {">TODAY+9223372036854775807", "[day>" + std::to_string(big) + "@7200]"},
        {">TODAY-99999999999999999999", "[day>" + std::to_string(kToday) + "@7200]"},
        {">NOW-999999999999999999999999h", "[time>-9223372036854774784abs]"},
        {">99999999999999999:00", "[time>9223372036854774784rel]"},
        // Regular expressions; one that does not compile stays a plain term.
        {"\\^IMG_\\d+\\", "[re:\\^img_\\d+\\]"},
        {"\\(\\", "[word:\\(\\]"},
        {"\\\"a b\"\\", "[re:\\\"a b\"\\]"},
    };
    for (const Row& r : rows) EXPECT_EQ(decode(r.text), r.expected) << "text: " << r.text;
}

TEST(FilterParser, FieldsOfExtensionAndRegexTerms) {
    auto f = parse("*.jpg");
    ASSERT_EQ(f.size(), 1u);
    const FilterItem& ext = f[0][0];
    EXPECT_TRUE(ext.wildcards);
    EXPECT_TRUE(ext.fileExtension);
    EXPECT_EQ(ext.filterTextUnitsNoStar, u".jpg");
    EXPECT_EQ(ext.filterTextUnits, u"*.jpg");

    auto re = parse("\\^IMG_\\d+\\");
    ASSERT_TRUE(re[0][0].regex);
    EXPECT_TRUE(re[0][0].regex->matches(u"img_0042.heic"));
    EXPECT_FALSE(re[0][0].regex->matches(u"xIMG_0042"));

    // Quotes inside the backslashes are dropped from the pattern.
    auto quoted = parse("\\\"a b\"\\");
    ASSERT_TRUE(quoted[0][0].regex);
    EXPECT_TRUE(quoted[0][0].regex->matches(u"xA By"));
}

TEST(FilterParser, DeepBacktrackingOverALongPathStillMatches) {
    // Enough backtracking to exhaust the JIT's stack: the match must not turn into "no match".
    auto f = parse("\\\"^(?:a|aa)*b\"\\");
    ASSERT_EQ(f.size(), 1u);
    ASSERT_TRUE(f[0][0].regex);
    std::u16string path(50000, u'a');
    path += u"b";
    auto m = f[0][0].regex->firstMatch(path);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->second, 50001);
}

// A pattern that backtracks without end gives up on a name after a bounded number of steps, and
// that name counts as not matched: PCRE2's own limits would let it run for tens of milliseconds
// per name. The first alternative below backtracks through 2^20 ways of splitting the a's before
// the second one is tried, which PCRE2's default limits still allow.
TEST(FilterParser, ARunawayPatternEndsAsNoMatchWithinItsLimits) {
    auto f = parse("\\\"^(?:(a+)+$|a+!)\"\\");
    ASSERT_EQ(f.size(), 1u);
    ASSERT_TRUE(f[0][0].regex);
    const FilterRegex& re = *f[0][0].regex;
    EXPECT_TRUE(re.matches(u"aaaaaaaaaa!")) << "a short run backtracks within the limits";
    EXPECT_FALSE(re.matches(std::u16string(20, u'a') + u"!"));
    auto runaway = parse("\\(a+)+$\\");
    ASSERT_TRUE(runaway[0][0].regex);
    EXPECT_FALSE(runaway[0][0].regex->matches(std::u16string(40, u'a') + u"!0001"));
    EXPECT_TRUE(runaway[0][0].regex->matches(u"/x/aaaa"));
}

TEST(FilterParser, PathTermsTurnOnFullPathAnchoring) {
    bool fullpath = false;
    auto f = parse("tmp* docs/*.txt tmp* a?c", fullpath);
    EXPECT_TRUE(fullpath);
    // A term before the first '/' keeps its text; later wildcard terms are anchored at both ends
    // unless they hold a '.'.
    EXPECT_EQ(describe(f), "[wild:tmp*] [wild:*docs/*.txt] [wild:*tmp*] [wild:*a?c*]");
    EXPECT_TRUE(f[1][0].pathSeparator);

    bool stays = true;
    parse("plain", stays);
    EXPECT_TRUE(stays) << "the parser never turns full-path matching off";

    bool fp = true;
    EXPECT_EQ(describe(parse("*.jpg src/", fp)), "[ext:.jpg] [word:src/]");
    EXPECT_EQ(decode("/", false), "[word:/]");
}

TEST(FilterParser, RegexWithWildcardCharactersStaysRegexInFullPathMode) {
    bool fullpath = true;
    auto f = parse("\\.*\\.jpg$\\ \\(\\*", fullpath);
    ASSERT_EQ(f.size(), 2u);
    ASSERT_TRUE(f[0][0].regex);
    EXPECT_TRUE(f[0][0].regex->matches(u"/a/b.JPG"));
    // A pattern that does not compile is an ordinary wildcard term and is anchored as one.
    EXPECT_FALSE(f[1][0].regex);
    EXPECT_EQ(f[1][0].filterText, "*\\(\\*");
}

TEST(FilterParser, DatesDependOnTheInjectedClockAndZone) {
    // 23:30 UTC is already the next day two hours east of GMT, and still the same day west of it.
    const FilterClock lateEast{1715815800.0, 7200.0};
    const FilterClock lateWest{1715815800.0, -3600.0};
    EXPECT_EQ(decode("=TODAY", false, lateEast), "[day=8536@7200]");
    EXPECT_EQ(decode("=TODAY", false, lateWest), "[day=8535@-3600]");
    // A named date is that calendar day whatever the zone's offset is today: a summer date parsed
    // in winter is not shifted by the daylight-saving hour.
    const FilterClock winter{1704110400.0, 3600.0};
    const FilterClock summer{1719835200.0, 7200.0};
    EXPECT_EQ(decode("=2024-07-01", false, winter), "[day=8582@3600]");
    EXPECT_EQ(decode("=2024-07-01", false, summer), "[day=8582@7200]");
    // Times of day carry the zone offset; absolute moments do not need it.
    bool fp = false;
    auto t = decodeFilterText(std::string_view(">15:30"), fp, winter);
    EXPECT_EQ(t[0][0].sizeDateLocalOffsetSeconds, 3600.0);
}

TEST(FilterParser, SplitQuoteAware) {
    using V = std::vector<std::u16string>;
    EXPECT_EQ(splitQuoteAware(u"", u' '), V{u""});
    EXPECT_EQ(splitQuoteAware(u"a  b", u' '), (V{u"a", u"", u"b"}));
    EXPECT_EQ(splitQuoteAware(u"a ", u' '), (V{u"a", u""}));
    EXPECT_EQ(splitQuoteAware(u"\"a b\" c", u' '), (V{u"\"a b\"", u"c"}));
    EXPECT_EQ(splitQuoteAware(u"x|\"y|z\"|w", u'|'), (V{u"x", u"\"y|z\"", u"w"}));
    // A separator carrying a combining mark is another character and does not split.
    EXPECT_EQ(splitQuoteAware(u"a|\u0301b|c", u'|'), (V{u"a|\u0301b", u"c"}));
    EXPECT_EQ(splitQuoteAware(u"é|😀", u'|'), (V{u"é", u"😀"}));
}

TEST(FilterParser, OffsetsTimesAndDates) {
    EXPECT_EQ(getSeconds(u"90"), 5400);
    EXPECT_EQ(getSeconds(u"2h"), 7200);
    EXPECT_EQ(getSeconds(u"2H"), 7200);
    EXPECT_EQ(getSeconds(u"45s"), 45);
    EXPECT_EQ(getSeconds(u"30m"), 1800);
    EXPECT_EQ(getSeconds(u"1.5h"), 60);
    EXPECT_EQ(getSeconds(u"h"), 0);
    EXPECT_EQ(getSeconds(u""), 0);
    EXPECT_EQ(getSeconds(u"٣h"), 0) << "non-ASCII digits are numeric but do not parse";

    struct Row {
        const char16_t* text;
        std::optional<double> seconds;
    };
    const Row rows[] = {
        {u"15:30", 55800}, {u"3pm", 54000}, {u"3PM", 54000}, {u"12am", 0}, {u"12pm", 43200},
        {u"11:59pm", 86340}, {u"25:75", 94500}, {u"7", 25200}, {u"7::5", 25205}, {u"7:x:5", 25205},
        {u"+7", 25200}, {u"abc", std::nullopt}, {u"-5", std::nullopt}, {u":30", std::nullopt},
        {u"", std::nullopt}, {u"x7", std::nullopt},
    };
    for (const Row& r : rows) {
        std::u16string consumed = u"unchanged";
        auto got = parseTimeOfDay(r.text, consumed);
        EXPECT_EQ(got, r.seconds) << displayUTF8(r.text);
        EXPECT_EQ(consumed.empty(), got.has_value());
    }

    auto d = parseISODate(u"2024-05-01rest");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->first, 8521);
    EXPECT_EQ(d->second, u"rest");
    EXPECT_EQ(parseISODate(u"2001-01-01")->first, 0);
    EXPECT_EQ(parseISODate(u"2000-12-31")->first, -1);
    EXPECT_FALSE(parseISODate(u"2024-05-1"));
    EXPECT_FALSE(parseISODate(u"2024105-01")) << "separators must not be numeric";
    EXPECT_FALSE(parseISODate(u"2024-0x-01"));
    EXPECT_FALSE(parseISODate(u"2024-05٣01")) << "a non-ASCII digit is numeric too";
}

// ---- matching on a real tree ---------------------------------------------------------------

class FilterMatching : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string r = dir.path() + "/root";
        makeDir(r + "/My Photos/2023");
        makeDir(r + "/docs/a/b");
        makeDir(r + "/x.jpg");
        makeDir(r + "/cache");
        writeFile(r + "/My Photos/2023/IMG_0001.JPG", 2000);
        writeFile(r + "/My Photos/2023/notes.txt", 10);
        writeFile(r + "/My Photos/cover.png", 3 << 20);
        writeFile(r + "/docs/a/b/report.pdf", 500);
        writeFile(r + "/docs/readme", 5);
        writeFile(r + "/docs/trailing.", 5);
        writeFile(r + "/x.jpg/inner.bin", 7);
        writeFile(r + "/cache/Café.TXT", 100);
        writeFile(r + "/a.b.JPG", 1);
        writeFile(r + "/jpg", 1);
        writeFile(r + "/bad\xff" "name.txt", 1);  // not UTF-8: kept as an escaped unit
        tree = readTreeFromDisk(r);
    }

    FileNode* node(const std::string& rel) {
        FileNode* n = nodeAt(tree.get(), rel);
        EXPECT_NE(n, nullptr) << rel;
        return n;
    }

    // The names (relative paths) of every node that the filter accepts.
    std::vector<std::string> matching(std::string_view text, bool fullpath = false, bool sizes = true) {
        auto f = parse(text, fullpath);
        std::vector<std::string> out;
        const std::string prefix = tree->fullPath() + "/";
        for (FileNode* n : preOrder(tree.get()))
            if (matchItem(*n, f, fullpath, sizes)) out.push_back(n == tree.get() ? "<root>" : n->fullPath().substr(prefix.size()));
        return out;
    }

    TempDir dir;
    RootRef tree;
};

using Names = std::vector<std::string>;

TEST_F(FilterMatching, CombinesGroupsAndAlternatives) {
    EXPECT_EQ(matching("").size(), preOrder(tree.get()).size());
    DecodedFilter emptyGroup{FilterGroup{}};
    EXPECT_FALSE(matchItem(*tree, emptyGroup, false, true));
    EXPECT_TRUE(matching("!").empty());

    EXPECT_EQ(matching("*.png|*.pdf"), (Names{"My Photos/cover.png", "docs/a/b/report.pdf"}));
    EXPECT_EQ(matching("*.jpg|*.png S>1k"), (Names{"My Photos/2023/IMG_0001.JPG", "My Photos/cover.png"}));
    EXPECT_EQ(matching("zzz|readme"), (Names{"docs/readme"}));
    EXPECT_EQ(matching("!*.jpg =files !*.txt"),
              (Names{"My Photos/cover.png", "docs/a/b/report.pdf", "docs/readme", "docs/trailing.", "jpg", "x.jpg/inner.bin"}));
}

TEST_F(FilterMatching, NameModeTermKinds) {
    EXPECT_EQ(matching("*.JPG"), (Names{"My Photos/2023/IMG_0001.JPG", "a.b.JPG", "x.jpg"}));
    EXPECT_EQ(matching("*."), (Names{"<root>", "My Photos", "My Photos/2023", "cache", "docs", "docs/a", "docs/a/b",
                                     "docs/readme", "docs/trailing.", "jpg"}));
    EXPECT_EQ(matching("img_*"), (Names{"My Photos/2023/IMG_0001.JPG"}));
    EXPECT_EQ(matching("?pg"), (Names{"jpg"}));
    EXPECT_EQ(matching("cafe"), (Names{"cache/Café.TXT"}));
    EXPECT_EQ(matching("\"my photos\""), (Names{"My Photos"}));
    EXPECT_EQ(matching("\\\"^(cover|report)\\.\"\\"), (Names{"My Photos/cover.png", "docs/a/b/report.pdf"}));
    EXPECT_EQ(matching("\\^CAFÉ\\"), (Names{"cache/Café.TXT"})) << "regular expressions ignore case beyond ASCII";
    EXPECT_EQ(matching("\\name\\.txt$\\"), (Names{"bad\xef\xbf\xbdname.txt"})) << "names with escaped bytes are searched";
    EXPECT_EQ(matching("=folders S>3M"), (Names{"<root>", "My Photos"}));
    EXPECT_EQ(matching("NAMELEN=5"), (Names{"cache", "x.jpg"}));
}

TEST_F(FilterMatching, FullPathMode) {
    EXPECT_EQ(matching("photos", true), (Names{"My Photos", "My Photos/2023", "My Photos/2023/IMG_0001.JPG",
                                               "My Photos/2023/notes.txt", "My Photos/cover.png"}));
    EXPECT_EQ(matching("a/b"), (Names{"docs/a/b", "docs/a/b/report.pdf"})) << "a '/' turns full-path mode on";
    // Extension terms still look at the name: a folder x.jpg matches, its files do not.
    EXPECT_EQ(matching("*.jpg", true), (Names{"My Photos/2023/IMG_0001.JPG", "a.b.JPG", "x.jpg"}));
    EXPECT_EQ(matching("docs/*"), (Names{"docs/a", "docs/a/b", "docs/a/b/report.pdf", "docs/readme", "docs/trailing."}));
    // Pattern tails longer and shorter than the name, with '?' in them.
    EXPECT_EQ(matching("*2023/notes.txt"), (Names{"My Photos/2023/notes.txt"}));
    EXPECT_EQ(matching("*s/2023/?otes.tx?", true), (Names{"My Photos/2023/notes.txt"}));
    EXPECT_EQ(matching("*/?OVER.png", true), (Names{"My Photos/cover.png"}));
    EXPECT_EQ(matching("*/2023/img_*.jpg", true), (Names{"My Photos/2023/IMG_0001.JPG"}));
    EXPECT_EQ(matching("*photos/*", true), (Names{"My Photos/2023", "My Photos/2023/IMG_0001.JPG",
                                                  "My Photos/2023/notes.txt", "My Photos/cover.png"}));
    // Without a '.' the pattern is anchored at the end too: */b becomes */b*.
    EXPECT_EQ(matching("*/b", true), (Names{"bad\xef\xbf\xbdname.txt", "docs/a/b", "docs/a/b/report.pdf"}));
    EXPECT_EQ(matching("\\/2023/\\", true), (Names{"My Photos/2023/IMG_0001.JPG", "My Photos/2023/notes.txt"}));
    EXPECT_EQ(matching("!cache =files", true).size(), 10u);

    // The root's name is its path, so a word from the root path matches every node.
    const std::string rootName = tree->name();
    const std::string lastPart = rootName.substr(rootName.rfind('/') + 1);
    EXPECT_EQ(matching(lastPart, true).size(), preOrder(tree.get()).size());

    const std::string path = tree->fullPath() + "/docs/readme";
    EXPECT_EQ(matching("PATHLEN=" + std::to_string(path.size()), true), (Names{"docs/readme"}));
}

// While a scan reads, a file's own sizes are known and compared; a folder's totals are not, so a
// size term counts as matched for a folder. The kind of an entry is always known.
TEST_F(FilterMatching, DuringAScanFilesAreJudgedByTheirOwnSizes) {
    const auto folders = [&] {
        Names out;
        for (FileNode* n : preOrder(tree.get()))
            if (n->isDir()) out.push_back(n == tree.get() ? "<root>" : n->fullPath().substr(tree->fullPath().size() + 1));
        return out;
    };
    EXPECT_EQ(matching("S>1G", false, false), folders());
    EXPECT_EQ(matching("S>1M", false, false).size(), folders().size() + 1) << "and My Photos/cover.png";
    EXPECT_EQ(matching("=folders", false, false), folders());
    EXPECT_EQ(matching("=files", false, false).size(), preOrder(tree.get()).size() - folders().size());
    EXPECT_TRUE(matching("S>1G").empty());
    EXPECT_EQ(matching("S>1e300"), Names{});
    EXPECT_EQ(matching("S<1e300").size(), preOrder(tree.get()).size());
}

// What a scan may leave out as it reads: only what the filter drops on the finished tree too,
// whatever the folders' totals and newest dates turn out to be.
TEST_F(FilterMatching, AScanLeavesOutOnlyWhatTheFinishedTreeWould) {
    const auto during = [&](std::string_view text, const std::string& rel, bool datesFinal = true) {
        bool fp = false;
        const DecodedFilter f = decodeFilterText(text, fp);
        return matchDuringScan(*node(rel), f, fp, datesFinal);
    };
    using M = ScanMatch;
    EXPECT_EQ(during("S>1M", "My Photos/cover.png"), M::matched);
    EXPECT_EQ(during("S>1M", "My Photos/2023/notes.txt"), M::notMatched);
    EXPECT_EQ(during("S>1M", "My Photos"), M::undecided);
    EXPECT_EQ(during("!A>1M", "docs"), M::undecided);
    EXPECT_EQ(during("*.png S>1M", "docs"), M::notMatched) << "no size can make docs a *.png";
    EXPECT_EQ(during("*.jpg S>1M", "x.jpg"), M::undecided);
    EXPECT_EQ(during("docs|S>1G", "docs"), M::matched);
    EXPECT_EQ(during("=folders", "docs"), M::matched);
    EXPECT_EQ(during("=folders", "docs/readme"), M::notMatched);
    EXPECT_EQ(during("=files", "docs/readme"), M::matched);
    EXPECT_EQ(during("<2000-01-01", "docs"), M::notMatched);
    EXPECT_EQ(during("<2000-01-01", "docs", false), M::undecided) << "a folder may still take a newer date";
    EXPECT_EQ(during("<2000-01-01", "docs/readme", false), M::notMatched);
    EXPECT_EQ(during("=dup", "docs/readme"), M::undecided) << "no node has duplicates while the tree is read";
    EXPECT_EQ(during("NAMELEN=5", "cache"), M::matched);
}

TEST(FilterMatchingDates, LocalDayAndTimeUseTheCapturedOffset) {
    testsupport::TreeBuilder t;
    // 2001-01-01 00:30 UTC is 23:30 on the previous day an hour west of GMT.
    FileNode* f = t.file(t.root("/r"), "f", 1, 1, 1800);
    const FilterClock west{1715774400.0, -3600.0};
    auto check = [&](std::string_view text, bool expected) {
        bool fp = false;
        auto filter = decodeFilterText(text, fp, west);
        EXPECT_EQ(matchItem(*f, filter, fp, true), expected) << text;
    };
    check("=2000-12-31", true);
    check("=2001-01-01", false);
    check("=23:30", true);
    check(">=23:31", false);
    check("=0:30", false);
    // Absolute moments compare in Unix seconds.
    check("<NOW", true);
    check(">NOW-999999999999h", true);
    check("<TODAY-9223372036854775807", false);
}

TEST(FilterMatchingDuplicates, CountsAndSaturatedSizes) {
    testsupport::TreeBuilder t;
    FileNode* root = t.root("/r");
    FileNode* big[3];
    for (auto*& n : big) n = t.file(root, "big", std::numeric_limits<int64_t>::max() / 2 + 1, 0);
    FileNode* lone = t.file(root, "lone", 10);
    DupGroupRef group = DupGroupRef::make(big);
    for (FileNode* n : big) n->setDupGroup(group.get());

    auto f = parse("=dup");
    EXPECT_FALSE(matchItem(*lone, f, false, true));
    EXPECT_TRUE(matchItem(*big[0], f, false, true));
    EXPECT_TRUE(matchItem(*big[1], parse("DUPCOUNT=2"), false, true));
    // Twice a size above half the range does not wrap to a negative product.
    EXPECT_TRUE(matchItem(*big[2], parse("DUPSIZE>1T"), false, true));
    EXPECT_FALSE(matchItem(*lone, parse("DUPSIZE>0"), false, true));
    for (FileNode* n : big) n->setDupGroup(nullptr);
}

// Matching keeps per-thread buffers (the full path and the regular expression's match data).
// ThreadSanitizer runs this file to check that threads matching at once do not share them.
TEST_F(FilterMatching, ManyThreadsAgreeWithOneThread) {
    bool fp = true;
    auto f = parse("\\o\\|*2023*|docs !cache PATHLEN>5", fp);
    auto nodes = preOrder(tree.get());
    std::vector<char> expected;
    for (FileNode* n : nodes) expected.push_back(matchItem(*n, f, fp, true));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < 200; ++round)
                for (size_t i = 0; i < nodes.size(); ++i)
                    if (matchItem(*nodes[i], f, fp, true) != bool(expected[i])) ++mismatches;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(mismatches.load(), 0);
}

// ---- highlight ranges ----------------------------------------------------------------------

TEST(FilterHighlight, RangesInTermOrder) {
    using R = std::vector<TextRange>;
    EXPECT_EQ(highlightRanges(parse("*.txt|read"), u"ReadMe.txt"), (R{{6, 4}, {0, 4}}));
    EXPECT_EQ(highlightRanges(parse("a?c"), u"abc"), R{});
    EXPECT_EQ(highlightRanges(parse("A*B*"), u"xaxbab"), (R{{1, 1}, {4, 1}, {3, 1}, {5, 1}}));
    // A regular expression gives only its first match, and comes before every other term.
    EXPECT_EQ(highlightRanges(parse("txt \\\\d+\\"), u"a12b345.txt"), (R{{1, 2}, {8, 3}}));
    // Negated terms highlight; comparisons, folders-only and no-extension terms do not.
    EXPECT_EQ(highlightRanges(parse("!me S>1 =folders *. <TODAY"), u"ReadMe"), (R{{4, 2}}));
    // Folded matching: accents and case of the listed letters do not matter.
    EXPECT_EQ(highlightRanges(parse("cafe"), u"CAFÉ café"), (R{{0, 4}, {5, 4}}));
    // Ranges are UTF-16 offsets: an astral character before the hit counts two units.
    EXPECT_EQ(highlightRanges(parse("cafe"), u"😀Café.txt"), (R{{2, 4}}));
    EXPECT_EQ(highlightRanges(parse("😀"), u"a😀b😀"), (R{{1, 2}, {4, 2}}));
    EXPECT_EQ(highlightRanges(parse("\\😀\\"), u"a😀"), (R{{1, 2}}));
    EXPECT_EQ(highlightRanges({}, u"anything"), R{});
}

TEST(FilterHighlight, FindAllRanges) {
    using R = std::vector<TextRange>;
    EXPECT_EQ(findAllRanges(u"aa", u"aaaaa"), (R{{0, 2}, {2, 2}})) << "matches do not overlap";
    EXPECT_EQ(findAllRanges(u"abc", u"ab"), R{});
    EXPECT_EQ(findAllRanges(u"", u"abc"), R{}) << "an empty needle must not loop forever";
    EXPECT_EQ(findAllRanges(u"\u00C5", u"ÅåA"), (R{{0, 1}, {1, 1}}));
}
