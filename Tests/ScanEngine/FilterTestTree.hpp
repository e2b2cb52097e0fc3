#pragma once

// Builds a node tree from a real directory made in a temporary folder, so that the filters are
// tested on names and sizes as the file system gives them.

#include <cstddef>
#include <string>

#include "FileContents.hpp"
#include "ScanEngine/Filter/Filters.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "TempFolder.hpp"
#include "TreeBuilder.hpp"

namespace zelvane::testing {

using TempDir = testsupport::TempFolder;

// The filters' "now": 2024-05-15 12:00:00 UTC, in a zone two hours east of GMT (local day 8,535
// since 2001-01-01).
inline constexpr FilterClock kClock{1715774400.0, 7200.0};

// Writes `size` bytes and sets the modification time (Unix seconds).
void writeFile(const std::string& path, size_t size, long mtimeUnix = 1700000000);

inline void makeDir(const std::string& path) { testsupport::makeFolder(path); }

using testsupport::nodeAt;
using testsupport::preOrder;
using testsupport::readTreeFromDisk;

}  // namespace zelvane::testing
