#pragma once

#include <functional>
#include <vector>

#include "ZelvaneMac/Models/OutlineRowStore.hpp"

namespace zelvane {

// Rows `first` to `last` of a folder's rows in the tree outline.
struct OutlineRowRange {
    OutlineFolderRows* folder = nullptr;
    int first = 0;
    int last = 0;
};

// The made rows that live changes to `nodes` alter: each changed node's row, the group row of a
// changed loose file, and every row shown inside a deleted folder. Group rows that lost or changed
// a file sum their totals again here. Retired group nodes are left out unread.
std::vector<OutlineRowRange> outlineRowsChangedBy(const std::vector<FileNode*>& nodes, OutlineFolderRows& top,
                                                  const NodeKeyedTable<OutlineFolderRows>& entries,
                                                  const std::function<bool(const FileNode*)>& isRetiredGroup);

}  // namespace zelvane
