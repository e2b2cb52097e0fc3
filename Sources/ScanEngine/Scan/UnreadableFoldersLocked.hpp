#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace zelvane {

// A folder that a scan could not read, whatever the reason: it stays in the tree as an empty
// folder, or, for a root, the scan of that root failed.
struct UnreadableFolder {
    std::string pathBytes;  // exact bytes, for messages and file-system calls
    int error = 0;          // errno of the step that failed
    bool isRoot = false;
    bool operator==(const UnreadableFolder&) const = default;
};

// Filled by every worker of one scan, read once the scan is over.
class UnreadableFoldersLocked final {
public:
    void record(UnreadableFolder folder) {
        std::lock_guard lock(lock_);
        folders_.push_back(std::move(folder));
    }
    std::vector<UnreadableFolder> all() const {
        std::lock_guard lock(lock_);
        return folders_;
    }

private:
    mutable std::mutex lock_;
    std::vector<UnreadableFolder> folders_;
};

}  // namespace zelvane
