#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Tree/DuplicateGroup.hpp"

namespace zelvane {

class FileNode;
class NodeArena;
class NodeStore;

// Dates are kept as seconds since 2001-01-01 00:00:00 UTC, the reference of every packed date.
using DateSeconds = double;
inline constexpr int64_t kReferenceDateUnixSeconds = 978307200;
// The packed form of 1970-01-01 00:00:00 UTC: what an unknown date reads as.
inline constexpr int32_t kPackedUnixEpoch = -978307200;

// Rounds half away from zero and saturates to the Int32 range (infinities included).
int32_t packDate(DateSeconds secondsSinceReference);
inline DateSeconds unpackDate(int32_t packed) { return static_cast<DateSeconds>(packed); }
inline DateSeconds referenceSecondsFromUnix(double unixSeconds) { return unixSeconds - kReferenceDateUnixSeconds; }

// A name as it is kept in the arena: one byte per unit when every UTF-16 unit is below U+0100
// (most names; plain ASCII is copied as it was read), two bytes per unit otherwise.
struct StoredName {
    const char* bytes = nullptr;
    uint32_t units = 0;
    bool wide = false;
    char16_t unit(size_t i) const noexcept {
        if (!wide) return char16_t(static_cast<unsigned char>(bytes[i]));
        char16_t u;
        std::memcpy(&u, bytes + 2 * i, sizeof u);
        return u;
    }
};

// A node's name as UTF-16 units for as long as this value lives, widened (or copied, when stored
// two bytes a unit) into a buffer of its own: on the stack for any name a file system gives. It
// cannot be copied, and an expiring one gives no view, so a view never outlives it:
// write `auto name = node.nameUnits();` and use `name`.
class NameUnits final {
public:
    NameUnits(const NameUnits&) = delete;
    NameUnits& operator=(const NameUnits&) = delete;

    std::u16string_view view() const& noexcept { return {data_, size_}; }
    std::u16string_view view() const&& = delete;
    operator std::u16string_view() const& noexcept { return view(); }
    operator std::u16string_view() const&& = delete;
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    char16_t operator[](size_t i) const noexcept { return data_[i]; }
    char16_t front() const noexcept { return data_[0]; }
    char16_t back() const noexcept { return data_[size_ - 1]; }
    const char16_t* data() const& noexcept { return data_; }
    const char16_t* begin() const& noexcept { return data_; }
    const char16_t* end() const& noexcept { return data_ + size_; }
    friend bool operator==(const NameUnits& a, std::u16string_view b) noexcept { return a.view() == b; }

