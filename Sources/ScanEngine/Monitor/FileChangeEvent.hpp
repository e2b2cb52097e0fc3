#pragma once

#include <cstdint>
#include <string>

#include "Platform/EventStream.hpp"

namespace zelvane {

// One change reported by the file-system event monitor: the path (its exact bytes) and the
// stream's flags for it, unchanged.
struct FileChangeEvent {
    std::string path;
    uint32_t flags = 0;

    bool isRemoved() const noexcept { return flags & EventStreamFlag::kItemRemoved; }
    bool isRenamed() const noexcept { return flags & EventStreamFlag::kItemRenamed; }
    bool isCreated() const noexcept { return flags & EventStreamFlag::kItemCreated; }
    // Changes below `path` may have been missed (event queue overflow, watch table full).
    bool mustRescan() const noexcept { return flags & EventStreamFlag::kMustScanSubDirs; }
};

}  // namespace zelvane
