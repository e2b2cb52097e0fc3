#pragma once

// Bulk directory reading: one call returns many entries of a directory with their attributes,
// packed into caller-supplied memory as length-prefixed records.
//
// Record layout (all fields unaligned, read them with memcpy):
//   u32                 record length, from this field to the next record (a multiple of 8)
//   attribute_set_t     the attributes this record really holds (five u32 masks)
//   then, in this order, each present only when its bit is in the returned masks:
//     attrreference_t   ATTR_CMN_NAME: offset of the NUL-terminated UTF-8 name, counted from
//                       this field, and its length including the NUL
//     u64               ATTR_CMN_DEVID
//     u32               ATTR_CMN_OBJTYPE (kObjTypeDirectory for folders)
//     timespec64        ATTR_CMN_CRTIME, ATTR_CMN_MODTIME, ATTR_CMN_ACCTIME (two i64 each)
//     u32               ATTR_CMN_FLAGS (kFlag* bits)
//     u64               ATTR_CMN_FILEID
//     u32               ATTR_FILE_LINKCOUNT   (file attributes: never on folders)
//     i64               ATTR_FILE_TOTALSIZE
//     i64               ATTR_FILE_ALLOCSIZE
//     u64               ATTR_CMNEXT_CLONEID   (never returned on Linux)
//   the name bytes.

#include <cstddef>
#include <cstdint>

namespace zelvane {

inline constexpr uint16_t ATTR_BIT_MAP_COUNT = 5;

struct attrlist {
    uint16_t bitmapcount = ATTR_BIT_MAP_COUNT;
    uint16_t reserved = 0;
    uint32_t commonattr = 0;
    uint32_t volattr = 0;
    uint32_t dirattr = 0;
    uint32_t fileattr = 0;
    uint32_t forkattr = 0;  // with FSOPT_ATTR_CMN_EXTENDED: the extended common attributes
};

struct attribute_set_t {
    uint32_t commonattr = 0;
    uint32_t volattr = 0;
    uint32_t dirattr = 0;
    uint32_t fileattr = 0;
    uint32_t forkattr = 0;
};

struct attrreference_t {
    int32_t attr_dataoffset = 0;
    uint32_t attr_length = 0;
};

struct timespec64 {
    int64_t tv_sec = 0;
    int64_t tv_nsec = 0;
};

// Common attributes.
inline constexpr uint32_t ATTR_CMN_NAME = 0x00000001;
inline constexpr uint32_t ATTR_CMN_DEVID = 0x00000002;
inline constexpr uint32_t ATTR_CMN_OBJTYPE = 0x00000008;
inline constexpr uint32_t ATTR_CMN_CRTIME = 0x00000200;
inline constexpr uint32_t ATTR_CMN_MODTIME = 0x00000400;
inline constexpr uint32_t ATTR_CMN_ACCTIME = 0x00001000;
inline constexpr uint32_t ATTR_CMN_FLAGS = 0x00040000;
inline constexpr uint32_t ATTR_CMN_FILEID = 0x02000000;
inline constexpr uint32_t ATTR_CMN_RETURNED_ATTRS = 0x80000000;
// File attributes.
inline constexpr uint32_t ATTR_FILE_LINKCOUNT = 0x00000001;
inline constexpr uint32_t ATTR_FILE_TOTALSIZE = 0x00000002;
inline constexpr uint32_t ATTR_FILE_ALLOCSIZE = 0x00000004;
// Extended common attributes (in the fork mask with FSOPT_ATTR_CMN_EXTENDED).
inline constexpr uint32_t ATTR_CMNEXT_CLONEID = 0x00000100;
inline constexpr uint64_t FSOPT_ATTR_CMN_EXTENDED = 0x00000020;

// Object types.
inline constexpr uint32_t kObjTypeNone = 0;
inline constexpr uint32_t kObjTypeRegular = 1;
inline constexpr uint32_t kObjTypeDirectory = 2;
inline constexpr uint32_t kObjTypeBlock = 3;
inline constexpr uint32_t kObjTypeChar = 4;
inline constexpr uint32_t kObjTypeLink = 5;
inline constexpr uint32_t kObjTypeSocket = 6;
inline constexpr uint32_t kObjTypeFifo = 7;

// File flags as ATTR_CMN_FLAGS and the flags of `statPath` report them.
inline constexpr uint32_t UF_IMMUTABLE = 0x00000002;
inline constexpr uint32_t UF_COMPRESSED = 0x00000020;
inline constexpr uint32_t UF_HIDDEN = 0x00008000;
inline constexpr uint32_t SF_RESTRICTED = 0x00080000;  // never set on Linux

// The longest record one entry can need (a 255-byte name plus every attribute), so callers and
// tests can size buffers; records are never longer.
inline constexpr size_t kMaxBulkRecordSize = 384;

// Reads the next entries of the open directory `dirfd` (in directory order; "." and ".." are
// left out) into `attrBuf`: returns the number of records written, 0 at the end of the directory,
// or -1 with errno set (EINVAL for a malformed request or a buffer too small for one record).
// Attributes that cannot be read for one entry are left out of its returned masks; an entry
// that vanished between listing and reading is skipped. A folder that may be listed but not
// searched (read without execute permission) fails with EACCES (or EPERM) when attributes beyond
// the names are asked for, since none of its entries' can be read. Symbolic links are never
// followed.
// The directory's read position advances by exactly the entries returned.
int getattrlistbulk(int dirfd, const attrlist* alist, void* attrBuf, size_t attrBufSize, uint64_t options);

}  // namespace zelvane
