#include "ZelvaneMac/Actions/ActionTargets.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <unordered_set>


namespace zelvane {

namespace {

bool usable(const FileNode* node) {
    return node && !node->isSyntheticGroup() && !node->isDeleted();
}

const FileNode* rootOf(const FileNode* node) {
    while (node->parent()) node = node->parent();
    return node;
}

// A node's path is absolute exactly when its root's name (the scanned path) is.
bool hasAbsolutePath(const FileNode* node) {
    auto name = rootOf(node)->nameUnits();
    return !name.empty() && name.front() == u'/';
}

void addTarget(FileNode* node, std::vector<ActionTarget>& out, std::vector<ActionTarget>* withoutFullPath,
               std::unordered_set<const FileNode*>& seen) {
    if (!usable(node) || !seen.insert(node).second) return;
    const bool absolute = hasAbsolutePath(node);
    if (!absolute && !withoutFullPath) return;
    ActionTarget t;
    t.node = node;
    t.displayName = withVisibleControlCharacters(QString::fromStdString(node->name()));
    t.displayPath = QString::fromStdString(node->fullPath());
    if (!absolute) {
        withoutFullPath->push_back(std::move(t));
        return;
    }
    t.path = node->pathBytes();
    t.isDir = node->isDir();
    const NodeStore* store = rootOf(node)->store();
    t.fromImport = store && store->isImported();
    t.fromFilteredTree = store && store->isFiltered();
    t.isImpliedFolder = t.fromImport && node->isImpliedFolder();
    out.push_back(std::move(t));
}

bool hasAncestorIn(const FileNode* node, const std::unordered_set<const FileNode*>& set) {
    for (const FileNode* p = node->parent(); p; p = p->parent())
        if (set.count(p)) return true;
    return false;
}

}  // namespace

std::vector<ActionTarget> resolveActionTargets(std::span<FileNode* const> nodes, bool dropNestedItems,
                                               std::vector<ActionTarget>* withoutFullPath) {
    std::vector<ActionTarget> out;
    std::unordered_set<const FileNode*> seen;
    for (FileNode* node : nodes) {
        if (!node) continue;
        if (node->isSyntheticGroup()) {
            if (node->isDeleted()) continue;
            for (FileNode* child : node->children()) addTarget(child, out, withoutFullPath, seen);
        } else {
            addTarget(node, out, withoutFullPath, seen);
        }
    }
    if (dropNestedItems && out.size() > 1) {
        std::vector<ActionTarget> kept;
        kept.reserve(out.size());
        for (auto& t : out)
            if (!hasAncestorIn(t.node, seen)) kept.push_back(std::move(t));
        out = std::move(kept);
    }
    return out;
}

size_t countActionTargets(std::span<FileNode* const> nodes) {
    std::unordered_set<const FileNode*> seen;
    auto count = [&](const FileNode* n) {
        if (usable(n)) seen.insert(n);
    };
    for (FileNode* node : nodes) {
        if (!node) continue;
        if (node->isSyntheticGroup()) {
            if (!node->isDeleted())
                for (FileNode* child : node->children()) count(child);
        } else {
            count(node);
        }
    }
    return seen.size();
}

}  // namespace zelvane
