#include "ScanEngine/Tree/NameSort.hpp"

#include <algorithm>

#include "ScanEngine/Tree/NameCoding.hpp"

namespace zelvane {

std::u16string upcaseFoldString(std::u16string_view text) {
    std::u16string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        char16_t u = out[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF) {
            ++i;  // a pair stands for a scalar from U+10000 up: unchanged
            continue;
        }
        out[i] = foldUnit(u);
    }
    return out;
}

std::string upcaseFoldString(std::string_view textUTF8) {
    return displayUTF8(upcaseFoldString(utf16FromUTF8(textUTF8)));
}

int32_t wideNameCompare(std::u16string_view a, std::u16string_view b) noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int32_t fa = fUpcaseData[a[i]];
        int32_t fb = fUpcaseData[b[i]];
        if (fa != fb) return fa - fb;
    }
    return int32_t(a.size()) - int32_t(b.size());
}

namespace {
// The same order straight on the stored forms, without widening either name.
template <bool WideA, bool WideB>
int32_t compareStored(const StoredName& a, const StoredName& b) noexcept {
    const size_t n = std::min(a.units, b.units);
    for (size_t i = 0; i < n; ++i) {
        int32_t fa = fUpcaseData[WideA ? a.unit(i) : static_cast<unsigned char>(a.bytes[i])];
        int32_t fb = fUpcaseData[WideB ? b.unit(i) : static_cast<unsigned char>(b.bytes[i])];
        if (fa != fb) return fa - fb;
    }
    return int32_t(a.units) - int32_t(b.units);
}
}  // namespace

int32_t wideNameCompare(const FileNode& a, const FileNode& b) noexcept {
    return wideNameCompare(a.storedName(), b.storedName());
}

int32_t wideNameCompare(const StoredName& x, const StoredName& y) noexcept {
    if (!x.wide && !y.wide) return compareStored<false, false>(x, y);
    if (!x.wide) return compareStored<false, true>(x, y);
    if (!y.wide) return compareStored<true, false>(x, y);
    return compareStored<true, true>(x, y);
}

FoldedNamePrefix foldedNamePrefix(const FileNode& node) noexcept {
    const StoredName s = node.storedName();
    uint64_t words[2] = {0, 0};
    const size_t n = std::min<size_t>(s.units, 8);
    for (size_t i = 0; i < n; ++i) {
        const uint64_t folded = fUpcaseData[s.wide ? s.unit(i) : static_cast<unsigned char>(s.bytes[i])];
        words[i / 4] |= folded << (48 - 16 * (i % 4));
    }
    return {words[0], words[1]};
}

void FileNode::assignSortNameIndex(int32_t& counter) {
    // Pre-order with an explicit stack: children are pushed in reverse name order so the first
    // in name order is numbered next. The node's own children array is never reordered.
    std::vector<FileNode*> stack{this};
    std::vector<FileNode*> sorted;
    while (!stack.empty()) {
        FileNode* n = stack.back();
        stack.pop_back();
        n->setSortNameIndex(counter++);
        auto kids = n->children();
        if (kids.empty()) continue;
        sorted.assign(kids.begin(), kids.end());
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const FileNode* x, const FileNode* y) { return wideNameCompare(*x, *y) < 0; });
        stack.insert(stack.end(), sorted.rbegin(), sorted.rend());
    }
}

void FileNode::assignSortNameIndices() {
    int32_t counter = 0;
    assignSortNameIndex(counter);
}

void assignSortNameIndices(std::span<FileNode* const> roots) {
    int32_t counter = 0;
    for (FileNode* r : roots) r->assignSortNameIndex(counter);
}

void assignSortNameIndices(std::span<const RootRef> roots) {
    int32_t counter = 0;
    for (const auto& r : roots) r->assignSortNameIndex(counter);
}

bool wildCmp(std::u16string_view pattern, std::u16string_view name) noexcept {
    size_t p = 0, i = 0;
    size_t starP = SIZE_MAX, starI = 0;
    const size_t pn = pattern.size(), nn = name.size();
    while (i < nn) {
        if (p < pn && pattern[p] == u'*') {
            starP = p++;
            starI = i;
        } else if (p < pn && (pattern[p] == u'?' || pattern[p] == foldUnit(name[i]))) {
            ++p;
            ++i;
        } else if (starP == SIZE_MAX) {
            return false;
        } else {
            i = ++starI;
            p = starP + 1;
        }
    }
    while (p < pn && pattern[p] == u'*') ++p;
    return p == pn;
}

bool hasCaseFoldedSuffix(std::u16string_view text, std::u16string_view suffix) noexcept {
    if (text.size() < suffix.size()) return false;
    const size_t off = text.size() - suffix.size();
    for (size_t i = 0; i < suffix.size(); ++i)
        if (foldUnit(text[off + i]) != suffix[i]) return false;
    return true;
}

bool containsCaseFolded(std::u16string_view text, std::u16string_view needle) noexcept {
    if (needle.empty()) return true;
    if (text.size() < needle.size()) return false;
    const size_t last = text.size() - needle.size();
    const char16_t first = needle[0];
    for (size_t s = 0; s <= last; ++s) {
        if (foldUnit(text[s]) != first) continue;
        size_t k = 1;
        while (k < needle.size() && foldUnit(text[s + k]) == needle[k]) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

size_t fullPathLength(const FileNode& node) noexcept {
    size_t total = 0;
    for (const FileNode* n = &node; n; n = n->parent()) {
        total += size_t(n->nameLength());
        const FileNode* p = n->parent();
        if (!p) break;
        if (!rootEndsWithSlash(*p)) ++total;
    }
    return total;
}

void fullPathUTF16(const FileNode& node, std::u16string& out) {
    // Filled from the end: the node's name, a separator, its parent's name, and so on.
    const size_t total = fullPathLength(node);
    out.resize(total);
    size_t end = total;
    for (const FileNode* n = &node; n; n = n->parent()) {
        auto units = n->nameUnits();
        end -= units.size();
        std::copy(units.begin(), units.end(), out.begin() + ptrdiff_t(end));
        const FileNode* p = n->parent();
        if (!p) break;
        if (!rootEndsWithSlash(*p)) out[--end] = u'/';
    }
}

std::u16string fullPathUTF16(const FileNode& node) {
    std::u16string out;
    fullPathUTF16(node, out);
    return out;
}

}  // namespace zelvane
