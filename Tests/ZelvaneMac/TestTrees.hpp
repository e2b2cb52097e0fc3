#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "FileContents.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "TempFolder.hpp"
#include "TreeBuilder.hpp"

namespace zelvane::fixtures {

// A temporary folder removed with everything in it when the object goes.
class TempDir final {
public:
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view relative) const { return path_ / relative; }

private:
    testsupport::TempFolder folder_;
    std::filesystem::path path_ = folder_.fsPath();
};

// Writes `size` bytes, or the bytes given (folders on the way are created).
using testsupport::writeFile;

// A small home-like tree: Photos/img0.jpg ... img7.jpg (40,000 bytes and 1,000 more each),
// Music/Album/track0.mp3 ... track2.mp3 (90,000 bytes each) and notes.txt (1,200 bytes).
void writePhotosMusicAndNotes(const std::filesystem::path& root);

// An export of /wide, as the window writes one: `folders` folders f000, f001, ... of `files` text
// files n00000.txt, n00001.txt, ... each (100 bytes, 4,096 allocated).
void writeWideExport(const std::filesystem::path& csv, int folders, int files);

// Reads a real folder into a tree the way a scan does (see readTreeFromDisk).
inline RootRef loadTreeFromDisk(const std::filesystem::path& root) { return testsupport::readTreeFromDisk(root.string()); }

using testsupport::childNamed;

}  // namespace zelvane::fixtures
