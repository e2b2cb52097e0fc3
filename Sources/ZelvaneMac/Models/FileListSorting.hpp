#pragma once

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

// The list in `displayed` ordered by a column. Stable in both directions: rows with equal values
// keep their input order. Values are read once per node before sorting, so a tree changed by the
// GUI thread meanwhile cannot make the ordering inconsistent. Any thread.
std::vector<FileNode*> sortNodes(const std::vector<FileNode*>& nodes, FileListSortKey sortKey, bool sortAscending);

}  // namespace zelvane
