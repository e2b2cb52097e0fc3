#pragma once

#include <memory>
#include <span>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// What an action removed from the disk: its nodes, shared rather than copied (a removal may name
// millions), with the stores of their trees, which stay whole for as long as the news is held.
struct NodesGone {
    std::shared_ptr<const std::vector<FileNode*>> nodes;
    std::vector<std::shared_ptr<NodeStore>> stores;

    static NodesGone of(std::vector<FileNode*> list, std::vector<std::shared_ptr<NodeStore>> stores = {}) {
        return NodesGone{std::make_shared<const std::vector<FileNode*>>(std::move(list)), std::move(stores)};
    }
    std::span<FileNode* const> list() const {
        return nodes ? std::span<FileNode* const>(*nodes) : std::span<FileNode* const>();
    }
    bool empty() const { return !nodes || nodes->empty(); }
};

}  // namespace zelvane
