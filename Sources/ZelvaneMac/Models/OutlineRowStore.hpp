#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// The row lists of the tree outline: arrays of the exact length, carved from large chunks and
// freed all at once, so a list of four rows costs four pointers and nothing more.
class RowArena final {
public:
    FileNode** allocate(size_t count);
    void clear();
    size_t bytes() const { return bytes_; }

private:
    static constexpr size_t kChunkPointers = 16384;
    std::vector<std::unique_ptr<FileNode*[]>> chunks_;
    FileNode** cur_ = nullptr;
    size_t left_ = 0;
    size_t bytes_ = 0;
};

// A fixed list of rows in a RowArena.
struct RowList {
    FileNode** data = nullptr;
    uint32_t count = 0;
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    FileNode*& operator[](size_t i) const { return data[i]; }
    FileNode** begin() const { return data; }
    FileNode** end() const { return data + count; }
    std::span<FileNode*> span() const { return {data, count}; }
};

// The rows shown under one folder (or the top level, folder null), and where that folder stands
// under its own parent. 32 bytes; its rows cost 8 bytes each in the row arena.
struct OutlineFolderRows {
    FileNode* folder = nullptr;
    OutlineFolderRows* parent = nullptr;
    FileNode** rowData = nullptr;
    uint32_t rowCount = 0;
    int32_t rowInParent = 0;
    RowList rows() const { return RowList{rowData, rowCount}; }
    void setRows(RowList list) { rowData = list.data, rowCount = list.count; }
};
static_assert(sizeof(OutlineFolderRows) <= 32, "a cached folder grew past its budget");

// The synthetic group row among a folder's rows, if any.
FileNode* groupRowIn(const OutlineFolderRows& rows);

// Values keyed by the node they belong to (a pointer the value holds), in one open-addressed
// table of pointers to the values: no allocation per entry. `Value` has a `folder` member.
template <typename Value>
class NodeKeyedTable final {
public:
    Value* find(const FileNode* key) const {
        if (slots_.empty()) return nullptr;
        for (size_t i = slotOf(key);; i = (i + 1) & (slots_.size() - 1)) {
            Value* v = slots_[i];
            if (!v) return nullptr;
            if (v->folder == key) return v;
        }
    }
    void insert(Value* value) {
        if ((size_ + 1) * 10 > slots_.size() * 7) grow();
        place(value);
        ++size_;
    }
    void clear() {
        slots_.clear();
        slots_.shrink_to_fit();
        size_ = 0;
    }
    size_t size() const { return size_; }
    size_t bytes() const { return slots_.capacity() * sizeof(Value*); }

private:
    size_t slotOf(const FileNode* key) const {
        return size_t((uint64_t(reinterpret_cast<uintptr_t>(key)) >> 3) * 0x9E3779B97F4A7C15ull >> 20) & (slots_.size() - 1);
    }
    void place(Value* value) {
        size_t i = slotOf(value->folder);
        while (slots_[i]) i = (i + 1) & (slots_.size() - 1);
        slots_[i] = value;
    }
    void grow() {
        std::vector<Value*> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : old.size() * 2, nullptr);
        for (Value* v : old)
            if (v) place(v);
    }
    std::vector<Value*> slots_;
    size_t size_ = 0;
};

}  // namespace zelvane
