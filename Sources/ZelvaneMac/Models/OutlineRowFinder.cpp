#include "ZelvaneMac/Models/OutlineRowFinder.hpp"

#include <algorithm>

namespace zelvane {

namespace {

// Above this many rows a lookup by node builds a position map instead of scanning.
constexpr size_t kLinearSearchLimit = 64;

}  // namespace

int OutlineRowFinder::rowOf(const OutlineFolderRows& e, const FileNode* node) {
    if (e.rows().size() <= kLinearSearchLimit) {
        auto it = std::find(e.rows().begin(), e.rows().end(), node);
        return it == e.rows().end() ? -1 : int(it - e.rows().begin());
    }
    auto& map = maps_[&e];
    if (map.empty()) {
        map.reserve(e.rows().size());
        for (size_t i = 0; i < e.rows().size(); ++i) map.emplace(e.rows()[i], int(i));
    }
    auto it = map.find(node);
    return it == map.end() ? -1 : it->second;
}

}  // namespace zelvane
