#pragma once

// Node trees for tests: built in memory the way a scan builds them, or read from a real folder.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Tree/FileNode.hpp"

namespace zelvane::testsupport {

// One store and one arena; every node made here lives in them, children in the order added.
// Sizes are never rolled up behind the test's back: `finish` does it when the tree is complete.
class TreeBuilder final {
public:
    TreeBuilder() : store_(NodeStore::create()), arena_(&store_->makeArena()) {}

    FileNode* root(std::string_view path, int32_t date = 0) { return arena_->makeRoot(path, true, 0, 0, date); }
    FileNode* fileRoot(std::string_view path, int64_t size, int64_t allocated, int32_t date = 0) {
        return arena_->makeRoot(path, false, size, allocated, date);
    }
    FileNode* folder(FileNode* parent, std::string_view name, int32_t date = 0) {
        return add(parent, arena_->makeNode(name, true, 0, 0, date));
    }
    // A file whose allocated size is its logical size.
    FileNode* file(FileNode* parent, std::string_view name, int64_t size) { return file(parent, name, size, size); }
    FileNode* file(FileNode* parent, std::string_view name, int64_t size, int64_t allocated, int32_t date = 0) {
        return add(parent, arena_->makeNode(name, false, size, allocated, date));
    }
    // `depth` nested folders of one name below `parent`; the deepest.
    FileNode* chain(FileNode* parent, int depth, std::string_view name = "d");
    // A node of the arena that belongs to no folder.
    FileNode* loose(std::string_view name, bool isDir, int64_t size, int64_t allocated, int32_t date = 0) {
        return arena_->makeNode(name, isDir, size, allocated, date);
    }

    // Makes `kids` (loose nodes of this builder) the children of `folder` in one array of their
    // size, laid out as a scan lays out a folder it listed.
    void setChildren(FileNode* folder, std::span<FileNode* const> kids) { folder->setChildren(*arena_, kids); }

    // Rolls the sizes up and hands the tree out as a scan result holds it.
    RootRef finish(FileNode* root);
    RootRef handle(FileNode* root) { return store_->handle(root); }

    NodeArena& arena() { return *arena_; }
    const std::shared_ptr<NodeStore>& store() const { return store_; }

private:
    FileNode* add(FileNode* parent, FileNode* child) {
        if (parent) parent->appendChild(*arena_, child);
        return child;
    }

    std::shared_ptr<NodeStore> store_;
    NodeArena* arena_;
};

// Reads the real folder (or file) at `path` into a tree the way a scan does: sizes from lstat
// (allocated size from the block count), modification dates, symbolic links as entries of their
// own and never followed, the second sighting of a hard-linked file flagged as not counting its
// allocated size, children in byte order of their names, folder totals rolled up. Iterative, so a
// tree deeper than any stack reads too. Throws when `path` cannot be read.
RootRef readTreeFromDisk(const std::string& path);

// The child of `folder` with exactly this name, or null.
FileNode* childNamed(const FileNode* folder, std::string_view name);
// The node at a relative path ("a/b/c") below `root`, or null.
FileNode* nodeAt(FileNode* root, std::string_view relative);
// Every node of the subtree, parents before their children, children in their order.
std::vector<FileNode*> preOrder(FileNode* root);

}  // namespace zelvane::testsupport
