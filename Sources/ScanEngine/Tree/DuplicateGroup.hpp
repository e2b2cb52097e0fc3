#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <utility>

namespace zelvane {

class FileNode;
class DupGroupRef;

// The members of a duplicate group, in group order: a view of storage the group owns.
class DupMembers final {
public:
    DupMembers() = default;
    DupMembers(FileNode* const* data, uint32_t size) : data_(data), size_(size) {}
    FileNode* const* begin() const noexcept { return data_; }
    FileNode* const* end() const noexcept { return data_ + size_; }
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    FileNode* front() const noexcept { return data_[0]; }
    FileNode* operator[](size_t i) const noexcept { return data_[i]; }

private:
    FileNode* const* data_ = nullptr;
    uint32_t size_ = 0;
};

// One group of likely copies. Nodes hold their group through a counted reference, so a group lives
// as long as a node or a holder of `DupGroupRef` refers to it. A group and its members are one
// allocation, or part of one made for a batch of groups (`DupGroupBatch`), which goes with the last
// of its groups: a million groups are a few hundred allocations, not two million.
class DuplicateGroup final {
public:
    const DupMembers members;

    void retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void release() const noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) destroy();
    }

private:
    friend class NodeStore;
    friend class DupGroupRef;
    friend class DupGroupBatch;
    struct Block;
    DuplicateGroup(DupMembers m, Block* block) : members(m), block_(block) {}
    void destroy() const noexcept;

    mutable std::atomic<int32_t> refs_{0};
    // The slot a store gave the group when its members were assigned in bulk (0: none); it sits
    // in what would be padding, so a million groups need no table to find their slots again.
    uint32_t bulkSlot_ = 0;
    Block* block_ = nullptr;  // the batch's allocation; null when the group is an allocation of its own
};

// An owning handle to a DuplicateGroup.
class DupGroupRef final {
public:
    DupGroupRef() = default;
    explicit DupGroupRef(DuplicateGroup* g) : g_(g) { if (g_) g_->retain(); }
    DupGroupRef(const DupGroupRef& o) : DupGroupRef(o.g_) {}
    DupGroupRef(DupGroupRef&& o) noexcept : g_(o.g_) { o.g_ = nullptr; }
    DupGroupRef& operator=(DupGroupRef o) noexcept { std::swap(g_, o.g_); return *this; }
    ~DupGroupRef() { if (g_) g_->release(); }
    // A group of its own with these members.
    static DupGroupRef make(std::span<FileNode* const> members);
    static DupGroupRef make(std::initializer_list<FileNode*> members) { return make(std::span(members.begin(), members.size())); }
    DuplicateGroup* get() const { return g_; }
    DuplicateGroup* operator->() const { return g_; }
    DuplicateGroup& operator*() const { return *g_; }
    explicit operator bool() const { return g_ != nullptr; }

private:
    DuplicateGroup* g_ = nullptr;
};

// Up to `groups` groups with `members` members in all, made one after another into one allocation.
// One thread at a time; the groups may be handed anywhere once made.
class DupGroupBatch final {
public:
    DupGroupBatch(size_t groups, size_t members);
    DupGroupBatch(const DupGroupBatch&) = delete;
    DupGroupBatch& operator=(const DupGroupBatch&) = delete;
    ~DupGroupBatch();
    // The next group, with these members; a null reference when the batch has no room for it.
    DupGroupRef add(std::span<FileNode* const> members);

private:
    DuplicateGroup::Block* block_ = nullptr;
};

}  // namespace zelvane
