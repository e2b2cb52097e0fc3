#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Platform/BulkAttributes.hpp"

namespace zelvane {

// One entry of a bulk listing, read from its record. Absent attributes read as: no name,
// device 0, not a folder, the dates at 1970-01-01 00:00:00 UTC, flags 0, identifier 0,
// sizes 0, no link count, no clone identifier.
struct BulkRecord {
    std::string_view name;  // without the terminating NUL, which always follows it in the buffer
    bool hasName = false;
    uint64_t devID = 0;
    bool hasDevID = false;
    uint32_t objType = kObjTypeNone;
    bool hasObjType = false;
    timespec64 crtime, modtime, acctime;
    uint32_t flags = 0;
    uint64_t fileID = 0;
    uint32_t linkCount = 0;  // 0: not returned
    int64_t totalSize = 0;
    bool hasTotalSize = false;
    int64_t allocSize = 0;
    bool hasAllocSize = false;
    uint64_t cloneID = 0;
    bool hasCloneID = false;

    bool isDir() const { return hasObjType && objType == kObjTypeDirectory; }
};

// Reads the record at the start of `bytes`. Every length and offset is checked against
// `bytes.size()` (the room left in the buffer): a record that is too short, longer than the room,
// holds attributes of unknown size, or names bytes outside itself is refused (returns 0, and the
// batch must stop there). Otherwise returns the record length, so the next record starts there.
size_t readBulkRecord(std::basic_string_view<std::byte> bytes, BulkRecord& out);

// The header of the records: the length word and the five returned-attribute masks.
inline constexpr size_t kBulkRecordHeaderSize = sizeof(uint32_t) + sizeof(attribute_set_t);

}  // namespace zelvane
