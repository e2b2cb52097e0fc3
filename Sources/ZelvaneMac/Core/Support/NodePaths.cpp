#include "ZelvaneMac/Core/Support/NodePaths.hpp"

#include <algorithm>
#include <functional>
#include <utility>

#include "ScanEngine/Support/ParallelFor.hpp"
#include "ZelvaneMac/Core/Support/ParallelSort.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

namespace {

// The nodes a worker takes at a time, each stretch with a buffer of its own.
constexpr size_t kStretch = size_t(1) << 16;

size_t stretchCount(size_t count) { return (count + kStretch - 1) / kStretch; }

std::pair<size_t, size_t> stretch(size_t s, size_t count) {
    return {s * kStretch, std::min(count, (s + 1) * kStretch)};
}

// A node with its index among those asked about.
struct Placed {
    const FileNode* node;
    size_t index;
};

// The nodes in the order of their addresses (a node listed twice, by index).
std::vector<Placed> inAddressOrder(std::span<FileNode* const> nodes, const CancelFlag* cancel) {
    std::vector<Placed> placed(nodes.size());
    parallelFor(stretchCount(nodes.size()), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, nodes.size());
        for (size_t i = begin; i < end; ++i) placed[i] = {nodes[i], i};
    }, cancel);
    const auto before = [](const Placed& a, const Placed& b) {
        return a.node != b.node ? std::less<const FileNode*>()(a.node, b.node) : a.index < b.index;
    };
    if (isCancelled(cancel) || !parallelSort(placed, before, cancel)) return {};
    return placed;
}

// Whether the name's bytes are its text: it holds no unpaired surrogate (what stands for a byte
// that is not UTF-8). Names kept a byte a unit hold none.
bool nameIsText(const FileNode& node) {
    const StoredName name = node.storedName();
    if (!name.wide) return true;
    for (size_t i = 0; i < name.units; ++i) {
        const char16_t u = name.unit(i);
        if (u < 0xD800 || u > 0xDFFF) continue;
        if (u > 0xDBFF || i + 1 == name.units) return false;
        const char16_t next = name.unit(++i);
        if (next < 0xDC00 || next > 0xDFFF) return false;
    }
    return true;
}

// Makes paths as FileNode::pathBytes does, keeping the part they share with the path made before
// when the node is in the same folder. Tells whether the path is its text as well.
class PathMaker final {
public:
    bool append(const FileNode& node, std::string& out) {
        const FileNode* parent = node.parent();
        node.appendNameBytes(parent ? prefixOf(parent, out) : out);
        return (!parent || prefixIsText_) && nameIsText(node);
    }

private:
    // The root's name (a path), then every folder's name below it, each followed by one "/".
    std::string& prefixOf(const FileNode* folder, std::string& out) {
        if (folder != folder_) {
            folder_ = folder;
            chain_.clear();
            for (const FileNode* n = folder; n; n = n->parent()) chain_.push_back(n);
            prefix_.clear();
            chain_.back()->appendNameBytes(prefix_);
            if (prefix_.empty() || prefix_.back() != '/') prefix_.push_back('/');
            for (size_t i = chain_.size() - 1; i-- > 0;) {
                chain_[i]->appendNameBytes(prefix_);
                prefix_.push_back('/');
            }
            prefixIsText_ = std::all_of(chain_.begin(), chain_.end(), [](const FileNode* n) { return nameIsText(*n); });
        }
        out += prefix_;
        return out;
    }

    const FileNode* folder_ = nullptr;
    std::string prefix_;
    bool prefixIsText_ = true;
    std::vector<const FileNode*> chain_;
};

}  // namespace

NodePaths NodePaths::of(std::span<FileNode* const> nodes, const CancelFlag* cancel, std::vector<size_t>* visited) {
    const std::vector<Placed> placed = inAddressOrder(nodes, cancel);
    if (placed.size() != nodes.size()) return {};
    NodePaths paths;
    paths.buffers_.resize(stretchCount(nodes.size()));
    paths.entries_.resize(nodes.size());
    parallelFor(paths.buffers_.size(), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, nodes.size());
        std::string& buffer = paths.buffers_[s];
        // Never kept inside the string itself: the entries point into it while it moves.
        buffer.reserve(64);
        std::vector<size_t> ends(end - begin);
        PathMaker maker;
        for (size_t k = begin; k < end; ++k) {
            const bool text = maker.append(*placed[k].node, buffer);
            ends[k - begin] = buffer.size() | (text ? 0 : kNotText);
        }
        size_t start = 0;
        for (size_t k = begin; k < end; ++k) {
            const size_t stop = ends[k - begin] & kLength;
            paths.entries_[placed[k].index] = {buffer.data() + start, (stop - start) | (ends[k - begin] & kNotText)};
            start = stop;
        }
    }, cancel);
    if (isCancelled(cancel)) return {};
    if (visited) {
        visited->resize(placed.size());
        for (size_t k = 0; k < placed.size(); ++k) (*visited)[k] = placed[k].index;
    }
    return paths;
}

