#include "ZelvaneMac/Models/OutlineRowCache.hpp"

#include <algorithm>

namespace zelvane {

OutlineRowCache::Entry& OutlineRowCache::top(const std::vector<FileNode*>& roots) {
    if (!top_) {
        top_ = std::make_unique<Entry>();
        top_->setRows(RowList{rowArena_.allocate(roots.size()), uint32_t(roots.size())});
        std::copy(roots.begin(), roots.end(), top_->rows().begin());
        sortRows(top_->rows());
    }
    return *top_;
}

OutlineRowCache::Entry& OutlineRowCache::rowsOf(FileNode* folder, Entry* parent, int rowInParent, int fileGroupMinSize) {
    if (Entry* known = entries_.find(folder)) return *known;
    Entry& e = entryStore_.emplace_back();
    e.folder = folder;
    e.parent = parent;
    e.rowInParent = rowInParent;
    if (!groupArena_) {
        groupStore_ = NodeStore::create();
        groupArena_ = &groupStore_->makeArena();
    }
    FileNode::Grouped grouped = folder->groupedChildren(fileGroupMinSize, *groupArena_);
    e.setRows(RowList{rowArena_.allocate(grouped.nodes.size()), uint32_t(grouped.nodes.size())});
    std::copy(grouped.nodes.begin(), grouped.nodes.end(), e.rows().begin());
    sortRows(e.rows());
    entries_.insert(&e);
    return e;
}

void OutlineRowCache::resort(const std::vector<FileNode*>& roots) {
    positions_.clear();
    if (top_) {
        if (top_->rows().size() == roots.size()) std::copy(roots.begin(), roots.end(), top_->rows().begin());
        sortRows(top_->rows());
    }
    std::vector<FileNode*> stored;
    for (Entry& e : entryStore_) {
        stored.clear();
        FileNode* group = groupRowIn(e);
        for (FileNode* c : e.folder->children())
            if (!group || c->isDir()) stored.push_back(c);
        if (group) stored.push_back(group);
        if (stored.size() == e.rows().size()) std::copy(stored.begin(), stored.end(), e.rows().begin());
        sortRows(e.rows());
    }
    auto renumber = [this](const Entry& p) {
        for (size_t r = 0; r < p.rows().size(); ++r) {
            if (!p.rows()[r]->isDir()) continue;
            if (Entry* child = entries_.find(p.rows()[r])) child->rowInParent = int(r);
        }
    };
    if (top_) renumber(*top_);
    for (Entry& e : entryStore_) renumber(e);
}

void OutlineRowCache::retireAll() {
    for (const Entry& e : entryStore_)
        if (const FileNode* g = groupRowIn(e)) retiredGroups_.insert(g);
    if (groupStore_) retiredStores_.push_back(std::move(groupStore_));
    groupStore_.reset();
    groupArena_ = nullptr;
    positions_.clear();
    entries_.clear();
    entryStore_.clear();
    top_.reset();
    rowArena_.clear();
}

std::shared_ptr<const void> OutlineRowCache::groupNodesHeld() const {
    auto held = std::make_shared<std::vector<std::shared_ptr<NodeStore>>>(retiredStores_);
    if (groupStore_) held->push_back(groupStore_);
    return held;
}

size_t OutlineRowCache::rowCount() const {
    size_t rows = top_ ? top_->rows().size() : 0;
    for (const Entry& e : entryStore_) rows += e.rows().size();
    return rows;
}

size_t OutlineRowCache::bytes() const {
    return rowArena_.bytes() + entries_.bytes() + (entryStore_.size() + (top_ ? 1 : 0)) * sizeof(Entry) + positions_.bytes();
}

}  // namespace zelvane
