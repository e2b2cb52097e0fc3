#pragma once

#include <atomic>
#include <string>

#include "ZelvaneMac/Actions/ItemCopy.hpp"

namespace zelvane {

// The error of an archive of a file that changed while it was read: one that ended before the
// length it had, grew past it, or whose length or modification time differ once it is read.
inline constexpr int kArchiveSourceChangedError = 0x10001;

// Writes a zip archive of the item (a folder with its folder as the top entry) into the item's
// own folder under `archiveName`. The archive is written to a hidden temporary file in that folder
// and renamed into place without replacing anything only once complete; when the name has been
// taken meanwhile, the next free "stem N.zip" is used. On any failure or a cancel nothing is left
// behind; a file that changes while it is read fails the archive (kArchiveSourceChangedError).
// Only files, folders and symbolic links (stored as links) are archived; a pipe or device
// inside a folder is left out rather than read, and a folder on another file system than the one
// `shown` names is stored empty, as a scan shows it. `watch` is called after each piece of a
// file is read.
MadeItem compressToZip(const std::string& itemPath, const std::string& stem, const std::string& archiveName,
                       const std::atomic<bool>* cancelled = nullptr,
                       ShownFileSystem shown = ShownFileSystem::containingFolder, const CopyWatch* watch = nullptr);

}  // namespace zelvane
