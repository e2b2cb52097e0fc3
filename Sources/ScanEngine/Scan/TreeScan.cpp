#include "ScanEngine/Scan/TreeScan.hpp"

#include <algorithm>
#include <cerrno>
#include <set>
#include <tuple>

#include "ScanEngine/Tree/NameSort.hpp"
#include "ScanEngine/Support/Arithmetic.hpp"

namespace zelvane {

std::vector<FileNode*> applyIncludeFilter(const FileNode& root, const DecodedFilter& filters, bool fullpath) {
    std::vector<FileNode*> out;
    std::vector<FileNode*> stack;
    auto pushChildren = [&](const FileNode& n) {
        auto kids = n.children();
        for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
    };
    pushChildren(root);
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        if (matchItem(*n, filters, fullpath, true)) out.push_back(n);
        pushChildren(*n);
    }
    return out;
}

namespace {

// A copy of a node's own facts: name, sizes, dates, attributes, identifier (a folder's own
// sizes are not carried: its totals come from what survives).
FileNode* copyNode(NodeArena& arena, const FileNode& src) {
    auto name = src.nameUnits();
    FileNode* c = arena.makeNode16(name, src.isDir(), src.isDir() ? 0 : src.fileSize,
                                   src.isDir() ? 0 : src.allocSize, src.modifiedDateRaw);
    c->createdDateRaw = src.createdDateRaw;
    c->lastAccessDateRaw = src.lastAccessDateRaw;
    c->dosAttributes = src.dosAttributes;
    c->fileID = src.fileID;
    if (!src.isDir() && src.doNotCountAllocated()) c->setDoNotCountAllocated(true);
    if (src.isImpliedFolder()) c->setIsImpliedFolder(true);
    // A folder that could not be read, or that another file system is mounted on, stays marked:
    // the copy must not pass it off as an ordinary empty folder.
    if (src.accessDenied()) c->setAccessDenied(true);
    if (src.isVolumeBoundary()) c->setIsVolumeBoundary(true);
    return c;
}

// A folder whose date was raised to the newest date below it takes the newest of its own date
// and its surviving children's: an entry the filters left out does not date its folder.
void raiseToNewestSurvivor(const FileNode& src, FileNode& copy, std::span<FileNode* const> survivors) {
    if (!src.raisedToNewestBelow()) return;
    copy.modifiedDateRaw = src.ownModifiedDateRaw();
    copy.keepOwnModifiedDate();
    for (const FileNode* c : survivors) copy.modifiedDateRaw = std::max(copy.modifiedDateRaw, c->modifiedDateRaw);
}

// Files that share their blocks with others (hard links of one inode, clones) count them once:
// the source marks all but one. When the filter drops the one that carried the blocks, the copy
// must choose another, or the blocks vanish from every allocated total. Links of one inode are
// known by their file identifier, size and allocated size together. A file without an identifier
// (every file of an import) cannot be told from others of its size: it keeps its own mark.
class SharedBlocksInCopy final {
public:
    explicit SharedBlocksInCopy(const FileNode& root) {
        std::vector<const FileNode*> stack{&root};
        while (!stack.empty()) {
            const FileNode* n = stack.back();
            stack.pop_back();
            for (const FileNode* c : n->children()) {
                if (c->isDir())
                    stack.push_back(c);
                else if (c->doNotCountAllocated() && c->fileID != 0)
                    shared_.insert(keyOf(*c));
            }
        }
    }

    // The first surviving copy of each shared file carries its blocks, the others do not.
    void decide(const FileNode& source, FileNode& copy) {
        if (shared_.empty() || source.fileID == 0) return;
        const Key key = keyOf(source);
        if (!shared_.contains(key)) return;
        copy.setDoNotCountAllocated(!carried_.insert(key).second);
    }

private:
    using Key = std::tuple<uint64_t, int64_t, int64_t>;
    static Key keyOf(const FileNode& n) { return {n.fileID, n.fileSize, n.allocSize}; }
    std::set<Key> shared_;
    std::set<Key> carried_;
};

}  // namespace

RootRef loadFilteredTree(const FileNode& root, const FilteredTreeOptions& o) {
    auto store = NodeStore::create();
    if (const NodeStore* source = root.store()) store->setImported(source->isImported());
    // Only filters make this copy, and whatever they leave out is still on disk.
    store->setFiltered(true);
    NodeArena& arena = store->makeArena();
    FileNode* newRoot = arena.makeRoot16(root.name16(), root.isDir(), root.fileSize, 0, root.modifiedDateRaw);
    if (root.isImpliedFolder()) newRoot->setIsImpliedFolder(true);
    if (root.accessDenied()) newRoot->setAccessDenied(true);
    if (root.isVolumeBoundary()) newRoot->setIsVolumeBoundary(true);
    newRoot->createdDateRaw = root.createdDateRaw;
    newRoot->lastAccessDateRaw = root.lastAccessDateRaw;
    newRoot->dosAttributes = root.dosAttributes;
    newRoot->fileID = root.fileID;

    const bool excluding = o.excludeFilters && hasTerms(*o.excludeFilters);
    auto excluded = [&](const FileNode& n) {
        return n.isDeleted() || (excluding && matchItem(n, *o.excludeFilters, o.excludeFullpath, true));
    };
    SharedBlocksInCopy sharedBlocks(root);
    auto included = [&](const FileNode& n) {
        return !o.includeFilters || matchItem(n, *o.includeFilters, o.includeFullpath, true);
    };

    // Post-order without recursion: `built` holds the surviving copies of the children of every
    // folder on the stack, each folder's from `base` on.
    struct Frame {
        const FileNode* src;
        size_t next;
        size_t base;
    };
    std::vector<Frame> stack{{&root, 0, 0}};
    std::vector<FileNode*> built;
    while (!stack.empty()) {
        Frame& f = stack.back();
        auto kids = f.src->children();
        if (f.next < kids.size()) {
            const FileNode* c = kids[f.next++];
            if (excluded(*c)) continue;
            if (c->isDir()) {
                stack.push_back({c, 0, built.size()});
            } else if (included(*c)) {
                FileNode* copy = copyNode(arena, *c);
                sharedBlocks.decide(*c, *copy);
                built.push_back(copy);
            }
            continue;
        }
        const FileNode* src = f.src;
        size_t base = f.base;
        stack.pop_back();
        std::span<FileNode* const> survivors(built.data() + base, built.size() - base);
        if (stack.empty()) {
            newRoot->setChildren(arena, survivors);
            raiseToNewestSurvivor(root, *newRoot, survivors);
            break;
        }
        if (survivors.empty() && !included(*src)) continue;
        FileNode* copy = copyNode(arena, *src);
        copy->setChildren(arena, survivors);
        raiseToNewestSurvivor(*src, *copy, survivors);
        built.resize(base);
        built.push_back(copy);
    }
    newRoot->aggregateSizes();
    int32_t counter = 0;
    newRoot->assignSortNameIndex(counter);
    newRoot->setHasFlatFileList();
    return store->handle(newRoot);
}

}  // namespace zelvane
