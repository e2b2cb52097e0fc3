#include "Platform/BulkAttributes.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace zelvane {

namespace {

constexpr uint32_t kKnownCommon = ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE |
                                  ATTR_CMN_CRTIME | ATTR_CMN_MODTIME | ATTR_CMN_ACCTIME | ATTR_CMN_FLAGS |
                                  ATTR_CMN_FILEID;
constexpr uint32_t kKnownFile = ATTR_FILE_LINKCOUNT | ATTR_FILE_TOTALSIZE | ATTR_FILE_ALLOCSIZE;

// A directory entry as getdents64 lays it out.
struct LinuxDirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

// The directory listing goes through one per-thread buffer, reused by every call on that thread.
// 16 KiB of listing holds at most 682 entries, whose records fit in 256 KiB at the longest and
// usually in under 100 KiB: a caller's buffer is touched only that far, which keeps the memory of
// a scan's worker buffers small, while one call still returns hundreds of entries.
constexpr size_t kListingBufferSize = 16 * 1024;
constexpr size_t kMinListingRequest = 512;  // room for one entry of the longest name

struct ListingBuffer {
    std::unique_ptr<std::byte[]> bytes{new std::byte[kListingBufferSize]};
};

std::byte* listingBuffer() {
    thread_local ListingBuffer buffer;
    return buffer.bytes.get();
}

uint32_t objTypeFromMode(uint32_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return kObjTypeRegular;
    case S_IFDIR: return kObjTypeDirectory;
    case S_IFLNK: return kObjTypeLink;
    case S_IFBLK: return kObjTypeBlock;
    case S_IFCHR: return kObjTypeChar;
    case S_IFSOCK: return kObjTypeSocket;
    case S_IFIFO: return kObjTypeFifo;
    default: return kObjTypeNone;
    }
}

uint32_t objTypeFromDirentType(unsigned char t) {
    switch (t) {
    case DT_REG: return kObjTypeRegular;
    case DT_DIR: return kObjTypeDirectory;
    case DT_LNK: return kObjTypeLink;
    case DT_BLK: return kObjTypeBlock;
    case DT_CHR: return kObjTypeChar;
    case DT_SOCK: return kObjTypeSocket;
    case DT_FIFO: return kObjTypeFifo;
    default: return kObjTypeNone;
    }
}

// What one request needs from statx, worked out once per call.
struct Plan {
    uint32_t common = 0;
    uint32_t file = 0;
    unsigned statxMask = 0;
    bool needsStatx = false;  // false: the listing alone answers (name and maybe object type)
};

Plan makePlan(const attrlist& a) {
    Plan p;
    p.common = a.commonattr;
    p.file = a.fileattr;
    if (p.common & ATTR_CMN_OBJTYPE) p.statxMask |= STATX_TYPE;
    if (p.common & ATTR_CMN_CRTIME) p.statxMask |= STATX_BTIME;
    if (p.common & ATTR_CMN_MODTIME) p.statxMask |= STATX_MTIME;
    if (p.common & ATTR_CMN_ACCTIME) p.statxMask |= STATX_ATIME;
    if (p.common & ATTR_CMN_FILEID) p.statxMask |= STATX_INO;
    if (p.file) p.statxMask |= STATX_TYPE;  // file attributes only belong to non-folders
    if (p.file & ATTR_FILE_LINKCOUNT) p.statxMask |= STATX_NLINK;
    if (p.file & ATTR_FILE_TOTALSIZE) p.statxMask |= STATX_SIZE;
    if (p.file & ATTR_FILE_ALLOCSIZE) p.statxMask |= STATX_BLOCKS;
    p.needsStatx = (p.common & (ATTR_CMN_DEVID | ATTR_CMN_CRTIME | ATTR_CMN_MODTIME | ATTR_CMN_ACCTIME |
                                ATTR_CMN_FLAGS | ATTR_CMN_FILEID)) ||
                   p.file;
    return p;
}

template <typename T>
inline std::byte* put(std::byte* at, const T& v) {
    std::memcpy(at, &v, sizeof v);
    return at + sizeof v;
}

