#pragma once

// Real folders in a temporary directory, and the reader that turns one into a node tree.

#include <string>
#include <string_view>

#include "FileContents.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "TempFolder.hpp"
#include "TreeBuilder.hpp"

namespace zelvane::testing {

using TempDir = testsupport::TempFolder;

inline void makeDir(const std::string& path) { testsupport::makeFolder(path); }
using testsupport::writeFile;

// The tree below `path`, read as a scan reads it; children by name, folders found by path.
inline RootRef readTree(const std::string& path) { return testsupport::readTreeFromDisk(path); }
using testsupport::nodeAt;
inline FileNode* child(FileNode* folder, std::string_view name) { return testsupport::childNamed(folder, name); }

}  // namespace zelvane::testing
