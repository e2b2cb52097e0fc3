// Arbitrary bytes as an import: the importer must neither crash nor read outside the buffer
// (libFuzzer hands over an exactly sized, poisoned-around buffer, and the importer's windows are
// poisoned past their bytes), every node it builds must have a path that resolves to itself, and
// reading the bytes in small windows must give what reading them in one window gives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ScanEngine/Interchange/CSVImporter.hpp"

using namespace zelvane;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// Every node in pre-order: its path bytes, kind, sizes and counts.
std::string describe(const std::vector<RootRef>& roots) {
    std::string out;
    std::vector<const FileNode*> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it) stack.push_back(it->get());
    while (!stack.empty()) {
        const FileNode* n = stack.back();
        stack.pop_back();
        out += n->pathBytes();
        out += n->isDir() ? "/D " : " F ";
        out += std::to_string(n->effectiveSize()) + ' ' + std::to_string(n->effectiveAllocSize()) + ' ' +
               std::to_string(n->subFolderFileCount()) + ' ' + std::to_string(n->subFolderDirCount()) + ' ' +
               std::to_string(n->modifiedDateRaw) + ' ' + std::to_string(n->dosAttributes) +
               (n->doNotCountAllocated() ? "*\n" : "\n");
        auto kids = n->children();
        for (auto k = kids.rbegin(); k != kids.rend(); ++k) stack.push_back(*k);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte picks the delimiter, the number of decode workers and the size of the
    // windows (1 to 404 bytes), against one window that holds everything.
    const char delimiter = (data[0] & 1) ? '\t' : ',';
    const int workers = 1 + (data[0] >> 1) % 3;
    const size_t window = 1 + size_t(data[0] >> 3) * 13;
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    CSVImportOutcome outcome = importFromCSVData(text, delimiter, {}, {}, workers, window);
    CSVImportOutcome whole = importFromCSVData(text, delimiter, {}, {}, 1, text.size() + 1);
    check(bool(outcome.error) == bool(whole.error));
    if (outcome.error) {
        check(outcome.result.roots.empty());
        check(outcome.error->kind == whole.error->kind);
        return 0;
    }
    check(describe(outcome.result.roots) == describe(whole.result.roots));
    check(outcome.result.driveCapacity == whole.result.driveCapacity);
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