void NodePaths::reorder(std::span<const size_t> order) {
    std::vector<Entry> reordered(order.size());
    for (size_t i = 0; i < order.size(); ++i) reordered[i] = entries_[order[i]];
    entries_.swap(reordered);
}

NodePaths orderByPathBytes(std::vector<FileNode*>& nodes, const CancelFlag* cancel) {
    std::vector<size_t> visited;
    NodePaths paths = NodePaths::of(nodes, cancel, &visited);
    if (paths.size() != nodes.size() || nodes.empty()) return {};
    struct Keyed {
        std::string_view path;
        size_t index;
    };
    // Sorted from the order the paths were made in, which for most trees is close to the order
    // sought: the merges then read the paths' buffers nearly front to back.
    std::vector<Keyed> keyed(nodes.size());
    parallelFor(stretchCount(nodes.size()), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, nodes.size());
        for (size_t k = begin; k < end; ++k) keyed[k] = {paths[visited[k]], visited[k]};
    });
    std::vector<size_t>().swap(visited);
    const auto before = [](const Keyed& a, const Keyed& b) {
        const int c = a.path.compare(b.path);
        return c != 0 ? c < 0 : a.index < b.index;
    };
    if (!parallelSort(keyed, before, cancel)) return {};
    std::vector<size_t> order(keyed.size());
    std::vector<FileNode*> ordered(keyed.size());
    for (size_t k = 0; k < keyed.size(); ++k) {
        order[k] = keyed[k].index;
        ordered[k] = nodes[order[k]];
    }
    paths.reorder(order);
    nodes.swap(ordered);
    return paths;
}

std::vector<FileNode*> listedWithoutGroupRows(const QSet<FileNode*>& set, const CancelFlag* cancel) {
    std::vector<FileNode*> nodes;
    nodes.reserve(size_t(set.size()));
    size_t seen = 0;
    for (FileNode* n : set) {
        if (++seen % 65536 == 0 && isCancelled(cancel)) return {};
        if (n) nodes.push_back(n);
    }
    std::vector<char> group(nodes.size());
    parallelFor(stretchCount(nodes.size()), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, nodes.size());
        for (size_t i = begin; i < end; ++i) group[i] = nodes[i]->isSyntheticGroup();
    }, cancel);
    if (isCancelled(cancel)) return {};
    size_t kept = 0;
    for (size_t i = 0; i < nodes.size(); ++i)
        if (!group[i]) nodes[kept++] = nodes[i];
    nodes.resize(kept);
    return nodes;
}

size_t indexOfFirstPath(std::span<FileNode* const> nodes, const CancelFlag* cancel) {
    const std::vector<Placed> placed = inAddressOrder(nodes, cancel);
    if (placed.empty()) return nodes.size();
    struct Best {
        std::string path;
        size_t index = SIZE_MAX;
        bool before(const std::string& otherPath, size_t otherIndex) const {
            if (index == SIZE_MAX) return true;
            const int c = otherPath.compare(path);
            return c != 0 ? c < 0 : otherIndex < index;
        }
    };
    std::vector<Best> best(stretchCount(placed.size()));
    parallelFor(best.size(), parallelWorkerCount(), 1, [&](size_t s, unsigned) {
        const auto [begin, end] = stretch(s, placed.size());
        PathMaker maker;
        std::string path;
        for (size_t k = begin; k < end; ++k) {
            path.clear();
            maker.append(*placed[k].node, path);
            if (best[s].before(path, placed[k].index)) {
                best[s].path.swap(path);
                best[s].index = placed[k].index;
            }
        }
    }, cancel);
    if (isCancelled(cancel)) return nodes.size();
    Best first;
    for (Best& b : best)
        if (b.index != SIZE_MAX && first.before(b.path, b.index)) first = std::move(b);
    return first.index == SIZE_MAX ? nodes.size() : first.index;
}

}  // namespace zelvane
