// Ordering a scanned tree for the command-line export: 1,000,000 nodes in 10,000 folders of 100
// entries with realistic mixed names, sorted by name (the default code) and by size.
#include <benchmark/benchmark.h>

#include "TreeBuilder.hpp"
#include "ZelvaneMac/Core/CommandLine/CLIAutomation.hpp"

#include <random>
#include <string>

using namespace zelvane;

namespace {

struct Tree {
    RootRef handle;
    FileNode* root = nullptr;
};

Tree makeTree(int folders, int filesPerFolder) {
    testsupport::TreeBuilder tree;
    FileNode* root = tree.root("/bench");
    std::mt19937_64 rng(42);
    static const char* stems[] = {"IMG_", "report ", "Track ", "data-", "Scan", "notes", "Übersicht ", "file"};
    static const char* exts[] = {".jpg", ".pdf", ".mp3", ".csv", ".txt", ""};
    for (int f = 0; f < folders; ++f) {
        std::string dirName = "folder ";
        dirName += std::to_string(rng() % 100000);
        FileNode* dir = tree.folder(root, dirName);
        std::vector<FileNode*> kids;
        kids.reserve(static_cast<size_t>(filesPerFolder));
        for (int i = 0; i < filesPerFolder; ++i) {
            std::string name = stems[rng() % 8];
            name += std::to_string(rng() % 5000);
            name += exts[rng() % 6];
            const int64_t size = static_cast<int64_t>(rng() % 10'000'000);
            kids.push_back(tree.loose(name, false, size, size + 4096, static_cast<int32_t>(rng() % 800'000'000)));
        }
        tree.setChildren(dir, kids);
    }
    RootRef handle = tree.finish(root);
    return {handle, handle.get()};
}

void sortBy(benchmark::State& state, int64_t code) {
    for (auto _ : state) {
        state.PauseTiming();
        Tree t = makeTree(10'000, 100);
        state.ResumeTiming();
        CLIAutomation::sortTree(std::span<FileNode* const>(&t.root, 1), code);
        benchmark::DoNotOptimize(t.root->children()[0]);
        state.PauseTiming();
        t = Tree{};
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1'010'001);
}

void BM_SortTreeByName(benchmark::State& state) { sortBy(state, 0); }
void BM_SortTreeBySize(benchmark::State& state) { sortBy(state, 1); }
BENCHMARK(BM_SortTreeByName)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SortTreeBySize)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
