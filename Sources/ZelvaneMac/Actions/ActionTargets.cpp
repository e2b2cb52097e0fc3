#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

#include "ScanEngine/Support/ParallelFor.hpp"
#include "ZelvaneMac/Core/Support/ParallelSort.hpp"

namespace zelvane {

namespace {

// How often the long loops look at their cancel flag.
constexpr size_t kCancelCheckEvery = 1 << 16;

bool usable(const FileNode* node) {
    return node && !node->isSyntheticGroup() && !node->isDeleted();
}

const FileNode* rootOf(const FileNode* node) {
    while (node->parent()) node = node->parent();
    return node;
}

bool stopped(size_t i, const CancelFlag* cancel) { return i % kCancelCheckEvery == 0 && isCancelled(cancel); }

// The items a worker takes at a time.
constexpr size_t kStretch = size_t(1) << 16;

size_t stretchCount(size_t count) { return (count + kStretch - 1) / kStretch; }

std::pair<size_t, size_t> stretch(size_t s, size_t count) { return {s * kStretch, std::min(count, (s + 1) * kStretch)}; }

// A usable node and the index of the owner's node it came from (none for a group row's file).
struct Listed {
    FileNode* node;
    size_t from;
};
constexpr size_t kFromGroup = SIZE_MAX;

// The usable nodes the owner's nodes stand for, each once, in the owner's order (a group row
// stands for its files). A table of every node seen cost tens of bytes a node: a sorted copy of
// the pointers finds whether any node comes twice, and only then are the later ones dropped.
std::vector<Listed> listedOnce(std::span<FileNode* const> nodes, const CancelFlag* cancel) {
    std::vector<Listed> listed;
    listed.reserve(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (stopped(i, cancel)) return {};
        FileNode* node = nodes[i];
        if (!node) continue;
        if (!node->isSyntheticGroup()) {
            if (usable(node)) listed.push_back({node, i});
        } else if (!node->isDeleted()) {
            for (FileNode* child : node->children())
                if (usable(child)) listed.push_back({child, kFromGroup});
        }
    }
    if (listed.size() < 2) return listed;
    std::vector<FileNode*> sorted(listed.size());
    for (size_t i = 0; i < listed.size(); ++i) sorted[i] = listed[i].node;
    if (!parallelSort(sorted, std::less<FileNode*>(), cancel)) return {};
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice == sorted.end()) return listed;
    sorted.erase(std::unique(twice, sorted.end()), sorted.end());
    std::vector<bool> taken(sorted.size(), false);
    size_t kept = 0;
    for (size_t i = 0; i < listed.size(); ++i) {
        if (stopped(i, cancel)) return {};
        const size_t at = size_t(std::lower_bound(sorted.begin(), sorted.end(), listed[i].node) - sorted.begin());
        if (taken[at]) continue;
        taken[at] = true;
        listed[kept++] = listed[i];
    }
    listed.resize(kept);
    return listed;
}

// What the items of one tree share: whether their paths are absolute (exactly when the root's
// name, the scanned path, is), and where the tree came from.
struct TreeFacts {
    bool absolute = false;
    bool fromImport = false;
    bool fromFilteredTree = false;

    static TreeFacts of(const FileNode* node) {
        const FileNode* root = rootOf(node);
        auto name = root->nameUnits();
        const NodeStore* store = root->store();
        return {!name.empty() && name.front() == u'/', store && store->isImported(), store && store->isFiltered()};
    }
};

ActionTarget targetOf(FileNode* node, const TreeFacts& tree, std::string_view knownPath) {
    ActionTarget t;
    t.node = node;
    if (!tree.absolute) return t;
    t.path = knownPath.empty() ? node->pathBytes() : std::string(knownPath);
    t.isDir = node->isDir();
    t.fromImport = tree.fromImport;
    t.fromFilteredTree = tree.fromFilteredTree;
    t.isImpliedFolder = t.fromImport && node->isImpliedFolder();
    return t;
}

// Drops the items below another item's folder. Only folders can hold items: their pointers,
// sorted, are searched for each item's folders on the way up, once for items of one folder.
bool dropNested(std::vector<ActionTarget>& items, const CancelFlag* cancel) {
    std::vector<const FileNode*> folders;
    for (const ActionTarget& t : items)
        if (t.node->isDir()) folders.push_back(t.node);
    if (folders.empty()) return true;
    std::sort(folders.begin(), folders.end());
    const auto isFolder = [&](const FileNode* n) { return std::binary_search(folders.begin(), folders.end(), n); };
    const FileNode* lastParent = nullptr;
    bool lastInside = false;
    size_t kept = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (stopped(i, cancel)) return false;
        const FileNode* parent = items[i].node->parent();
        if (!parent || parent != lastParent) {
            lastParent = parent;
            lastInside = false;
            for (const FileNode* p = parent; p && !lastInside; p = p->parent()) lastInside = isFolder(p);
        }
        if (lastInside) continue;
        if (kept != i) items[kept] = std::move(items[i]);
        ++kept;
    }
    items.resize(kept);
    return true;
}

