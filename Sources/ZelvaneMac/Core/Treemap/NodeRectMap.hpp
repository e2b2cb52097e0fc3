#pragma once

#include <cstddef>
#include <vector>

#include "ScanEngine/Analysis/Treemap.hpp"

namespace zelvane {

class FileNode;

// Node identity to rectangle. Open addressing in one array: a layout of a whole disk holds
// hundreds of thousands of entries, which a node-based map would allocate one by one.
class NodeRectMap final {
public:
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const TreemapRect* find(const FileNode* node) const noexcept;
    size_t count(const FileNode* node) const noexcept { return find(node) ? 1 : 0; }
    // Throws std::out_of_range when the node has no rectangle.
    const TreemapRect& at(const FileNode* node) const;
    void insert_or_assign(const FileNode* node, const TreemapRect& rect);
    // Keeps an existing entry; returns whether the rectangle was stored.
    bool try_emplace(const FileNode* node, const TreemapRect& rect);
    // Room for `count` entries in all without growing again.
    void reserve(size_t count);
    void clear() noexcept;
    void swap(NodeRectMap& other) noexcept;

    template <class F>
    void forEach(F&& f) const {
        for (const Slot& s : slots_)
            if (s.node) f(s.node, s.rect);
    }

private:
    struct Slot {
        const FileNode* node = nullptr;  // null: free
        TreemapRect rect;
    };
    Slot& slotFor(const FileNode* node);
    void rehash(size_t slotCount);
    std::vector<Slot> slots_;  // a power of two long, at most 3/4 full
    size_t size_ = 0;
};

}  // namespace zelvane
