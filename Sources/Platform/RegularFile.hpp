#pragma once

#include <cstddef>
#include <string>

#include "Platform/FileDescriptor.hpp"

namespace zelvane {

// Files the program only reads (settings, string tables, desktop entries) are taken only when they
// are regular files. Anything else found at such a path is refused without waiting: a FIFO would
// block the open until some writer comes, a device (/dev/zero, /dev/urandom) never ends, and a
// socket cannot be read at all. The file is opened without blocking and judged by what was opened,
// so nothing swapped in between is read.
struct RegularFileOpening {
    FileDescriptor fd;     // open for reading when `error` is 0
    int error = 0;         // the errno of the failure, 0 when open
    bool notRegular = false;  // the path names something other than a regular file (error is then EINVAL)
};
RegularFileOpening openRegularFile(const std::string& path);

struct RegularFileBytes {
    std::string bytes;
    int error = 0;            // errno of the failure, EFBIG past `maxBytes`
    bool notRegular = false;  // as above; error is then EINVAL
};
// The whole file, when it is a regular file of at most `maxBytes` bytes.
RegularFileBytes readRegularFile(const std::string& path, size_t maxBytes);

// Whether `path` (links followed) names something that is there and is neither a regular file nor
// a folder: a device, a FIFO or a socket, which a file the user saves must not go into.
bool namesASpecialFile(const std::string& path);

}  // namespace zelvane