    static constexpr size_t kInline = 256;  // NAME_MAX bytes never decode to more units

private:
    friend class FileNode;
    explicit NameUnits(StoredName s);
    const char16_t* data_ = nullptr;
    size_t size_ = 0;
    std::u16string heap_;
    char16_t inline_[kInline];
};

struct AggregateTotals {
    int64_t size = 0;
    int64_t alloc = 0;
    int32_t files = 0;
    int32_t dirs = 0;
    bool operator==(const AggregateTotals&) const = default;
};

// Children and totals. Only nodes that need it carry one, so a file costs no more than its node
// and name; a store's roots carry their RootData right behind it.
struct FolderData {
    FileNode** children = nullptr;   // arena memory, `childCount` valid entries
    uint32_t childCount = 0;
    uint32_t childCapacity = 0;
    int64_t subFolderTotSize = 0;
    int64_t subFolderTotSizeAlloc = 0;
    int32_t subFolderFileCount = 0;
    int32_t subFolderDirCount = 0;
    // The folder's own modified date, kept when its date was raised to the newest one below it
    // (`raisedToNewestBelow`), so that a copy without some of its entries can raise it again.
    int32_t ownModifiedDateRaw = 0;
    bool raisedToNewestBelow = false;
};

struct RootData;

// One file or folder of a scanned tree. Millions live at once, so the node is 64 bytes; its name
// (a header of one byte for most names, then the units, one byte each where they all fit) lies
// in the arena's name region, and folders carry their FolderData right behind the node.
//
// Ownership: every node lives in the arena of a NodeStore; the store frees all of them at once.
// Nodes are compared and hashed by address. A root handle (`RootRef`) keeps its store alive.
//
// Names are UTF-16 to every consumer (sorting, matching, the views); most are kept one byte per
// unit and widened where they are read (`nameUnits`), which costs less than the bytes saved on
// every node. Bytes of a file name that are not valid UTF-8 are kept as lone surrogates
// U+DC80..U+DCFF, one unit per byte, so the exact bytes of the path can always be given back to
// the file system (`pathBytes`).
//
// Fields that change after a tree is published (flags, totals, the duplicate slot, sortNameIndex,
// the name) are written on the main thread while background jobs read them: they are accessed
// through relaxed atomic references, and replaced name buffers stay in the arena until the tree
// goes. The two bits fixed at construction (folder, folder data) sit in a byte of their own, so
// the hottest reads (`isDir`, `folderData`) stay plain loads without racing with flag changes.
//
// Threading contract of a published tree: its shape (children, parents) only changes on the main
// thread, and only between background jobs that read it. Views sort their own row lists; they
// never reorder a folder's children of the shared tree while jobs may read it.
class FileNode final {
    const char* name_ = nullptr;  // the units; their header sits in the bytes before them
    FileNode* parent_ = nullptr;
    int32_t sortNameIndex_ = 0;
    uint32_t dupSlot_ = 0;  // the duplicate group's slot in the store's table, 0 for none

public:
    enum Flag : uint8_t {
        kIsDir = 0x01,
        kDoNotCountAllocated = 0x02,
        kIsVolumeBoundary = 0x04,
        kAccessDenied = 0x08,
        kIsSyntheticGroup = 0x10,
        kIsDeleted = 0x20,
        kHasFolderData = 0x40,  // internal: FolderData follows the node
        // A folder an import made up for the paths of its rows: the file had no row of its own
        // for it, so nothing says what it holds on disk. (Its bit in the kind byte is another's.)
        kIsImpliedFolder = 0x80,
    };
    static constexpr uint8_t kHasRootData = 0x80;  // internal, in the kind byte: RootData follows the FolderData

    static constexpr int defaultMinGroupSize = 4;

    FileNode(const FileNode&) = delete;
    FileNode& operator=(const FileNode&) = delete;

    // Name and path.
    NameUnits nameUnits() const { return NameUnits(storedName()); }
    StoredName storedName() const noexcept;
    const void* namePtr() const noexcept { return nameData(); }
    int32_t nameLength() const noexcept { return int32_t(storedName().units); }
    std::string name() const;             // UTF-8, unpaired surrogates shown as U+FFFD
    std::u16string name16() const;
    std::string nameBytes() const;        // the exact bytes of the on-disk name
    void appendNameBytes(std::string& out) const;
    void rename(std::u16string_view newName);
    void rename(std::string_view newNameUTF8);
    std::string fullPath() const;         // for display, UTF-8
    std::string pathBytes() const;        // for file-system calls, the exact bytes
    int depth() const noexcept;
    std::string detectedExtension() const;
    std::string nameWithoutDetectedExtension() const;
    std::string dosAttributesString() const;

    // Flags.
    uint8_t flags() const noexcept {
        return uint8_t((kind_ & ~kHasRootData) |
                       std::atomic_ref<uint8_t>(const_cast<uint8_t&>(flags_)).load(std::memory_order_relaxed));
    }
    bool isDir() const noexcept { return kind_ & kIsDir; }
    bool doNotCountAllocated() const noexcept { return flags() & kDoNotCountAllocated; }
    bool isVolumeBoundary() const noexcept { return flags() & kIsVolumeBoundary; }
    bool accessDenied() const noexcept { return flags() & kAccessDenied; }
    bool isSyntheticGroup() const noexcept { return flags() & kIsSyntheticGroup; }
    bool isDeleted() const noexcept { return flags() & kIsDeleted; }
    bool isImpliedFolder() const noexcept { return flags() & kIsImpliedFolder; }
    void setDoNotCountAllocated(bool on) noexcept { setFlag(kDoNotCountAllocated, on); }
    void setIsVolumeBoundary(bool on) noexcept { setFlag(kIsVolumeBoundary, on); }
    void setAccessDenied(bool on) noexcept { setFlag(kAccessDenied, on); }
    void setIsSyntheticGroup(bool on) noexcept { setFlag(kIsSyntheticGroup, on); }
    void setIsDeleted(bool on) noexcept { setFlag(kIsDeleted, on); }
    void setIsImpliedFolder(bool on) noexcept { setFlag(kIsImpliedFolder, on); }

