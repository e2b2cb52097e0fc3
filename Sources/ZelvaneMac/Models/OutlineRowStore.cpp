#include "ZelvaneMac/Models/OutlineRowStore.hpp"

namespace zelvane {

FileNode** RowArena::allocate(size_t count) {
    if (count == 0) return nullptr;
    if (count > kChunkPointers / 4) {
        // A large folder gets an array of its own, so the chunk in use is not wasted.
        chunks_.push_back(std::make_unique<FileNode*[]>(count));
        bytes_ += count * sizeof(FileNode*);
        return chunks_.back().get();
    }
    if (count > left_) {
        chunks_.push_back(std::make_unique<FileNode*[]>(kChunkPointers));
        bytes_ += kChunkPointers * sizeof(FileNode*);
        cur_ = chunks_.back().get();
        left_ = kChunkPointers;
    }
    FileNode** out = cur_;
    cur_ += count;
    left_ -= count;
    return out;
}

FileNode* groupRowIn(const OutlineFolderRows& e) {
    if (!e.folder || e.folder->isSyntheticGroup()) return nullptr;
    for (FileNode* r : e.rows())
        if (r->isSyntheticGroup()) return r;
    return nullptr;
}

void RowArena::clear() {
    chunks_.clear();
    cur_ = nullptr;
    left_ = 0;
    bytes_ = 0;
}

}  // namespace zelvane
