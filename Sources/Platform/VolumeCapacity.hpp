#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelvane {

// A volume's bytes as df counts them, each when known: `available` is what an ordinary user can
// still write, `reserved` the free blocks kept for the administrator; the rest of `total` is used.
struct VolumeCapacity {
    std::optional<int64_t> total;
    std::optional<int64_t> available;
    int64_t reserved = 0;

    bool isKnown() const { return total.has_value() && available.has_value(); }
    bool operator==(const VolumeCapacity&) const = default;
};

// `statvfs` of the volume holding `path`; both values absent when it cannot be asked.
VolumeCapacity volumeCapacity(const std::string& path);

}  // namespace zelvane