    // Plain fields the builders fill.
    int64_t fileSize = 0;
    int64_t allocSize = 0;
    uint64_t fileID = 0;
    int32_t modifiedDateRaw = 0;
    int32_t lastAccessDateRaw = kPackedUnixEpoch;
    int32_t createdDateRaw = kPackedUnixEpoch;
    uint16_t dosAttributes = 0;

    DateSeconds modifiedDate() const noexcept { return unpackDate(modifiedDateRaw); }
    DateSeconds lastAccessDate() const noexcept { return unpackDate(lastAccessDateRaw); }
    DateSeconds createdDate() const noexcept { return unpackDate(createdDateRaw); }
    void setModifiedDate(DateSeconds d) noexcept { modifiedDateRaw = packDate(d); }
    void setLastAccessDate(DateSeconds d) noexcept { lastAccessDateRaw = packDate(d); }
    void setCreatedDate(DateSeconds d) noexcept { createdDateRaw = packDate(d); }

    // Tree structure.
    FileNode* parent() const noexcept { return parent_; }
    void setParent(FileNode* p) noexcept { parent_ = p; }
    std::span<FileNode* const> children() const noexcept;
    size_t childCount() const noexcept;
    bool hasFolderData() const noexcept { return kind_ & kHasFolderData; }
    FolderData* folderData() noexcept;
    const FolderData* folderData() const noexcept;
    // Appends to the children (arena memory from `arena`); sets the child's parent. Folders only.
    void appendChild(NodeArena& arena, FileNode* child);
    // Replaces the children with exactly these (one arena allocation); sets their parents.
    void setChildren(NodeArena& arena, std::span<FileNode* const> kids);
    // Drops children from the end (a folder read rolled back). Does not free them.
    void truncateChildren(size_t newCount) noexcept;

    // Folder totals (0 on files).
    int64_t subFolderTotSize() const noexcept;
    int64_t subFolderTotSizeAlloc() const noexcept;
    int32_t subFolderFileCount() const noexcept;
    int32_t subFolderDirCount() const noexcept;
    void setSubFolderTotals(const AggregateTotals& t) noexcept;

    int64_t effectiveSize() const noexcept { return isDir() ? subFolderTotSize() : fileSize; }
    int64_t effectiveAllocSize() const noexcept { return isDir() ? subFolderTotSizeAlloc() : allocSize; }

    // Roll-up of the whole subtree (iterative); stores the folder totals and returns this node's.
    AggregateTotals aggregateSizes();
    // Every folder takes the newest modified date of its subtree, itself included.
    DateSeconds applyMaxModifiedDateToFolders();
    // Before a folder's date is raised to the newest date below it: keeps the folder's own date
    // (once; a second pass keeps the first). The scan calls it on the folder it is reading.
    void keepOwnModifiedDate() noexcept;
    // Whether the folder's date was raised to the newest date below it, and its own date then
    // (otherwise, and for a file, the modified date itself).
    bool raisedToNewestBelow() const noexcept;
    int32_t ownModifiedDateRaw() const noexcept;

    // Duplicates.
    DuplicateGroup* dupGroup() const noexcept;
    void setDupGroup(DuplicateGroup* group) noexcept;
    int dupCount() const noexcept;
    int64_t dupSize() const noexcept;  // saturates instead of overflowing

    // Deletion and the live monitor.
    bool flagDeletedRecursively();
    void subtractContributionFromAncestors();
    // Marks the node deleted with everything below it and takes what it still counts out of its
    // ancestors' totals; false, changing nothing, when it is marked already. The folders it
    // marks keep the figures of everything they held: items below them marked deleted before
    // (as a folder erased file by file is seen going) count in them again, as a folder marked
    // at once keeps them.
    bool markDeletedWithSubtree();
    // A file whose space another hard link counted counts it itself from now on (that link
    // went): its allocated size joins its folders' totals. False, changing nothing, for a folder
    // or a file that counts already.
    bool countAllocatedSpaceFromNowOn();

