#include <gtest/gtest.h>

#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"
#include "ZelvaneMac/Core/CommandLine/CommandLine.hpp"
#include "TempFolder.hpp"
#include "ScanEngine/Support/LocalizedStandardCollator.hpp"
#include "TreeBuilder.hpp"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace zelvane;
using CLIAutomation::Options;

namespace {

Options parseArgs(std::vector<std::string> args) {
    args.insert(args.begin(), "/opt/ZelvaneMac.app/ZelvaneMac");
    return CLIAutomation::parse(args);
}

TEST(CLIAutomationParse, NoOptionsGiveTheAbsentRecord) {
    const Options expected;  // the declared defaults
    EXPECT_EQ(parseArgs({}), expected);
    EXPECT_EQ(parseArgs({"/home/a", "/tmp", "notes.txt"}), expected);
    EXPECT_FALSE(expected.exportPath || expected.exportFileTypesPath || expected.filter || expected.filterExclude ||
                 expected.treemapImageFile);
    EXPECT_TRUE(expected.filterFullPath && expected.exportFolders && expected.exportFiles && expected.exportDriveCapacity);
    EXPECT_FALSE(expected.exportMFTRecNo || expected.exportAllDates || expected.exportAllSizes ||
                 expected.exportSplitFilename || expected.exportPercentOfParent || expected.exportUTCTime ||
                 expected.treemapImageGray || expected.treemapImageFreeSpace || expected.treemapImageShowAllocated);
    EXPECT_EQ(expected.sortBy, 0);
    EXPECT_EQ(expected.sortByFileTypes, 1);
    EXPECT_EQ(expected.exportMaxDepth, 0);
    EXPECT_EQ(expected.treemapImageWidth, 1920);
    EXPECT_EQ(expected.treemapImageHeight, 1080);
    EXPECT_FALSE(expected.isExportMode());
}

TEST(CLIAutomationParse, BooleanValues) {
    struct Case { const char* arg; bool value; };
    const Case cases[] = {
        {"--exportfolders=0", false},    {"--exportfolders=no", false},   {"--exportfolders=", false},
        {"--exportfolders=yes", false},  {"--exportfolders= 1", false},   {"--exportfolders=1 ", false},
        {"--exportfolders=TRUE", true},  {"--exportfolders=1", true},     {"--exportfolders=tRuE", true},
        {"--exportfolders=true", true},  {"--exportfolders=truee", false}, {"--exportfolders=01", false},
    };
    for (const Case& c : cases) {
        const Options o = parseArgs({c.arg});
        EXPECT_EQ(o.exportFolders, c.value) << c.arg;
        EXPECT_TRUE(o.exportFoldersWasSet) << c.arg;
    }
}

TEST(CLIAutomationParse, EveryOptionReachesItsField) {
    using Check = std::function<bool(const Options&)>;
    struct Case { std::string arg; Check check; };
    const std::vector<Case> cases = {
        {"--export=/tmp/a.csv", [](const Options& o) { return o.exportPath == "/tmp/a.csv" && o.isExportMode(); }},
        {"--exportfiletypes=t.csv", [](const Options& o) { return o.exportFileTypesPath == "t.csv" && o.isExportMode(); }},
        {"--treemapimagefile=m.png", [](const Options& o) { return o.treemapImageFile == "m.png" && o.isExportMode(); }},
        {"--filter=*.mp4", [](const Options& o) { return o.filter == "*.mp4"; }},
        {"--filterexclude=*.tmp", [](const Options& o) { return o.filterExclude == "*.tmp"; }},
        {"--filterfullpath=0", [](const Options& o) { return !o.filterFullPath && o.filterFullPathWasSet; }},
        {"--exportfiles=0", [](const Options& o) { return !o.exportFiles && o.exportFilesWasSet; }},
        {"--sortby=3", [](const Options& o) { return o.sortBy == 3 && o.sortByWasSet; }},
        {"--sortbyfiletypes=2", [](const Options& o) { return o.sortByFileTypes == 2 && o.sortByFileTypesWasSet; }},
        {"--exportmftrecno=1", [](const Options& o) { return o.exportMFTRecNo && o.exportMFTRecNoWasSet; }},
        {"--exportalldates=1", [](const Options& o) { return o.exportAllDates && o.exportAllDatesWasSet; }},
        {"--exportallsizes=1", [](const Options& o) { return o.exportAllSizes && o.exportAllSizesWasSet; }},
        {"--exportsplitfilename=1", [](const Options& o) { return o.exportSplitFilename && o.exportSplitFilenameWasSet; }},
        {"--exportdrivecapacity=0", [](const Options& o) { return !o.exportDriveCapacity && o.exportDriveCapacityWasSet; }},
        {"--exportpercentofparent=1", [](const Options& o) { return o.exportPercentOfParent && o.exportPercentOfParentWasSet; }},
        {"--exportmaxdepth=5", [](const Options& o) { return o.exportMaxDepth == 5 && o.exportMaxDepthWasSet; }},
        {"--exportutctime=1", [](const Options& o) { return o.exportUTCTime; }},
        {"--treemapimagewidth=640", [](const Options& o) { return o.treemapImageWidth == 640; }},
        {"--treemapimageheight=480", [](const Options& o) { return o.treemapImageHeight == 480; }},
        {"--treemapimagegray=1", [](const Options& o) { return o.treemapImageGray; }},
        {"--treemapimagefreespace=1", [](const Options& o) { return o.treemapImageFreeSpace; }},
        {"--treemapimageshowallocated=1", [](const Options& o) { return o.treemapImageShowAllocated; }},
    };
    for (const Case& c : cases) {
        const Options o = parseArgs({c.arg});
        EXPECT_TRUE(c.check(o)) << c.arg;
        EXPECT_NE(o, Options{}) << c.arg;
    }
}

TEST(CLIAutomationParse, IntegerValues) {
    struct Case { const char* value; int64_t expected; };
    const Case cases[] = {
        {"+3", 3},     {"-0", 0},   {" 3", 0},   {"3 ", 0},  {"", 0},    {"abc", 0},  {"+", 0},     {"-", 0},
        {"1,000", 0},  {"0x10", 0}, {"1e3", 0},  {"+-3", 0}, {"-12", -12}, {"007", 7},
        {"9223372036854775807", INT64_MAX},  {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", 0},          {"-9223372036854775809", 0},
        {"99999999999999999999999", 0},      {"\xd9\xa3", 0},  // an Arabic-Indic digit is no ASCII digit
    };
    for (const Case& c : cases) {
        const Options o = parseArgs({std::string("--exportmaxdepth=") + c.value});
        EXPECT_EQ(o.exportMaxDepth, c.expected) << '"' << c.value << '"';
        EXPECT_TRUE(o.exportMaxDepthWasSet);
    }
    // Defaults other than 0 come back for values that do not parse; no range check here.
    EXPECT_EQ(parseArgs({"--sortbyfiletypes=x"}).sortByFileTypes, 1);
    EXPECT_EQ(parseArgs({"--treemapimagewidth=abc"}).treemapImageWidth, 1920);
    EXPECT_EQ(parseArgs({"--treemapimagewidth=-5"}).treemapImageWidth, -5);
    const Options sortAbc = parseArgs({"--sortby=abc"});
    EXPECT_EQ(sortAbc.sortBy, 0);
    EXPECT_TRUE(sortAbc.sortByWasSet);
}

TEST(CLIAutomationParse, OptionMatchingRules) {
    // First occurrence wins; names are case-sensitive; "=" is required; the value keeps later "=".
    EXPECT_EQ(parseArgs({"--export=a.csv", "--export=b.csv"}).exportPath, "a.csv");
    EXPECT_FALSE(parseArgs({"--EXPORT=a.csv"}).isExportMode());
    EXPECT_FALSE(parseArgs({"--export"}).isExportMode());
    EXPECT_FALSE(parseArgs({"-export=x"}).isExportMode());
    EXPECT_FALSE(parseArgs({"---export=x"}).isExportMode());
    EXPECT_EQ(parseArgs({"--filter=a=b"}).filter, "a=b");
    // An empty path still switches export mode on.
    const Options empty = parseArgs({"--export="});
    EXPECT_EQ(empty.exportPath, "");
    EXPECT_TRUE(empty.isExportMode());
    // A longer option name is not a shorter one: "--exportfiles=" is not "--export=".
    EXPECT_FALSE(parseArgs({"--exportfiles=1", "--exportfiletypesx=1"}).isExportMode());
    // Options and folders in any order.
    EXPECT_EQ(parseArgs({"/a", "--sortby=1", "/b", "--export=x"}), parseArgs({"--export=x", "/b", "--sortby=1", "/a"}));
    // Path bytes are kept as they are, not trimmed or decoded.
    EXPECT_EQ(parseArgs({"--export= /tmp/'x'\xff.csv "}).exportPath, " /tmp/'x'\xff.csv ");
    // The program path itself takes part in the search.
    EXPECT_EQ(CLIAutomation::parse(std::vector<std::string>{"--export=p"}).exportPath, "p");
}

TEST(CLIAutomationParse, FilterTextsAreUnquotedAndBarsTightened) {
    struct Case { const char* arg; const char* filter; };
    const Case cases[] = {
        {"--filter='My Folder' | *.tmp", "\"My Folder\"|*.tmp"},
        {"--filter=it''s", "it's"},
        {"--filter=a |b", "a|b"},
        {"--filter=a| b", "a|b"},
        {"--filter=a  |  b", "a|b"},           // each of the three passes takes one space
        {"--filter=a   |   b", "a | b"},
        {"--filter=a | | b", "a||b"},
        {"--filter=", ""},
        {"--filter='''", "'\""},
        {"--filter=''''", "''"},
    };
    for (const Case& c : cases) EXPECT_EQ(parseArgs({c.arg}).filter, c.filter) << c.arg;
    EXPECT_EQ(parseArgs({"--filterexclude='a b' | c"}).filterExclude, "\"a b\"|c");
}

TEST(CLIAutomationDecodeQuotes, WholeCharacters) {
    struct Case { std::string in, out; };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"'x'", "\"x\""},
        {"it''s", "it's"},
        {"'''", "'\""},
        {"\"already\"", "\"already\""},
        // An apostrophe carrying a combining acute accent is one character, not an apostrophe.
        {"'\xcc\x81x'", "'\xcc\x81x\""},
        // Non-ASCII text and bytes that are not UTF-8 pass through unchanged.
        {"'\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d'", "\"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d\""},
        {"'\xff\xfe'", "\"\xff\xfe\""},
        {"\xf0\x9f\x98\x80''", "\xf0\x9f\x98\x80'"},
    };
    for (const Case& c : cases) EXPECT_EQ(CLIAutomation::decodeQuotes(c.in), c.out) << c.in;
}

