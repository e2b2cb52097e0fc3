#pragma once

#include <span>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

enum class TreeSortKey {
    name,           // by name in the user's locale (case-insensitive first, digits as numbers)
    size,           // largest effective size first
    allocatedSize,  // largest effective allocated size first
    modifiedDate,   // newest modified date first
};

// Reorders, in place and with a stable sort (equal keys keep their order, no second key), the
// children of every folder under each root; the roots keep their order.
//
// This changes the shared tree: only for a tree no background job reads (an export, right before
// it is written). Views sort their own row lists instead (see the threading contract of FileNode).
void sortTree(std::span<FileNode* const> roots, TreeSortKey key);
void sortTree(std::span<const RootRef> roots, TreeSortKey key);

}  // namespace zelvane