    // Root-only data.
    bool isRoot() const noexcept { return parent_ == nullptr; }
    // Roots of the parallel scan and the filtered load offer every node below them as one list,
    // in post-order (each folder after everything below it). It is not kept (8 bytes an
    // entry): each call walks the tree.
    bool hasFlatFileList() const noexcept;
    std::vector<FileNode*> flatFileList() const;
    void setHasFlatFileList() noexcept;
    // When the scan that made this root began to read it, in nanoseconds since 1970 by the
    // clock that stamps file changes; 0 when the tree was not read from the disk (an import).
    // A folder whose change time is earlier still holds what the scan found.
    int64_t readStartedNanos() const noexcept;
    void setReadStartedNanos(int64_t nanos) noexcept;
    NodeStore* store() const noexcept;  // the store of this node's root (null when not a store root)

    int32_t sortNameIndex() const noexcept { return std::atomic_ref<int32_t>(const_cast<int32_t&>(sortNameIndex_)).load(std::memory_order_relaxed); }
    void setSortNameIndex(int32_t v) noexcept { std::atomic_ref<int32_t>(sortNameIndex_).store(v, std::memory_order_relaxed); }

    // Display grouping of loose files. The group node lives in the returned handle's own store;
    // its children are the real folder's files, which it does not own.
    struct Grouped {
        std::vector<FileNode*> nodes;
        std::shared_ptr<FileNode> group;  // null when nothing was grouped
    };
    Grouped groupedChildren(int minGroupSize = defaultMinGroupSize) const;
    // The same, with the group made in `groupArena`, whose store then keeps it alive: callers
    // that group many folders in one go (the treemap layout) share one store for all groups.
    Grouped groupedChildren(int minGroupSize, NodeArena& groupArena) const;
    // A group's totals and "[N Files in ...]" label over its files that are not deleted: the
    // monitor marks files deleted after their group was made. A group whose files all went is
    // marked deleted too, and counts them all, as its rows still show them. Nothing for other nodes.
    void refreshSyntheticGroup();

    // Numbering in name order (see NameSort.hpp).
    void assignSortNameIndices();
    void assignSortNameIndex(int32_t& counter);

private:
    friend class NodeArena;
    friend class NodeStore;
    FileNode(bool isDir, bool withFolderData, bool withRootData) noexcept;
    RootData* rootData() const noexcept;

    Grouped groupedChildrenIn(int minGroupSize, NodeArena* groupArena) const;
    const char* nameData() const noexcept { return std::atomic_ref<const char*>(const_cast<const char*&>(name_)).load(std::memory_order_acquire); }
    void setFlag(uint8_t bit, bool on) noexcept;

    // (name_, parent_, sortNameIndex_ and dupSlot_ open the class, so the fields pack to 64.)
    const uint8_t kind_;  // kIsDir and kHasFolderData, never changed
    uint8_t flags_ = 0;   // every other bit; atomic access only
};

// One per directory entry; millions live at once.
static_assert(sizeof(FileNode) <= 64, "FileNode grew past its budget");

// A bump allocator for nodes, names and child arrays. One builder thread uses an arena at a time;
// the arena belongs to its NodeStore and lives as long as the store.
class NodeArena final {
public:
    explicit NodeArena(NodeStore& store) : store_(store) {}
    NodeArena(const NodeArena&) = delete;
    NodeArena& operator=(const NodeArena&) = delete;
    ~NodeArena();

    // The name is decoded from UTF-8 straight into the node's buffer (invalid bytes escaped).
    FileNode* makeNode(std::string_view nameUTF8, bool isDir, int64_t fileSize, int64_t allocSize,
                       int32_t modifiedDateRaw);
    FileNode* makeNode16(std::u16string_view name, bool isDir, int64_t fileSize, int64_t allocSize,
                         int32_t modifiedDateRaw);
    // A root: always carries folder data (even when it is a file) and is registered with the store.
    FileNode* makeRoot(std::string_view nameUTF8, bool isDir, int64_t fileSize, int64_t allocSize,
                       int32_t modifiedDateRaw);
    FileNode* makeRoot16(std::u16string_view name, bool isDir, int64_t fileSize, int64_t allocSize,
                         int32_t modifiedDateRaw);

