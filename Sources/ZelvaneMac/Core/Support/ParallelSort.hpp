#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"

namespace zelvane {

// Sorts on every processor: a part a worker sorted at once, then the parts merged two by two, a
// round at a time. `less` must be a total order, so that the result does not depend on the parts.
// Merging reads each part front to back, which keeps near each other in memory what it compares.
// False, the items in some order, once `cancel` is set.
template <typename T, typename Less>
bool parallelSort(std::vector<T>& items, Less less, const CancelFlag* cancel = nullptr) {
    constexpr size_t kSmallestPart = size_t(1) << 16;
    const size_t count = items.size();
    const unsigned workers = parallelWorkerCount();
    size_t parts = 1;
    while (parts < workers && count / (parts * 2) >= kSmallestPart) parts *= 2;
    std::vector<size_t> bounds(parts + 1);
    for (size_t p = 0; p <= parts; ++p) bounds[p] = count * p / parts;
    const auto at = [](std::vector<T>& v, size_t i) { return v.begin() + ptrdiff_t(i); };
    parallelFor(parts, workers, 1, [&](size_t p, unsigned) {
        std::stable_sort(at(items, bounds[p]), at(items, bounds[p + 1]), less);
    }, cancel);
    if (isCancelled(cancel)) return false;
    if (parts == 1) return true;
    std::vector<T> other(count);
    std::vector<T>* from = &items;
    std::vector<T>* to = &other;
    for (size_t width = 1; width < parts; width *= 2) {
        // Each merge is cut into as many pieces of its output as it merges parts, so that every
        // round keeps every worker busy. A piece starts where the merge would have taken `i`
        // items of the first half and the rest of the second.
        const size_t pieces = 2 * width;
        parallelFor(parts, workers, 1, [&](size_t task, unsigned) {
            const size_t g = task / pieces, piece = task % pieces;
            const size_t begin = bounds[2 * width * g], middle = bounds[2 * width * g + width],
                         end = bounds[2 * width * (g + 1)];
            const T* first = from->data() + begin;
            const T* second = from->data() + middle;
            const size_t firstCount = middle - begin, secondCount = end - middle;
            const auto fromFirst = [&](size_t taken) {
                size_t lo = taken > secondCount ? taken - secondCount : 0, hi = std::min(taken, firstCount);
                while (lo < hi) {
                    const size_t i = lo + (hi - lo) / 2;
                    if (!less(second[taken - i - 1], first[i])) lo = i + 1;
                    else hi = i;
                }
                return lo;
            };
            const size_t outFrom = (end - begin) * piece / pieces, outTo = (end - begin) * (piece + 1) / pieces;
            const size_t i0 = fromFirst(outFrom), i1 = fromFirst(outTo);
            std::merge(first + i0, first + i1, second + (outFrom - i0), second + (outTo - i1), at(*to, begin + outFrom), less);
        }, cancel);
        if (isCancelled(cancel)) return false;
        std::swap(from, to);
    }
    if (from != &items) items.swap(other);
    return true;
}

}  // namespace zelvane
