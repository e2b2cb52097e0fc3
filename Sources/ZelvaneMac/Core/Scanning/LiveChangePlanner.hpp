#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "ScanEngine/Monitor/FileChangeEvent.hpp"
#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane {

// A tree the live monitor follows, with the exact bytes of its root's path.
struct FollowedTree {
    std::string path;
    RootRef root;
};

// Finds the nodes of a path in the followed trees, by exact name first. A folder's children are
// hashed by name the first time one of them is looked up, and kept until `clear()`: only while no
// followed tree is let go and no node is renamed. One thread at a time.
class TreePathIndex final {
public:
    // The node of `path` in every tree that holds it (roots may overlap, and copies of a tree hold
    // its paths too); with `exactOnly`, names must match byte for byte (no case-insensitive
    // fallback). Trees whose root is `skipRoot` are left out.
    void find(std::string_view path, std::span<const FollowedTree> trees, std::vector<FileNode*>& found,
              bool exactOnly = false, const FileNode* skipRoot = nullptr);
    void clear() { children_.clear(); }

private:
    // A folder's children by exact name, and (built only when an exact lookup fails) by folded
    // name, where a key shared by several children maps to null.
    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::u16string_view s) const noexcept { return std::hash<std::u16string_view>()(s); }
    };
    struct ChildLookup {
        std::unordered_map<std::u16string, FileNode*, NameHash, std::equal_to<>> exact;
        std::unordered_map<std::u16string, FileNode*> folded;
        bool foldedBuilt = false;
    };
    FileNode* findBelow(FileNode* root, std::string_view relativePath, bool exactOnly);
    FileNode* childByName(std::u16string_view name, FileNode* folder, bool exactOnly);

    std::unordered_map<const FileNode*, ChildLookup> children_;
    std::u16string nameScratch_;
};

// Hard links of one tree whose space another link counts, by file identifier.
using LinksLeftOut = std::unordered_multimap<uint64_t, FileNode*>;
LinksLeftOut gatherLinksLeftOut(FileNode* root);

// What a batch of file-system events changes in the followed trees, worked out from the disk and
// the trees without changing them: the nodes to mark deleted and what to tell, in the order of
// the events. Holds the trees it points into.
struct LiveChangePlan {
    struct Step {
        enum class Kind : uint8_t {
            markGone,      // the item is gone
            markReplaced,  // another item stands under its name: marked, and said to be missed
            tellMissed,    // changes below `path` were missed, or a gone name is taken again
        };
        Kind kind = Kind::markGone;
        FileNode* node = nullptr;  // null for `tellMissed`
        std::string path;          // for `tellMissed`
    };
    std::vector<Step> steps;
    // The nodes whose display the marks change: each marked node, its folders and their children
    // (whose percentages change), each once.
    std::vector<FileNode*> changedNodes;
    // Raised unless every event repeats the removal of a node already deleted.
    bool changed = false;
    // The space-sharing hard links of each followed tree.
    std::vector<std::pair<const FileNode*, std::shared_ptr<const LinksLeftOut>>> links;
    std::vector<RootRef> trees;
};

// Plans batches of events against the followed trees. It reads the trees (names, flags and
// sizes through their atomic accessors) while the main thread marks them, and keeps its name
// lookups and the hard links it gathered from one batch to the next. One thread at a time.
class LiveChangePlanner final {
public:
    // `trees`: the watched trees first, then the kept ones not watched. `lookupEpoch` changes
    // whenever the trees or the names in them may have changed since the last call, which drops
    // the name lookups kept. The hard links of every tree come with a plan that marks anything,
    // and with every plan when `gatherLinks`. `removed`: nodes of the trees that the application
    // removed from the disk itself, marked (before the events) with the same items in the other
    // trees.
    LiveChangePlan plan(const std::vector<FileChangeEvent>& events, const std::vector<FollowedTree>& trees,
                        uint64_t lookupEpoch, bool gatherLinks = false, std::span<FileNode* const> removed = {});
    // The name lookups, for paths looked up outside a plan.
    TreePathIndex& index(uint64_t lookupEpoch);

private:
    // Whether the node, or a folder above it, is deleted or planned to be.
    bool goneOrPlanned(const FileNode* node) const;
    std::shared_ptr<const LinksLeftOut> linksOf(const RootRef& root);

    TreePathIndex index_;
    uint64_t lookupEpoch_ = 0;
    // Held weakly, so that a tree let go is freed; an entry whose tree went is gathered anew.
    struct Links {
        std::weak_ptr<FileNode> root;
        std::shared_ptr<const LinksLeftOut> links;
    };
    std::unordered_map<const FileNode*, Links> links_;
    std::unordered_set<const FileNode*> planned_;
    std::vector<FileNode*> found_;
};

// What stands at a node's path now. A root given as a symbolic link was scanned at its target;
// below the roots links are items of their own. Paths of any length are looked at.
enum class OnDisk { same, gone, replaced };
OnDisk onDisk(const FileNode& node);

// Calls `visit` with every file at or below `top`.
template <typename Visit>
void forEachFileBelow(FileNode* top, Visit visit) {
    std::vector<FileNode*> stack{top};
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        if (!n->isDir()) {
            visit(n);
            continue;
        }
        auto kids = n->children();
        stack.insert(stack.end(), kids.begin(), kids.end());
    }
}

}  // namespace zelvane