inline timespec64 toTimespec(const struct statx_timestamp& t) { return {t.tv_sec, t.tv_nsec}; }

// Writes one record at `out` (which has room for kMaxBulkRecordSize bytes); returns its length.
size_t writeRecord(std::byte* out, const Plan& plan, const char* name, size_t nameLen, uint32_t direntType,
                   const struct statx* sx) {
    attribute_set_t ret;
    ret.commonattr = plan.common & (ATTR_CMN_RETURNED_ATTRS | ATTR_CMN_NAME);
    uint32_t objType = direntType;
    if (sx && (sx->stx_mask & STATX_TYPE)) objType = objTypeFromMode(sx->stx_mode);
    bool isDir = objType == kObjTypeDirectory;
    bool typeKnown = objType != kObjTypeNone;

    if ((plan.common & ATTR_CMN_OBJTYPE) && typeKnown) ret.commonattr |= ATTR_CMN_OBJTYPE;
    if (sx) {
        ret.commonattr |= plan.common & (ATTR_CMN_DEVID | ATTR_CMN_FLAGS);
        if ((plan.common & ATTR_CMN_CRTIME) && (sx->stx_mask & STATX_BTIME) && sx->stx_btime.tv_sec != 0)
            ret.commonattr |= ATTR_CMN_CRTIME;
        if ((plan.common & ATTR_CMN_MODTIME) && (sx->stx_mask & STATX_MTIME)) ret.commonattr |= ATTR_CMN_MODTIME;
        if ((plan.common & ATTR_CMN_ACCTIME) && (sx->stx_mask & STATX_ATIME)) ret.commonattr |= ATTR_CMN_ACCTIME;
        if ((plan.common & ATTR_CMN_FILEID) && (sx->stx_mask & STATX_INO)) ret.commonattr |= ATTR_CMN_FILEID;
        if (typeKnown && !isDir) {
            if ((plan.file & ATTR_FILE_LINKCOUNT) && (sx->stx_mask & STATX_NLINK)) ret.fileattr |= ATTR_FILE_LINKCOUNT;
            if ((plan.file & ATTR_FILE_TOTALSIZE) && (sx->stx_mask & STATX_SIZE)) ret.fileattr |= ATTR_FILE_TOTALSIZE;
            if ((plan.file & ATTR_FILE_ALLOCSIZE) && (sx->stx_mask & STATX_BLOCKS)) ret.fileattr |= ATTR_FILE_ALLOCSIZE;
        }
    }

    std::byte* p = out + sizeof(uint32_t);
    p = put(p, ret);
    std::byte* nameRef = nullptr;
    if (ret.commonattr & ATTR_CMN_NAME) {
        nameRef = p;
        p += sizeof(attrreference_t);
    }
    if (ret.commonattr & ATTR_CMN_DEVID) p = put(p, uint64_t(makedev(sx->stx_dev_major, sx->stx_dev_minor)));
    if (ret.commonattr & ATTR_CMN_OBJTYPE) p = put(p, objType);
    if (ret.commonattr & ATTR_CMN_CRTIME) p = put(p, toTimespec(sx->stx_btime));
    if (ret.commonattr & ATTR_CMN_MODTIME) p = put(p, toTimespec(sx->stx_mtime));
    if (ret.commonattr & ATTR_CMN_ACCTIME) p = put(p, toTimespec(sx->stx_atime));
    if (ret.commonattr & ATTR_CMN_FLAGS) {
        uint32_t flags = 0;
        if (sx->stx_attributes & STATX_ATTR_IMMUTABLE) flags |= UF_IMMUTABLE;
        if (sx->stx_attributes & STATX_ATTR_COMPRESSED) flags |= UF_COMPRESSED;
        if (nameLen > 0 && name[0] == '.') flags |= UF_HIDDEN;  // the Linux convention for hidden
        p = put(p, flags);
    }
    if (ret.commonattr & ATTR_CMN_FILEID) p = put(p, uint64_t(sx->stx_ino));
    if (ret.fileattr & ATTR_FILE_LINKCOUNT) p = put(p, uint32_t(sx->stx_nlink));
    if (ret.fileattr & ATTR_FILE_TOTALSIZE) p = put(p, int64_t(sx->stx_size));
    if (ret.fileattr & ATTR_FILE_ALLOCSIZE) p = put(p, int64_t(sx->stx_blocks) * 512);
    if (nameRef) {
        attrreference_t ref{int32_t(p - nameRef), uint32_t(nameLen + 1)};
        put(nameRef, ref);
        std::memcpy(p, name, nameLen);
        p[nameLen] = std::byte{0};
        p += nameLen + 1;
    }
    auto len = uint32_t((size_t(p - out) + 7) & ~size_t(7));
    put(out, len);
    return len;
}

