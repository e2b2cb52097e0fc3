#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace zelvane {

// The folders that a scan could not open for lack of permission, in the order they were met
// (a folder met twice is listed twice). Shared by the scan model and every scan worker.
class AccessDeniedCounter final {
public:
    void record(std::string path);
    size_t value() const;
    std::vector<std::string> allPaths() const;

private:
    mutable std::mutex lock_;
    std::vector<std::string> paths_;
};

}  // namespace zelvane