// Where each listed node's tree comes from, found on every processor. The nodes of one folder
// come together: their root is looked up once.
std::vector<TreeFacts> treeFactsOf(const std::vector<Listed>& listed, const CancelFlag* cancel) {
    std::vector<TreeFacts> trees(listed.size());
    parallelFor(stretchCount(listed.size()), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, listed.size());
        const FileNode* lastParent = nullptr;
        for (size_t i = begin; i < end; ++i) {
            const FileNode* parent = listed[i].node->parent();
            trees[i] = i != begin && parent && parent == lastParent ? trees[i - 1] : TreeFacts::of(listed[i].node);
            lastParent = parent;
        }
    }, cancel);
    if (isCancelled(cancel)) return {};
    return trees;
}

}  // namespace

QString ActionTarget::displayName() const {
    return node ? withVisibleControlCharacters(QString::fromStdString(node->name())) : givenName;
}

QString ActionTarget::displayPath() const { return node ? QString::fromStdString(node->fullPath()) : givenName; }

std::vector<ActionTarget> resolveActionTargets(std::span<FileNode* const> nodes, bool dropNestedItems,
                                               std::vector<ActionTarget>* withoutFullPath, const CancelFlag* cancel,
                                               const NodePaths* paths) {
    const std::vector<Listed> listed = listedOnce(nodes, cancel);
    const std::vector<TreeFacts> trees = treeFactsOf(listed, cancel);
    if (trees.size() != listed.size()) return {};
    if (paths && paths->size() != nodes.size()) paths = nullptr;
    // Made a stretch at a time on every processor, then joined in order.
    struct Made {
        std::vector<ActionTarget> items;
        std::vector<ActionTarget> withoutFullPath;
    };
    std::vector<Made> made(stretchCount(listed.size()));
    parallelFor(made.size(), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, listed.size());
        Made& part = made[s];
        part.items.reserve(end - begin);
        for (size_t i = begin; i < end; ++i) {
            const size_t from = listed[i].from;
            const std::string_view known = paths && from != kFromGroup ? (*paths)[from] : std::string_view();
            if (trees[i].absolute) part.items.push_back(targetOf(listed[i].node, trees[i], known));
            else if (withoutFullPath) part.withoutFullPath.push_back(targetOf(listed[i].node, trees[i], known));
        }
    }, cancel);
    if (isCancelled(cancel)) return {};
    // Joined in place, each part let go once it is in: the items are not held twice.
    std::vector<size_t> starts(made.size() + 1, 0);
    for (size_t s = 0; s < made.size(); ++s) starts[s + 1] = starts[s] + made[s].items.size();
    std::vector<ActionTarget> out(starts.back());
    parallelFor(made.size(), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        std::move(made[s].items.begin(), made[s].items.end(), out.begin() + ptrdiff_t(starts[s]));
        std::vector<ActionTarget>().swap(made[s].items);
    });
    if (withoutFullPath)
        for (Made& part : made)
            std::move(part.withoutFullPath.begin(), part.withoutFullPath.end(), std::back_inserter(*withoutFullPath));
    if (dropNestedItems && out.size() > 1 && !dropNested(out, cancel)) return {};
    return out;
}

TargetPaths resolveTargetPaths(std::span<FileNode* const> nodes, NodePaths paths,
                               std::vector<ActionTarget>* withoutFullPath, const CancelFlag* cancel) {
    const std::vector<Listed> listed = listedOnce(nodes, cancel);
    const std::vector<TreeFacts> trees = treeFactsOf(listed, cancel);
    if (trees.size() != listed.size()) return {};
    TargetPaths out;
    std::vector<size_t> from;
    out.nodes.reserve(listed.size());
    from.reserve(listed.size());
    bool allMade = paths.size() == nodes.size();
    for (size_t i = 0; i < listed.size(); ++i) {
        if (stopped(i, cancel)) return {};
        if (!trees[i].absolute) {
            if (withoutFullPath) withoutFullPath->push_back(targetOf(listed[i].node, trees[i], {}));
            continue;
        }
        out.nodes.push_back(listed[i].node);
        from.push_back(listed[i].from);
        allMade = allMade && listed[i].from != kFromGroup;
    }
    if (allMade) {
        paths.reorder(from);
        out.paths = std::move(paths);
    } else {
        paths = NodePaths();
        out.paths = NodePaths::of(out.nodes, cancel);
    }
    if (isCancelled(cancel)) return {};
    return out;
}

size_t countActionTargets(std::span<FileNode* const> nodes) { return listedOnce(nodes, nullptr).size(); }

}  // namespace zelvane
