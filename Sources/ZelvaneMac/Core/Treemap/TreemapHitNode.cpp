#include "ZelvaneMac/Core/Treemap/TreemapHitNode.hpp"

#include <algorithm>
#include <iterator>
#include <memory>
#include <utility>

namespace zelvane {

std::span<TreemapHitNode> TreemapHitNodePool::allocate(size_t count) {
    // Blocks start small, since many layouts (and each worker's share of one) are small, and
    // double up to a size that keeps the block count low for whole disks.
    // The largest block is 224 KiB: what the last block of a pool leaves unused stays small.
    constexpr size_t kFirstBlock = 256, kLargestBlock = 4096;
    if (count == 0) return {};
    used_ += count;
    const auto newBlock = [this](size_t nodes) {
        blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(nodes * sizeof(TreemapHitNode)));
        capacity_ += nodes;
        return reinterpret_cast<TreemapHitNode*>(blocks_.back().get());
    };
    TreemapHitNode* at = nullptr;
    if (count > kLargestBlock / 4) {
        // A large folder gets a block of its own, so the current block is not wasted.
        at = newBlock(count);
    } else {
        if (count > left_) {
            blockSize_ = std::min(kLargestBlock, std::max(kFirstBlock, blockSize_ * 2));
            const size_t size = std::max(blockSize_, count);
            next_ = newBlock(size);
            left_ = size;
        }
        at = next_;
        next_ += count;
        left_ -= count;
    }
    std::uninitialized_default_construct_n(at, count);
    return {at, count};
}

void TreemapHitNodePool::adopt(TreemapHitNodePool&& other) {
    blocks_.insert(blocks_.end(), std::make_move_iterator(other.blocks_.begin()),
                   std::make_move_iterator(other.blocks_.end()));
    other.blocks_.clear();
    other.next_ = nullptr;
    other.left_ = 0;
    used_ += std::exchange(other.used_, 0);
    capacity_ += std::exchange(other.capacity_, 0);
}

}  // namespace zelvane
