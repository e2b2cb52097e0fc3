#pragma once

#include <QSet>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"

namespace zelvane {

class FileNode;

// The exact byte paths (`FileNode::pathBytes`) of many nodes, each made once, laid out back to
// back in one buffer for each stretch of nodes instead of a string each, made on every processor.
// The nodes are visited in the order of their addresses: a tree's nodes and names lie in its arena
// in the order they were made, so nodes of one folder, their parent and their names are near each
// other there, where the order of a set would miss the processor's caches at every node. Safe on
// any thread while the nodes' trees are held.
class NodePaths final {
public:
    NodePaths() = default;
    // The paths of `nodes`, index for index; nothing once `cancel` is set. `visited` takes the
    // indices in the order the nodes were visited (the order of their addresses).
    static NodePaths of(std::span<FileNode* const> nodes, const CancelFlag* cancel = nullptr,
                        std::vector<size_t>* visited = nullptr);

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    std::string_view operator[](size_t i) const { return {entries_[i].at, entries_[i].length & kLength}; }
    // Whether the path's bytes are its text as well (`FileNode::fullPath`): no name in it holds
    // bytes that are not UTF-8, which the text shows as replacement characters.
    bool isText(size_t i) const { return !(entries_[i].length & kNotText); }
    // Entry i becomes what entry order[i] was (the buffers stay).
    void reorder(std::span<const size_t> order);

private:
    // The top bit of an entry's length tells a path that is not its text.
    static constexpr size_t kNotText = size_t(1) << 63;
    static constexpr size_t kLength = kNotText - 1;
    struct Entry {
        const char* at = nullptr;
        size_t length = 0;
    };
    std::vector<std::string> buffers_;
    std::vector<Entry> entries_;
};

// Puts `nodes` in the order of their paths' bytes, equal paths in the order they came (what a
// stable sort gives), and gives the paths in that order, each made once and sorted on every
// processor. Leaves the nodes as they were, and gives nothing, once
// `cancel` is set.
NodePaths orderByPathBytes(std::vector<FileNode*>& nodes, const CancelFlag* cancel = nullptr);

// The nodes of a set in the set's order, without null pointers and group rows ("[N Files in
// ...]"). Whether a node is a group row is read on every processor: one after the other, in the
// set's order, each read would wait for memory. Nothing once `cancel` is set.
std::vector<FileNode*> listedWithoutGroupRows(const QSet<FileNode*>& set, const CancelFlag* cancel = nullptr);

// The index of the node whose path comes first in byte order (the first of equal ones), without
// keeping the paths; `nodes.size()` when there are none or `cancel` was set.
size_t indexOfFirstPath(std::span<FileNode* const> nodes, const CancelFlag* cancel = nullptr);

}  // namespace zelvane
