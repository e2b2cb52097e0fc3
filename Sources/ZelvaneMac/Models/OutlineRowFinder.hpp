#pragma once

#include <unordered_map>

#include "ZelvaneMac/Models/OutlineRowStore.hpp"

namespace zelvane {

// Rows of nodes among a folder's rows, looked up in one go: a short list is searched, a long one
// gets a position map made once and kept for the finder's life (the rows must not change meanwhile).
class OutlineRowFinder final {
public:
    // The node's row, or -1.
    int rowOf(const OutlineFolderRows& folder, const FileNode* node);

private:
    std::unordered_map<const OutlineFolderRows*, std::unordered_map<const FileNode*, int>> maps_;
};

}  // namespace zelvane
