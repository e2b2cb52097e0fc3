#pragma once

#include <cstddef>
#include <limits>
#include <span>
#include <string_view>
#include <vector>

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

}  // namespace zelvane
