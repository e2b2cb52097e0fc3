#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace zelvane {

// The outcome of a copy or an archive made beside its item.
struct MadeItem {
    int error = 0;           // 0 on success; ECANCELED when it was stopped
    std::string failedPath;  // what could not be read or written, from the item's own name on
    std::string madePath;    // the new item's absolute path on success
};

// Which file system's contents a copy of a folder holds. A scan does not enter a file system mounted
// below its folder and shows that folder empty: a copy of any row holds what the file system of the
// folder around it holds. Only a scanned folder itself shows its own file system, whatever it is.
enum class ShownFileSystem { containingFolder, item };

// Copies the item at an absolute path of any length into its own folder, under the first name of
// `nameFor(1)`, `nameFor(2)`, ... that is free when the copy is complete. A folder is copied with
// its contents, symbolic links as links, pipes as pipes; modes, dates and user attributes (tags)
// are kept; a file's holes stay holes and a file system that can share blocks shares them. A
// folder on another file system than the one `shown` names is copied as an empty folder, as a scan
// shows it.
// The copy is made under a hidden temporary name and renamed only once complete: a failure, a
// cancel (`cancelled` set) or a quit never leaves a partial copy under a real name, and the
// temporary one is removed. Safe on any thread.
MadeItem duplicateItem(const std::string& path, const std::function<std::string(int)>& nameFor,
                       const std::atomic<bool>* cancelled = nullptr,
                       ShownFileSystem shown = ShownFileSystem::containingFolder);

// Copies the bytes of the open file `in` (of `size` bytes) into the empty file `out`: a clone when
// the file system offers one, else the data ranges only, so holes stay holes. 0 or an errno.
int copyFileData(int in, int out, int64_t size, const std::atomic<bool>* cancelled = nullptr);

}  // namespace zelvane
