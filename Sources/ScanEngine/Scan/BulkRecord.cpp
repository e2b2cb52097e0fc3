#include "ScanEngine/Scan/BulkRecord.hpp"

#include <cstring>

namespace zelvane {

namespace {

constexpr uint32_t kCommonKnown = ATTR_CMN_NAME | ATTR_CMN_DEVID | ATTR_CMN_OBJTYPE | ATTR_CMN_CRTIME |
                                  ATTR_CMN_MODTIME | ATTR_CMN_ACCTIME | ATTR_CMN_FLAGS | ATTR_CMN_FILEID |
                                  ATTR_CMN_RETURNED_ATTRS;
constexpr uint32_t kFileKnown = ATTR_FILE_LINKCOUNT | ATTR_FILE_TOTALSIZE | ATTR_FILE_ALLOCSIZE;
constexpr uint32_t kForkKnown = ATTR_CMNEXT_CLONEID;

// A cursor over one record that refuses to read past its end.
struct Cursor {
    const std::byte* base;
    size_t end;
    size_t at;
    bool ok = true;
    template <typename T>
    T take() {
        T v{};
        if (!ok || end - at < sizeof(T)) {
            ok = false;
            return v;
        }
        std::memcpy(&v, base + at, sizeof(T));
        at += sizeof(T);
        return v;
    }
};

}  // namespace

size_t readBulkRecord(std::basic_string_view<std::byte> bytes, BulkRecord& out) {
    out = BulkRecord{};
    if (bytes.size() < kBulkRecordHeaderSize) return 0;
    uint32_t length;
    std::memcpy(&length, bytes.data(), sizeof length);
    if (length < kBulkRecordHeaderSize || length > bytes.size()) return 0;
    Cursor c{bytes.data(), length, sizeof(uint32_t)};
    auto ret = c.take<attribute_set_t>();
    if ((ret.commonattr & ~kCommonKnown) || ret.volattr || ret.dirattr || (ret.fileattr & ~kFileKnown) ||
        (ret.forkattr & ~kForkKnown))
        return 0;

    if (ret.commonattr & ATTR_CMN_NAME) {
        size_t refAt = c.at;
        auto ref = c.take<attrreference_t>();
        if (!c.ok || ref.attr_dataoffset < 0 || ref.attr_length == 0) return 0;
        size_t nameAt = refAt + size_t(ref.attr_dataoffset);
        if (nameAt < refAt || nameAt > length || length - nameAt < ref.attr_length) return 0;
        const char* p = reinterpret_cast<const char*>(bytes.data() + nameAt);
        // The length counts the terminating NUL; a name stops at its first NUL, and a name
        // without one is refused, so that callers can hand `name.data()` to the system as is.
        size_t n = strnlen(p, ref.attr_length);
        if (n == ref.attr_length) return 0;
        out.name = std::string_view(p, n);
        out.hasName = true;
    }
    if (ret.commonattr & ATTR_CMN_DEVID) {
        out.devID = c.take<uint64_t>();
        out.hasDevID = true;
    }
    if (ret.commonattr & ATTR_CMN_OBJTYPE) {
        out.objType = c.take<uint32_t>();
        out.hasObjType = true;
    }
    if (ret.commonattr & ATTR_CMN_CRTIME) out.crtime = c.take<timespec64>();
    if (ret.commonattr & ATTR_CMN_MODTIME) out.modtime = c.take<timespec64>();
    if (ret.commonattr & ATTR_CMN_ACCTIME) out.acctime = c.take<timespec64>();
    if (ret.commonattr & ATTR_CMN_FLAGS) out.flags = c.take<uint32_t>();
    if (ret.commonattr & ATTR_CMN_FILEID) out.fileID = c.take<uint64_t>();
    if (ret.fileattr & ATTR_FILE_LINKCOUNT) out.linkCount = c.take<uint32_t>();
    if (ret.fileattr & ATTR_FILE_TOTALSIZE) {
        out.totalSize = c.take<int64_t>();
        out.hasTotalSize = true;
    }
    if (ret.fileattr & ATTR_FILE_ALLOCSIZE) {
        out.allocSize = c.take<int64_t>();
        out.hasAllocSize = true;
    }
    if (ret.forkattr & ATTR_CMNEXT_CLONEID) {
        out.cloneID = c.take<uint64_t>();
        out.hasCloneID = true;
    }
    if (!c.ok) return 0;
    return length;
}

}  // namespace zelvane

