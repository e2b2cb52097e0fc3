#pragma once

// Real directory trees in a temporary folder, an independent walk to compare scanners against,
// and child processes for what must not touch the test process (dropped privileges, mounts,
// lowered limits).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "TempFolder.hpp"

namespace zelvane {
struct attrlist;
}

namespace zelvane::test {

class TempTree final {
public:
    // A fresh folder under `base` (e.g. /dev/shm for trees too wide to make quickly on disk),
    // readable by every user.
    explicit TempTree(const char* base = "/tmp") : folder_("zelvane-test", base), root_(folder_.path()) {}

    const std::string& path() const { return root_; }
    std::string at(const std::string& rel) const { return rel.empty() ? root_ : root_ + "/" + rel; }
    void dir(const std::string& rel) const;                 // with missing parents
    void file(const std::string& rel, int64_t size) const;  // sparse, parents made
    void hardlink(const std::string& existing, const std::string& rel) const;
    void symlink(const std::string& target, const std::string& rel) const;
    void chmod(const std::string& rel, unsigned mode) const;

private:
    testsupport::TempFolder folder_;
    std::string root_;
};

// Hard links, symbolic links (to a folder, to nowhere), a hidden file, empty folders, a chain 60
// folders deep, a folder of 700 files and one of 40 subfolders; two files hold written data, so
// allocated sizes differ from zero.
void buildMixedTree(const TempTree& t);

struct WalkCounts {
    int64_t files = 0;  // every entry that is not a folder (symbolic links included)
    int64_t dirs = 0;   // folders below the root
    int64_t bytes = 0;  // logical sizes of the files, every link counted
    int64_t allocOnce = 0;  // allocated bytes, each (device, inode) of a file once
    bool operator==(const WalkCounts&) const = default;
};
// Counts a tree with readdir and lstat, iteratively, without descending into other devices.
WalkCounts independentWalk(const std::string& root);

using testsupport::runInChild;
using testsupport::runningAsRoot;
using testsupport::runUnprivileged;

// prefix followed by the decimal number (sidesteps a false -Wrestrict of GCC 12 on "x" + to_string).
std::string numbered(std::string_view prefix, long long n);

// Descriptors open in this process.
int openDescriptorCount();

// A bulk reader that returns a few records of a folder, then fails with EIO on the folder's second
// read: the scans must roll the folder back and list it once through the fallback.
int failOnSecondRead(int fd, const attrlist* a, void* buf, size_t size, uint64_t opts);

}  // namespace zelvane::test
