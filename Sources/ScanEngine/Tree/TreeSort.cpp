#include "ScanEngine/Tree/TreeSort.hpp"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "ScanEngine/Support/LocalizedStandardCollator.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"

namespace zelvane {
namespace {

// One worker's buffers, reused for every folder it sorts.
struct SortScratch {
    std::vector<uint8_t> keyBytes;
    std::vector<size_t> keyStarts;
    std::vector<uint32_t> order;
    std::vector<FileNode*> nodes;
};

void sortChildren(FileNode** kids, uint32_t count, TreeSortKey key, const LocalizedStandardCollator& collator,
                  SortScratch& s) {
    switch (key) {
    case TreeSortKey::size:
        std::stable_sort(kids, kids + count,
                         [](const FileNode* a, const FileNode* b) { return a->effectiveSize() > b->effectiveSize(); });
        return;
    case TreeSortKey::allocatedSize:
        std::stable_sort(kids, kids + count, [](const FileNode* a, const FileNode* b) {
            return a->effectiveAllocSize() > b->effectiveAllocSize();
        });
        return;
    case TreeSortKey::modifiedDate:
        std::stable_sort(kids, kids + count,
                         [](const FileNode* a, const FileNode* b) { return a->modifiedDateRaw > b->modifiedDateRaw; });
        return;
    case TreeSortKey::name:
        break;
    }
    // Each child's sort key is made once, then keys are compared bytewise.
    s.keyBytes.clear();
    s.keyStarts.clear();
    for (uint32_t i = 0; i < count; ++i) {
        s.keyStarts.push_back(s.keyBytes.size());
        auto name = kids[i]->nameUnits();
        collator.appendSortKey(name, s.keyBytes);
    }
    s.order.resize(count);
    std::iota(s.order.begin(), s.order.end(), 0u);
    const uint8_t* base = s.keyBytes.data();
    std::stable_sort(s.order.begin(), s.order.end(), [&](uint32_t a, uint32_t b) {
        return std::strcmp(reinterpret_cast<const char*>(base + s.keyStarts[a]),
                           reinterpret_cast<const char*>(base + s.keyStarts[b])) < 0;
    });
    s.nodes.assign(kids, kids + count);
    for (uint32_t i = 0; i < count; ++i) kids[i] = s.nodes[s.order[i]];
}

// Below this many children in all, threads cost more than they save.
constexpr size_t kParallelSortThreshold = 50'000;
// More threads than this gain nothing: the sort then waits on memory.
constexpr int kMostSortThreads = 8;

}  // namespace

void sortTree(std::span<FileNode* const> roots, TreeSortKey key) {
    // Sorting never changes which folders exist, so they are collected first and then sorted
    // independently. Explicit stack: trees can be deeper than any thread stack.
    std::vector<FolderData*> folders;
    size_t totalChildren = 0;
    std::vector<FileNode*> stack;
    for (FileNode* root : roots) {
        if (!root) continue;
        stack.push_back(root);
        while (!stack.empty()) {
            FileNode* node = stack.back();
            stack.pop_back();
            FolderData* folder = node->folderData();
            if (!folder || folder->childCount == 0) continue;
            if (folder->childCount > 1) {
                folders.push_back(folder);
                totalChildren += folder->childCount;
            }
            stack.insert(stack.end(), folder->children, folder->children + folder->childCount);
        }
    }
    if (folders.empty()) return;

    const LocalizedStandardCollator collator;  // shared: comparing through it is thread-safe
    const unsigned workers = totalChildren < kParallelSortThreshold ? 1 : parallelWorkerCount(kMostSortThreads);
    std::vector<SortScratch> scratch(workers);
    parallelFor(folders.size(), workers, 32, [&](size_t i, unsigned worker) {
        sortChildren(folders[i]->children, folders[i]->childCount, key, collator, scratch[worker]);
    });
}

void sortTree(std::span<const RootRef> roots, TreeSortKey key) {
    std::vector<FileNode*> raw;
    raw.reserve(roots.size());
    for (const RootRef& r : roots) raw.push_back(r.get());
    sortTree(raw, key);
}

}  // namespace zelvane
