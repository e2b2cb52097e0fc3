#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// What the tree's rows are ordered by: one key per sortable column of the outline, named by that
// column's identifier (the names stored header layouts carry). The percent column orders by
// allocated size; an unknown or empty identifier reads as allocated.
enum class OutlineSortKey { name, items, files, folders, modified, size, attributes, allocated, percent };

OutlineSortKey outlineSortKeyFromIdentifier(std::string_view identifier);
std::string_view outlineSortIdentifier(OutlineSortKey key);

// Stable: rows with equal keys keep their input order in both directions. Under the name key,
// synthetic group rows come after every other row ascending and before them descending; under
// every other key a group sorts by its own totals. Files count 0 items, files and folders.
void sortOutlineRows(std::span<FileNode*> rows, OutlineSortKey key, bool ascending);

}  // namespace zelvane
