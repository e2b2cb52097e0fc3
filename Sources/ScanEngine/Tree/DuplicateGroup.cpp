#include "ScanEngine/Tree/DuplicateGroup.hpp"

#include <algorithm>
#include <new>

namespace zelvane {

// A batch's allocation: this header, then room for its groups, then for their members. It lives
// while the batch is being made and while any of its groups does.
struct DuplicateGroup::Block {
    std::atomic<int32_t> live{1};  // the groups alive, and the batch while it makes them
    size_t groups = 0;             // room for groups
    size_t members = 0;            // room for members
    size_t groupsMade = 0;
    size_t membersMade = 0;

    DuplicateGroup* groupAt(size_t i) noexcept { return reinterpret_cast<DuplicateGroup*>(this + 1) + i; }
    FileNode** memberAt(size_t i) noexcept { return reinterpret_cast<FileNode**>(groupAt(groups)) + i; }
    void release() noexcept {
        if (live.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
        this->~Block();
        ::operator delete(this);
    }
};

void DuplicateGroup::destroy() const noexcept {
    auto* self = const_cast<DuplicateGroup*>(this);
    Block* block = block_;
    self->~DuplicateGroup();
    if (block)
        block->release();
    else
        ::operator delete(self);
}

DupGroupRef DupGroupRef::make(std::span<FileNode* const> members) {
    void* raw = ::operator new(sizeof(DuplicateGroup) + members.size() * sizeof(FileNode*));
    auto* stored = reinterpret_cast<FileNode**>(static_cast<char*>(raw) + sizeof(DuplicateGroup));
    std::copy(members.begin(), members.end(), stored);
    return DupGroupRef(new (raw) DuplicateGroup(DupMembers(stored, uint32_t(members.size())), nullptr));
}

DupGroupBatch::DupGroupBatch(size_t groups, size_t members) {
    static_assert(sizeof(DuplicateGroup::Block) % alignof(DuplicateGroup) == 0);
    static_assert(sizeof(DuplicateGroup) % alignof(FileNode*) == 0);
    void* raw = ::operator new(sizeof(DuplicateGroup::Block) + groups * sizeof(DuplicateGroup) +
                               members * sizeof(FileNode*));
    block_ = new (raw) DuplicateGroup::Block();
    block_->groups = groups;
    block_->members = members;
}

DupGroupBatch::~DupGroupBatch() { block_->release(); }

DupGroupRef DupGroupBatch::add(std::span<FileNode* const> members) {
    DuplicateGroup::Block& b = *block_;
    if (b.groupsMade == b.groups || b.members - b.membersMade < members.size()) return {};
    FileNode** stored = b.memberAt(b.membersMade);
    std::copy(members.begin(), members.end(), stored);
    b.membersMade += members.size();
    b.live.fetch_add(1, std::memory_order_relaxed);
    return DupGroupRef(new (b.groupAt(b.groupsMade++)) DuplicateGroup(DupMembers(stored, uint32_t(members.size())), block_));
}

}  // namespace zelvane
