#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// What the file list is ordered by: one key per sortable column, named by that column's identifier
// (the names stored header layouts carry). The percent column orders by size; an unknown or empty
// identifier reads as size.
enum class FileListSortKey { name, path, percent, size, allocated, modified, dupCount, dupSize, attributes };

FileListSortKey fileListSortKeyFromIdentifier(std::string_view identifier);
std::string_view fileListSortIdentifier(FileListSortKey key);

// The list ordered by a column, cut after `limit` rows. Stable in both directions: rows with equal
// values keep their input order. Values are read once per node, so a tree changed by the GUI
// thread meanwhile cannot make the ordering inconsistent. With a limit below the row count only
// the rows kept are ordered (memory for them alone). Any thread.
std::vector<FileNode*> sortNodes(std::span<FileNode* const> nodes, FileListSortKey sortKey, bool sortAscending,
                                 size_t limit = std::numeric_limits<size_t>::max());

// How many member rows the list shows under a file: the other members of its duplicate group,
// none without a group of two. Reads the group through the node; any thread that may read groups.
size_t listedCopiesOf(const FileNode& node);

// One bit a row: whether the row has member rows under it, worked out where the rows are made
// so that a view laying out a hundred thousand rows need not look up each row's group. Made for
// the first `kRowsMarked` rows of a list (the rows a view is given first); later rows are not
// marked.
class RowsWithCopies final {
public:
    static constexpr size_t kRowsMarked = 1'000'000;
    RowsWithCopies() = default;
    // Reads the groups of the rows marked on all processors; marks none when `cancel` was set
    // meanwhile.
    RowsWithCopies(std::span<FileNode* const> rows, const CancelFlag* cancel);
    // How many rows, from the first, are marked.
    size_t size() const { return rows_; }
    bool has(size_t row) const { return row < rows_ && (bits_[row / 64] >> (row % 64) & 1u) != 0; }

private:
    std::vector<uint64_t> bits_;
    size_t rows_ = 0;
};

}  // namespace zelvane