    void* allocate(size_t bytes, size_t align = alignof(void*));
    // A name buffer holding these units (one byte each when they all fit); returns its units.
    const char* allocateName(std::u16string_view units);
    // The same from a file name's bytes (ASCII copied as it is, the rest decoded).
    const char* allocateNameUTF8(std::string_view bytes);
    NodeStore& store() const { return store_; }
    size_t bytesReserved() const noexcept { return reserved_; }

private:
    // Nodes and child arrays need 8-byte alignment and names only 2: kept apart, no byte is lost
    // to padding between a node and its name.
    struct Region {
        std::byte* cur = nullptr;
        std::byte* end = nullptr;
        std::byte* presentTo = nullptr;  // made present ahead of use up to here
        size_t nextChunk = 4096;
    };
    void* allocateIn(Region& r, size_t bytes, size_t align);
    char* allocateNameBytes(size_t units, bool wide);
    FileNode* construct(bool isDir, bool folderData, bool rootData = false);
    NodeStore& store_;
    std::vector<std::unique_ptr<std::byte[]>> chunks_;
    Region nodes_;
    Region names_;
    size_t reserved_ = 0;
};

// Owns the memory of one or more trees. Dropping the store releases every node at once; nodes
// only reach outside the arena through their duplicate group, which the store gives back.
class NodeStore final : public std::enable_shared_from_this<NodeStore> {
public:
    static std::shared_ptr<NodeStore> create();
    NodeStore(const NodeStore&) = delete;
    NodeStore& operator=(const NodeStore&) = delete;
    ~NodeStore();

    // A new arena for one builder thread. Thread-safe.
    NodeArena& makeArena();
    // Arena memory for late changes on the main thread (renames). Thread-safe.
    const char* allocateLateName(std::u16string_view units);
    // The duplicate groups of this store's nodes, by slot (0 stands for none). A slot holds a
    // reference to its group while any node is assigned to it. `dupGroupAt` may be called on
    // any thread; the others on the thread that assigns groups.
    uint32_t acquireDupSlot(DuplicateGroup* group);
    void releaseDupSlot(uint32_t slot);
    DuplicateGroup* dupGroupAt(uint32_t slot) const noexcept;
    // The same for whole groups at once, with the lock taken once per batch of groups, no
    // member's store looked up, and the members written on every processor: every member must
    // lie in one of this store's trees. Assigning gives each member its group; clearing takes
    // each member's group off it where it still is the slot the bulk assignment gave (a member
    // given another since keeps it). Any thread, one bulk call at a time for a set of groups.
    void assignDupGroups(std::span<const DupGroupRef> groups);
    void clearDupGroups(std::span<const DupGroupRef> groups);
    // A shared handle to a root that keeps this store alive.
    std::shared_ptr<FileNode> handle(FileNode* root);
    // A snapshot: builders on other threads may register roots meanwhile.
    std::vector<FileNode*> roots() const;
    size_t bytesReserved() const;
    // Whether the trees were read back from an export file rather than from the disk: what they
    // show of a folder may not be what the folder holds now.
    bool isImported() const noexcept { return imported_.load(std::memory_order_relaxed); }
    void setImported(bool on) noexcept { imported_.store(on, std::memory_order_relaxed); }
    // Whether a filter left items out of the trees (an exclude filter at scan time, or the copy a
    // filter makes): a folder's row does not show everything the folder holds.
    bool isFiltered() const noexcept { return filtered_.load(std::memory_order_relaxed); }
    void setFiltered(bool on) noexcept { filtered_.store(on, std::memory_order_relaxed); }

private:
    NodeStore();
    friend class NodeArena;
    void registerRoot(FileNode* root);
    struct Locked;
    struct LockedDeleter { void operator()(Locked*) const; };
    std::unique_ptr<Locked, LockedDeleter> locked_;
    class DupSlotsLocked;
    struct DupSlotsDeleter { void operator()(DupSlotsLocked*) const; };
    std::unique_ptr<DupSlotsLocked, DupSlotsDeleter> dupSlots_;
    std::atomic<bool> imported_{false};
    std::atomic<bool> filtered_{false};
};

using RootRef = std::shared_ptr<FileNode>;

// The stores of these roots, each once, in the order first met.
std::vector<NodeStore*> storesOf(std::span<const RootRef> roots);
// Assigns (or clears) the groups, whose members lie in the trees of `stores`: in bulk when there
// is one store, else member by member, each member's store looked up.
void assignDupGroups(std::span<const DupGroupRef> groups, std::span<NodeStore* const> stores);
void clearDupGroups(std::span<const DupGroupRef> groups, std::span<NodeStore* const> stores);

}  // namespace zelvane
