#include "ZelvaneMac/Models/OutlineRowFinder.hpp"

#include <algorithm>
#include <bit>

namespace zelvane {

namespace {

// Above this many rows a lookup by node makes a table instead of scanning.
constexpr size_t kLinearSearchLimit = 64;

}  // namespace

size_t OutlineRowFinder::slotOf(const FileNode* node, size_t mask) {
    return size_t((uint64_t(reinterpret_cast<uintptr_t>(node)) >> 3) * 0x9E3779B97F4A7C15ull >> 24) & mask;
}

int OutlineRowFinder::rowOf(const OutlineFolderRows& e, const FileNode* node) {
    const RowList rows = e.rows();
    if (rows.size() <= kLinearSearchLimit) {
        auto it = std::find(rows.begin(), rows.end(), node);
        return it == rows.end() ? -1 : int(it - rows.begin());
    }
    Table& table = tables_[&e];
    if (table.empty()) {
        table.assign(std::bit_ceil(rows.size() * 2), 0);
        const size_t mask = table.size() - 1;
        for (size_t r = 0; r < rows.size(); ++r) {
            size_t i = slotOf(rows[r], mask);
            while (table[i]) i = (i + 1) & mask;
            table[i] = uint32_t(r + 1);
        }
    }
    const size_t mask = table.size() - 1;
    for (size_t i = slotOf(node, mask); table[i]; i = (i + 1) & mask)
        if (rows[table[i] - 1] == node) return int(table[i] - 1);
    return -1;
}

size_t OutlineRowFinder::bytes() const {
    size_t bytes = tables_.size() * (sizeof(void*) * 2 + sizeof(Table));
    for (const auto& [e, table] : tables_) bytes += table.capacity() * sizeof(uint32_t);
    return bytes;
}

}  // namespace zelvane
