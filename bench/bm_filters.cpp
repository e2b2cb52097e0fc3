// Filter matching over a million in-memory nodes: the cost per node of each term kind, of a
// realistic mix, of full-path matching and of the full-path tree filter.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Filter/FullPathTreeFilter.hpp"
#include "TreeBuilder.hpp"

using namespace zelvane;

namespace {

constexpr FilterClock kClock{1715774400.0, 7200.0};

struct Tree {
    RootRef root;
    std::vector<FileNode*> nodes;  // pre-order
};

// About a million nodes: folders of 8 subfolders and 26 files, six levels of folders below a root
// path, with names as a photo library, a source tree and office documents mix them.
const Tree& millionNodes() {
    static const Tree tree = [] {
        testsupport::TreeBuilder builder;
        FileNode* root = builder.root("/home/user/data");
        static const char* folderNames[] = {"Photos 2023", "src", "node_modules", "Documents", "tmp", "lib", "Archive"};
        static const char* fileStems[] = {"IMG_", "report-", "main", "index", "notes", "DSC", "invoice_", "util"};
        static const char* exts[] = {".jpg", ".JPG", ".png", ".pdf", ".c", ".js", ".txt", ".heic", "", ".tar.gz"};
        std::vector<FileNode*> level{root};
        uint32_t seq = 0;
        for (int depth = 0; depth < 6; ++depth) {
            std::vector<FileNode*> next;
            for (FileNode* parent : level) {
                const int dirs = depth < 5 ? 8 : 0;
                for (int i = 0; i < dirs + 26; ++i) {
                    ++seq;
                    bool dir = i < dirs;
                    std::string name;
                    if (dir) {
                        name = std::string(folderNames[seq % 7]) + " " + std::to_string(seq % 100);
                    } else {
                        name = std::string(fileStems[seq % 8]) + std::to_string(1000 + seq % 9000) + exts[(seq * 3) % 10];
                    }
                    int64_t size = dir ? 0 : int64_t((seq * 2654435761u) % (8u << 20));
                    int32_t date = int32_t(600000000 + (seq * 7919u) % 150000000u);
                    FileNode* n = dir ? builder.folder(parent, name, date) : builder.file(parent, name, size, size, date);
                    if (dir) next.push_back(n);
                }
            }
            level = std::move(next);
            if (level.empty()) break;
        }
        Tree t;
        t.root = builder.finish(root);
        t.nodes = testsupport::preOrder(t.root.get());
        return t;
    }();
    return tree;
}

void perNode(benchmark::State& state, size_t nodes) {
    state.SetItemsProcessed(int64_t(state.iterations() * nodes));
    state.counters["ns/node"] =
        benchmark::Counter(double(nodes), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["nodes"] = double(nodes);
}

void matchAll(benchmark::State& state, const char* text, bool fullpath) {
    const Tree& t = millionNodes();
    bool fp = fullpath;
    DecodedFilter f = decodeFilterText(std::string_view(text), fp, kClock);
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (FileNode* n : t.nodes) hits += matchItem(*n, f, fp, true);
        benchmark::DoNotOptimize(hits);
    }
    perNode(state, t.nodes.size());
    state.counters["hits"] = double(hits);
}

void treeFilter(benchmark::State& state, const char* text) {
    const Tree& t = millionNodes();
    bool fp = true;
    DecodedFilter f = decodeFilterText(std::string_view(text), fp, kClock);
    size_t hits = 0;
    for (auto _ : state) {
        auto result = filterTreeFullPath(*t.root, f, false, true);
        hits = result.size();
        benchmark::DoNotOptimize(result.data());
    }
    perNode(state, t.nodes.size());
    state.counters["hits"] = double(hits);
}

// A pattern that backtracks without end, over 2,001 names it cannot match: each name costs the
// expression's step limit, so the whole list must still take well under a second.
void runawayRegex(benchmark::State& state) {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/home/user/runaway");
    std::vector<FileNode*> nodes;
    for (int i = 0; i <= 2000; ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "!%04d", i);
        nodes.push_back(tree.file(root, std::string(30, 'a') + suffix, 1));
    }
    bool fp = false;
    DecodedFilter f = decodeFilterText(std::string_view("\\(a+)+$\\"), fp, kClock);
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (FileNode* n : nodes) hits += matchItem(*n, f, fp, true);
        benchmark::DoNotOptimize(hits);
    }
    perNode(state, nodes.size());
    state.counters["hits"] = double(hits);
}

}  // namespace

BENCHMARK(runawayRegex)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, extension, "*.jpg", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, wildcard, "IMG_*", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, word, "report", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, regex, "\\\"^img_\\d+\\.(jpg|heic)$\"\\", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, sizeAndDate, "S>1M <TODAY-30", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, mix, "*.jpg|*.png|\\^DSC\\d+\\ S>100k !tmp >2020-01-01", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, fullPathWords, "photos 2023", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(matchAll, fullPathPattern, "*/src*/*.c", true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(treeFilter, fullPathWords, "photos 2023")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(treeFilter, fullPathPattern, "*/src*/*.c")->Unit(benchmark::kMillisecond);

static void decodeMix(benchmark::State& state) {
    for (auto _ : state) {
        bool fp = false;
        auto f = decodeFilterText(std::string_view("*.jpg|*.png|\\^DSC\\d+\\ S>100k !tmp >2020-01-01 \"my file\""), fp, kClock);
        benchmark::DoNotOptimize(f.data());
    }
}
BENCHMARK(decodeMix);