// A small tree built in a node store: name, folder flag, size, allocated size, modified date.
struct Spec { std::string name; bool dir; int64_t size; int64_t alloc; int32_t date; };

struct TreeFixture {
    testsupport::TreeBuilder tree;
    FileNode* root(const std::string& path) { return tree.root(path); }
    FileNode* add(FileNode* parent, const Spec& s) {
        return s.dir ? tree.folder(parent, s.name, s.date) : tree.file(parent, s.name, s.size, s.alloc, s.date);
    }
};

std::vector<std::string> childNames(const FileNode* n) {
    std::vector<std::string> names;
    for (const FileNode* c : n->children()) names.push_back(c->name());
    return names;
}

TEST(CLIAutomationSortTree, ByCodes) {
    TreeFixture t;
    FileNode* root = t.root("/r");
    t.add(root, {"ten", false, 10, 4096, 300});
    FileNode* folder = t.add(root, {"folder", true, 0, 0, 100});
    t.add(folder, {"inner", false, 30, 8192, 100});
    t.add(root, {"thirty", false, 30, 0, 300});
    root->aggregateSizes();

    CLIAutomation::sortTree(std::span<FileNode* const>(&root, 1), 1);
    EXPECT_EQ(childNames(root), (std::vector<std::string>{"folder", "thirty", "ten"}));  // ties keep order

    CLIAutomation::sortTree(std::span<FileNode* const>(&root, 1), 2);
    EXPECT_EQ(childNames(root), (std::vector<std::string>{"folder", "ten", "thirty"}));

    CLIAutomation::sortTree(std::span<FileNode* const>(&root, 1), 3);
    EXPECT_EQ(childNames(root), (std::vector<std::string>{"ten", "thirty", "folder"}));  // same second: a tie
    for (const FileNode* c : root->children()) EXPECT_EQ(c->parent(), root);
}

