#pragma once

// The one road from a directory entry to a node, shared by every reader of directories (the
// bulk records of the parallel and sequential scans and the fallback listing): name, sizes,
// dates, attribute letters, exclusion and the hard-link decision.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "ScanEngine/Scan/BulkRecord.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Scan/HardLinkTracker.hpp"
#include "ScanEngine/Scan/SightingJournal.hpp"

namespace zelvane {

// What a listing knows about one entry.
struct EntryFacts {
    std::string_view name;  // NUL-terminated where it lies
    bool isDir = false;
    bool hasFileSize = false;
    int64_t fileSize = 0;
    bool hasAllocSize = false;
    int64_t allocSize = 0;
    timespec64 modified, accessed, created;  // created {0, 0}: unknown
    uint32_t flags = 0;                      // UF_* bits
    uint64_t devID = 0;
    bool hasDevID = false;
    uint64_t fileID = 0;
    uint32_t linkCount = 0;  // 0: unknown
    std::optional<uint64_t> cloneID;
};

EntryFacts entryFactsFromRecord(const BulkRecord& r);
EntryFacts entryFactsFromStat(std::string_view name, const struct stat& st);

// File flags to the attribute word: UF_IMMUTABLE -> R (0x1), UF_HIDDEN -> H (0x2),
// UF_COMPRESSED -> C (0x800); every other flag is ignored.
uint16_t dosAttributesFromFlags(uint32_t flags);

// A date given as seconds and nanoseconds since 1970, packed.
int32_t packUnixTime(const timespec64& t);

// The per-root bookkeeping a node is made against.
struct EntryContext {
    HardLinkTracker* hardLinks = nullptr;
    HardLinkTracker* cloneLinks = nullptr;
    int64_t rootBlockSize = 0;  // rounds the logical size when no allocated size was returned
    const DecodedFilter* excludeFilters = nullptr;  // entries it matches are left out
    bool excludeFullPath = false;
    bool folderDatesFinal = true;  // false: folders are to take the newest date below them
    SightingJournal* journal = nullptr;  // the reading folder's claims, when it may be read again
};

// Makes the node for one entry below `parent` (its parent link set, not yet a child, so that
// full-path terms see its path), or returns null when the exclude filter surely matches it
// (matchDuringScan). `exclusionWaits` tells whether the filter's answer for the entry waits for
// the finished tree: nothing below such a folder may be left out while it is read. A file whose
// space was already counted in this root (another link of the same inode, another clone of the
// same data) gets `doNotCountAllocated`; a file with a single link cannot be met twice and skips
// the tracker.
FileNode* makeEntryNode(NodeArena& arena, FileNode* parent, const EntryFacts& e, const EntryContext& ctx,
                        bool& exclusionWaits);

}  // namespace zelvane
