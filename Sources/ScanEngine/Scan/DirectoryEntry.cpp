#include "ScanEngine/Scan/DirectoryEntry.hpp"

namespace zelvane {

EntryFacts entryFactsFromRecord(const BulkRecord& r) {
    EntryFacts e;
    e.name = r.name;
    e.isDir = r.isDir();
    e.hasFileSize = r.hasTotalSize;
    e.fileSize = r.totalSize;
    e.hasAllocSize = r.hasAllocSize;
    e.allocSize = r.allocSize;
    e.modified = r.modtime;
    e.accessed = r.acctime;
    e.created = r.crtime;
    e.flags = r.flags;
    e.devID = r.devID;
    e.hasDevID = r.hasDevID;
    e.fileID = r.fileID;
    e.linkCount = r.linkCount;
    if (r.hasCloneID) e.cloneID = r.cloneID;
    return e;
}

EntryFacts entryFactsFromStat(std::string_view name, const struct stat& st) {
    EntryFacts e;
    e.name = name;
    e.isDir = S_ISDIR(st.st_mode);
    if (!e.isDir) {
        e.hasFileSize = e.hasAllocSize = true;
        e.fileSize = st.st_size;
        e.allocSize = int64_t(st.st_blocks) * 512;
        e.linkCount = uint32_t(st.st_nlink);
    }
    e.modified = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    e.accessed = {st.st_atim.tv_sec, st.st_atim.tv_nsec};
    if (!name.empty() && name[0] == '.') e.flags |= UF_HIDDEN;
    e.devID = st.st_dev;
    e.hasDevID = true;
    e.fileID = st.st_ino;
    return e;
}

uint16_t dosAttributesFromFlags(uint32_t flags) {
    uint16_t a = 0;
    if (flags & UF_IMMUTABLE) a |= 0x1;
    if (flags & UF_HIDDEN) a |= 0x2;
    if (flags & UF_COMPRESSED) a |= 0x800;
    return a;
}

int32_t packUnixTime(const timespec64& t) {
    return packDate(referenceSecondsFromUnix(double(t.tv_sec) + double(t.tv_nsec) / 1e9));
}

FileNode* makeEntryNode(NodeArena& arena, FileNode* parent, const EntryFacts& e, const EntryContext& ctx,
                        bool& exclusionWaits) {
    exclusionWaits = false;
    int64_t alloc = 0;
    if (e.hasAllocSize)
        alloc = e.allocSize;
    else if (e.hasFileSize && ctx.rootBlockSize > 0)
        alloc = (e.fileSize + ctx.rootBlockSize - 1) / ctx.rootBlockSize * ctx.rootBlockSize;
    FileNode* n = arena.makeNode(e.name, e.isDir, e.hasFileSize ? e.fileSize : 0, alloc, packUnixTime(e.modified));
    n->setParent(parent);
    n->dosAttributes = dosAttributesFromFlags(e.flags);
    n->fileID = e.fileID;
    n->createdDateRaw = packUnixTime(e.created);
    n->lastAccessDateRaw = packUnixTime(e.accessed);
    if (ctx.excludeFilters && hasTerms(*ctx.excludeFilters)) {
        switch (matchDuringScan(*n, *ctx.excludeFilters, ctx.excludeFullPath, ctx.folderDatesFinal)) {
        case ScanMatch::matched: return nullptr;
        case ScanMatch::undecided: exclusionWaits = true; break;
        case ScanMatch::notMatched: break;
        }
    }
    if (!e.isDir) {
        auto first = [&](HardLinkTracker& t, SightingJournal::Kind kind, uint64_t id) {
            return ctx.journal ? ctx.journal->registerFirstSighting(t, kind, e.devID, id) : t.registerFirstSighting(e.devID, id);
        };
        bool counts = true;
        if (e.linkCount != 1 && ctx.hardLinks) counts = first(*ctx.hardLinks, SightingJournal::kHardLink, e.fileID);
        if (e.cloneID && ctx.cloneLinks) counts = first(*ctx.cloneLinks, SightingJournal::kClone, *e.cloneID) && counts;
        if (!counts) n->setDoNotCountAllocated(true);
    }
    return n;
}

}  // namespace zelvane