TEST(CLIAutomationSortTree, NamesInLocaleOrderForEveryOtherCode) {
    for (int64_t code : {int64_t{0}, int64_t{4}, int64_t{-1}, INT64_MIN}) {
        TreeFixture t;
        FileNode* root = t.root("/r");
        for (const char* n : {"file10", "B", "file9", "a", "\xc3\xa9t\xc3\xa9", "Zeta", "ete"})
            t.add(root, {n, false, 1, 1, 0});
        CLIAutomation::sortTree(std::span<FileNode* const>(&root, 1), code);
        EXPECT_EQ(childNames(root),
                  (std::vector<std::string>{"a", "B", "ete", "\xc3\xa9t\xc3\xa9", "file9", "file10", "Zeta"}))
            << code;
    }
}

TEST(CLIAutomationSortTree, RootsKeepTheirOrderAndEveryLevelIsSorted) {
    TreeFixture t;
    FileNode* b = t.root("/b");
    FileNode* a = t.root("/a");
    FileNode* sub = t.add(b, {"sub", true, 0, 0, 0});
    t.add(sub, {"y", false, 1, 1, 0});
    t.add(sub, {"x", false, 2, 2, 0});
    t.add(a, {"2", false, 5, 5, 0});
    t.add(a, {"1", false, 6, 6, 0});
    std::vector<FileNode*> roots{b, a};
    CLIAutomation::sortTree(roots, 0);
    EXPECT_EQ(roots[0], b);
    EXPECT_EQ(roots[1], a);
    EXPECT_EQ(childNames(sub), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(childNames(a), (std::vector<std::string>{"1", "2"}));

    // Sorting again with the same code changes nothing.
    CLIAutomation::sortTree(roots, 0);
    EXPECT_EQ(childNames(sub), (std::vector<std::string>{"x", "y"}));

    // Nothing to sort is no error.
    CLIAutomation::sortTree(std::span<FileNode* const>{}, 1);
    FileNode* lone = t.root("/lone");
    CLIAutomation::sortTree(std::span<FileNode* const>(&lone, 1), 0);
    EXPECT_EQ(lone->childCount(), 0u);
}

TEST(CLIAutomationSortTree, DeepChainDoesNotExhaustTheStack) {
    TreeFixture t;
    FileNode* root = t.root("/deep");
    FileNode* cur = root;
    constexpr int kDepth = 200000;
    for (int i = 0; i < kDepth; ++i) {
        t.add(cur, {"z", false, 1, 1, 0});
        cur = t.add(cur, {"d", true, 0, 0, 0});
    }
    CLIAutomation::sortTree(std::span<FileNode* const>(&root, 1), 0);
    int depth = 0;
    for (const FileNode* n = root; n->childCount() == 2; n = n->children()[0], ++depth)
        ASSERT_EQ(n->children()[0]->name(), "d");
    EXPECT_EQ(depth, kDepth);
}

// Large trees are sorted on several threads; this also runs under ThreadSanitizer.
TEST(CLIAutomationSortTree, WideTreeSortedOnSeveralThreadsMatchesTheSingleFolderOrder) {
    TreeFixture t;
    FileNode* root = t.root("/wide");
    uint32_t seed = 7;
    const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    // Built by appending: GCC 12 warns falsely about `"d" + std::to_string(n)` at -O3.
    const auto named = [](char prefix, uint32_t n) { std::string s(1, prefix); s += std::to_string(n); return s; };
    for (int f = 0; f < 800; ++f) {
        FileNode* dir = t.add(root, {named('d', next() % 1000), true, 0, 0, 0});
        for (int i = 0; i < 100; ++i)
            t.add(dir, {named('f', next() % 300), false, static_cast<int64_t>(next() % 50), 0, 0});
    }
    root->aggregateSizes();
    const LocalizedStandardCollator collator;
    for (int64_t code : {int64_t{0}, int64_t{1}}) {
        CLIAutomation::sortTree(std::span<FileNode* const>(&root, 1), code);
        for (const FileNode* dir : root->children()) {
            const auto kids = dir->children();
            ASSERT_EQ(kids.size(), 100u);
            for (size_t i = 1; i < kids.size(); ++i) {
                if (code == 1) {
                    ASSERT_GE(kids[i - 1]->effectiveSize(), kids[i]->effectiveSize());
                } else {
                    ASSERT_LE(collator.compare(kids[i - 1]->name16(), kids[i]->name16()), 0);
                }
            }
        }
    }
}

TEST(LocalizedStandardCollator, SortKeysAgreeWithCompare) {
    const LocalizedStandardCollator collator("en");
    const std::vector<std::u16string> texts = {u"a", u"A", u"b", u"B", u"file2", u"file10", u"file02", u"é", u"e",
                                               u"", u"\xDC80", u"ab", u"a b", u"Ａ"};
    for (const auto& x : texts) {
        for (const auto& y : texts) {
            std::vector<uint8_t> kx, ky;
            collator.appendSortKey(x, kx);
            collator.appendSortKey(y, ky);
            const int byKey = std::strcmp(reinterpret_cast<const char*>(kx.data()), reinterpret_cast<const char*>(ky.data()));
            const int byCompare = collator.compare(x, y);
            EXPECT_EQ(byKey < 0, byCompare < 0);
            EXPECT_EQ(byKey == 0, byCompare == 0);
        }
    }
    EXPECT_LT(collator.compare(u"file9", u"file10"), 0);
    EXPECT_LT(collator.compare(u"a", u"B"), 0);
}

}  // namespace

