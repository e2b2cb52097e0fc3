#include "Platform/VolumeCapacity.hpp"

#include <sys/statvfs.h>

namespace zelvane {

VolumeCapacity volumeCapacity(const std::string& path) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0) return {};
    const auto unit = uint64_t(st.f_frsize ? st.f_frsize : st.f_bsize);
    const uint64_t reservedBlocks = st.f_bfree > st.f_bavail ? st.f_bfree - st.f_bavail : 0;
    return {int64_t(uint64_t(st.f_blocks) * unit), int64_t(uint64_t(st.f_bavail) * unit), int64_t(reservedBlocks * unit)};
}

}  // namespace zelvane
