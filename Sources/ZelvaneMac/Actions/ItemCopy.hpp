#pragma once

#include <atomic>
#include <functional>
#include <string>

namespace zelvane {

// The error of a copy whose source changed while it was read (no errno says this): a file that
// ended before the length it had when its copy began, or whose length or modification time
// differ once its copy is written.
inline constexpr int kSourceChangedError = 0x10000;

// Watches a copy as it goes, on the copying thread: called after each piece of a file's data is
// written, with the file's path from the copied item's own name on and the bytes written so far.
using CopyWatch = std::function<void(const std::string& relativePath, int64_t copied)>;

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
// temporary one is removed. A file that changes while it is copied fails the copy
// (kSourceChangedError): its copy would hold neither what it held nor what it holds. Safe on any
// thread.
MadeItem duplicateItem(const std::string& path, const std::function<std::string(int)>& nameFor,
                       const std::atomic<bool>* cancelled = nullptr,
                       ShownFileSystem shown = ShownFileSystem::containingFolder, const CopyWatch* watch = nullptr);

// Copies the bytes of the open file `in` (of `size` bytes) into the empty file `out`: a clone when
// the file system offers one, else the data ranges only, so holes stay holes. 0, an errno, or
// kSourceChangedError when `in` ends before `size`. `watched` is called after each piece.
int copyFileData(int in, int out, int64_t size, const std::atomic<bool>* cancelled = nullptr,
                 const std::function<void(int64_t copied)>& watched = {});

}  // namespace zelvane
