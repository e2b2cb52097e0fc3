#pragma once

#include <string>
#include <string_view>

namespace zelvane {

// Writes `bytes` as the whole new content of `path`. The bytes go to a fresh file beside the
// target (same folder, so the rename is atomic), which replaces the target only after every write
// and the close succeeded; on any failure the temporary file is removed and an earlier file at
// `path` stays as it was. A symbolic link at `path` keeps pointing at the replaced file, an
// existing file's permission bits are kept, and a device or pipe is written in place.
// Returns 0 or the errno of the step that failed.
int replaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace zelvane
