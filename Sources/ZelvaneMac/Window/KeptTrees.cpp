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

NodeSet KeptTrees::keep(const NodeSet& nodes) const {
    NodeSet out;
    if (roots_.empty()) return out;
    for (FileNode* n : nodes)
        if (n && holds(n)) out.insert(n);
    return out;
}

NodeList KeptTrees::keep(const NodeList& nodes) const {
    NodeList out;
    for (FileNode* n : nodes)
        if (n && holds(n)) out.push_back(n);
    return out;
}

}  // namespace zelvane
