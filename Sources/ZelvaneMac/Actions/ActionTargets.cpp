#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <algorithm>

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

// The usable nodes the owner's nodes stand for, each once, in the owner's order (a group row
// stands for its files). A table of every node seen cost tens of bytes a node: a sorted copy of
// the pointers finds whether any node comes twice, and only then are the later ones dropped.
std::vector<FileNode*> listedOnce(std::span<FileNode* const> nodes, const CancelFlag* cancel) {
    std::vector<FileNode*> listed;
    listed.reserve(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (stopped(i, cancel)) return {};
        FileNode* node = nodes[i];
        if (!node) continue;
        if (!node->isSyntheticGroup()) {
            if (usable(node)) listed.push_back(node);
        } else if (!node->isDeleted()) {
            for (FileNode* child : node->children())
                if (usable(child)) listed.push_back(child);
        }
    }
    if (listed.size() < 2) return listed;
    std::vector<FileNode*> sorted(listed);
    std::sort(sorted.begin(), sorted.end());
    if (isCancelled(cancel)) return {};
    const auto twice = std::adjacent_find(sorted.begin(), sorted.end());
    if (twice == sorted.end()) return listed;
    sorted.erase(std::unique(twice, sorted.end()), sorted.end());
    std::vector<bool> taken(sorted.size(), false);
    size_t kept = 0;
    for (size_t i = 0; i < listed.size(); ++i) {
        if (stopped(i, cancel)) return {};
        const size_t at = size_t(std::lower_bound(sorted.begin(), sorted.end(), listed[i]) - sorted.begin());
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

ActionTarget targetOf(FileNode* node, const TreeFacts& tree) {
    ActionTarget t;
    t.node = node;
    if (!tree.absolute) return t;
    t.path = node->pathBytes();
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

}  // namespace

QString ActionTarget::displayName() const {
    return node ? withVisibleControlCharacters(QString::fromStdString(node->name())) : givenName;
}

QString ActionTarget::displayPath() const { return node ? QString::fromStdString(node->fullPath()) : givenName; }

std::vector<ActionTarget> resolveActionTargets(std::span<FileNode* const> nodes, bool dropNestedItems,
                                               std::vector<ActionTarget>* withoutFullPath, const CancelFlag* cancel) {
    const std::vector<FileNode*> listed = listedOnce(nodes, cancel);
    std::vector<ActionTarget> out;
    out.reserve(listed.size());
    // The nodes of one folder come together: their root is looked up once.
    const FileNode* lastParent = nullptr;
    TreeFacts tree;
    for (size_t i = 0; i < listed.size(); ++i) {
        if (stopped(i, cancel)) return {};
        FileNode* node = listed[i];
        const FileNode* parent = node->parent();
        if (!parent || parent != lastParent) tree = TreeFacts::of(node);
        lastParent = parent;
        if (tree.absolute) out.push_back(targetOf(node, tree));
        else if (withoutFullPath) withoutFullPath->push_back(targetOf(node, tree));
    }
    if (dropNestedItems && out.size() > 1 && !dropNested(out, cancel)) return {};
    return out;
}

size_t countActionTargets(std::span<FileNode* const> nodes) { return listedOnce(nodes, nullptr).size(); }

}  // namespace zelvane