inline bool isDotOrDotDot(const char* n) {
    return n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'));
}

}  // namespace

int getattrlistbulk(int dirfd, const attrlist* alist, void* attrBuf, size_t attrBufSize, uint64_t options) {
    if (!alist || alist->bitmapcount != ATTR_BIT_MAP_COUNT || !attrBuf || attrBufSize < kMaxBulkRecordSize ||
        !(alist->commonattr & ATTR_CMN_RETURNED_ATTRS) || (alist->commonattr & ~kKnownCommon) ||
        (alist->fileattr & ~kKnownFile) || alist->volattr || alist->dirattr ||
        (options & ~FSOPT_ATTR_CMN_EXTENDED)) {
        errno = EINVAL;
        return -1;
    }
    const Plan plan = makePlan(*alist);
    std::byte* listing = listingBuffer();
    size_t request = std::clamp<size_t>((attrBufSize / 16) & ~size_t(7), kMinListingRequest, kListingBufferSize);

    auto* out = static_cast<std::byte*>(attrBuf);
    size_t used = 0;
    int count = 0;
    // Entries vanish between listing and reading; when a whole listing vanished, list again.
    for (;;) {
        ssize_t got = ::getdents64(dirfd, listing, request);
        if (got < 0) return -1;
        if (got == 0) return count;
        size_t pos = 0;
        int64_t resumeAt = -1;  // directory offset of the entry at `pos` (known after the first)
        while (pos < size_t(got)) {
            const auto* d = reinterpret_cast<const LinuxDirent64*>(listing + pos);
            if (d->d_reclen == 0 || pos + d->d_reclen > size_t(got)) {
                errno = EIO;
                return -1;
            }
            pos += d->d_reclen;
            const int64_t here = resumeAt;
            resumeAt = d->d_off;
            const char* name = d->d_name;
            if (isDotOrDotDot(name)) continue;
            if (attrBufSize - used < kMaxBulkRecordSize) {
                // No room: give this entry back to the next call. Never the first of a listing,
                // since one record always fits an empty buffer, so `here` is known.
                if (::lseek(dirfd, here, SEEK_SET) < 0) return -1;
                return count;
            }
            size_t nameLen = std::strlen(name);
            struct statx sx;
            const struct statx* sxp = nullptr;
            uint32_t direntType = objTypeFromDirentType(d->d_type);
            bool needTypeOnly = (plan.common & ATTR_CMN_OBJTYPE) && direntType == kObjTypeNone;
            if (plan.needsStatx || needTypeOnly) {
                unsigned mask = plan.statxMask | (needTypeOnly ? unsigned(STATX_TYPE) : 0u);
                if (::statx(dirfd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | AT_NO_AUTOMOUNT, mask, &sx) == 0) {
                    sxp = &sx;
                } else if (errno == ENOENT) {
                    continue;  // removed since it was listed
                } else if (errno == EACCES || errno == EPERM) {
                    // A folder that may be listed but not searched: its names can be read, what
                    // they are cannot, for any of them. The folder cannot be read.
                    return -1;
                }
                // Other failures (I/O errors): the entry is still reported, with what the
                // listing knows.
            }
            used += writeRecord(out + used, plan, name, nameLen, direntType, sxp);
            ++count;
        }
        if (count > 0) return count;
    }
}

}  // namespace zelvane
