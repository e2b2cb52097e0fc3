#include "ZelvaneMac/Window/KeptTrees.hpp"

#include <algorithm>

namespace zelvane {

KeptTrees::KeptTrees(const std::vector<RootRef>& kept) {
    for (const RootRef& r : kept)
        if (std::find(roots_.begin(), roots_.end(), r.get()) == roots_.end()) roots_.push_back(r.get());
}

bool KeptTrees::holds(const FileNode* node) const {
    if (!node) return true;
    for (const FileNode* n = node; n; n = n->parent())
        if (std::find(roots_.begin(), roots_.end(), n) != roots_.end()) return true;
    return false;
}

bool KeptTrees::holdsBeside(const FileNode* node, const FileNode*& heldFolder) const {
    const FileNode* folder = node->parent();
    if (folder && folder == heldFolder) return true;
    if (!holds(node)) return false;
    // A kept root's folder may hold nothing else that is kept.
    if (std::find(roots_.begin(), roots_.end(), node) == roots_.end()) heldFolder = folder;
    return true;
}

NodeSet KeptTrees::keep(const NodeSet& nodes) const {
    NodeSet out;
    if (roots_.empty()) return out;
    const FileNode* heldFolder = nullptr;
    for (FileNode* n : nodes)
        if (n && holdsBeside(n, heldFolder)) out.insert(n);
    return out;
}

NodeList KeptTrees::keep(const NodeList& nodes) const {
    NodeList out;
    const FileNode* heldFolder = nullptr;
    for (FileNode* n : nodes)
        if (n && holdsBeside(n, heldFolder)) out.push_back(n);
    return out;
}

}  // namespace zelvane
