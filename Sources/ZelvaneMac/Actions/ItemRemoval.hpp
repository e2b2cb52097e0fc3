#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Platform/ItemAccess.hpp"

namespace zelvane {

// What a removal left behind. A folder is emptied as far as it can be: one item that cannot go
// does not keep the rest, and what stayed is counted and named.
struct RemovalResult {
    int error = 0;              // 0 when the item is gone
    bool removedSome = false;   // something below the folder went, though not all
    int64_t remaining = 0;      // items still there, the folder itself and its folders among them
    std::string firstRemaining; // the first item that stayed, from the item's own name on
    int firstError = 0;         // why it stayed
};

// Removes the item at an absolute path of any length; a folder with everything in it, a
// symbolic link itself. What went meanwhile (removed first by another window or program) counts
// as removed: it is gone, as it was to be. It never reaches into another file system: a mount point, or a folder
// with a file system mounted anywhere below it, is refused whole (EBUSY, EXDEV) and nothing is
// removed. The file system's root is never removed (EPERM). `cancelled`, set from another thread,
// stops it before the next entry with ECANCELED; what went by then stays gone.
RemovalResult removeItem(const std::string& path, const std::atomic<bool>* cancelled = nullptr);

// The same for `name` in an open folder, without the mount refusal: a folder on another mount
// met below is left as it is and counted as remaining. `makeWritable` first grants the owner
// write access to folders that lack it (the program's own half-made copies).
RemovalResult removeTreeAt(int folderFd, const std::string& name, bool makeWritable = false,
                           const std::atomic<bool>* cancelled = nullptr);

// What is on disk at and below an item now, read without changing anything; a folder below that
// goes while it is read counts as empty.
struct DiskSurvey {
    int error = 0;             // the item or something below it could not be read
    std::string failedPath;    // what could not be read, from the item's own name on
    std::string mountBelow;    // a folder below on another file system, from the item's name on
    int64_t items = 0;         // everything below the item (the item itself not counted)
    int64_t bytes = 0;         // the sizes of those items and of the item
};
// `cancelled`, set from another thread, ends it early with ECANCELED.
DiskSurvey surveyItem(const std::string& path, const std::atomic<bool>* cancelled = nullptr);

}  // namespace zelvane
