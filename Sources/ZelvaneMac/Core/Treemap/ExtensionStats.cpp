#include "ZelvaneMac/Core/Treemap/ExtensionStats.hpp"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "ScanEngine/Tree/NameCoding.hpp"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "ScanEngine/Support/Arithmetic.hpp"

namespace zelvane {

namespace {

struct Totals {
    int64_t size = 0;
    int64_t alloc = 0;
    int64_t count = 0;
};

}  // namespace

std::string_view detectedExtensionInto(const FileNode& node, std::string& buffer) {
    buffer.clear();
    const auto stored = node.nameUnits();
    const std::u16string_view name = stored;
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot + 1 == name.size()) return buffer;
    const std::u16string_view ext = name.substr(dot + 1);
    for (char16_t c : ext) {
        // Anything beyond ASCII takes the full Unicode lower-casing; bytes that are not UTF-8
        // (escaped units, which lower-casing leaves alone) come back as themselves, so that
        // extensions of different invalid bytes stay different.
        if (c >= 0x80) {
            icu::UnicodeString lower(false, reinterpret_cast<const UChar*>(ext.data()), int32_t(ext.size()));
            lower.toLower(icu::Locale::getRoot());
            buffer = encodeNameBytes(
                std::u16string_view(reinterpret_cast<const char16_t*>(lower.getBuffer()), size_t(lower.length())));
            return buffer;
        }
        buffer.push_back(c >= u'A' && c <= u'Z' ? char(c - u'A' + 'a') : char(c));
    }
    return buffer;
}

ExtensionStatsResult computeExtensionStats(std::span<FileNode* const> roots, bool colorBySize,
                                           const QStringList& extensionLists) {
    std::unordered_map<std::string, Totals, StringKeyHash, std::equal_to<>> totals;
    std::vector<const FileNode*> stack;
    std::string ext;
    for (const FileNode* root : roots) {
        if (!root) continue;
        stack.push_back(root);
        while (!stack.empty()) {
            const FileNode* node = stack.back();
            stack.pop_back();
            // Deleted since the scan (on disk or by a file action): out of the folders' totals,
            // and so out of the table's, whose rows would otherwise add up to more than the tree.
            if (node->isDeleted()) continue;
            if (node->isDir()) {
                auto kids = node->children();
                for (auto it = kids.rbegin(); it != kids.rend(); ++it) stack.push_back(*it);
                continue;
            }
            detectedExtensionInto(*node, ext);
            auto it = totals.find(std::string_view(ext));
            if (it == totals.end()) it = totals.emplace(ext, Totals{}).first;
            Totals& t = it->second;
            t.size = saturatingAdd(t.size, node->effectiveSize());
            if (!node->doNotCountAllocated()) t.alloc = saturatingAdd(t.alloc, node->effectiveAllocSize());
            t.count += 1;
        }
    }

    ExtensionStatsResult result;
    result.all.reserve(totals.size());
    for (auto& [key, t] : totals) result.all.push_back({key, t.size, t.alloc, t.count});
    result.colorRank = colorRankFor(result.all, colorBySize, extensionLists);
    return result;
}

ColorRank colorRankFor(std::span<const ExtensionStats> stats, bool colorBySize, const QStringList& extensionLists) {
    return colorBySize ? colorRankBySize(stats) : TreemapColorSettings::colorRank(extensionLists);
}

ExtensionStatsResult computeExtensionStats(std::span<const RootRef> roots, bool colorBySize,
                                           const QStringList& extensionLists) {
    std::vector<FileNode*> raw;
    raw.reserve(roots.size());
    for (const RootRef& r : roots) raw.push_back(r.get());
    return computeExtensionStats(std::span<FileNode* const>(raw), colorBySize, extensionLists);
}

ColorRank colorRankBySize(std::span<const ExtensionStats> stats) {
    std::vector<const ExtensionStats*> order;
    order.reserve(stats.size());
    for (const ExtensionStats& s : stats) order.push_back(&s);
    std::stable_sort(order.begin(), order.end(),
                     [](const ExtensionStats* a, const ExtensionStats* b) { return a->totalAlloc > b->totalAlloc; });
    ColorRank rank;
    const size_t ranked = std::min<size_t>(order.size(), 12);
    for (size_t i = 0; i < ranked; ++i) rank.insert_or_assign(order[i]->ext, int(i));
    return rank;
}

}  // namespace zelvane