namespace {

std::vector<std::string> extsOf(const std::vector<ExtensionStats>& stats) {
    std::vector<std::string> out;
    for (const ExtensionStats& s : stats) out.push_back(s.ext);
    return out;
}

TEST(CLIAutomationSortedExtensionStats, CodesTiesAndInputLeftAlone) {
    const std::vector<ExtensionStats> input = {
        {"txt", 10, 4096, 1}, {"Zip", 30, 100, 2}, {"jpg", 30, 8192, 3}, {"", 5, 8192, 1}, {"file10", 1, 1, 1},
        {"file9", 1, 1, 1},
    };
    const std::vector<ExtensionStats> before = input;
    // Largest first, ties in input order, never broken by another key.
    EXPECT_EQ(extsOf(CLIAutomation::sortedExtensionStats(input, 1)),
              (std::vector<std::string>{"Zip", "jpg", "txt", "", "file10", "file9"}));
    EXPECT_EQ(extsOf(CLIAutomation::sortedExtensionStats(input, 2)),
              (std::vector<std::string>{"jpg", "", "txt", "Zip", "file10", "file9"}));
    // Every other code: by extension as people sort names (case-insensitive, digits as numbers).
    for (int64_t code : {0, 3, 4, -1}) {
        EXPECT_EQ(extsOf(CLIAutomation::sortedExtensionStats(input, code)),
                  (std::vector<std::string>{"", "file9", "file10", "jpg", "txt", "Zip"}))
            << code;
    }
    EXPECT_EQ(input, before);
    EXPECT_TRUE(CLIAutomation::sortedExtensionStats({}, 1).empty());
}

// The folders both modes take from the command line: real folders, files and links in a temporary
// folder, named relatively, absolutely and oddly.
TEST(CommandLineTargets, OneFolderRuleForBothModes) {
    testsupport::TempFolder dir;
    namespace fs = std::filesystem;
    const std::string d = dir.path();
    fs::create_directories(d + "/a/b");
    fs::create_directories(d + "/folder.csv");
    const std::string odd = d + "/bad\xff\xfe name";
    fs::create_directories(odd);
    std::ofstream(d + "/notes.txt") << "x";
    std::ofstream(d + "/scan.CSV") << "x";
    std::ofstream(d + "/later.tsv") << "x";
    fs::create_directory_symlink(d + "/a", d + "/link");

    const std::vector<std::string> args{"--filter=x", d + "/missing", "a", "a/b/", "./a//b/.", "link",
                                        "link/../a",   "notes.txt",    odd, d + "/a", "folder.csv", "scan.CSV",
                                        "later.tsv",   "-weird",       ""};
    const CommandLineTargets targets = commandLineTargets(args, d);
    EXPECT_EQ(targets.folders, (std::vector<std::string>{d + "/a", d + "/a/b", d + "/a/b", d + "/link", d + "/link/../a",
                                                         odd, d + "/a", d + "/folder.csv"}))
        << "absolute, trailing slashes and '.' dropped, links and '..' kept, repeats kept, bytes kept";
    EXPECT_EQ(targets.csvFile, std::optional<std::string>("scan.CSV")) << "the first table file, as given";
    ASSERT_EQ(targets.skipped.size(), 4u);
    EXPECT_EQ(targets.skipped[0].argument, d + "/missing");
    EXPECT_EQ(targets.skipped[0].reason, std::error_code(ENOENT, std::generic_category()).message());
    EXPECT_EQ(targets.skipped[1].argument, "notes.txt");
    EXPECT_EQ(targets.skipped[1].reason, std::error_code(ENOTDIR, std::generic_category()).message());
    EXPECT_EQ(targets.skipped[2].argument, "scan.CSV") << "a table file is no folder to scan";

    // Relative names resolve against the working folder they were given with, not the process's.
    const CommandLineTargets unknown = commandLineTargets(std::vector<std::string>{"a", d + "/a"}, "", "gone");
    EXPECT_EQ(unknown.folders, std::vector<std::string>{d + "/a"});
    ASSERT_EQ(unknown.skipped.size(), 1u);
    EXPECT_EQ(unknown.skipped[0].reason, "the working folder is unknown: gone");

    EXPECT_EQ(absoluteFolderArgument("/", "/w"), "/");
    EXPECT_EQ(absoluteFolderArgument(".", "/w/"), "/w");
    EXPECT_EQ(absoluteFolderArgument("x/../y", "/w"), "/w/x/../y");
}

// Read once: the options, the raw arguments and the targets come from the same list, against
// the process's working folder.
TEST(CommandLineTargets, ReadTakesTheOptionsAndTheFoldersTogether) {
    testsupport::TempFolder dir;
    std::filesystem::create_directories(dir.path() + "/sub");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const CommandLine line = CommandLine::read({"/opt/ZelvaneMac", "sub", "--export=out.csv", "sub/"});
    std::filesystem::current_path(before);
    EXPECT_TRUE(line.options.isExportMode());
    EXPECT_EQ(line.arguments.size(), 4u);
    EXPECT_EQ(line.targets.folders, (std::vector<std::string>{dir.path() + "/sub", dir.path() + "/sub"}));
    EXPECT_TRUE(CommandLine::read({}).targets.folders.empty()) << "no program path, nothing to read";
}

}  // namespace
