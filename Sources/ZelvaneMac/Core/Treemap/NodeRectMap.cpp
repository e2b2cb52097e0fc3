#include "ZelvaneMac/Core/Treemap/NodeRectMap.hpp"

#include <cstdint>
#include <stdexcept>
#include <utility>

namespace zelvane {

namespace {

size_t slotHash(const FileNode* node) noexcept {
    // Nodes are at least 8-byte aligned; Fibonacci hashing spreads the remaining bits.
    const uint64_t a = uint64_t(reinterpret_cast<uintptr_t>(node));
    return size_t((a >> 4) ^ ((a >> 26) * 0x9E3779B97F4A7C15ull));
}

}  // namespace

const TreemapRect* NodeRectMap::find(const FileNode* node) const noexcept {
    if (slots_.empty() || !node) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = slotHash(node) & mask;; i = (i + 1) & mask) {
        if (slots_[i].node == node) return &slots_[i].rect;
        if (!slots_[i].node) return nullptr;
    }
}

const TreemapRect& NodeRectMap::at(const FileNode* node) const {
    const TreemapRect* r = find(node);
    if (!r) throw std::out_of_range("node has no treemap rectangle");
    return *r;
}

NodeRectMap::Slot& NodeRectMap::slotFor(const FileNode* node) {
    if ((size_ + 1) * 4 > slots_.size() * 3) rehash(slots_.empty() ? 64 : slots_.size() * 2);
    const size_t mask = slots_.size() - 1;
    for (size_t i = slotHash(node) & mask;; i = (i + 1) & mask)
        if (slots_[i].node == node || !slots_[i].node) return slots_[i];
}

void NodeRectMap::reserve(size_t count) {
    size_t capacity = slots_.empty() ? 64 : slots_.size();
    while (count * 4 > capacity * 3) capacity *= 2;
    if (capacity != slots_.size()) rehash(capacity);
}

void NodeRectMap::rehash(size_t slotCount) {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.resize(slotCount);
    const size_t mask = slots_.size() - 1;
    for (const Slot& s : old) {
        if (!s.node) continue;
        size_t i = slotHash(s.node) & mask;
        while (slots_[i].node) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

void NodeRectMap::insert_or_assign(const FileNode* node, const TreemapRect& rect) {
    if (!node) return;
    Slot& s = slotFor(node);
    if (!s.node) {
        s.node = node;
        ++size_;
    }
    s.rect = rect;
}

bool NodeRectMap::try_emplace(const FileNode* node, const TreemapRect& rect) {
    if (!node) return false;
    Slot& s = slotFor(node);
    if (s.node) return false;
    s = {node, rect};
    ++size_;
    return true;
}

void NodeRectMap::clear() noexcept {
    slots_.clear();
    size_ = 0;
}

void NodeRectMap::swap(NodeRectMap& other) noexcept {
    slots_.swap(other.slots_);
    std::swap(size_, other.size_);
}

}  // namespace zelvane
