#include "ZelvaneMac/Models/OutlineChangedRows.hpp"

#include <unordered_set>

namespace zelvane {

std::vector<OutlineRowRange> outlineRowsChangedBy(const std::vector<FileNode*>& nodes, OutlineFolderRows& top,
                                                  const NodeKeyedTable<OutlineFolderRows>& entries,
                                                  const std::function<bool(const FileNode*)>& isRetiredGroup) {
    using Entry = OutlineFolderRows;
    std::unordered_set<const FileNode*> dirty(nodes.begin(), nodes.end());
    std::unordered_set<Entry*> whole;  // every row of these changed
    std::unordered_set<Entry*> candidates;
    std::unordered_set<FileNode*> staleGroups;  // a file of theirs changed: their totals are summed again
    for (FileNode* n : nodes) {
        if (isRetiredGroup(n)) continue;
        if (n->isRoot()) {
            candidates.insert(&top);
        } else if (Entry* pe = entries.find(n->parent())) {
            candidates.insert(pe);
            if (FileNode* g = groupRowIn(*pe)) {
                if (Entry* ge = entries.find(g)) candidates.insert(ge);
                if (!n->isDir() && staleGroups.insert(g).second) dirty.insert(g);
            }
        }
        // A deleted folder takes its shown subtree with it, and the group rows shown in it lose
        // their files: no file of theirs is handed in on its own.
        if (n->isDir() && n->isDeleted()) {
            std::vector<const FileNode*> stack{n};
            while (!stack.empty()) {
                const FileNode* f = stack.back();
                stack.pop_back();
                Entry* fe = entries.find(f);
                if (!fe) continue;
                whole.insert(fe);
                for (FileNode* r : fe->rows()) {
                    if (r->isSyntheticGroup()) staleGroups.insert(r);
                    if (r->isDir()) stack.push_back(r);
                }
            }
        }
    }
    // A group row sums its files when it is made; the folder's own totals are kept up to date
    // by the monitor, the group's totals and label are summed again here.
    for (FileNode* g : staleGroups) g->refreshSyntheticGroup();
    std::vector<OutlineRowRange> out;
    for (Entry* e : candidates) {
        int first = -1, last = -1;
        for (size_t r = 0; r < e->rows().size(); ++r) {
            if (!dirty.count(e->rows()[r])) continue;
            if (first < 0) first = int(r);
            last = int(r);
        }
        if (first >= 0 && !whole.count(e)) out.push_back({e, first, last});
    }
    for (Entry* e : whole)
        if (!e->rows().empty()) out.push_back({e, 0, int(e->rows().size()) - 1});
    return out;
}

}  // namespace zelvane
