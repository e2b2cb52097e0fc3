#pragma once

#include <cstdint>
#include <optional>

namespace zelvane {

// A root's volume, when known. Either value may be missing.
struct VolumeCapacity {
    std::optional<int64_t> total;
    std::optional<int64_t> available;
};

}  // namespace zelvane
