#include "ZelvaneMac/Window/FilteredCopy.hpp"

#include "ZelvaneMac/Window/ScanControl.hpp"

#include <utility>

namespace zelvane {

void FilteredCopy::rebuild(const std::vector<RootRef>& scanRoots) {
    int64_t entries = 0;
    for (const RootRef& r : scanRoots)
        if (r) entries += 1 + int64_t(r->subFolderFileCount()) + r->subFolderDirCount();
    const Applied texts = applied_;
    if (entries <= kEntriesFilteredInPlace) {
        jobs_.supersede();
        setRoots(buildFilteredRoots(scanRoots, texts.includeText, texts.excludeText, texts.includeMatchEntirePath));
        return;
    }
    // The job holds the trees it copies; a newer rebuild or a clear drops its result.
    runInBackground(
        this, jobs_,
        [scanRoots, texts] {
            return buildFilteredRoots(scanRoots, texts.includeText, texts.excludeText, texts.includeMatchEntirePath);
        },
        [this](std::optional<std::vector<RootRef>> roots) { setRoots(std::move(roots)); });
}

void FilteredCopy::clear() {
    jobs_.supersede();
    setRoots(std::nullopt);
}

void FilteredCopy::setRoots(std::optional<std::vector<RootRef>> roots) {
    if (roots == roots_) return;
    roots_ = std::move(roots);
    emit rootsChanged();
}

}  // namespace zelvane
