#include "ZelvaneMac/Window/FilteredCopy.hpp"

#include "ZelvaneMac/Window/ScanControl.hpp"

namespace zelvane {

void FilteredCopy::rebuild(const std::vector<RootRef>& scanRoots) {
    setRoots(buildFilteredRoots(scanRoots, applied_.includeText, applied_.excludeText, applied_.includeMatchEntirePath));
}

void FilteredCopy::clear() { setRoots(std::nullopt); }

void FilteredCopy::setRoots(std::optional<std::vector<RootRef>> roots) {
    if (roots == roots_) return;
    roots_ = std::move(roots);
    emit rootsChanged();
}

}  // namespace zelvane
