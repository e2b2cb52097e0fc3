#pragma once

#include <cstddef>
#include <type_traits>
#include <memory>
#include <span>
#include <vector>

#include "ScanEngine/Analysis/Treemap.hpp"

namespace zelvane {

class FileNode;

// The hit-testing tree. Children live in the pool of the layout that made them (nodes are plain
// values, so a tree of any depth is torn down with its layout, without recursion).
struct TreemapHitNode {
    FileNode* node = nullptr;
    TreemapRect rect;
    std::span<TreemapHitNode> children;  // in layout order
};

// Storage for hit nodes: a folder's children are carved from large blocks, so a layout of a
// million nodes allocates a few hundred blocks instead of one array per folder. Moving the pool
// keeps every node where it is.
// Blocks are freed as raw memory, without running destructors.
static_assert(std::is_trivially_destructible_v<TreemapHitNode>);

class TreemapHitNodePool final {
public:
    TreemapHitNodePool() = default;
    TreemapHitNodePool(TreemapHitNodePool&&) noexcept = default;
    TreemapHitNodePool& operator=(TreemapHitNodePool&&) noexcept = default;
    TreemapHitNodePool(const TreemapHitNodePool&) = delete;
    TreemapHitNodePool& operator=(const TreemapHitNodePool&) = delete;

    std::span<TreemapHitNode> allocate(size_t count);
    // Takes over the other pool's blocks (the nodes stay valid).
    void adopt(TreemapHitNodePool&& other);
    // Nodes handed out, and nodes the blocks have room for.
    size_t size() const noexcept { return used_; }
    size_t capacity() const noexcept { return capacity_; }

private:
    // Raw memory: a node is made when it is handed out, so the part of a block never handed out
    // is never written to (and its pages, when the block has them to itself, never resident).
    std::vector<std::unique_ptr<std::byte[]>> blocks_;
    TreemapHitNode* next_ = nullptr;
    size_t left_ = 0;
    size_t blockSize_ = 0;
    size_t used_ = 0;
    size_t capacity_ = 0;
};

}  // namespace zelvane
