#include "ScanEngine/Scan/AccessDeniedCounter.hpp"

namespace zelvane {

void AccessDeniedCounter::record(std::string path) {
    std::lock_guard lock(lock_);
    paths_.push_back(std::move(path));
}

size_t AccessDeniedCounter::value() const {
    std::lock_guard lock(lock_);
    return paths_.size();
}

std::vector<std::string> AccessDeniedCounter::allPaths() const {
    std::lock_guard lock(lock_);
    return paths_;
}

}  // namespace zelvane
