#pragma once

#include <string>
#include <string_view>

namespace zelvane {

// A file written for the user, replaced only by a complete new content. The bytes go to a fresh
// file beside the target (same folder, so the rename is atomic), which replaces the target only
// after every write, the permission bits and the close succeeded; without a successful `commit`
// the temporary file is removed and an earlier file at the target stays as it was. A symbolic link
// at the target keeps pointing at the replaced file, an existing file's permission bits are kept,
// and a device or pipe (/dev/stdout, say) is written in place (a FIFO that gets no reader within
// two seconds fails with ENXIO rather than waiting for one for good). Every step returns 0 or the errno
// of what failed; after a failure only destruction is left to do.
class ReplacementFile final {
public:
    // What happens to what is at the target. `replace` follows a symbolic link to the file it
    // names, as described above; `replaceLink` puts the new file in place of a link itself and
    // leaves the file it names alone; `createNew` never replaces anything (commit gives EEXIST).
    enum class Mode { replace, replaceLink, createNew };

    ReplacementFile() = default;
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ~ReplacementFile();

    int open(const std::string& target, Mode mode = Mode::replace);
    int write(std::string_view bytes);
    int commit();

private:
    int fd_ = -1;
    std::string target_;
    std::string tempPath_;  // empty when writing in place
    Mode mode_ = Mode::replace;
};

// The whole new content of `path` in one go, through a ReplacementFile.
int replaceFileContents(const std::string& path, std::string_view bytes);

}  // namespace zelvane
