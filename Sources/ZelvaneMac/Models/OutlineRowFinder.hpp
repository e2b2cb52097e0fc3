#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "ZelvaneMac/Models/OutlineRowStore.hpp"

namespace zelvane {

// Rows of nodes among a folder's rows: a short list is searched, a long one gets a table of its
// row numbers by node, made the first time it is asked and kept until `clear()`. Its owner clears
// it whenever rows are reordered or replaced; rows added in new folders need nothing. So each long
// list is read once however many of its rows are looked up (a rescan's restore of thousands of
// open rows and the selection, a capture asking about every folder shown).
class OutlineRowFinder final {
public:
    // The node's row, or -1.
    int rowOf(const OutlineFolderRows& folder, const FileNode* node);
    void clear() { tables_.clear(); }
    size_t bytes() const;

private:
    // Open-addressed by the node's address; a slot holds its row + 1, 0 when empty. The node is
    // read back from the rows, so a slot costs four bytes.
    using Table = std::vector<uint32_t>;
    static size_t slotOf(const FileNode* node, size_t mask);
    std::unordered_map<const OutlineFolderRows*, Table> tables_;
};

}  // namespace zelvane
