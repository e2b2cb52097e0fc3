// Arbitrary bytes as an import: the importer must neither crash nor read outside the buffer
// (libFuzzer hands over an exactly sized, poisoned-around buffer), and every node it builds must
// have a path that resolves to itself.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "ScanEngine/Interchange/CSVImporter.hpp"

using namespace zelvane;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the delimiter and the number of decode workers.
    const char delimiter = (data[0] & 1) ? '\t' : ',';
    const int workers = 1 + (data[0] >> 1) % 3;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    CSVImportOutcome outcome = importFromCSVData(text, delimiter, {}, {}, workers);
    if (outcome.error) {
        check(outcome.result.roots.empty());
        return 0;
    }
    check(!outcome.result.roots.empty());
    std::vector<const FileNode*> stack;
    for (const RootRef& r : outcome.result.roots) stack.push_back(r.get());
    while (!stack.empty()) {
        const FileNode* n = stack.back();
        stack.pop_back();
        const auto stored = n->nameUnits();
        std::u16string_view name = stored;
        if (!n->isRoot()) {
            check(!name.empty() && name != u"." && name != u".." && name.find(u'/') == std::u16string_view::npos);
            check(n->parent()->isDir());
        }
        check(name.find(u'\0') == std::u16string_view::npos);
        for (const FileNode* k : n->children()) stack.push_back(k);
    }
    return 0;
}
