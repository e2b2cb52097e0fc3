#include "ZelvaneMac/Core/Treemap/NodeRectMap.hpp"

#include <stdexcept>

#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"

namespace zelvane {

namespace {

size_t slotHash(const FileNode* node) noexcept {
    // Nodes are at least 8-byte aligned; Fibonacci hashing spreads the remaining bits.
    const uint64_t a = uint64_t(reinterpret_cast<uintptr_t>(node));
    return size_t((a >> 4) ^ ((a >> 26) * 0x9E3779B97F4A7C15ull));
}

}  // namespace

const FileNode* NodeRectMap::nodeOf(uint32_t entry) const noexcept {
    return entry < leafCount_ ? leaves_[entry].node : labels_[entry - leafCount_].node;
}

const TreemapRect* NodeRectMap::rectOf(uint32_t entry) const noexcept {
    return entry < leafCount_ ? &leaves_[entry].rect : &labels_[entry - leafCount_].boxRect;
}

void NodeRectMap::index(std::span<const TreemapLeaf> leaves, std::span<const TreemapFolderLabel> labels) {
    clear();
    if (leaves.size() + labels.size() >= UINT32_MAX) throw std::length_error("too many treemap boxes");
    leaves_ = leaves.data();
    labels_ = labels.data();
    leafCount_ = uint32_t(leaves.size());
    // Dust has no rectangle of its own to outline: a box may stand for a run of its siblings.
    size_t wanted = labels.size();
    for (const TreemapLeaf& leaf : leaves) wanted += !leaf.dust;
    if (wanted == 0) return;
    size_t capacity = 64;
    while (wanted * 4 > capacity * 3) capacity *= 2;
    slots_.assign(capacity, 0);
    const size_t mask = capacity - 1;
    const auto enter = [&](uint32_t entry) {
        const FileNode* node = nodeOf(entry);
        if (!node) return;
        for (size_t i = slotHash(node) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == 0) {
                slots_[i] = entry + 1;
                ++size_;
                return;
            }
            if (nodeOf(slots_[i] - 1) == node) return;
        }
    };
    for (uint32_t i = 0; i < leafCount_; ++i)
        if (!leaves_[i].dust) enter(i);
    for (uint32_t i = 0; i < labels.size(); ++i) enter(leafCount_ + i);
}

const TreemapRect* NodeRectMap::find(const FileNode* node) const noexcept {
    if (slots_.empty() || !node) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = slotHash(node) & mask;; i = (i + 1) & mask) {
        if (slots_[i] == 0) return nullptr;
        if (nodeOf(slots_[i] - 1) == node) return rectOf(slots_[i] - 1);
    }
}

const TreemapRect& NodeRectMap::at(const FileNode* node) const {
    const TreemapRect* r = find(node);
    if (!r) throw std::out_of_range("node has no treemap rectangle");
    return *r;
}

void NodeRectMap::clear() noexcept {
    slots_.clear();
    slots_.shrink_to_fit();
    leaves_ = nullptr;
    labels_ = nullptr;
    leafCount_ = 0;
    size_ = 0;
}

}  // namespace zelvane
