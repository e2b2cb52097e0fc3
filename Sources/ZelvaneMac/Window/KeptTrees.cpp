#include "ZelvaneMac/Window/KeptTrees.hpp"

namespace zelvane {

KeptTrees::KeptTrees(const std::vector<RootRef>& kept) {
    for (const RootRef& r : kept) known_[r.get()] = true;
}

bool KeptTrees::holds(const FileNode* node) const {
    if (!node) return true;
    path_.clear();
    bool answer = false;
    for (const FileNode* n = node; n; n = n->parent()) {
        if (auto it = known_.find(n); it != known_.end()) {
            answer = it->second;
            break;
        }
        path_.push_back(n);
    }
    for (const FileNode* n : path_) known_.emplace(n, answer);
    return answer;
}

NodeSet KeptTrees::keep(const NodeSet& nodes) const {
    NodeSet out;
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
