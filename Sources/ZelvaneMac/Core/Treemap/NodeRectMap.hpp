#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ScanEngine/Analysis/Treemap.hpp"

namespace zelvane {

class FileNode;
struct TreemapLeaf;
struct TreemapFolderLabel;

// Node identity to rectangle, for the boxes of one layout: its leaves (dust aside) and its
// labelled folders. The table holds only their positions in the layout's lists, where the nodes
// and rectangles already are: open addressing over 4-byte entries, where a node-based map, or
// one that copied the rectangles, would take ten times the room for a whole disk's boxes.
//
// The lists must stay as they were indexed (moving the vectors that hold them keeps them); a
// layout that changes its lists indexes them again.
class NodeRectMap final {
public:
    // Forgets what was indexed and indexes these lists; a node met twice keeps its first box.
    void index(std::span<const TreemapLeaf> leaves, std::span<const TreemapFolderLabel> labels);
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const TreemapRect* find(const FileNode* node) const noexcept;
    size_t count(const FileNode* node) const noexcept { return find(node) ? 1 : 0; }
    // Throws std::out_of_range when the node has no rectangle.
    const TreemapRect& at(const FileNode* node) const;
    void clear() noexcept;

    template <class F>
    void forEach(F&& f) const {
        for (const uint32_t s : slots_)
            if (s != 0) f(nodeOf(s - 1), *rectOf(s - 1));
    }

private:
    const FileNode* nodeOf(uint32_t entry) const noexcept;
    const TreemapRect* rectOf(uint32_t entry) const noexcept;

    std::vector<uint32_t> slots_;  // 0: free; else 1 + the entry (leaves first, then labels)
    const TreemapLeaf* leaves_ = nullptr;
    const TreemapFolderLabel* labels_ = nullptr;
    uint32_t leafCount_ = 0;
    size_t size_ = 0;
};

}  // namespace zelvane
